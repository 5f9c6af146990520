// Pages of quenda-corpus's report: HTML written as strings, its text
// escaped in one place, the page's frame and style, and the parts the
// pages are made of.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace corpus::page {

// Text for HTML, in elements and in quoted attributes: well-formed UTF-8
// kept, other bytes by the escaping rule, and the markup's characters as
// references.
std::string html(std::string_view s);

// An attribute of an element: its value escaped when written.
struct attribute {
    attribute(std::string_view n, std::string_view v) : name(n), value(v) {}
    attribute(std::string_view n, const char* v) : name(n), value(v) {}
    attribute(std::string_view n, int v) : name(n), value(std::to_string(v)) {}
    attribute(std::string_view n, double v);
    std::string_view name;
    std::string value;
};
using attributes = std::initializer_list<attribute>;

// <name a="v" ...>, or <name a="v" .../> for an element of SVG without
// content.
std::string start_tag(std::string_view name, attributes with = {}, bool empty = false);

// <name ...>markup</name>: the content is markup already; with `own_lines`
// it begins on a line of its own.
std::string element(std::string_view name, attributes with, std::string_view markup, bool own_lines = false);

// <name ...>text</name>: the content is text, escaped.
std::string text_element(std::string_view name, attributes with, std::string_view text);

// How a column of a table is set: text on one line, numbers to the right,
// prose wrapped.
enum class column { text, number, prose };

// A table, its header above its rows: cells of text, or cells of markup.
std::string html_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<column>& columns);
std::string markup_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                         const std::vector<column>& columns);

// A part of the page: "<h2>" and its content.
std::string section(std::string_view title, const std::string& body);

// <div class="NAME">, its content on the lines below.
std::string block(std::string_view name, const std::string& markup);

// A count in a card: its value above what it counts, the bad ones marked.
std::string card(std::string_view value, std::string_view key, bool bad = false);
// "1" "file read", "2" "files read".
std::string card(std::int64_t n, std::string_view one, std::string_view more, bool bad = false);

// Minutes with a tenth, or three decimals below one.
std::string minutes_text(double seconds);
// A duration for people: seconds below a minute, else minutes.
std::string duration_text(double seconds);

// The page around its body (header and main already in it), with its
// title and style.
std::string html_page(std::string_view title, const std::string& body);

} // namespace corpus::page
