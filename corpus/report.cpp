// quenda-corpus report: the corpus at a glance, one HTML page with its
// style and its charts inside (CSS, SVG), which needs no script and no
// network to be read.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <system_error>

#include "language/catalogue.h"
#include "corpus/commands.h"
#include "corpus/stats.h"
#include "common/text.h"
#include "common/version.h"

namespace corpus {

namespace {

// Text for HTML, in elements and in quoted attributes: well-formed UTF-8
// kept, other bytes by the escaping rule, and the markup's characters as
// references.
std::string html(std::string_view s)
{
    std::string out;
    for (const char c : text::printable(s)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Minutes with a tenth, or three decimals below one.
std::string minutes_text(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, seconds < 60 ? "%.3f" : "%.1f", seconds / 60.0);
    return buf;
}

// A duration for people: seconds below a minute, else minutes.
std::string duration_text(double seconds)
{
    return seconds < 60 ? seconds_text(seconds) + " s" : minutes_text(seconds) + " min";
}

struct bar {
    std::string label; // as it is, escaped when written
    double value;
    std::string shown; // the value as written beside the bar
};

// A horizontal bar chart as inline SVG: a label, a bar and its value on
// each row.
std::string bar_chart(std::string_view title, const std::vector<bar>& bars)
{
    if (bars.empty())
        return "";
    constexpr int row = 22;
    constexpr int bar_width = 360;
    // Room for the longest label, at about 7.5 pixels a character of the
    // 13-pixel font.
    std::size_t longest = 0;
    double most = 0;
    for (const bar& b : bars) {
        longest = std::max(longest, text::printable(b.label).size());
        most = std::max(most, b.value);
    }
    const int label_width = std::clamp(static_cast<int>(longest * 15 / 2) + 16, 48, 360);
    const int width = label_width + bar_width + 70;
    const int height = row * static_cast<int>(bars.size()) + 8;
    std::string s = "<figure><figcaption>" + html(title) + "</figcaption>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" + std::to_string(width) + "\" height=\"" +
         std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
         "\" aria-label=\"" + html(title) + "\">\n";
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const bar& b = bars[i];
        const int y = 4 + row * static_cast<int>(i);
        const int w = most > 0 ? std::max(1, static_cast<int>(b.value / most * bar_width + 0.5)) : 0;
        s += "<text x=\"" + std::to_string(label_width - 8) + "\" y=\"" + std::to_string(y + 15) +
             "\" text-anchor=\"end\" class=\"label\">" + html(b.label) + "</text>";
        s += "<rect x=\"" + std::to_string(label_width) + "\" y=\"" + std::to_string(y + 3) + "\" width=\"" +
             std::to_string(w) + "\" height=\"" + std::to_string(row - 6) + "\" rx=\"2\" class=\"bar\"/>";
        s += "<text x=\"" + std::to_string(label_width + w + 6) + "\" y=\"" + std::to_string(y + 15) +
             "\" class=\"value\">" + html(b.shown) + "</text>\n";
    }
    s += "</svg></figure>\n";
    return s;
}

std::string html_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& numeric)
{
    std::string s = "<table>\n<thead><tr>";
    for (std::size_t c = 0; c < header.size(); ++c)
        s += std::string(numeric[c] ? "<th class=\"n\">" : "<th>") + html(header[c]) + "</th>";
    s += "</tr></thead>\n<tbody>\n";
    for (const auto& r : rows) {
        s += "<tr>";
        for (std::size_t c = 0; c < r.size(); ++c)
            s += std::string(numeric[c] ? "<td class=\"n\">" : "<td>") + html(r[c]) + "</td>";
        s += "</tr>\n";
    }
    return s + "</tbody>\n</table>\n";
}

constexpr const char* style = R"(
body { font: 15px/1.45 system-ui, "DejaVu Sans", sans-serif; color: #1f2328; background: #fff; margin: 2em auto; max-width: 1100px; padding: 0 1.5em; }
h1 { font-size: 1.7em; margin: 0 0 .2em; }
h2 { font-size: 1.25em; margin: 1.8em 0 .6em; border-bottom: 1px solid #d0d7de; padding-bottom: .2em; }
p.sub { color: #57606a; margin: 0 0 1.2em; }
.cards { display: flex; flex-wrap: wrap; gap: .8em; }
.card { border: 1px solid #d0d7de; border-radius: 6px; padding: .6em 1em; min-width: 8.5em; background: #f6f8fa; }
.card .v { font-size: 1.45em; font-weight: 600; }
.card .k { color: #57606a; font-size: .9em; }
.card.bad { background: #fff1f0; border-color: #ffb3ad; }
table { border-collapse: collapse; margin: .4em 0 1em; font-size: .92em; }
th, td { border-bottom: 1px solid #d8dee4; padding: .25em .7em; text-align: left; white-space: nowrap; }
th { background: #f6f8fa; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
.wide { overflow-x: auto; }
figure { margin: 1em 0 1.4em; }
figcaption { font-weight: 600; margin-bottom: .3em; }
svg .bar { fill: #4c78a8; }
svg .label, svg .value { font: 13px system-ui, "DejaVu Sans", sans-serif; fill: #1f2328; }
.charts { display: flex; flex-wrap: wrap; gap: 0 2.5em; }
code { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: .92em; }
)";

// A part of the page: "<h2>" and its content.
std::string section(std::string_view title, const std::string& body)
{
    return "<h2>" + html(title) + "</h2>\n" + body;
}

std::string card(std::string_view value, std::string_view key, bool bad = false)
{
    return std::string(bad ? "<div class=\"card bad\">" : "<div class=\"card\">") + "<div class=\"v\">" + html(value) +
           "</div><div class=\"k\">" + html(key) + "</div></div>\n";
}

// A card of a count: "1" "file read", "2" "files read".
std::string card(std::int64_t n, std::string_view one, std::string_view more, bool bad = false)
{
    return card(number(n), n == 1 ? one : more, bad);
}

// The most frequent strings of a counter, at most n.
std::vector<bar> top(const counter& c, std::size_t n, const std::function<std::string(std::string_view)>& label)
{
    std::vector<bar> bars;
    for (const counter::ranked& r : c.sorted()) {
        if (bars.size() == n)
            break;
        bars.push_back({label(counter::at(r).key), static_cast<double>(r.count), number(r.count)});
    }
    return bars;
}

} // namespace

int run_report(const options& o, checked_stdout& out)
{
    outcomes seen(o, out);
    survey_needs needs;
    needs.vocabulary = needs.words = needs.tags = true;
    needs.letters = form::utf8;
    recordings recs;
    pairing p;
    const survey s = survey_with_recordings(o, needs, seen, &recs, &p);
    const bool audio = !o.audio.empty();

    std::string paths;
    for (const std::string& path : o.paths)
        paths += (paths.empty() ? "" : " ") + path;
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>Corpus report</title>\n<style>" +
                       std::string(style) + "</style>\n</head>\n<body>\n<h1>Corpus report</h1>\n<p class=\"sub\">" +
                       html(paths) + " &middot; quenda-corpus " QUENDA_TOOLS_VERSION "</p>\n";

    // At a glance.
    std::string cards = "<div class=\"cards\">\n";
    cards += card(seen.files_read, "file read", "files read");
    if (!seen.left_out.empty())
        cards += card(static_cast<long>(seen.left_out.size()), "file with errors, left out",
                      "files with errors, left out", true);
    cards += card(s.corpus.turns, "turn", "turns");
    cards += card(s.corpus.words, "word", "words");
    cards += card(s.corpus.distinct, "distinct word", "distinct words");
    cards += card(static_cast<long>(s.dialogs.size()), "dialog", "dialogs");
    cards += card(static_cast<long>(s.speakers.size()), "speaker", "speakers");
    if (audio) {
        cards += card(s.corpus.recordings, "recording", "recordings");
        cards += card(duration_text(s.corpus.seconds), "recorded");
        cards += card(static_cast<long>(p.paired.size()), "turn paired", "turns paired");
        if (!p.problems.empty())
            cards += card(static_cast<long>(p.problems.size()), "pairing problem", "pairing problems", true);
    }
    page += cards + "</div>\n";

    // Charts.
    std::vector<bar> turns, words, minutes;
    for (const auto& [name, t] : s.speakers) {
        turns.push_back({name, static_cast<double>(t.turns), number(t.turns)});
        words.push_back({name, static_cast<double>(t.words), number(t.words)});
        minutes.push_back({name, t.seconds / 60.0, minutes_text(t.seconds)});
    }
    std::string charts =
        "<div class=\"charts\">\n" + bar_chart("Turns per speaker", turns) + bar_chart("Words per speaker", words);
    if (audio)
        charts += bar_chart("Recorded minutes per speaker", minutes);
    charts += "</div>\n";
    page += section("Speakers", charts);
    page += section("Words", bar_chart("The 30 most frequent words",
                                       top(s.words, 30, [](std::string_view w) { return std::string(w); })));
    page += section("Tags", bar_chart("The tags, most frequent first", top(s.tags, 30, [](std::string_view k) {
                                          const std::size_t sep = k.find('\37');
                                          return std::string(k.substr(sep + 1)) + " (" + std::string(k.substr(0, sep)) +
                                                 ")";
                                      })));

    // The counts.
    {
        const table tb = stats_table(s, audio);
        std::vector<std::string> header = {"part", "name"};
        for (const tally_column& c : tally_columns)
            header.emplace_back(c.header);
        if (audio)
            header.insert(header.end(), {"recordings", "seconds", "rates"});
        std::vector<bool> numeric(header.size(), true);
        numeric[0] = numeric[1] = false;
        std::vector<std::vector<std::string>> rows;
        for (const stats_row& r : stats_rows(s)) {
            std::vector<std::string> cells = {std::string(r.part), std::string(r.name)};
            for (const tally_column& c : tally_columns)
                cells.push_back(number(r.counts->*c.field));
            if (audio)
                cells.insert(cells.end(), {number(r.counts->recordings), seconds_text(r.counts->seconds),
                                           rates_text(r.counts->rates, ", ")});
            rows.push_back(std::move(cells));
        }
        page += section("Counts per corpus, dialog and speaker",
                        "<div class=\"wide\">\n" + html_table(header, rows, numeric) + "</div>\n");
    }

    // Files with errors, and trl-check's counts by code.
    if (!seen.left_out.empty()) {
        std::vector<std::vector<std::string>> rows;
        std::map<std::string, long> codes;
        for (const file_outcome& f : seen.left_out) {
            rows.push_back({f.path, std::to_string(f.line) + ":" + std::to_string(f.column), f.code, f.message});
            for (const auto& [code, n] : f.codes)
                codes[code] += n;
        }
        std::string body =
            html_table({"file", "line:column", "code", "first error"}, rows, {false, true, false, false});
        std::vector<std::vector<std::string>> code_rows;
        std::vector<bar> code_bars;
        for (const auto& [code, n] : codes) {
            const trl::code_info* info = trl::find_code(code);
            code_rows.push_back({code, info ? info->title : "", number(n)});
            code_bars.push_back({code, static_cast<double>(n), number(n)});
        }
        body += "<p>What trl-check finds in them, by code (up to 100 errors a file):</p>\n" +
                html_table({"code", "what", "count"}, code_rows, {false, false, true}) +
                bar_chart("Errors by code", code_bars);
        page += section("Files with errors (left out)", body);
    }

    // Pairing.
    if (audio && !p.problems.empty()) {
        std::map<pair_problem::kind, long> kinds;
        std::vector<std::vector<std::string>> rows;
        for (const pair_problem& pr : p.problems) {
            ++kinds[pr.what];
            if (rows.size() < 200)
                rows.push_back({std::string(problem_name(pr.what)), pr.key, problem_line(pr)});
        }
        std::vector<std::vector<std::string>> kind_rows;
        for (const auto& [k, n] : kinds)
            kind_rows.push_back({std::string(problem_name(k)), number(n)});
        std::string body = html_table({"problem", "count"}, kind_rows, {false, true});
        body += html_table({"problem", "key", "what quenda-corpus pair says"}, rows, {false, false, false});
        if (p.problems.size() > rows.size())
            body += "<p>&hellip; and " + number(static_cast<long>(p.problems.size() - rows.size())) +
                    " more: <code>quenda-corpus pair</code> lists them all.</p>\n";
        page += section("Turns and recordings that do not pair", body);
    }
    page += "</body>\n</html>\n";

    // The page is written whole, or not at all.
    const std::string temp = o.html + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    bool ok = f && std::fwrite(page.data(), 1, page.size(), f) == page.size();
    const int err = errno;
    if (f && std::fclose(f) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), o.html.c_str()) != 0)
        ok = false;
    if (!ok) {
        complain(text::printable(o.html) + ": " +
                 std::error_code(errno ? errno : err, std::generic_category()).message());
        std::remove(temp.c_str());
        return 2;
    }
    return seen.status(false);
}

} // namespace corpus
