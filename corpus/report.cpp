// quenda-corpus report: the corpus at a glance, one HTML page with its
// style and its charts inside (CSS, SVG), which needs no script and no
// network to be read.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <system_error>
#include <vector>

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

// An attribute of an element: its value escaped when written.
struct attribute {
    attribute(std::string_view n, std::string_view v) : name(n), value(v) {}
    attribute(std::string_view n, int v) : name(n), value(std::to_string(v)) {}
    std::string_view name;
    std::string value;
};
using attributes = std::initializer_list<attribute>;

// <name a="v" ...>, or <name a="v" .../> for an element of SVG without
// content.
std::string start_tag(std::string_view name, attributes with = {}, bool empty = false)
{
    std::string s(1, '<');
    s += name;
    for (const attribute& a : with) {
        s += ' ';
        s += a.name;
        s += "=\"";
        s += html(a.value);
        s += '"';
    }
    s += empty ? "/>" : ">";
    return s;
}

// <name ...>markup</name>: the content is markup already; with `own_lines`
// it begins on a line of its own.
std::string element(std::string_view name, attributes with, std::string_view markup, bool own_lines = false)
{
    std::string s = start_tag(name, with);
    if (own_lines)
        s += '\n';
    s += markup;
    s += "</";
    s += name;
    s += '>';
    return s;
}

// <name ...>text</name>: the content is text, escaped.
std::string text_element(std::string_view name, attributes with, std::string_view text)
{
    return element(name, with, html(text));
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
    std::string rows;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const bar& b = bars[i];
        const int y = 4 + row * static_cast<int>(i);
        const int w = most > 0 ? std::max(1, static_cast<int>(b.value / most * bar_width + 0.5)) : 0;
        rows += text_element(
            "text", {{"x", label_width - 8}, {"y", y + 15}, {"text-anchor", "end"}, {"class", "label"}}, b.label);
        rows += start_tag(
            "rect", {{"x", label_width}, {"y", y + 3}, {"width", w}, {"height", row - 6}, {"rx", 2}, {"class", "bar"}},
            true);
        rows += text_element("text", {{"x", label_width + w + 6}, {"y", y + 15}, {"class", "value"}}, b.shown) + "\n";
    }
    const std::string svg = element("svg",
                                    {{"xmlns", "http://www.w3.org/2000/svg"},
                                     {"role", "img"},
                                     {"width", width},
                                     {"height", height},
                                     {"viewBox", "0 0 " + std::to_string(width) + " " + std::to_string(height)},
                                     {"aria-label", title}},
                                    rows, true);
    return element("figure", {}, text_element("figcaption", {}, title) + "\n" + svg) + "\n";
}

// A cell of a table: numbers to the right.
std::string table_cell(std::string_view name, bool numeric, std::string_view text)
{
    return numeric ? text_element(name, {{"class", "n"}}, text) : text_element(name, {}, text);
}

// A table, its header above its rows.
std::string html_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& numeric)
{
    std::string head;
    for (std::size_t c = 0; c < header.size(); ++c)
        head += table_cell("th", numeric[c], header[c]);
    std::string body;
    for (const auto& r : rows) {
        std::string cells;
        for (std::size_t c = 0; c < r.size(); ++c)
            cells += table_cell("td", numeric[c], r[c]);
        body += element("tr", {}, cells) + "\n";
    }
    return element("table", {},
                   element("thead", {}, element("tr", {}, head)) + "\n" + element("tbody", {}, body, true) + "\n",
                   true) +
           "\n";
}

constexpr const char* style = R"(
body { font: 15px/1.45 system-ui, "DejaVu Sans", sans-serif; color: #1f2328; background: #fff; margin: 2em auto; max-width: 1240px; padding: 0 1.5em; }
h1 { font-size: 1.7em; margin: 0 0 .2em; }
h2 { font-size: 1.25em; margin: 1.8em 0 .6em; border-bottom: 1px solid #d0d7de; padding-bottom: .2em; }
p.sub { color: #57606a; margin: 0 0 1.2em; }
.cards { display: flex; flex-wrap: wrap; gap: .8em; }
.card { border: 1px solid #d0d7de; border-radius: 6px; padding: .6em 1em; min-width: 8.5em; background: #f6f8fa; }
.card .v { font-size: 1.45em; font-weight: 600; }
.card .k { color: #57606a; font-size: .9em; }
.card.bad { background: #fff1f0; border-color: #ffb3ad; }
table { border-collapse: collapse; margin: .4em 0 1em; font-size: .92em; }
th, td { border-bottom: 1px solid #d8dee4; padding: .25em .5em; text-align: left; white-space: nowrap; }
th { background: #f6f8fa; white-space: normal; vertical-align: bottom; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
.wide { overflow-x: auto; }
.wide table { font-size: .85em; }
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
    return text_element("h2", {}, title) + "\n" + body;
}

// <div class="NAME">, its content on the lines below.
std::string block(std::string_view name, const std::string& markup)
{
    return element("div", {{"class", name}}, markup, true) + "\n";
}

std::string card(std::string_view value, std::string_view key, bool bad = false)
{
    return element("div", {{"class", bad ? "card bad" : "card"}},
                   text_element("div", {{"class", "v"}}, value) + text_element("div", {{"class", "k"}}, key)) +
           "\n";
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

// The page around its body, with its title and style.
std::string html_page(std::string_view title, const std::string& body)
{
    const std::string head =
        start_tag("meta", {{"charset", "utf-8"}}) + "\n" +
        start_tag("meta", {{"name", "viewport"}, {"content", "width=device-width, initial-scale=1"}}) + "\n" +
        text_element("title", {}, title) + "\n" + element("style", {}, style) + "\n";
    std::string page = "<!DOCTYPE html>\n";
    page += element("html", {{"lang", "en"}},
                    element("head", {}, head, true) + "\n" + element("body", {}, body, true) + "\n", true);
    page += '\n';
    return page;
}

// The title, the paths read and the program's version.
std::string page_top(const options& o)
{
    std::string paths;
    for (const std::string& path : o.paths)
        paths += (paths.empty() ? "" : " ") + path;
    return text_element("h1", {}, "Corpus report") + "\n" +
           element("p", {{"class", "sub"}}, html(paths) + " &middot; quenda-corpus " QUENDA_TOOLS_VERSION) + "\n";
}

// The corpus at a glance: its counts as cards, the bad ones marked.
std::string at_a_glance(const outcomes& seen, const survey& s, const pairing& p, bool audio)
{
    std::string cards = card(seen.files_read, "file read", "files read");
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
    return block("cards", cards);
}

// Turns, words and recorded minutes per speaker.
std::string speakers_part(const survey& s, bool audio)
{
    std::vector<bar> turns, words, minutes;
    for (const auto& [name, t] : s.speakers) {
        turns.push_back({name, static_cast<double>(t.turns), number(t.turns)});
        words.push_back({name, static_cast<double>(t.words), number(t.words)});
        minutes.push_back({name, t.seconds / 60.0, minutes_text(t.seconds)});
    }
    std::string charts = bar_chart("Turns per speaker", turns) + bar_chart("Words per speaker", words);
    if (audio)
        charts += bar_chart("Recorded minutes per speaker", minutes);
    return section("Speakers", block("charts", charts));
}

// The most frequent words and tags.
std::string words_and_tags_parts(const survey& s)
{
    const auto word = [](std::string_view w) { return std::string(w); };
    // A tag's key is its kind, "\37" and the tag: "<ah> (hesitation)".
    const auto tag = [](std::string_view k) {
        const std::size_t sep = k.find('\37');
        return std::string(k.substr(sep + 1)) + " (" + std::string(k.substr(0, sep)) + ")";
    };
    return section("Words", bar_chart("The 30 most frequent words", top(s.words, 30, word))) +
           section("Tags", bar_chart("The tags, most frequent first", top(s.tags, 30, tag)));
}

// The counts of stats, as its table has them.
std::string counts_part(const survey& s, bool audio)
{
    const table counts = stats_table(s, audio, ", ");
    std::vector<bool> numeric(counts.header().size(), true);
    numeric[0] = numeric[1] = false; // part and name
    // Wrapped headers and a smaller type keep its many columns within a
    // window of 1280 pixels; where they do not fit, the table scrolls, and
    // the region can then be reached and scrolled with the keyboard.
    constexpr std::string_view title = "Counts per corpus, dialog and speaker";
    return section(title,
                   element("div", {{"class", "wide"}, {"role", "region"}, {"tabindex", "0"}, {"aria-label", title}},
                           html_table(counts.header(), counts.rows(), numeric), true) +
                       "\n");
}

// The files with errors, and trl-check's counts of their errors by code;
// nothing when there are none.
std::string left_out_part(const outcomes& seen)
{
    if (seen.left_out.empty())
        return "";
    std::vector<std::vector<std::string>> rows;
    std::map<std::string, long> codes;
    for (const file_outcome& f : seen.left_out) {
        rows.push_back({f.path, std::to_string(f.line) + ":" + std::to_string(f.column), f.code, f.message});
        for (const auto& [code, n] : f.codes)
            codes[code] += n;
    }
    std::vector<std::vector<std::string>> code_rows;
    std::vector<bar> code_bars;
    for (const auto& [code, n] : codes) {
        const trl::code_info* info = trl::find_code(code);
        code_rows.push_back({code, info ? info->title : "", number(n)});
        code_bars.push_back({code, static_cast<double>(n), number(n)});
    }
    std::string body = html_table({"file", "line:column", "code", "first error"}, rows, {false, true, false, false});
    body += text_element("p", {}, "What trl-check finds in them, by code (up to 100 errors a file):") + "\n";
    body += html_table({"code", "what", "count"}, code_rows, {false, false, true});
    body += bar_chart("Errors by code", code_bars);
    return section("Files with errors (left out)", body);
}

// The turns and recordings that do not pair: counted by kind, and the
// first 200 as pair says them; nothing when all pair.
std::string pairing_part(const pairing& p)
{
    constexpr std::size_t listed = 200;
    if (p.problems.empty())
        return "";
    std::map<pair_problem::kind, long> kinds;
    std::vector<std::vector<std::string>> rows;
    for (const pair_problem& pr : p.problems) {
        ++kinds[pr.what];
        if (rows.size() < listed)
            rows.push_back({std::string(problem_name(pr.what)), pr.key, problem_line(pr)});
    }
    std::vector<std::vector<std::string>> kind_rows;
    for (const auto& [k, n] : kinds)
        kind_rows.push_back({std::string(problem_name(k)), number(n)});
    std::string body = html_table({"problem", "count"}, kind_rows, {false, true});
    body += html_table({"problem", "key", "what quenda-corpus pair says"}, rows, {false, false, false});
    if (p.problems.size() > rows.size()) {
        std::string more = "&hellip; and ";
        more += number(static_cast<long>(p.problems.size() - rows.size()));
        more += " more: " + text_element("code", {}, "quenda-corpus pair") + " lists them all.";
        body += element("p", {}, more) + "\n";
    }
    return section("Turns and recordings that do not pair", body);
}

// Writes the page whole, or not at all: into a file beside it, renamed
// over it once written.
bool write_whole(const std::string& path, const std::string& page)
{
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    bool ok = f && std::fwrite(page.data(), 1, page.size(), f) == page.size();
    const int err = errno;
    if (f && std::fclose(f) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        complain(text::printable(path) + ": " +
                 std::error_code(errno ? errno : err, std::generic_category()).message());
        std::remove(temp.c_str());
    }
    return ok;
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

    // Every part of the page in a landmark: the title in the header, the
    // rest in the main part.
    const std::string body =
        element("header", {}, page_top(o), true) + "\n" +
        element("main", {},
                at_a_glance(seen, s, p, audio) + speakers_part(s, audio) + words_and_tags_parts(s) +
                    counts_part(s, audio) + left_out_part(seen) + (audio ? pairing_part(p) : ""),
                true) +
        "\n";
    if (!write_whole(o.html, html_page("Corpus report", body)))
        return 2;
    return seen.status(false);
}

} // namespace corpus
