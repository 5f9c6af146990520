// What reading a corpus rests on: lines told from offsets, and the line of
// a file left out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/files.h"

namespace {

using namespace corpus;

TEST(CorpusFiles, LinesOfOffsets)
{
    const std::string text = "ab\ncd\n\nefg\nh";
    file_view v("x.trl", text);
    // Forward, again, backward, and beyond the end.
    const std::vector<std::pair<std::size_t, long>> asked = {
        {0, 1}, {2, 1}, {3, 2}, {6, 3}, {7, 4}, {7, 4}, {11, 5}, {4, 2}, {0, 1}, {12, 5}, {1000, 5}, {10, 4},
    };
    for (const auto& [offset, line] : asked)
        EXPECT_EQ(v.line_of(offset), line) << offset;
    EXPECT_EQ(v.path(), "x.trl");
}

TEST(CorpusFiles, LineOfAFileLeftOut)
{
    file_outcome f;
    f.what = file_outcome::status::left_out;
    f.path = "a\tb.trl";
    f.line = 6;
    f.column = 50;
    f.code = "T009";
    f.message = "missing blank: found '.' in the word";
    EXPECT_EQ(left_out_line(f), "a\\tb.trl:6:50: error[T009]: missing blank: found '.' in the word (file left out)");
    f.code.clear();
    f.message = "syntax error";
    EXPECT_EQ(left_out_line(f), "a\\tb.trl:6:50: error: syntax error (file left out)");
}

} // namespace
