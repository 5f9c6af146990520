#include "corpus/html.h"

#include <cstdio>

#include "corpus/output.h"
#include "common/text.h"

namespace corpus::page {

namespace {

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
td.prose { white-space: normal; min-width: 20em; }
a { color: #0550ae; }
nav { margin: 0 0 1em; }
audio { height: 2.2em; width: 15em; vertical-align: middle; }
svg .dot { fill: #4c78a8; fill-opacity: .5; }
svg .median { stroke: #1f2328; stroke-width: 2; }
svg .axis { stroke: #8c959f; stroke-width: 1; }
svg .tick { font: 11px system-ui, "DejaVu Sans", sans-serif; fill: #57606a; }
svg .s0 { fill: #4c78a8; }
svg .s1 { fill: #e45756; }
svg .s2 { fill: #bab0ac; }
code { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: .92em; }
)";

} // namespace

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

attribute::attribute(std::string_view n, double v) : name(n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    value = buf;
}

std::string start_tag(std::string_view name, attributes with, bool empty)
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

std::string element(std::string_view name, attributes with, std::string_view markup, bool own_lines)
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

std::string text_element(std::string_view name, attributes with, std::string_view text)
{
    return element(name, with, html(text));
}

namespace {

// A cell of a table, its content markup.
std::string table_cell(std::string_view name, column c, std::string_view markup)
{
    switch (c) {
    case column::number:
        return element(name, {{"class", "n"}}, markup);
    case column::prose:
        return element(name, {{"class", "prose"}}, markup);
    case column::text:
        break;
    }
    return element(name, {}, markup);
}

} // namespace

std::string markup_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                         const std::vector<column>& columns)
{
    std::string head;
    for (std::size_t c = 0; c < header.size(); ++c)
        head += table_cell("th", columns[c], html(header[c]));
    std::string body;
    for (const auto& r : rows) {
        std::string cells;
        for (std::size_t c = 0; c < r.size(); ++c)
            cells += table_cell("td", columns[c], r[c]);
        body += element("tr", {}, cells) + "\n";
    }
    return element("table", {},
                   element("thead", {}, element("tr", {}, head)) + "\n" + element("tbody", {}, body, true) + "\n",
                   true) +
           "\n";
}

std::string html_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<column>& columns)
{
    std::vector<std::vector<std::string>> cells;
    cells.reserve(rows.size());
    for (const auto& r : rows) {
        std::vector<std::string>& c = cells.emplace_back();
        for (const std::string& t : r)
            c.push_back(html(t));
    }
    return markup_table(header, cells, columns);
}

std::string section(std::string_view title, const std::string& body)
{
    return text_element("h2", {}, title) + "\n" + body;
}

std::string block(std::string_view name, const std::string& markup)
{
    return element("div", {{"class", name}}, markup, true) + "\n";
}

std::string card(std::string_view value, std::string_view key, bool bad)
{
    return element("div", {{"class", bad ? "card bad" : "card"}},
                   text_element("div", {{"class", "v"}}, value) + text_element("div", {{"class", "k"}}, key)) +
           "\n";
}

std::string card(std::int64_t n, std::string_view one, std::string_view more, bool bad)
{
    return card(number(n), n == 1 ? one : more, bad);
}

std::string minutes_text(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, seconds < 60 ? "%.3f" : "%.1f", seconds / 60.0);
    return buf;
}

std::string duration_text(double seconds)
{
    return seconds < 60 ? seconds_text(seconds) + " s" : minutes_text(seconds) + " min";
}

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

} // namespace corpus::page
