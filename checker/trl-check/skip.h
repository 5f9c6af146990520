// Scanning ahead over text that the parse does not take (after an error):
// tokens as calls of trl_text_scan give them, but in time linear in the
// bytes passed over, and the scanner moved past the next empty line (END).
//
// trl_text_scan on its own takes quadratic time over two kinds of text,
// each attempt running to the end of a long stretch and backing up to one
// byte: a long run of digits that no '@' follows (a speaker mark would
// cover the digits and the '@'), and "<;" many times over before a '>'
// that no blank follows (a bracketed comment would end there).  Within a
// turn the parse stops at the first such token; scanning ahead does not, so
// it steps over both directly: a digit run is single-digit tokens, an
// unclosed "<;" the token '<'.
#pragma once

#include <cstring>

#include "lex.trl.text.h"
#include "velmar.tokens.h"

namespace trl_check {

// The next token as trl_text_scan returns it, in time linear in the bytes
// it passes over: a run of digits that no '@' ends comes back as one token
// (N, the scanner left as after the run's last single-digit token), and
// the '<' of a "<;" that no bracketed comment ends as the '<' it is.
inline int scan_linear(trl_text_scanner& s, const char*& close)
{
    const char* const p = s.pos;
    const char c = p < s.end ? *p : '\0';
    if (c >= '1' && c <= '9') {
        const char* e = p + 1;
        while (e < s.end && *e >= '0' && *e <= '9')
            ++e;
        if (e - p > 1 && (e == s.end || *e != '@')) {
            s.token = e - 1;   // the last of the single-digit tokens
            s.length = 1;
            s.pos = e;
            s.at_line_start = false;
            s.value = static_cast<signed char>(e[-1]);
            return N;
        }
    } else if (c == '<' && p + 1 < s.end && p[1] == ';') {
        if (!close || close < p + 2) {
            const void* gt = std::memchr(p + 2, '>', static_cast<std::size_t>(s.end - (p + 2)));
            close = gt ? static_cast<const char*>(gt) : s.end;
        }
        const bool closes =
            close + 1 < s.end && (close[1] == ' ' || (close[1] == '\n' && close + 2 < s.end && close[2] == ' '));
        if (!closes) {
            s.token = p;
            s.length = 1;
            s.pos = p + 1;
            s.at_line_start = false;
            s.value = '<';
            return '<';
        }
    }
    return trl_text_scan(s);
}

// Moves `s` past the next END.  False if the input ends first (then `s`
// is at the end).
inline bool skip_past_end(trl_text_scanner& s)
{
    const char* close = nullptr;   // the first '>' after the last "<;" looked at (or end)
    for (;;) {
        const int code = scan_linear(s, close);
        if (code == END)
            return true;
        if (code == 0)
            return false;
    }
}

} // namespace trl_check
