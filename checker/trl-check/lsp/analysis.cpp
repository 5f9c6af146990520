#include "analysis.h"

#include <algorithm>
#include <array>
#include <span>
#include <tuple>

#include "lex.trl.text.h"
#include "parse_engine.h"
#include "velmar.tab.h"

namespace trl_check::lsp {

namespace {

using tables = trl_lalr::tables;

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

std::string_view grammar_words(int code)
{
    return tables::symbol_description[tables::translate(code)];
}

// The strings from '<' that the scanner's automaton accepts, its loops not
// gone round.
std::vector<std::string> accepted_from_angle()
{
    using dfa = trl_dfa::tables;
    std::array<std::vector<unsigned char>, dfa::num_classes> members;
    for (int b = 0; b < 256; ++b)
        members[dfa::byte_class[b]].push_back(static_cast<unsigned char>(b));
    std::vector<std::string> found;
    std::string prefix = "<";
    std::vector<int> path;
    constexpr std::size_t longest = 64; // far above any tag
    auto walk = [&](auto&& self, int state) -> void {
        if (dfa::accept[state] != 0)
            found.push_back(prefix);
        if (dfa::stop[state] == 2 || prefix.size() >= longest)
            return;
        path.push_back(state);
        for (int c = 0; c < dfa::num_classes; ++c) {
            const int to = dfa::next[state][c];
            if (to == 0 || std::find(path.begin(), path.end(), to) != path.end())
                continue;
            for (const unsigned char b : members[static_cast<std::size_t>(c)]) {
                prefix.push_back(static_cast<char>(b));
                self(self, to);
                prefix.pop_back();
            }
        }
        path.pop_back();
    };
    walk(walk, dfa::next[dfa::start_state][dfa::byte_class[static_cast<unsigned char>('<')]]);
    return found;
}

std::vector<tag_info> collect_tags()
{
    std::vector<tag_info> tags;
    for (std::string& candidate : accepted_from_angle()) {
        int code = 0;
        bool whole = false;
        scan_tokens(candidate, [&](const scanned_token& t) {
            code = t.code;
            whole = t.offset == 0 && t.length == candidate.size();
            return false;
        });
        if (whole && is_named(code) && candidate.find('>') != std::string::npos)
            tags.push_back({std::move(candidate), code, grammar_words(code)});
    }
    std::sort(tags.begin(), tags.end(), [](const tag_info& a, const tag_info& b) {
        return std::tie(a.token, a.text) < std::tie(b.token, b.text);
    });
    tags.erase(
        std::unique(tags.begin(), tags.end(), [](const tag_info& a, const tag_info& b) { return a.text == b.text; }),
        tags.end());
    return tags;
}

// Runs the parser from the start of a text over the token codes given, to
// see whether it takes them all.
struct token_feed {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;

    std::span<const int> codes;
    std::vector<trl_engine::entry>& storage;
    std::size_t next = 0;

    int lex(int& value)
    {
        value = 0;
        // After the tokens, one that no state takes ends the parse.
        return next < codes.size() ? codes[next++] : (++next, TRL_UNDEFINED_TOKEN);
    }
    bool grow(trl_engine::parse_state& p)
    {
        storage.resize(storage.size() * 2 + 1);
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size()) - 1;
        return true;
    }
    static trl_engine::error_outcome syntax_error(trl_engine::parse_state&)
    {
        return trl_engine::error_outcome::not_recovered;
    }
};

bool parser_takes(std::span<const int> codes)
{
    std::vector<trl_engine::entry> storage(65);
    token_feed feed{codes, storage};
    trl_engine::parse_state p;
    p.stack = storage.data();
    p.capacity = static_cast<int>(storage.size()) - 1;
    trl_engine::start(p);
    trl_engine::parse<tables, token_feed, false>(p, feed);
    return feed.next > codes.size();
}

// Follows the turns through the tokens: collects the tokens that begin a
// turn up to its ':' and the token after it, and has the parser judge
// them.
class turn_finder {
public:
    explicit turn_finder(std::string_view text) : text_(text) {}

    void take(const scanned_token& t)
    {
        if (t.code == END) {
            if (open_)
                turns_.back().end = t.offset + t.length;
            open_ = false;
            collecting_ = true;
            pending_.clear();
            return;
        }
        if (!collecting_)
            return;
        pending_.push_back(t);
        if (pending_.size() >= longest_identification) {
            collecting_ = false;
        } else if (pending_.size() >= 2 && pending_[pending_.size() - 2].code == ':') {
            collecting_ = false;
            judge();
        }
    }

    std::vector<turn_info> finish()
    {
        if (open_)
            turns_.back().end = text_.size();
        return std::move(turns_);
    }

private:
    // Far more tokens than an identification has.
    static constexpr std::size_t longest_identification = 64;

    void judge()
    {
        std::vector<int> codes;
        for (const scanned_token& t : pending_)
            codes.push_back(t.code);
        if (!parser_takes(codes))
            return;
        turn_info turn;
        turn.begin = pending_.front().offset;
        const scanned_token& colon = pending_[pending_.size() - 2];
        turn.identification_end = colon.offset + colon.length;
        turn.end = text_.size();
        turn.name = text_.substr(turn.begin, colon.offset - turn.begin);
        // dialog name '_' turn number: three digits '_' speaker '_' CD-ROM number
        std::string_view rest = turn.name;
        for (int part = 0; part < 2 && !rest.empty(); ++part)
            rest.remove_prefix(std::min(rest.size(), rest.find('_') + 1));
        turn.speaker = rest.substr(0, rest.find('_'));
        turns_.push_back(turn);
        open_ = true;
    }

    std::string_view text_;
    std::vector<turn_info> turns_;
    std::vector<scanned_token> pending_;
    bool collecting_ = true; // at the start of a turn
    bool open_ = false;      // the last turn has not seen its empty line
};

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

const std::vector<tag_info>& known_tags()
{
    static const std::vector<tag_info> tags = collect_tags();
    return tags;
}

const tag_info* find_tag(std::string_view text)
{
    for (const tag_info& t : known_tags())
        if (t.text == text)
            return &t;
    return nullptr;
}

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

std::vector<turn_info> find_turns(std::string_view text)
{
    turn_finder finder(text);
    scan_tokens(text, [&](const scanned_token& t) {
        finder.take(t);
        return true;
    });
    return finder.finish();
}

std::vector<span> semantic_spans(std::string_view text)
{
    const std::vector<turn_info> turns = find_turns(text);
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

} // namespace trl_check::lsp
