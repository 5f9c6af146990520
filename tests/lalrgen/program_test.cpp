// The lalrgen program: its command line, the conflicts it accepts and
// refuses, what it writes and what it says.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/glob.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using test_support::temp_dir;

// A folder holding the test grammars, where lalrgen runs.
struct grammar_dir {
    temp_dir dir;
    grammar_dir()
    {
        for (const auto& f : fs::directory_iterator(GRAMMARS))
            dir.write(f.path().filename().string(), test_support::read_file(f.path()));
    }
    test_support::run_result run(const std::vector<std::string>& args) const
    {
        test_support::run_options o;
        o.cwd = dir.path();
        return test_support::run(LALRGEN_PATH, args, o);
    }
};

TEST(LalrgenProgram, ConflictsAsDeclaredAreQuiet)
{
    grammar_dir g;
    const std::string conflict =
        "lalrgen: dangling_else.y: state *: shift/reduce conflict on ELSE (shift to state *, not reduce by rule 1)\n";
    const struct {
        std::vector<std::string> args;
        std::string out; // patterns ('*' for any text)
        std::string err;
    } cases[] = {
        {{"dangling_else.y", "t.h"}, "", ""},
        {{"dangling_else.y", "t.h", "--report", "r.txt"}, "", ""},
        {{"dangling_else.y", "t.h", "--verbose"}, "", conflict},
        {{"--verbose", "dangling_else.y", "t.h", "--report", "r.txt"}, "", conflict},
        {{"dangling_else.y", "t.h", "--stats"},
         "lalrgen: dangling_else.y: * states, 4 rules, * terminals, 2 nonterminals, 1 shift/reduce conflict; *\n",
         ""},
    };
    for (const auto& c : cases) {
        fs::remove(g.dir / "t.h");
        const auto r = g.run(c.args);
        const std::string line = test_support::shell_line(c.args);
        EXPECT_EQ(r.status, 0) << line;
        EXPECT_TRUE(test_support::glob_match(r.out, c.out)) << line << "\n" << r.out;
        EXPECT_TRUE(test_support::glob_match(r.err, c.err)) << line << "\n" << r.err;
        EXPECT_TRUE(fs::exists(g.dir / "t.h")) << line;
    }
    // The report names the conflict in its state, whatever is said.
    const std::string report = g.dir.read("r.txt");
    EXPECT_TRUE(test_support::glob_match(report, "*\nstate *\n*    shift/reduce conflict on ELSE: rule 1 not taken\n*"))
        << report;
}

// A grammar with other conflicts than it declares fails with what differs
// and every conflict, and writes no tables; so do a refused grammar and a
// usage error.
TEST(LalrgenProgram, RefusedGrammarsAndArguments)
{
    grammar_dir g;
    const std::string usage = "usage: lalrgen GRAMMAR_FILE TABLES_H [--namespace NAME] [--tokens FILE] "
                              "[--token-prefix PREFIX] [--report FILE] [--verbose] [--stats]\n";
    const struct {
        std::vector<std::string> args;
        std::string err; // a pattern ('*' for any text)
    } cases[] = {
        {{"two_conflicts.y", "t.h", "--tokens", "k.h"},
         "lalrgen: two_conflicts.y: 2 shift/reduce conflicts, but %expect declares 1\n"
         "lalrgen: two_conflicts.y: state *: shift/reduce conflict on ELSE (shift to state *, not reduce by rule 1)\n"
         "lalrgen: two_conflicts.y: state *: shift/reduce conflict on ELSE (shift to state *, not reduce by rule 3)\n"},
        {{"dangling_else_unexpected.y", "t.h"},
         "lalrgen: dangling_else_unexpected.y: 1 shift/reduce conflict, but %expect declares 0\n"
         "lalrgen: dangling_else_unexpected.y: state *: shift/reduce conflict on ELSE (*)\n"},
        {{"merged.y", "t.h"},
         "lalrgen: merged.y: 2 reduce/reduce conflicts, but none is allowed\n"
         "lalrgen: merged.y: state *: reduce/reduce conflict on '*' (reduce by rule *, not by rule *)\n"
         "lalrgen: merged.y: state *: reduce/reduce conflict on '*' (reduce by rule *, not by rule *)\n"},
        {{"bad_syntax.y", "t.h"}, "lalrgen: bad_syntax.y:4: unexpected text in a rule\n"},
        {{"no_such_file.y", "t.h"}, "lalrgen: cannot read no_such_file.y\n"},
        {{"dangling_else.y"}, "lalrgen: no TABLES_H given\n" + usage},
        {{"dangling_else.y", "t.h", "--report"}, "lalrgen: option --report needs a value\n" + usage},
        {{"dangling_else.y", "t.h", "--expect", "1"}, "lalrgen: unknown option '--expect'\n" + usage},
        {{"dangling_else.y", "t.h", "merged.y"}, "lalrgen: one file too many: 'merged.y'\n" + usage},
    };
    for (const auto& c : cases) {
        const auto r = g.run(c.args);
        const std::string line = test_support::shell_line(c.args);
        EXPECT_EQ(r.status, 1) << line;
        EXPECT_EQ(r.out, "") << line;
        EXPECT_TRUE(test_support::glob_match(r.err, c.err)) << line << "\n" << r.err;
        EXPECT_FALSE(fs::exists(g.dir / "t.h")) << line;
        EXPECT_FALSE(fs::exists(g.dir / "k.h")) << line;
    }
}

} // namespace
