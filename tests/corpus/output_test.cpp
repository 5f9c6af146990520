// The pieces of quenda-corpus's formats: numbers and seconds as written,
// aligned tables for people and tab-separated cells that stay on their line
// (its JSON objects are common/json_writer.h's, tested in tests/common).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "corpus/output.h"

namespace {

using namespace corpus;

TEST(CorpusOutput, NumbersAndSeconds)
{
    const struct {
        double seconds;
        std::string written;
    } seconds[] = {
        {0, "0"},      {0.256, "0.256"},     {12, "12"},
        {1.5, "1.5"},  {0.0004, "0"},        {0.0005, "0.001"},
        {1.9996, "2"}, {59.99949, "59.999"}, {3600.25, "3600.25"},
        {0.1, "0.1"},  {2.016, "2.016"},     {1e9 + 0.5, "1000000000.5"},
    };
    for (const auto& c : seconds)
        EXPECT_EQ(seconds_text(c.seconds), c.written) << c.seconds;
    EXPECT_EQ(number(0), "0");
    EXPECT_EQ(number(-42), "-42");
    EXPECT_EQ(number(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
    EXPECT_EQ(counted(1, "turn", "turns"), "1 turn");
    EXPECT_EQ(counted(0, "turn", "turns"), "0 turns");
    EXPECT_EQ(counted(2, "recording", "recordings"), "2 recordings");
    EXPECT_EQ(counted(-1, "file", "files"), "-1 files");
}

// A table for people: each column as wide as its widest cell (a UTF-8
// character one column), numbers to the right, text to the left, no
// blanks at the ends of lines.
TEST(CorpusOutput, TablesForPeopleAndTabSeparated)
{
    table t({"part", "name", "turns", "seconds"});
    t.row({"corpus", "", "6", "2.016"});
    t.row({"speaker", "M\xC3\xBCller", "12", "0.5"});
    t.row({"dialog", "g071ach1", "100", "-"});
    EXPECT_EQ(t.text(), "part     name      turns  seconds\n"
                        "corpus                 6    2.016\n"
                        "speaker  M\xC3\xBCller       12      0.5\n"
                        "dialog   g071ach1    100        -\n");
    // A column with one cell that is not a number is text, to the left.
    table mixed({"a", "b"});
    mixed.row({"1", "x"});
    mixed.row({"22", "10"});
    mixed.row({"n/a", "3"});
    EXPECT_EQ(mixed.text(), "a    b\n1    x\n22   10\nn/a  3\n");
    EXPECT_EQ(table({"only"}).text(), "only\n");
    EXPECT_TRUE(table({"x"}).empty());

    table tabbed({"key", "places"});
    tabbed.row({"k1", "a\tb"});
    tabbed.row({"k2", "line\nbreak\\"});
    EXPECT_EQ(tabbed.tsv(), "key\tplaces\nk1\ta\\tb\nk2\tline\\nbreak\\\\\n");
    const struct {
        std::string cell, written;
    } cells[] = {
        {"plain words", "plain words"},
        {"M\xC3\xBCller", "M\xC3\xBCller"},
        {"a\tb", "a\\tb"},
        {"cr\r", "cr\\r"},
        {"esc\x1b[", "esc\\x1B["},
        {"back\\slash", "back\\\\slash"},
        {std::string("nul\0", 4), "nul\\0"},
        {"", ""},
    };
    for (const auto& c : cells)
        EXPECT_EQ(tsv_cell(c.cell), c.written) << c.cell;
}

} // namespace
