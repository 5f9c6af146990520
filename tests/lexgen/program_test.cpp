// The lexgen program: its command line, what it writes and what it says.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/glob.h"
#include "tests/support/process.h"

namespace {

using test_support::temp_dir;

TEST(LexgenProgram, CommandLine)
{
    temp_dir dir;
    dir.write("good.l", "%%\n[a-z]+ { return 1; }\n\\n { }\n");
    dir.write("bad.l", "D  [0-9]\n%%\n{D}+ { return 1; }\n{D}{2} { return 2; }\n");
    const std::string usage = "usage: lexgen RULES_FILE TABLES_H [--namespace NAME] [--stats]\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // patterns ('*' for any text)
        std::string err;
        bool written; // t.h exists afterwards
    } cases[] = {
        // Quiet unless asked.
        {{"good.l", "t.h"}, 0, "", "", true},
        {{"--stats", "good.l", "t.h"},
         0,
         "lexgen: good.l: 2 rules, * NFA states, * DFA states before minimisation, * states, * byte classes, "
         "* table bytes\n",
         "",
         true},
        {{"--help"}, 0, usage + "*\n", "", false},
        {{"bad.l", "t.h"}, 1, "", "lexgen: bad.l:4: repetition counts *\n", false},
        {{"missing.l", "t.h"}, 1, "", "lexgen: cannot read missing.l\n", false},
        {{"good.l", "no/such/folder/t.h"}, 1, "", "lexgen: cannot write no/such/folder/t.h\n", false},
        {{"good.l"}, 1, "", "lexgen: no TABLES_H given\n" + usage, false},
        {{"good.l", "t.h", "x"}, 1, "", "lexgen: one file too many: 'x'\n" + usage, false},
        {{"good.l", "t.h", "--tokens", "x"}, 1, "", "lexgen: unknown option '--tokens'\n" + usage, false},
        {{"good.l", "t.h", "--namespace"}, 1, "", "lexgen: option --namespace needs a value\n" + usage, false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir / "t.h");
        test_support::run_options o;
        o.cwd = dir.path();
        const auto r = test_support::run(LEXGEN_PATH, c.args, o);
        const std::string line = test_support::shell_line(c.args);
        EXPECT_EQ(r.status, c.status) << line;
        EXPECT_TRUE(test_support::glob_match(r.out, c.out)) << line << "\n" << r.out;
        EXPECT_TRUE(test_support::glob_match(r.err, c.err)) << line << "\n" << r.err;
        EXPECT_EQ(std::filesystem::exists(dir / "t.h"), c.written) << line;
    }
}

} // namespace
