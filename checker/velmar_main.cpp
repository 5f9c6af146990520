// velmar: checks the transliteration on standard input.  Echoes the turn
// numbers and the letters of each lexical element, reports the first syntax
// error, and exits with the parse result: 0 accepted, 1 rejected, 2 stack
// overflow, or a failure of the input or of standard output.  Arguments are
// ignored.
#include <cstdio>

#include <unistd.h>

#include "lex.trl.h"
#include "velmar.h"

int main(int, char**)
{
    // Echo lines leave in large blocks, unless a person watches them.
    static char out_buffer[1 << 16];
    if (!isatty(1))
        std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    velmar_reset();
    const int result = trlparse();
    velmar_finish_output();
    return result;
}
