// The report's charts read back from their SVG: every value a mark at its
// place on one scale, the scale's bound, medians and the bins of turn
// lengths.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "corpus/charts.h"
#include "corpus/dialog_pages.h"

namespace {

using namespace corpus::page;

// The numbers of an attribute on every element `name` of the markup, in
// order.
std::vector<double> attribute_values(const std::string& svg, const std::string& name, const std::string& attribute)
{
    std::vector<double> values;
    const std::regex element("<" + name + " [^>]*\\b" + attribute + "=\"([-0-9.]+)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), element); it != std::sregex_iterator(); ++it)
        values.push_back(std::stod((*it)[1]));
    return values;
}

TEST(CorpusCharts, ScaleBoundsMediansAndLengthBins)
{
    const struct {
        double most, bound;
    } bounds[] = {{0, 1}, {-3, 1}, {0.3, 0.5}, {1, 1}, {1.01, 2}, {2, 2}, {4.2, 5}, {7, 10}, {99, 100}, {120, 200}};
    for (const auto& b : bounds)
        EXPECT_DOUBLE_EQ(nice_bound(b.most), b.bound) << b.most;

    const struct {
        std::vector<double> values;
        double median;
    } medians[] = {{{}, 0}, {{3}, 3}, {{5, 1, 3}, 3}, {{4, 1, 3, 2}, 2.5}, {{2, 2, 9}, 2}};
    for (auto m : medians)
        EXPECT_DOUBLE_EQ(median(m.values), m.median);

    const struct {
        long words;
        int bin;
        const char* label;
    } bins[] = {{0, 0, "0 words"},
                {1, 1, "1 word"},
                {2, 2,
                 "2\xE2\x80\x93"
                 "3 words"},
                {3, 2,
                 "2\xE2\x80\x93"
                 "3 words"},
                {4, 3,
                 "4\xE2\x80\x93"
                 "7 words"},
                {7, 3,
                 "4\xE2\x80\x93"
                 "7 words"},
                {8, 4,
                 "8\xE2\x80\x93"
                 "15 words"},
                {1000, 10,
                 "512\xE2\x80\x93"
                 "1023 words"}};
    for (const auto& b : bins) {
        EXPECT_EQ(corpus::length_bin(b.words), b.bin) << b.words;
        EXPECT_EQ(corpus::length_bin_label(b.bin), b.label) << b.words;
    }
}

TEST(CorpusCharts, StripsPutEachValueOnOneScale)
{
    const std::string svg =
        strip_chart("Turn durations", {{"ABC", {1.0, 4.0, 2.0}}, {"XYZ", {}}, {"<Q&A>", {0.5, 3.5}}}, "s");
    // Five dots, left to right as their values on a scale from 0 to 5 (the
    // bound above 4) over 360 pixels.
    const std::vector<double> x = attribute_values(svg, "circle", "cx");
    ASSERT_EQ(x.size(), 5u);
    const double origin = x[0] - 1.0 / 5 * 360;
    const double values[] = {1.0, 4.0, 2.0, 0.5, 3.5};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(x[i], origin + values[i] / 5 * 360, 0.1) << i;
    // A median stroke on each row with values, at its median.
    const std::vector<double> medians = attribute_values(svg, "line", "x1");
    ASSERT_EQ(medians.size(), 5u); // three rows' lines, two medians
    EXPECT_NEAR(medians[1], origin + 2.0 / 5 * 360, 0.1);
    EXPECT_NEAR(medians[4], origin + 2.0 / 5 * 360, 0.1);
    for (const char* shown : {">median 2 s of 3<", ">none<", ">median 2 s of 2<", ">5 s<", "&lt;Q&amp;A&gt;",
                              "aria-label=\"Turn durations\""})
        EXPECT_NE(svg.find(shown), std::string::npos) << shown << "\n" << svg;
    EXPECT_EQ(strip_chart("Nothing", {{"ABC", {}}}, "s"), "");
}

TEST(CorpusCharts, StacksAreTheirPartsOnOneScale)
{
    const std::string svg = stacked_chart(
        "Pairing", {"paired", "kept out", "without"},
        {{"d1", {6, 2, 2}, "6 of 10 paired"}, {"d2", {5, 0, 0}, "5 of 5 paired"}, {"d3", {0, 0, 1}, "0"}});
    // The legend's three swatches, then the parts that are not empty: the
    // longest row (10) as wide as the chart's room for marks.
    const std::vector<double> widths = attribute_values(svg, "rect", "width");
    const std::vector<double> expected = {12, 12, 12, 216, 72, 72, 180, 36};
    ASSERT_EQ(widths.size(), expected.size()) << svg;
    for (std::size_t i = 0; i < widths.size(); ++i)
        EXPECT_NEAR(widths[i], expected[i], 0.1) << i;
    // A row's parts follow one another.
    const std::vector<double> x = attribute_values(svg, "rect", "x");
    EXPECT_NEAR(x[4], x[3] + 216, 0.1);
    EXPECT_NEAR(x[5], x[4] + 72, 0.1);
    for (const char* part : {"class=\"s0\"", "class=\"s1\"", "class=\"s2\"", ">6 of 10 paired<", ">kept out<"})
        EXPECT_NE(svg.find(part), std::string::npos) << part;
    EXPECT_EQ(stacked_chart("Nothing", {"a"}, {}), "");
    EXPECT_EQ(bar_chart("Nothing", {}), "");
}

} // namespace
