// velmar's inline token path, for its parse loop (trlparse): what trllex
// returns, but the one-byte tokens, most of the text, come inline, with the
// scanner's place kept in a trl_inline_scanner (a value the loop can hold in
// registers) rather than in trllex's globals; every other token comes from
// trllex itself.  Between trl_inline_start and trl_inline_finish the inline
// scanner has the scanner's place; before and after, trllex's globals do.
#pragma once

#include "checker/lex.trl.h"
#include "lex.trl.tables.h"
#include "scan_engine.h"

struct trl_inline_scanner {
    char* cp = nullptr; // where the next match starts
    // The last token of more than one byte read inline, while it is the
    // last token read (token_end == cp); else the last was one byte.
    char* token = nullptr;
    char* token_end = nullptr;
    bool at_line_start = true;
    // The end of the bytes at hand, where a longer match may be decided
    // inline; null while a memo of failures is kept (trllex then finds the
    // longer matches, with it).
    const char* limit = nullptr;
};

// Takes the scanner's place from trllex's globals (setting the scanner up
// on its first use, as trllex does).
trl_inline_scanner trl_inline_start();
// Hands it back, as trllex would leave it after the last token read.
void trl_inline_finish(trl_inline_scanner r);

// A token from trllex, and the inline scanner after it.
struct trl_inline_step {
    trl_inline_scanner scanner;
    int code;
    int value;
};
trl_inline_step trl_inline_call_trllex(trl_inline_scanner r, int value);
// The action of a match of `rule` at cp (a newline's count): its
// token code or scan_engine::skip, and the value after it.
struct trl_inline_action_result {
    int code;
    int value;
};
trl_inline_action_result trl_inline_action(int rule, char* cp, std::ptrdiff_t length, int value);

// The next token code, as trllex returns it, and its value, as trllval
// holds it.
[[gnu::always_inline]] inline int trl_read_token(trl_inline_scanner& r, int& value)
{
    using tables = trl_dfa::tables;
    for (;;) {
        char* const cp = r.cp;
        // The end of the buffered text is a NUL, which no one-byte rule takes
        // and which the second byte of a short match may not be.
        const auto& one = tables::one_byte[r.at_line_start][static_cast<unsigned char>(*cp)];
        if (one.code > 0) [[likely]] { // a token of one byte
            r.cp = cp + 1;
            r.at_line_start = *cp == '\n';
            return scan_engine::one_byte_token(one, *cp, value);
        }
        if (one.rule != 0) { // a byte whose rule is code (a newline's count)
            r.cp = cp + 1;
            r.at_line_start = *cp == '\n';
            const trl_inline_action_result acted = trl_inline_action(one.rule, cp, 1, value);
            value = acted.value;
            if (acted.code != scan_engine::skip)
                return acted.code;
            continue;
        }
        const scan_engine::short_result m = scan_engine::short_match<tables>(one, cp, cp[1] != '\0');
        int rule = m.rule;
        char* after = cp + m.length;
        if (rule == 0) {
            scan_engine::quick_result q;
            if (!r.limit || !scan_engine::quick_match<tables>(cp, r.limit, tables::start(r.at_line_start), q) ||
                q.rule == 0 || q.end == cp) {
                const trl_inline_step next = trl_inline_call_trllex(r, value);
                r = next.scanner;
                value = next.value;
                return next.code;
            }
            rule = q.rule;
            after = const_cast<char*>(q.end);
        }
        r.token = cp;
        r.cp = r.token_end = after;
        r.at_line_start = after[-1] == '\n';
        if (tables::rule_token[rule]) [[likely]]
            return scan_engine::token_code<tables>(rule, *cp, value);
        const trl_inline_action_result acted = trl_inline_action(rule, cp, after - cp, value);
        value = acted.value;
        if (acted.code != scan_engine::skip)
            return acted.code;
    }
}

// The next token when it is one of `codes` of one byte (a letter of a run:
// see "Runs" in scan_engine.h): its code, read, with its value; 0 when it
// is not, nothing read.
template <int... codes> [[gnu::always_inline]] inline int trl_read_in_run(trl_inline_scanner& r, int& value)
{
    using tables = trl_dfa::tables;
    if (r.at_line_start)
        return 0;
    const int code = scan_engine::run_token<tables, codes...>(r.cp, value);
    if (code != 0)
        ++r.cp;
    return code;
}
