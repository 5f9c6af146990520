// The scanner runtime over an automaton that leaves a byte unmatched: the
// match of nothing finds no action.
#include <gtest/gtest.h>

#include "tests/support/scan.h"

namespace {

TEST(TinyScanner, UnmatchedByteFindsNoAction)
{
    EXPECT_EQ(codes(scan_memory("a\na")), (std::vector<int>{1, 1}));
    ChildResult r = in_child([] {
        trl_scan_string("ab");
        trllex();
        trllex();
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "fatal flex scanner internal error--no action found\n");
}

} // namespace
