#include "corpus/charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "corpus/html.h"
#include "common/text.h"

namespace corpus::page {

namespace {

// The height of a row, and the width of the marks' room.
constexpr int row = 22;
constexpr int plot_width = 360;

// Room for the longest label, at about 7.5 pixels a character of the
// 13-pixel font.
template <typename Row> int label_width(const std::vector<Row>& rows)
{
    std::size_t longest = 0;
    for (const Row& r : rows)
        longest = std::max(longest, text::printable(r.label).size());
    return std::clamp(static_cast<int>(longest * 15 / 2) + 16, 48, 360);
}

// A row's label, right-aligned before the marks.
std::string row_label(int label_w, int y, std::string_view label)
{
    return text_element("text", {{"x", label_w - 8}, {"y", y + 15}, {"text-anchor", "end"}, {"class", "label"}}, label);
}

// The figure of an SVG image of `marks`.
std::string figure(std::string_view title, int width, int height, const std::string& marks)
{
    const std::string svg = element("svg",
                                    {{"xmlns", "http://www.w3.org/2000/svg"},
                                     {"role", "img"},
                                     {"width", width},
                                     {"height", height},
                                     {"viewBox", "0 0 " + std::to_string(width) + " " + std::to_string(height)},
                                     {"aria-label", title}},
                                    marks, true);
    return element("figure", {}, text_element("figcaption", {}, title) + "\n" + svg) + "\n";
}

// The classes of a stacked bar's parts, which the style colours.
constexpr std::string_view part_class[] = {"s0", "s1", "s2"};

// A number of a scale or a median: up to three significant digits.
std::string short_number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

} // namespace

double nice_bound(double most)
{
    if (!(most > 0))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    for (const double step : {1.0, 2.0, 5.0, 10.0})
        if (most <= step * power * (1 + 1e-12))
            return step * power;
    return 10 * power;
}

double median(std::vector<double>& values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string bar_chart(std::string_view title, const std::vector<bar>& bars)
{
    if (bars.empty())
        return "";
    double most = 0;
    for (const bar& b : bars)
        most = std::max(most, b.value);
    const int label_w = label_width(bars);
    std::string marks;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const bar& b = bars[i];
        const int y = 4 + row * static_cast<int>(i);
        const int w = most > 0 ? std::max(1, static_cast<int>(b.value / most * plot_width + 0.5)) : 0;
        marks += row_label(label_w, y, b.label);
        marks += start_tag(
            "rect", {{"x", label_w}, {"y", y + 3}, {"width", w}, {"height", row - 6}, {"rx", 2}, {"class", "bar"}},
            true);
        marks += text_element("text", {{"x", label_w + w + 6}, {"y", y + 15}, {"class", "value"}}, b.shown) + "\n";
    }
    return figure(title, label_w + plot_width + 70, row * static_cast<int>(bars.size()) + 8, marks);
}

std::string strip_chart(std::string_view title, const std::vector<strip>& strips, std::string_view unit)
{
    double most = 0;
    for (const strip& s : strips)
        for (const double v : s.values)
            most = std::max(most, v);
    if (!(most > 0))
        return "";
    const double bound = nice_bound(most);
    const int label_w = label_width(strips);
    const auto x_of = [&](double v) { return label_w + v / bound * plot_width; };
    std::string marks;
    for (std::size_t i = 0; i < strips.size(); ++i) {
        const strip& s = strips[i];
        const int y = 4 + row * static_cast<int>(i);
        marks += row_label(label_w, y, s.label);
        marks += start_tag(
            "line", {{"x1", label_w}, {"y1", y + 11}, {"x2", label_w + plot_width}, {"y2", y + 11}, {"class", "axis"}},
            true);
        for (const double v : s.values)
            marks += start_tag("circle", {{"cx", x_of(v)}, {"cy", y + 11}, {"r", 3.5}, {"class", "dot"}}, true);
        std::vector<double> values = s.values;
        const double m = median(values);
        if (!values.empty())
            marks += start_tag(
                "line", {{"x1", x_of(m)}, {"y1", y + 3}, {"x2", x_of(m)}, {"y2", y + 19}, {"class", "median"}}, true);
        const std::string shown = values.empty() ? "none"
                                                 : "median " + short_number(m) + " " + std::string(unit) + " of " +
                                                       std::to_string(values.size());
        marks +=
            text_element("text", {{"x", label_w + plot_width + 8}, {"y", y + 15}, {"class", "value"}}, shown) + "\n";
    }
    // The scale: 0, a quarter, half, three quarters, the bound.
    const int axis_y = 4 + row * static_cast<int>(strips.size()) + 12;
    for (int q = 0; q <= 4; ++q) {
        const double v = bound * q / 4;
        marks += text_element("text", {{"x", x_of(v)}, {"y", axis_y}, {"text-anchor", "middle"}, {"class", "tick"}},
                              q == 4 ? short_number(v).append(" ").append(unit) : short_number(v));
    }
    return figure(title, label_w + plot_width + 170, axis_y + 8, marks + "\n");
}

std::string stacked_chart(std::string_view title, const std::vector<std::string>& legend,
                          const std::vector<stack>& stacks)
{
    if (stacks.empty())
        return "";
    double most = 0;
    for (const stack& s : stacks) {
        double sum = 0;
        for (const double p : s.parts)
            sum += p;
        most = std::max(most, sum);
    }
    const int label_w = label_width(stacks);
    // The legend above the rows: a swatch and a name for each part.
    std::string marks;
    double x = label_w;
    for (std::size_t k = 0; k < legend.size() && k < 3; ++k) {
        marks += start_tag("rect", {{"x", x}, {"y", 6}, {"width", 12}, {"height", 12}, {"class", part_class[k]}}, true);
        marks += text_element("text", {{"x", x + 17}, {"y", 17}, {"class", "value"}}, legend[k]);
        x += 17 + static_cast<double>(text::printable(legend[k]).size()) * 7.5 + 16;
    }
    marks += "\n";
    constexpr int top = row + 4;
    for (std::size_t i = 0; i < stacks.size(); ++i) {
        const stack& s = stacks[i];
        const int y = top + row * static_cast<int>(i);
        marks += row_label(label_w, y, s.label);
        double at = label_w;
        for (std::size_t k = 0; k < s.parts.size() && k < 3; ++k) {
            const double w = most > 0 ? s.parts[k] / most * plot_width : 0;
            if (w > 0)
                marks += start_tag(
                    "rect", {{"x", at}, {"y", y + 3}, {"width", w}, {"height", row - 6}, {"class", part_class[k]}},
                    true);
            at += w;
        }
        marks +=
            text_element("text", {{"x", static_cast<int>(at) + 6}, {"y", y + 15}, {"class", "value"}}, s.shown) + "\n";
    }
    return figure(title, std::max(label_w + plot_width + 150, static_cast<int>(x)),
                  top + row * static_cast<int>(stacks.size()) + 8, marks);
}

} // namespace corpus::page
