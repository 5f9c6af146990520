// The unified diff of --diff: its hunks are cut where `diff -u` cuts them
// (changes with at most six unchanged lines between them share a hunk),
// their counts are right, and `patch` turns the old text into the new.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "checker/trl-check/diff.h"
#include "tests/support/trl_check.h"

namespace {

using test_support::read_file;
using test_support::run_shell;
using test_support::shell_line;
using test_support::temp_dir;

// The "@@" lines of a diff.
std::vector<std::string> hunk_heads(const std::string& diff)
{
    std::vector<std::string> heads;
    for (std::size_t at = 0; at < diff.size();) {
        const std::size_t end = diff.find('\n', at);
        const std::string line = diff.substr(at, end - at);
        if (line.starts_with("@@"))
            heads.push_back(line);
        at = end == std::string::npos ? diff.size() : end + 1;
    }
    return heads;
}

// `before` patched with `diff` by the patch program; false (and a
// skipped test) where there is none outside CI.
bool patched(const temp_dir& dir, const std::string& before, const std::string& diff, std::string& after)
{
    const std::string file = dir.write("patched.trl", before);
    const test_support::run_result r = run_shell("patch -s " + shell_line({file}), diff);
    if (r.status == 127 && !test_support::under_ci())
        return false;
    EXPECT_EQ(r.status, 0) << r.err << diff;
    after = read_file(file);
    return true;
}

// Lines "1\n" to "30\n", with the lines numbered in `changed` (from 1)
// written otherwise.
std::string numbered(std::initializer_list<int> changed = {})
{
    std::string text;
    for (int line = 1; line <= 30; ++line) {
        if (std::find(changed.begin(), changed.end(), line) != changed.end())
            text += 'x';
        text += std::to_string(line);
        text += '\n';
    }
    return text;
}

TEST(TrlCheckDiff, HunksAsDiffCutsThemAndPatchApplies)
{
    struct case_ {
        std::string before, after;
        std::vector<std::string> heads;
    };
    const std::vector<case_> cases = {
        // Two changes with 4, 5, 6 unchanged lines between: one hunk;
        // with 7 or 8: two.
        {numbered(), numbered({5, 10}), {"@@ -2,12 +2,12 @@"}},
        {numbered(), numbered({5, 11}), {"@@ -2,13 +2,13 @@"}},
        {numbered(), numbered({5, 12}), {"@@ -2,14 +2,14 @@"}},
        {numbered(), numbered({5, 13}), {"@@ -2,7 +2,7 @@", "@@ -10,7 +10,7 @@"}},
        {numbered(), numbered({5, 14}), {"@@ -2,7 +2,7 @@", "@@ -11,7 +11,7 @@"}},
        // Changes side by side, at the first and at the last line.
        {numbered(), numbered({7, 8, 9}), {"@@ -4,9 +4,9 @@"}},
        {numbered(), numbered({1, 30}), {"@@ -1,4 +1,4 @@", "@@ -27,4 +27,4 @@"}},
        // Lines added at the end (the end of the text a fix adds), and a
        // last line without its line end.
        {"a\nb\nc\nd\ne", "a\nb\nc\nd\ne\n\n", {"@@ -2,4 +2,5 @@"}},
        {"a\nb\n", "a\nb\n\n", {"@@ -1,2 +1,3 @@"}},
        {"x\r\n1\n2\n3\n4\n5\n6\n7\ny\r\n", "x\n1\n2\n3\n4\n5\n6\n7\ny\n\n", {"@@ -1,4 +1,4 @@", "@@ -6,4 +6,5 @@"}},
        {"", "\n", {"@@ -0,0 +1,1 @@"}},
    };
    const temp_dir dir;
    for (const case_& c : cases) {
        const std::string diff = trl::cli::unified_diff("a.trl", c.before, c.after);
        EXPECT_EQ(diff.rfind("--- a.trl\n+++ a.trl\n@@", 0), 0u) << diff;
        EXPECT_EQ(hunk_heads(diff), c.heads) << diff;
        std::string after;
        if (!patched(dir, c.before, diff, after))
            GTEST_SKIP() << "no patch program";
        EXPECT_EQ(after, c.after) << diff;
    }
    EXPECT_EQ(trl::cli::unified_diff("a.trl", numbered(), numbered()), "");
}

// What the program prints for a file whose fixes are 4 to 8 lines apart:
// a carriage return before the line end of line 3 and of a line further
// on (a turn of one text line and its empty line, again and again).
TEST(TrlCheckDiff, ProgramDiffOfFixesApartApplies)
{
    const temp_dir dir;
    struct case_ {
        int second; // the other line with a carriage return
        std::vector<std::string> heads;
    };
    const std::vector<case_> cases = {
        {8, {"@@ -1,11 +1,11 @@"}},
        {10, {"@@ -1,13 +1,13 @@"}},
        {11, {"@@ -1,6 +1,6 @@", "@@ -8,7 +8,7 @@"}},
    };
    for (const case_& c : cases) {
        std::string before, after;
        for (int line = 1; line <= 14; ++line) {
            const std::string text = line % 2 ? "g012abc3_0" + std::to_string(10 + line) + "_ABC_000000: ja ." : "";
            before += text + (line == 3 || line == c.second ? "\r\n" : "\n");
            after += text + "\n";
        }
        const std::string file = dir.write("a.trl", before);
        const test_support::run_result r = run_trl_check({"--diff", file});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(hunk_heads(r.out), c.heads) << r.out;
        EXPECT_EQ(read_file(file), before);
        std::string patched_text;
        if (!patched(dir, before, r.out, patched_text))
            GTEST_SKIP() << "no patch program";
        EXPECT_EQ(patched_text, after) << r.out;
    }
}

// The lines a diff takes out and puts in.
std::pair<int, int> changed_lines(const std::string& diff)
{
    std::pair<int, int> n{0, 0};
    for (std::size_t at = 0; at < diff.size();) {
        const std::size_t end = diff.find('\n', at);
        const std::string_view line = std::string_view(diff).substr(at, end - at);
        if (line.starts_with('-') && !line.starts_with("---"))
            ++n.first;
        if (line.starts_with('+') && !line.starts_with("+++"))
            ++n.second;
        at = end == std::string::npos ? diff.size() : end + 1;
    }
    return n;
}

// Lines put in, taken out and changed anywhere in a text (a fix that adds
// an empty line between two turns, say): the diff is a shortest one, as
// `diff --minimal` finds, and patch turns the old text into the new one.
TEST(TrlCheckDiff, ShortestDiffOfLinesMovedApart)
{
    const temp_dir dir;
    std::uint32_t seed = 12345;
    auto random = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    // Texts of few distinct lines, so that many scripts of one length
    // compete, and the long text of a corpus file with a few lines put in.
    std::vector<std::pair<std::string, std::string>> cases;
    for (int round = 0; round < 60; ++round) {
        std::string before, after;
        const std::uint32_t lines = 1 + random(40);
        for (std::uint32_t i = 0; i < lines; ++i) {
            const std::string line = std::string(1, static_cast<char>('a' + random(3))) + "\n";
            before += line;
            switch (random(6)) {
            case 0:
                break; // taken out
            case 1:
                after += "\n" + line;
                break; // one put in before
            case 2:
                after += std::string(1, 'x') + line;
                break; // changed
            default:
                after += line;
            }
        }
        cases.emplace_back(before, after);
    }
    std::string corpus, fixed;
    for (int turn = 1; turn <= 2000; ++turn) {
        const std::string line = "g012abc3_" + std::to_string(1000 + turn).substr(1) + "_ABC_000000: ja .\n";
        corpus += line + (turn % 700 == 5 ? "" : "\n");
        fixed += line + "\n";
    }
    cases.emplace_back(corpus, fixed);

    for (const auto& [before, after] : cases) {
        const std::string diff = trl::cli::unified_diff("a.trl", before, after);
        const std::string old_file = dir.write("old.trl", before);
        const std::string new_file = dir.write("new.trl", after);
        const test_support::run_result model = run_shell("diff --minimal -u " + shell_line({old_file, new_file}));
        if (model.status == 127 && !test_support::under_ci())
            GTEST_SKIP() << "no diff program";
        EXPECT_EQ(changed_lines(diff), changed_lines(model.out)) << diff << "\n" << model.out;
        std::string patched_text;
        if (!patched(dir, before, diff, patched_text))
            GTEST_SKIP() << "no patch program";
        EXPECT_EQ(patched_text, after) << diff;
    }
    // Three empty lines put into the long text: three hunks of one line each.
    EXPECT_EQ(changed_lines(trl::cli::unified_diff("a.trl", corpus, fixed)), std::make_pair(0, 3));
}

} // namespace
