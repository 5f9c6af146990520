#include "diff.h"

#include <algorithm>
#include <vector>

namespace trl_check {

namespace {

// The lines of a text, each with its line end (the last one may have none).
std::vector<std::string_view> lines_of(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t nl = text.find('\n', at);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

void put_line(std::string& out, char mark, std::string_view line)
{
    out += mark;
    out += line;
    if (!line.ends_with('\n'))
        out += "\n\\ No newline at end of file\n";
}

// "-3,4": where a hunk's lines begin (1-based; the line before them when
// there are none) and how many there are.
std::string range(std::size_t first, std::size_t count)
{
    return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
}

} // namespace

std::string unified_diff(std::string_view path, std::string_view before, std::string_view after)
{
    constexpr std::size_t context = 3;
    const std::vector<std::string_view> a = lines_of(before);
    const std::vector<std::string_view> b = lines_of(after);
    const std::size_t n = std::max(a.size(), b.size());
    auto changed = [&](std::size_t i) { return i >= a.size() || i >= b.size() || a[i] != b[i]; };

    std::string out;
    for (std::size_t i = 0; i < n;) {
        if (!changed(i)) {
            ++i;
            continue;
        }
        // A hunk: from `context` lines before the first change to
        // `context` lines after the last change that is followed by no
        // other with at most twice the context of unchanged lines between
        // (whose contexts would meet), as diff -u cuts them.
        const std::size_t from = i >= context ? i - context : 0;
        std::size_t last = i;
        for (std::size_t j = i; j < n && j <= last + 2 * context + 1; ++j)
            if (changed(j))
                last = j;
        const std::size_t to = std::min(n, last + 1 + context);
        const std::size_t a_count = std::min(to, a.size()) - std::min(from, a.size());
        const std::size_t b_count = std::min(to, b.size()) - std::min(from, b.size());
        if (out.empty())
            out += "--- " + std::string(path) + "\n+++ " + std::string(path) + "\n";
        out += "@@ -" + range(std::min(from, a.size()), a_count) + " +" + range(std::min(from, b.size()), b_count) +
               " @@\n";
        for (std::size_t j = from; j < to;) {
            if (!changed(j)) {
                put_line(out, ' ', a[j]);
                ++j;
                continue;
            }
            std::size_t k = j;
            while (k < to && changed(k))
                ++k;
            for (std::size_t m = j; m < k && m < a.size(); ++m)
                put_line(out, '-', a[m]);
            for (std::size_t m = j; m < k && m < b.size(); ++m)
                put_line(out, '+', b[m]);
            j = k;
        }
        i = to;
    }
    return out;
}

} // namespace trl_check
