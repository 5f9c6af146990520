// Reading rule files: what the notation means, and what is refused.
#include "matchers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace lexgen_test;

namespace {

// Whole-text match of rule 1 (trailing context included), from a line start.
bool matches_whole(const Built& b, std::string_view text)
{
    Match m = dfa_match(b.dfa, text, 0, true);
    return m.rule == 1 && m.total == static_cast<int>(text.size());
}

} // namespace

TEST(Patterns, EscapesInStringsAndCharacters)
{
    Built b = build(rule_file({R"("a\"b\\c\x41\101\n\t\0z")"}));
    EXPECT_TRUE(matches_whole(b, std::string_view("a\"b\\cAA\n\t\0z", 11)));
    EXPECT_FALSE(matches_whole(b, "a\"b\\cAA\n\t"));

    Built c = build(rule_file({R"(\x7\.\*"x"\xe4)"}));
    EXPECT_TRUE(matches_whole(c, "\x07.*x\xe4"));
    EXPECT_FALSE(matches_whole(c, "\x07" "a*x\xe4"));
}

TEST(Patterns, MetacharactersInsideQuotesAreLiteral)
{
    Built b = build(rule_file({R"("<*T>[.]|(a)+?/")"}));
    EXPECT_TRUE(matches_whole(b, "<*T>[.]|(a)+?/"));
    EXPECT_EQ(b.rules.rules[0].tail, nullptr);
}

TEST(Patterns, ClassesWithRangesNegationAndEscapes)
{
    Built b = build(rule_file({"[a-c\\n-]", "[^a-c\\n]", "[]x]"}));
    EXPECT_EQ(dfa_match(b.dfa, "b", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(b.dfa, "\n", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(b.dfa, "-", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(b.dfa, "d", 0, false).rule, 2);
    EXPECT_EQ(dfa_match(b.dfa, std::string_view("\0", 1), 0, false).rule, 2);
    Built c = build(rule_file({"[^a-c\\n]", "[]x]"}));
    EXPECT_EQ(dfa_match(c.dfa, "\xff", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(c.dfa, "\n", 0, false).rule, 0);
    EXPECT_EQ(dfa_match(c.dfa, "]", 0, false).rule, 1) << "']' is also in the negated class, which comes first";
    Built d = build(rule_file({"[]x]"}));
    EXPECT_EQ(dfa_match(d.dfa, "]", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(d.dfa, "x", 0, false).rule, 1);
}

TEST(Patterns, DotIsEveryByteButNewline)
{
    Built b = build(rule_file({"."}));
    for (int c = 0; c < 256; ++c) {
        char ch = static_cast<char>(c);
        EXPECT_EQ(dfa_match(b.dfa, std::string_view(&ch, 1), 0, false).rule, c == '\n' ? 0 : 1) << c;
    }
}

TEST(Patterns, OperatorPrecedence)
{
    Built b = build(rule_file({"ab*|cd"}));
    EXPECT_TRUE(matches_whole(b, "a"));
    EXPECT_TRUE(matches_whole(b, "abbb"));
    EXPECT_TRUE(matches_whole(b, "cd"));
    EXPECT_FALSE(matches_whole(b, "abcd"));
    EXPECT_EQ(dfa_match(b.dfa, "abab", 0, true).total, 2);

    Built c = build(rule_file({"(ab)+c?"}));
    EXPECT_TRUE(matches_whole(c, "ababc"));
    EXPECT_EQ(dfa_match(c.dfa, "abac", 0, true).total, 2);
}

TEST(Patterns, DefinitionsActAsGroups)
{
    Built b = build("AB  a|b\nX   x{AB}+\n%%\n{X}y   { }\n");
    EXPECT_TRUE(matches_whole(b, "xay"));
    EXPECT_TRUE(matches_whole(b, "xabay"));
    EXPECT_FALSE(matches_whole(b, "xa"));
    EXPECT_FALSE(matches_whole(b, "by"));
}

TEST(RuleFile, SectionsCommentsActionsAndPrologue)
{
    const char* text = "%{\n#include <cstdio>\n%}\n"
                       "    /* a comment\n       over two lines */\n"
                       "D   [0-9]\n"
                       "\n"
                       "%%\n"
                       "    // a comment between rules\n"
                       "{D}+   { return 1; }\n"
                       "\"{\"   { if (x) { s = \"}\"; c = '}'; } /* } */ // }\n"
                       "         return 2; }\n"
                       "x      { }   // trailing comment\r\n"
                       "y      => Y value   // a token with a value\n"
                       "z      => Z\n"
                       "%%\n"
                       "anything after the second marker is ignored: $$$ {{{\n";
    lexgen::RuleSet r = lexgen::parse_rules(text, "f.l");
    EXPECT_EQ(r.prologue, "#include <cstdio>\n");
    ASSERT_EQ(r.rules.size(), 5u);
    EXPECT_EQ(r.rules[0].action, "return 1;");
    EXPECT_EQ(r.rules[0].line, 10);
    EXPECT_EQ(r.rules[1].action, "if (x) { s = \"}\"; c = '}'; } /* } */ // }\n         return 2;");
    EXPECT_EQ(r.rules[1].line, 11);
    EXPECT_EQ(r.rules[2].line, 13);
    EXPECT_EQ(r.rules[2].number, 3);
    EXPECT_EQ(r.rules[3].token, "Y");
    EXPECT_TRUE(r.rules[3].sets_value);
    EXPECT_EQ(r.rules[4].token, "Z");
    EXPECT_FALSE(r.rules[4].sets_value);
    EXPECT_EQ(r.rules[4].line, 15);

    std::ostringstream actions;
    lexgen::write_actions(actions, r, "dir/f.l");
    EXPECT_NE(actions.str().find("case 1: { return 1; } break;\n"), std::string::npos);
    EXPECT_NE(actions.str().find("case 3: {  } break;\n"), std::string::npos);
    EXPECT_EQ(actions.str().find("case 4"), std::string::npos);   // tokens need no code
    EXPECT_EQ(actions.str().find("dir/"), std::string::npos);
}

TEST(RuleFile, TrailingContextLength)
{
    lexgen::RuleSet r = lexgen::parse_rules(rule_file({"a/bc", "x/(y|z)w\"\"", "^q/\\n", "m/\"\""}), "t.l");
    EXPECT_EQ(r.rules[0].tail_length, 2);
    EXPECT_EQ(r.rules[1].tail_length, 2);
    EXPECT_EQ(r.rules[2].tail_length, 1);
    EXPECT_TRUE(r.rules[2].line_start);
    EXPECT_FALSE(r.rules[0].line_start);
    ASSERT_NE(r.rules[3].tail, nullptr);
    EXPECT_EQ(r.rules[3].tail_length, 0);
}

// A refused rule file: the message names the file and the line.
struct Refused {
    const char* text;
    int line;
    const char* says;
};

void PrintTo(const Refused& r, std::ostream* os)
{
    *os << testing::PrintToString(std::string(r.text));
}

class RefusedSyntax : public testing::TestWithParam<Refused> {};

TEST_P(RefusedSyntax, NamesTheLine)
{
    const Refused& r = GetParam();
    try {
        lexgen::parse_rules(r.text, "bad.l");
        FAIL() << "accepted: " << r.text;
    } catch (const lexgen::Error& e) {
        std::string msg = e.what();
        EXPECT_EQ(msg.rfind("bad.l:" + std::to_string(r.line) + ": ", 0), 0u) << msg;
        EXPECT_NE(msg.find(r.says), std::string::npos) << msg;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, RefusedSyntax,
    testing::Values(
        Refused{"%%\na { }\nb$ { }\n", 3, "'$'"},
        Refused{"%%\na { }\n\nb{2,3} { }\n", 4, "repetition"},
        Refused{"%%\n<COMMENT>a { }\n", 2, "start conditions"},
        Refused{"%%\na/b* { }\n", 2, "fixed length"},
        Refused{"%%\na/(b|cd) { }\n", 2, "fixed length"},
        Refused{"%%\na/b/c { }\n", 2, "more than one"},
        Refused{"%%\n(a/b)c { }\n", 2, "inside parentheses"},
        Refused{"%%\nx^y { }\n", 2, "'^'"},
        Refused{"%%\n\"abc { }\n", 2, "unterminated quoted string"},
        Refused{"%%\n[abc { }\n", 2, "unterminated character class"},
        Refused{"%%\n[z-a] { }\n", 2, "reversed range"},
        Refused{"%%\n[^\\x00-\\xff] { }\n", 2, "matches nothing"},
        Refused{"%%\n[[:alpha:]] { }\n", 2, "named character classes"},
        Refused{"%%\n(ab { }\n", 2, "missing ')'"},
        Refused{"%%\nab) { }\n", 2, "unbalanced ')'"},
        Refused{"%%\n() { }\n", 2, "empty"},
        Refused{"%%\n*a { }\n", 2, "nothing to repeat"},
        Refused{"%%\na||b { }\n", 2, "empty alternative"},
        Refused{"%%\na|(|b) { }\n", 2, "empty alternative"},
        Refused{"%%\n{NOPE} { }\n", 2, "undefined definition 'NOPE'"},
        Refused{"%%\n{} { }\n", 2, "malformed"},
        Refused{"%%\nab} { }\n", 2, "'}'"},
        Refused{"%%\n\\x { }\n", 2, "hexadecimal"},
        Refused{"%%\n\\400 { }\n", 2, "octal"},
        Refused{"%%\na* { }\n", 2, "empty text"},
        Refused{"%%\n\"\"/a { }\n", 2, "empty text"},
        Refused{"%%\n/a { }\n", 2, "before '/'"},
        Refused{"%%\na/ { }\n", 2, "without a tail"}));

INSTANTIATE_TEST_SUITE_P(
    File, RefusedSyntax,
    testing::Values(
        Refused{"A  a\nB  b/c\n%%\na { }\n", 2, "only allowed in rules"},
        Refused{"A  a\nA  b\n%%\na { }\n", 2, "given twice"},
        Refused{"A\n%%\na { }\n", 1, "expected a definition"},
        Refused{"A  a b\n%%\na { }\n", 1, "text after the pattern"},
        Refused{"%option noyywrap\n%%\na { }\n", 1, "unsupported directive '%option'"},
        Refused{"%{\nint x;\n%%\na { }\n", 1, "'%{' without '%}'"},
        Refused{"  int x;\n%%\na { }\n", 1, "indented text"},
        Refused{"A  a\n", 1, "missing '%%'"},
        Refused{"%%\n\n", 2, "no rules"},
        Refused{"%%\na { }\n  x = 1;\n", 3, "indented text"},
        Refused{"%%\na\n", 2, "missing action"},
        Refused{"%%\na return 1;\n", 2, "'{ ... }' block"},
        Refused{"%%\na =>\n", 2, "a token name must follow"},
        Refused{"%%\na => 9X\n", 2, "a token name must follow"},
        Refused{"%%\na => X value 1\n", 2, "only 'value' may follow"},
        Refused{"%%\na { }\nb { if (x) {\n  y(); }\nc { }\n", 3, "unterminated action"},
        Refused{"%%\na { \"x }\n", 2, "unterminated literal"},
        Refused{"%%\na { }\nb { x; } y\n", 3, "text after the action"},
        Refused{"%%\na { }\nb { x;\n } y\n", 4, "text after the action"},
        Refused{"%%\n    /* never closed\na { }\n", 2, "unterminated comment"}));

TEST(Program, RefusesWithStatusOneAndTheLine)
{
    const std::string dir = testing::TempDir();
    const std::string bad = dir + "lexgen_bad.l";
    std::ofstream(bad) << "D  [0-9]\n%%\n{D}+ { return 1; }\n{D}{2} { return 2; }\n";
    const std::string cmd = std::string(TRL_LEXGEN) + " " + bad + " " + dir + "o.h " + dir + "o.inc 2>" + dir + "err.txt";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream err(dir + "err.txt");
    std::string line;
    std::getline(err, line);
    EXPECT_NE(line.find("lexgen_bad.l:4: repetition counts"), std::string::npos) << line;
}

TEST(Program, WritesTablesAndActionsAndReportsTheSize)
{
    const std::string dir = testing::TempDir();
    const std::string good = dir + "lexgen_good.l";
    std::ofstream(good) << "%%\n[a-z]+ { return 1; }\n\\n { }\n";
    const std::string cmd = std::string(TRL_LEXGEN) + " " + good + " " + dir + "g.h " + dir + "g.inc >" + dir + "out.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream out(dir + "out.txt");
    std::string line;
    std::getline(out, line);
    EXPECT_NE(line.find(" states, "), std::string::npos) << line;
    EXPECT_NE(line.find(" byte classes, "), std::string::npos) << line;
    EXPECT_NE(line.find(" table bytes"), std::string::npos) << line;
    std::ifstream inc(dir + "g.inc");
    std::stringstream text;
    text << inc.rdbuf();
    EXPECT_NE(text.str().find("case 1: { return 1; } break;\ncase 2: {  } break;\n"), std::string::npos);
}
