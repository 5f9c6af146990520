#include "checker/trl-check/lsp/analysis.h"

#include <algorithm>

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

// Splits the bytes that the scanner skipped between two tokens into the
// matches of its skipping rules, which their first bytes tell apart: a
// line end, a comment line ("; ..." up to its line end), a bracketed
// comment ("<; ... >" and the line end and blank after it) and "<PP> ".
void skipped(std::string_view text, std::size_t from, std::size_t to, std::vector<span>& out)
{
    while (from < to) {
        const char c = text[from];
        if (c == ';' || (c == '<' && from + 1 < to && text[from + 1] == ';')) {
            const std::size_t close = c == ';' ? text.find('\n', from) : text.find('>', from);
            const std::size_t end = std::min(to, close == std::string_view::npos ? to : close + (c == '<'));
            out.push_back({from, end - from, span_kind::comment});
            from = end;
        } else if (c == '<') {
            const std::size_t close = text.find('>', from);
            const std::size_t end = std::min(to, close == std::string_view::npos ? to : close + 1);
            out.push_back({from, end - from, span_kind::tag});
            from = end;
        } else {
            ++from; // a line end, or the blank after a comment
        }
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
    scan_tokens(text, [&](const scanned_token& t) {
        skipped(text, done, t.offset, out);
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
        else if (is_named(t.code) && (bytes.front() == '<' || bytes.back() == '>'))
            out.push_back({t.offset, t.length, span_kind::tag});
        else if (t.code == '.' || t.code == '?' || t.code == ',')
            out.push_back({t.offset, t.length, span_kind::punctuation});
        return true;
    });
    skipped(text, done, text.size(), out);
    return out;
}

} // namespace trl::lsp
