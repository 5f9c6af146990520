// The command-line reader: every word of a line read back as the options
// and operands it stands for (written "name=value" or "operand"), or the
// error it stops at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"

namespace {

constexpr command_line::option table[] = {
    {"jobs", true, 'j'}, {"quiet", false, 'q'}, {"list", false, 'l'}, {"format", true}, {"fix", false},
};

std::string read_back(const std::vector<std::string>& args, std::size_t first = 0)
{
    std::string out, error;
    const bool ok = command_line::read(
        args, first, table,
        [&](const command_line::item& it) {
            if (it.opt && it.opt->name == "fix" && !out.empty()) { // refused by the caller
                error = "refused";
                return false;
            }
            out += it.opt ? std::string(it.opt->name) + "=" + std::string(it.value) : std::string(it.value);
            out += ' ';
            return true;
        },
        error);
    return ok ? out : "error: " + error;
}

TEST(CommandLine, OptionsAndOperandsAsWritten)
{
    const struct {
        std::vector<std::string> args;
        std::string read;
    } cases[] = {
        {{"a", "-", "b"}, "a - b "},
        {{"--jobs=4", "--jobs", "5", "-j6", "-j", "7"}, "jobs=4 jobs=5 jobs=6 jobs=7 "},
        {{"-qlj8", "x"}, "quiet= list= jobs=8 x "},
        {{"--format=", "y"}, "format= y "}, // an empty value is a value
        {{"--", "--jobs", "-q"}, "--jobs -q "},
        {{"--jobs=1", "--", "--"}, "jobs=1 -- "},
        {{"--frobnicate"}, "error: unknown option '--frobnicate'"},
        {{"--frob=1"}, "error: unknown option '--frob'"},
        {{"-qx"}, "error: unknown option '-x'"},
        {{"--jobs"}, "error: option '--jobs' needs a value"},
        {{"-q", "-j"}, "error: option '-j' needs a value"},
        {{"--quiet=yes"}, "error: option '--quiet' takes no value"},
        {{"a", "--fix"}, "error: refused"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_back(c.args), c.read) << testing::PrintToString(c.args);
    EXPECT_EQ(read_back({"words", "-q"}, 1), "quiet= ");
}

TEST(CommandLine, NumbersWholeAndInRange)
{
    long n = 0;
    EXPECT_TRUE(command_line::read_number("4096", 1, 4096, n));
    EXPECT_EQ(n, 4096);
    for (const char* bad : {"", "0", "4097", "-1", "1x", " 1", "+1", "99999999999999999999999"})
        EXPECT_FALSE(command_line::read_number(bad, 1, 4096, n)) << bad;
}

} // namespace
