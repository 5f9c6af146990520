#include "language/tags.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "language/text_scanner.h"
#include "velmar.tab.h"

namespace trl {

namespace {

using tables = trl_lalr::tables;

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
        // One named token, the whole candidate.
        trl_text_scanner s;
        trl_text_scanner_start(s, candidate.data(), candidate.size());
        const int code = trl_text_scan(s);
        const bool whole = s.token == candidate.data() && static_cast<std::size_t>(s.length) == candidate.size();
        if (whole && code > TRL_UNDEFINED_TOKEN && code <= TRL_MAX_TOKEN && candidate.find('>') != std::string::npos)
            tags.push_back({std::move(candidate), code, tables::symbol_description[tables::translate(code)]});
    }
    std::sort(tags.begin(), tags.end(), [](const tag_info& a, const tag_info& b) {
        return std::tie(a.token, a.text) < std::tie(b.token, b.text);
    });
    tags.erase(
        std::unique(tags.begin(), tags.end(), [](const tag_info& a, const tag_info& b) { return a.text == b.text; }),
        tags.end());
    return tags;
}

bool is_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The edit distance of a and b in half edits (see suggest_tag), or more
// than `limit` when it is above it.
int half_edits(std::string_view a, std::string_view b, int limit)
{
    if (a.size() > b.size() + static_cast<std::size_t>(limit) / 2 ||
        b.size() > a.size() + static_cast<std::size_t>(limit) / 2)
        return limit + 1;
    std::vector<int> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = static_cast<int>(2 * j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(2 * i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const char x = a[i - 1];
            const char y = b[j - 1];
            const int replace = x == y ? 0 : is_letter(x) && is_letter(y) && (x ^ y) == ('a' ^ 'A') ? 1 : 2;
            const int best = std::min({row[j] + 2, row[j - 1] + 2, diagonal + replace});
            diagonal = row[j];
            row[j] = best;
        }
    }
    return row[b.size()];
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

const tag_info* suggest_tag(std::string_view written)
{
    constexpr int limit = 4; // 2 edits
    const tag_info* best = nullptr;
    int best_distance = limit + 1;
    bool tie = false;
    for (const tag_info& t : known_tags()) {
        std::string_view text = t.text;
        if (text.ends_with(' ')) // a language marker with its blank
            text.remove_suffix(1);
        const int d = half_edits(written, text, limit);
        if (d < best_distance) {
            best = &t;
            best_distance = d;
            tie = false;
        } else if (d == best_distance) {
            tie = true;
        }
    }
    return best && !tie ? best : nullptr;
}

} // namespace trl
