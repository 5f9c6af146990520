#include "checker/trl-check/lsp/analysis.h"

#include <algorithm>
#include <cstdint>

#include "language/text_scanner.h"
#include "velmar.tab.h"

namespace trl::lsp {

namespace {

// Calls visit(token) for every token of the text until it returns false.
template <class Visit> void scan_tokens(std::string_view text, Visit&& visit)
{
    trl_text_scanner s;
    trl_text_scanner_start(s, text.data(), text.size());
    for (;;) {
        const int code = trl_text_scan(s);
        if (code == 0)
            return;
        const scanned_token t{code, static_cast<std::size_t>(s.token - text.data()),
                              static_cast<std::size_t>(s.length)};
        if (!visit(t))
            return;
    }
}

bool is_named(int code)
{
    return code > TRL_UNDEFINED_TOKEN && code <= TRL_MAX_TOKEN;
}

// A tag, or a comment, is written in angle brackets.
bool bracketed(std::string_view bytes)
{
    return bytes.front() == '<' || bytes.back() == '>';
}

// Note "What the scanner skips".  Some rules of lex.trl.l make no token:
// their matches are skipped (comment lines, bracketed comments, the pause
// mark "<PP> ", line ends).  The bytes between two tokens are split into
// those matches again by the automaton, from where each begins as the
// scanner does (longest_match), and each match is told apart by its rule.
// A comment is a match of a rule that a comment body leads to: a state that
// loops on every byte but one (loop_bit, see scan_engine.h), which is how
// the automaton reads free text up to a closing byte.  Those rules are
// found once by following the automaton from such states, so a comment of
// another form in lex.trl.l is coloured without a change here.  A skipped
// match in brackets that is no comment is coloured as a tag.  Something in
// brackets is coloured up to its closing '>': the blank and line end that a
// rule takes after it are not part of it.

using dfa = trl_dfa::tables;

// The rules whose matches are comments (see Note "What the scanner skips").
const std::vector<bool>& comment_rules()
{
    static const std::vector<bool> rules = [] {
        std::vector<bool> comment(dfa::num_rules + 1);
        std::vector<bool> reached(dfa::num_states);
        std::vector<int> todo;
        for (int s = 1; s < dfa::num_states; ++s)
            if (dfa::stop[s] & scan_engine::loop_bit) {
                reached[s] = true;
                todo.push_back(s);
            }
        while (!todo.empty()) {
            const int s = todo.back();
            todo.pop_back();
            comment[dfa::accept[s]] = true;
            for (int c = 0; c < dfa::num_classes; ++c)
                if (const int to = dfa::next[s][c]; to != 0 && !reached[to]) {
                    reached[to] = true;
                    todo.push_back(to);
                }
        }
        comment[0] = false; // no rule
        return comment;
    }();
    return rules;
}

// A text in memory as longest_match reads it: all of it at hand.
struct whole_text {
    explicit whole_text(std::string_view text) : base(text.data()), end(text.data() + text.size()) {}

    const char* base;
    const char* end;
    std::int64_t origin = 0;
    scan_engine::failures memo{dfa::num_memo_planes};

    const scan_engine::failures* known_failures() const { return &memo; }
    scan_engine::failures& record_failures() { return memo; }
    static bool more(const char*&, scan_engine::walk&) { return false; }
    static bool ended_empty() { return true; }
};

// The spans of the bytes [from, to) of `text` (read by `in`) that the
// scanner skipped between two tokens (see Note "What the scanner skips").
void skipped(std::string_view text, whole_text& in, std::size_t from, std::size_t to, std::vector<span>& out)
{
    while (from < to) {
        const bool line_start = from == 0 || text[from - 1] == '\n';
        const scan_engine::match m = scan_engine::longest_match<dfa>(in, text.data() + from, dfa::start(line_start));
        const std::size_t end = std::max(from + 1, static_cast<std::size_t>(m.end - text.data()));
        std::string_view bytes = text.substr(from, end - from);
        if (const std::size_t close = bytes.rfind('>'); bytes.front() == '<' && close != std::string_view::npos)
            bytes.remove_suffix(bytes.size() - close - 1); // up to the closing bracket
        if (comment_rules()[static_cast<std::size_t>(m.rule)])
            out.push_back({from, bytes.size(), span_kind::comment});
        else if (bracketed(bytes))
            out.push_back({from, bytes.size(), span_kind::tag});
        from = end;
    }
}

} // namespace

scanned_token token_at(std::string_view text, std::size_t offset)
{
    scanned_token found;
    scan_tokens(text, [&](const scanned_token& t) {
        if (t.offset + t.length <= offset)
            return true;
        if (t.offset <= offset)
            found = t;
        return false;
    });
    return found;
}

std::vector<trl::turn> read_turns(std::string_view text)
{
    trl::read_options options;
    options.recover = true;
    return trl::read_document(text, options).turns;
}

std::vector<span> semantic_spans(std::string_view text)
{
    const std::vector<trl::turn> turns = read_turns(text);
    std::vector<span> out;
    auto turn = turns.begin();
    std::size_t done = 0; // the end of the last token
    whole_text in(text);
    scan_tokens(text, [&](const scanned_token& t) {
        skipped(text, in, done, t.offset, out);
        done = t.offset + t.length;
        while (turn != turns.end() && turn->identification_end <= t.offset)
            ++turn;
        if (turn != turns.end() && turn->begin <= t.offset) {
            if (turn->begin == t.offset)
                out.push_back({turn->begin, turn->identification_end - turn->begin, span_kind::identification});
            return true;
        }
        const std::string_view bytes = text.substr(t.offset, t.length);
        if (t.code == SPA || t.code == SPP)
            out.push_back({t.offset, t.length, span_kind::speaker_mark});
        else if (is_named(t.code) && bracketed(bytes))
            out.push_back({t.offset, t.length, span_kind::tag});
        else if (t.code == '.' || t.code == '?' || t.code == ',')
            out.push_back({t.offset, t.length, span_kind::punctuation});
        return true;
    });
    skipped(text, in, done, text.size(), out);
    return out;
}

} // namespace trl::lsp
