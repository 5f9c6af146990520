#include "checker/trl-check/diff.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace trl::cli {

namespace {

constexpr std::size_t context = 3;

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

// One step of the script that turns the old lines into the new ones: a line
// of both, a line of the old text alone, or one of the new text alone.
// `a` and `b` are the places in the two texts before the step.
struct step {
    enum class kind : std::uint8_t { same, removed, added };
    kind what;
    std::size_t a;
    std::size_t b;
};

// Note "The shortest script": the script with the fewest lines removed and
// added is found by walking the diagonals of the edit graph, one more
// change at a time, each as far down its run of equal lines as it goes, and
// keeping, for every number of changes, how far each diagonal got; the
// script is read back from those fronts.  The work grows with the lines
// times the changes: the fixes change few lines, or change lines in place
// (line ends in the whole text), so the walk gives up after a budget of
// work and the lines are then paired where they stand, which is the
// shortest script when every line changed in place.
constexpr std::size_t work_budget = std::size_t{1} << 25;

struct script_finder {
    const std::vector<std::string_view>& a;
    const std::vector<std::string_view>& b;

    // The steps between [a0, a1) and [b0, b1), which share no first and no
    // last line; false when the budget runs out first.
    bool shortest(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1, std::vector<step>& out) const
    {
        const auto n = static_cast<std::ptrdiff_t>(a1 - a0);
        const auto m = static_cast<std::ptrdiff_t>(b1 - b0);
        // fronts[d][k + d]: how far down the old text diagonal k (x - y)
        // got with d changes.
        std::vector<std::vector<std::ptrdiff_t>> fronts;
        std::size_t work = 0;
        for (std::ptrdiff_t d = 0; d <= n + m; ++d) {
            std::vector<std::ptrdiff_t> front(static_cast<std::size_t>(2 * d + 1));
            auto at = [&](const std::vector<std::ptrdiff_t>& f, std::ptrdiff_t dd, std::ptrdiff_t k) {
                return f[static_cast<std::size_t>(k + dd)];
            };
            for (std::ptrdiff_t k = -d; k <= d; k += 2) {
                std::ptrdiff_t x = 0;
                if (d > 0) {
                    const std::vector<std::ptrdiff_t>& prev = fronts.back();
                    const bool down = k == -d || (k != d && at(prev, d - 1, k - 1) < at(prev, d - 1, k + 1));
                    x = down ? at(prev, d - 1, k + 1) : at(prev, d - 1, k - 1) + 1;
                }
                std::ptrdiff_t y = x - k;
                while (x < n && y < m && a[a0 + static_cast<std::size_t>(x)] == b[b0 + static_cast<std::size_t>(y)])
                    ++x, ++y, ++work;
                front[static_cast<std::size_t>(k + d)] = x;
                if (x >= n && y >= m) {
                    fronts.push_back(std::move(front));
                    read_back(fronts, n, m, a0, b0, out);
                    return true;
                }
            }
            work += static_cast<std::size_t>(2 * d + 1);
            if (work > work_budget)
                return false;
            fronts.push_back(std::move(front));
        }
        return false;
    }

    // The steps from the fronts, walked back from the end.
    static void read_back(const std::vector<std::vector<std::ptrdiff_t>>& fronts, std::ptrdiff_t n, std::ptrdiff_t m,
                          std::size_t a0, std::size_t b0, std::vector<step>& out)
    {
        std::vector<step> back;
        std::ptrdiff_t x = n;
        std::ptrdiff_t y = m;
        for (auto d = static_cast<std::ptrdiff_t>(fronts.size()) - 1; d >= 0; --d) {
            const std::ptrdiff_t k = x - y;
            std::ptrdiff_t before_x = 0;
            std::ptrdiff_t before_y = 0;
            bool down = false;
            if (d > 0) {
                const std::vector<std::ptrdiff_t>& prev = fronts[static_cast<std::size_t>(d - 1)];
                auto at = [&](std::ptrdiff_t kk) { return prev[static_cast<std::size_t>(kk + d - 1)]; };
                down = k == -d || (k != d && at(k - 1) < at(k + 1));
                const std::ptrdiff_t prev_k = down ? k + 1 : k - 1;
                before_x = at(prev_k);
                before_y = before_x - prev_k;
            }
            // The run of equal lines that ends at (x, y).
            const std::ptrdiff_t start_x = d == 0 ? 0 : (down ? before_x : before_x + 1);
            while (x > start_x) {
                --x, --y;
                back.push_back({step::kind::same, a0 + static_cast<std::size_t>(x), b0 + static_cast<std::size_t>(y)});
            }
            if (d > 0) {
                if (down)
                    back.push_back({step::kind::added, a0 + static_cast<std::size_t>(before_x),
                                    b0 + static_cast<std::size_t>(before_y)});
                else
                    back.push_back({step::kind::removed, a0 + static_cast<std::size_t>(before_x),
                                    b0 + static_cast<std::size_t>(before_y)});
                x = before_x;
                y = before_y;
            }
        }
        out.insert(out.end(), back.rbegin(), back.rend());
    }
};

// The script of the whole texts: the lines they begin and end with in
// common, and between them the shortest script (or, past its budget, the
// lines paired where they stand).
std::vector<step> script(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b)
{
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const std::size_t a1 = a.size() - tail;
    const std::size_t b1 = b.size() - tail;

    std::vector<step> out;
    for (std::size_t i = 0; i < head; ++i)
        out.push_back({step::kind::same, i, i});
    if (!script_finder{a, b}.shortest(head, a1, head, b1, out)) {
        // Paired where they stand.
        out.resize(head);
        for (std::size_t i = head; i < std::max(a1, b1); ++i) {
            const std::size_t ai = std::min(i, a1);
            const std::size_t bi = std::min(i, b1);
            if (i < a1 && i < b1 && a[i] == b[i]) {
                out.push_back({step::kind::same, ai, bi});
                continue;
            }
            if (i < a1)
                out.push_back({step::kind::removed, ai, bi});
            if (i < b1)
                out.push_back({step::kind::added, i < a1 ? ai + 1 : ai, bi});
        }
    }
    for (std::size_t i = 0; i < tail; ++i)
        out.push_back({step::kind::same, a1 + i, b1 + i});
    return out;
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
    const std::vector<std::string_view> a = lines_of(before);
    const std::vector<std::string_view> b = lines_of(after);
    const std::vector<step> steps = script(a, b);
    auto changed = [&](std::size_t i) { return steps[i].what != step::kind::same; };

    std::string out;
    for (std::size_t i = 0; i < steps.size();) {
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
        for (std::size_t j = i; j < steps.size() && j <= last + 2 * context + 1; ++j)
            if (changed(j))
                last = j;
        const std::size_t to = std::min(steps.size(), last + 1 + context);
        std::size_t a_count = 0;
        std::size_t b_count = 0;
        for (std::size_t j = from; j < to; ++j) {
            a_count += steps[j].what != step::kind::added;
            b_count += steps[j].what != step::kind::removed;
        }
        if (out.empty())
            out += "--- " + std::string(path) + "\n+++ " + std::string(path) + "\n";
        out += "@@ -" + range(steps[from].a, a_count) + " +" + range(steps[from].b, b_count) + " @@\n";
        // Each run of changes: its old lines, then its new ones.
        for (std::size_t j = from; j < to;) {
            if (!changed(j)) {
                put_line(out, ' ', a[steps[j].a]);
                ++j;
                continue;
            }
            std::size_t k = j;
            while (k < to && changed(k))
                ++k;
            for (std::size_t m = j; m < k; ++m)
                if (steps[m].what == step::kind::removed)
                    put_line(out, '-', a[steps[m].a]);
            for (std::size_t m = j; m < k; ++m)
                if (steps[m].what == step::kind::added)
                    put_line(out, '+', b[steps[m].b]);
            j = k;
        }
        i = to;
    }
    return out;
}

} // namespace trl::cli
