// The scanner over a text in memory that keeps all of its state in a
// record: the same automaton and rules as trllex (lex.trl.h), and the same
// tokens, values and line count, but no globals, so that texts can be
// scanned side by side.  Inline, so that a parse loop scans without a call.
#pragma once

#include <cstddef>

#include "lex.trl.tables.h"
#include "velmar.tokens.h"

// The code of a match of a rule written as a token, whose first byte is
// `first`, and the value it leaves in `value` (the first byte, as a signed
// char, where the rule says so; the value stays otherwise).  Written
// without branches: the token kinds follow each other at random.
inline int trl_token_code(int token, int rule, char first, int& value)
{
    const int byte = static_cast<unsigned char>(first);
    int code = token > 0 ? token : byte;   // -1: the byte itself
    code = code != 0 ? code : int{TRL_UNDEFINED_TOKEN};   // 0 is the end of the input
    value += (static_cast<signed char>(first) - value) * trl_dfa::rule_value[rule];
    return code;
}

// The text needs no terminator and may hold NUL bytes; it is not changed.
struct trl_text_scanner {
    const char* text = nullptr;    // the whole input
    const char* end = nullptr;
    const char* pos = nullptr;     // where the next match starts
    bool at_line_start = true;
    int lineno = 0;                // as trllex counts it (lineno)
    int value = 0;                 // as trllex leaves it (trllval)
    const char* token = nullptr;   // the text of the last token returned (at the end: end)
    int length = 0;                // its length
};

inline void trl_text_scanner_start(trl_text_scanner& s, const char* text, std::size_t size)
{
    s = trl_text_scanner{};
    s.text = s.pos = text;
    s.end = text + size;
}

// The next token code, as trllex returns it for the same text; 0 at the end.
inline int trl_text_scan(trl_text_scanner& s)
{
    namespace dfa = trl_dfa;
    for (;;) {
        const char* const begin = s.pos;
        if (begin == s.end) {
            s.token = s.end;
            s.length = 0;
            return 0;
        }
        // The longest match from `begin`, backing up to the last accepting
        // state; the end of the text ends a match as the end of the input
        // does for trllex.  Most tokens are one byte.
        const int start = s.at_line_start ? dfa::start_state_at_line_start : dfa::start_state;
        int rule = dfa::one_byte_rule[start][dfa::byte_class[static_cast<unsigned char>(*begin)]];
        const char* after = begin + 1;
        if (rule == 0) {
            int state = start;
            int last_state = 0;
            const char* last_pos = begin;
            for (const char* cp = begin; cp < s.end;) {
                const int to = dfa::next[state][dfa::byte_class[static_cast<unsigned char>(*cp)]];
                if (!to)
                    break;
                state = to;
                ++cp;
                if (const int stop = dfa::stop[state]) {
                    last_state = state;
                    last_pos = cp;
                    if (stop == 2)
                        break;
                }
            }
            rule = dfa::accept[last_state];
            if (rule == 0) {   // no rule takes the byte (no rule set of ours leaves one)
                s.token = begin;
                s.length = 1;
                s.pos = begin + 1;
                return TRL_UNDEFINED_TOKEN;
            }
            after = last_pos - dfa::tail_length[rule];
        }
        s.token = begin;
        s.length = static_cast<int>(after - begin);
        s.pos = after;
        if (after > begin)
            s.at_line_start = after[-1] == '\n';
        if (const int token = dfa::rule_token[rule])
            return trl_token_code(token, rule, *begin, s.value);
        // The rule's own code, on this record's text, value and line count.
        [[maybe_unused]] const char* const trltext = begin;
        [[maybe_unused]] int& trllval = s.value;
        [[maybe_unused]] int& lineno = s.lineno;
        switch (rule) {
#include "lex.trl.actions.inc"
        default:
            return TRL_UNDEFINED_TOKEN;
        }
    }
}
