// The scanner over a text in memory that keeps all of its state in a
// record: the same automaton, match loop and rules as trllex (lex.trl.h),
// and the same tokens, values and line count, but no globals, so that
// texts can be scanned side by side.  Inline, so that a parse loop scans
// without a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lex.trl.tables.h"
#include "scan_engine.h"
#include "velmar.tokens.h"

// The text needs no terminator and may hold NUL bytes; it is not changed.
struct trl_text_scanner {
    const char* text = nullptr; // the whole input
    const char* end = nullptr;
    const char* pos = nullptr; // where the next match starts
    bool at_line_start = true;
    long long lineno = 0;        // as trllex counts it (lineno)
    int value = 0;               // as trllex leaves it (trllval)
    const char* token = nullptr; // the text of the last token returned (at the end: end)
    std::ptrdiff_t length = 0;   // its length
    // Where long matches of this text are known to fail, once one has
    // failed (see scan_engine.h).  Copies of the scanner share it, as they
    // scan the same text; a scanner and its copies belong to one thread.
    std::shared_ptr<scan_engine::failures> failed;
};

inline void trl_text_scanner_start(trl_text_scanner& s, const char* text, std::size_t size)
{
    s = trl_text_scanner{};
    s.text = s.pos = text;
    s.end = text + size;
}

namespace trl_text_detail {

using tables = trl_dfa::tables;

// The bytes of longest_match: the whole text, at once.
struct text_input {
    trl_text_scanner& s;
    const char* base;
    const char* end;
    std::int64_t origin = 0;

    const scan_engine::failures* known_failures() const { return s.failed.get(); }
    scan_engine::failures& record_failures()
    {
        if (!s.failed)
            s.failed = std::make_shared<scan_engine::failures>(tables::num_memo_planes);
        return *s.failed;
    }
    static bool more(const char*&, scan_engine::walk&) { return false; }
    static bool ended_empty() { return true; }
};

} // namespace trl_text_detail

// The next token code, as trllex returns it for the same text; 0 at the end.
// `after_failure`: where long matches are known to fail, take a first byte
// that matches alone without the match loop (scan_engine's
// first_byte_before_failure); for reading on after an error, where they
// do.  The parse loops leave it out: it costs them 3 % on ordinary text.
template <bool after_failure = false> [[gnu::always_inline]] inline int trl_text_scan(trl_text_scanner& s)
{
    using tables = trl_text_detail::tables;
    for (;;) {
        const char* const begin = s.pos;
        if (begin == s.end) {
            s.token = s.end;
            s.length = 0;
            return 0;
        }
        // Most tokens are one byte; the others take two bytes or the match
        // loop, which ends a match at the end of the text as trllex does at
        // the end of the input.
        const auto& one = tables::one_byte[s.at_line_start][static_cast<unsigned char>(*begin)];
        if (one.code > 0) [[likely]] { // a token of one byte
            s.token = begin;
            s.length = 1;
            s.pos = begin + 1;
            s.at_line_start = *begin == '\n';
            return scan_engine::one_byte_token(one, *begin, s.value);
        }
        int rule = one.rule;
        const char* after = begin + 1;
        if (rule == 0) {
            const scan_engine::short_result m = scan_engine::short_match<tables>(one, begin, begin + 1 < s.end);
            rule = m.rule;
            after = begin + m.length;
        }
        if (after_failure && rule == 0 && s.failed) {
            rule = scan_engine::first_byte_before_failure<tables>(*s.failed, begin, s.end,
                                                                  tables::start(s.at_line_start), begin - s.text);
            after = begin + 1;
        }
        if (rule == 0) {
            trl_text_detail::text_input in{s, s.text, s.end};
            const scan_engine::match m = scan_engine::longest_match<tables>(in, begin, tables::start(s.at_line_start));
            rule = m.rule;
            if (rule == 0) { // no rule takes the byte (no rule set of ours leaves one)
                s.token = begin;
                s.length = 1;
                s.pos = begin + 1;
                return TRL_UNDEFINED_TOKEN;
            }
            after = m.end;
        }
        s.token = begin;
        s.length = after - begin;
        s.pos = after;
        if (after > begin)
            s.at_line_start = after[-1] == '\n';
        trl_match yy{begin, after - begin, s.lineno, s.value};
        if (const int code = scan_engine::token<tables>(rule, yy); code != scan_engine::skip)
            return code;
    }
}

// The next token when it is one of `codes` of one byte (a letter of a run:
// see "Runs" in scan_engine.h): its code, read, with its value; 0 when it
// is not, nothing read.
template <int... codes> [[gnu::always_inline]] inline int trl_text_scan_in_run(trl_text_scanner& s)
{
    using tables = trl_text_detail::tables;
    if (s.pos == s.end || s.at_line_start)
        return 0;
    const int code = scan_engine::run_token<tables, codes...>(s.pos, s.value);
    if (code == 0)
        return 0;
    s.token = s.pos;
    s.length = 1;
    ++s.pos;
    return code;
}

// Moves `s` past the next END (the empty line that ends a turn); false if
// the text ends first (then `s` is at its end).
inline bool trl_text_skip_turn(trl_text_scanner& s)
{
    for (;;) {
        const int code = trl_text_scan(s);
        if (code == END)
            return true;
        if (code == 0)
            return false;
    }
}
