// The report's charts, as inline SVG in a figure with its caption: what
// people would rather look at than read.  Every chart is an image named by
// its title, and writes its values beside its marks, so that a reader who
// cannot see it loses nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corpus::page {

// A row of a bar chart.
struct bar {
    std::string label; // as it is, escaped when written
    double value;
    std::string shown; // the value as written beside the bar
};

// Horizontal bars: a label, a bar and its value on each row.  Nothing when
// there are no bars.
std::string bar_chart(std::string_view title, const std::vector<bar>& bars);

// A row of a strip chart: many values of one thing (the durations of a
// speaker's turns).
struct strip {
    std::string label;
    std::vector<double> values;
};

// Each value a dot on its row's line, on one scale from 0, the row's
// median a stroke across it and written beside it with the count; ticks of
// the scale below, in `unit`.  Nothing when no row has a value.
std::string strip_chart(std::string_view title, const std::vector<strip>& strips, std::string_view unit);

// A row of a stacked chart: its parts in the order of the legend.
struct stack {
    std::string label;
    std::vector<double> parts;
    std::string shown;
};

// Each row a bar of its parts one after another, coloured by the legend
// (at most three parts), the longest row as wide as the chart.  Nothing
// when there are no rows.
std::string stacked_chart(std::string_view title, const std::vector<std::string>& legend,
                          const std::vector<stack>& stacks);

// A bound of a scale from 0 that takes `most`: 1, 2 or 5 times a power of
// ten.
double nice_bound(double most);

// The median of values (sorted in place); 0 when there are none.
double median(std::vector<double>& values);

} // namespace corpus::page
