// The scanner runtime's memo of failures over memo.trl.l, whose looping
// states are entered by more than one way: after a long match has failed,
// a later match may reach the same state next to the recorded positions,
// or at positions that a refill moved, and succeed there.  Read through
// buffers of every size, texts made so give the backtracking matcher's
// tokens, and so do random texts of long runs.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scan.h"

namespace {

// Every scanner over `text`, against the backtracking matcher.
void expect_rules_tokens(const std::string& text)
{
    const std::vector<Tok> expected = scan_backtracking(TRL_RULE_FILE, text);
    EXPECT_EQ(scan_text(text), expected) << text;
    EXPECT_EQ(scan_text(text, true), expected) << "after a failure: " << text;
    EXPECT_EQ(scan_memory(text), expected) << text;
    for (int size = 1; size <= 200 && !testing::Test::HasFailure(); ++size)
        EXPECT_EQ(scan_file(text, size), expected) << "buffer " << size << ": " << text;
}

TEST(MemoOfFailures, MatchesBesideARecordedRun)
{
    const std::string b(80, 'b');
    const std::string c(80, 'c');
    // Each at the start, and after bytes before it, so that the refills
    // during the failed match move it to the front of the buffer.
    for (const std::string before : {"", "zz", "q\nq"}) {
        const std::string texts[] = {
            // "a" and the b's fail at "k"; from the first "b", the b's and
            // "k" reach the state that they failed in one byte past the
            // positions recorded, and succeed.
            before + "a" + b + "kab" + "x",
            // From "g", the a and the b's, "x" and "bb" fail, and "x" to
            // "bb" are recorded in the state that the b's are in from "a";
            // from "a", the b's succeed at "x", one byte before them.
            before + "ga" + b + "xbbq",
            // The run after "k" leaves its loop at "z" and fails at "x";
            // from "y", "z" enters the loop one byte past the positions
            // recorded in it.
            before + "k" + c + "yzcxcczcq",
        };
        for (const std::string& text : texts) {
            EXPECT_TRUE(records_failures(text)) << text;
            expect_rules_tokens(text);
        }
    }
}

std::string random_runs(std::mt19937& rng, std::size_t size)
{
    static const std::vector<std::string> pieces = {"a", "b", "g",  "k",  "z",   "q", "x",
                                                    "y", "c", "\n", "ab", "zcq", "yz"};
    std::string text;
    while (text.size() < size) {
        switch (rng() % 6) {
        case 0:
            for (std::size_t n = rng() % 150; n > 0; --n)
                text += "ab"[rng() % 2];
            break;
        case 1:
            text += std::string(rng() % 100, 'b');
            break;
        case 2:
            for (std::size_t n = rng() % 50; n > 0; --n)
                text += rng() % 2 ? "ab" : "ba";
            break;
        default:
            text += pieces[rng() % pieces.size()];
        }
    }
    return text;
}

TEST(MemoOfFailures, RandomTextsOfLongRuns)
{
    std::mt19937 rng(4711);
    int recorded = 0;
    for (int i = 0; i < 40 && !HasFailure(); ++i) {
        const std::string text = random_runs(rng, 300 + rng() % 300);
        recorded += records_failures(text);
        expect_rules_tokens(text);
    }
    EXPECT_GT(recorded, 30);
}

} // namespace
