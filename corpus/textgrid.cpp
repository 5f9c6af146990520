#include "corpus/textgrid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <set>

namespace corpus {

namespace {

// Seconds at sample `n`, the shortest decimal that reads back as the same
// double.
std::string seconds_at(std::int64_t n, std::int32_t rate)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(n) / rate);
    return std::string(buffer, r.ptr);
}

// A TextGrid string: in double quotes, a quote inside doubled.
std::string quoted(std::string_view s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

struct interval {
    std::int64_t from, to;
    std::string_view text;
};

// The intervals of a tier: `marked` turns with their text, the time
// between them and before and after them empty, so that the intervals
// cover the timeline without a gap, as Praat's interval tiers do.
template <class Text> std::vector<interval> tier_intervals(const timeline& t, Text text_of)
{
    std::vector<interval> out;
    std::int64_t at = 0;
    for (const timed_turn& turn : t.turns) {
        const auto text = text_of(turn);
        if (!text)
            continue;
        if (turn.first > at)
            out.push_back({at, turn.first, {}});
        out.push_back({turn.first, turn.first + turn.samples, *text});
        at = turn.first + turn.samples;
    }
    if (at < t.samples || out.empty())
        out.push_back({at, t.samples, {}});
    return out;
}

void append_tier(std::string& out, int number, std::string_view name, const timeline& t,
                 const std::vector<interval>& intervals)
{
    const std::string end = seconds_at(t.samples, t.rate);
    out += "    item [" + std::to_string(number) + "]:\n";
    out += "        class = \"IntervalTier\"\n";
    out += "        name = " + quoted(name) + "\n";
    out += "        xmin = 0\n";
    out += "        xmax = " + end + "\n";
    out += "        intervals: size = " + std::to_string(intervals.size()) + "\n";
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        out += "        intervals [" + std::to_string(i + 1) + "]:\n";
        out += "            xmin = " + seconds_at(intervals[i].from, t.rate) + "\n";
        out += "            xmax = " + seconds_at(intervals[i].to, t.rate) + "\n";
        out += "            text = " + quoted(intervals[i].text) + "\n";
    }
}

} // namespace

std::int64_t turn_gap_samples(std::int32_t rate)
{
    return std::llround(rate * turn_gap_seconds);
}

timeline lay_out(std::int32_t rate, std::vector<timed_turn> turns)
{
    timeline t;
    t.rate = rate;
    const std::int64_t gap = turn_gap_samples(rate);
    for (timed_turn& turn : turns) {
        if (t.samples > 0)
            t.samples += gap;
        turn.first = t.samples;
        t.samples += turn.samples;
    }
    t.turns = std::move(turns);
    return t;
}

std::string textgrid_text(const timeline& t)
{
    const std::set<std::string_view> speakers = [&] {
        std::set<std::string_view> s;
        for (const timed_turn& turn : t.turns)
            s.insert(turn.speaker);
        return s;
    }();
    std::string out = "File type = \"ooTextFile\"\n"
                      "Object class = \"TextGrid\"\n"
                      "\n"
                      "xmin = 0\n"
                      "xmax = " +
                      seconds_at(t.samples, t.rate) +
                      "\n"
                      "tiers? <exists>\n"
                      "size = " +
                      std::to_string(speakers.size() + 1) +
                      "\n"
                      "item []:\n";
    int number = 0;
    for (const std::string_view speaker : speakers)
        append_tier(out, ++number, speaker, t, tier_intervals(t, [&](const timed_turn& turn) {
                        return turn.speaker == speaker ? std::optional(turn.words) : std::nullopt;
                    }));
    append_tier(out, ++number, "turn", t,
                tier_intervals(t, [](const timed_turn& turn) { return std::optional(turn.key); }));
    return out;
}

} // namespace corpus
