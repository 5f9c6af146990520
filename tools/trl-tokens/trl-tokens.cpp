// trl-tokens: shows what the transliteration scanner makes of its standard
// input, one line per trllex call: code, trlleng, trllval and lineno.  The
// last line is the call that returned 0.
#include <cstdio>

#include "checker/lex.trl.h"

int main()
{
    lineno = 0;
    int code;
    do {
        code = trllex();
        std::printf("%d %td %d %lld\n", code, trlleng, trllval, lineno);
    } while (code != 0);
    return 0;
}
