// Reading rule files: what the notation means, and what is refused.
#include "tests/support/matchers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace lexgen_test;

namespace {

// Whole-text match of rule 1 (trailing context included), from a line start.
bool matches_whole(const built& b, std::string_view text)
{
    match m = dfa_match(b.dfa, text, 0, true);
    return m.rule == 1 && m.total == static_cast<int>(text.size());
}

// The code of `case n:` in the emitted actions, up to the next case,
// without white space and #line directives; "" when there is no such case.
std::string case_code(const std::string& header, int n)
{
    const std::string label = "case " + std::to_string(n) + ":";
    const std::size_t at = header.find(label);
    if (at == std::string::npos)
        return "";
    const std::size_t end = std::min(header.find("case ", at + label.size()), header.find("default:", at));
    std::string code;
    std::size_t line_begin = at + label.size();
    while (line_begin < end) {
        std::size_t line_end = std::min(header.find('\n', line_begin), end);
        const std::string line = header.substr(line_begin, line_end - line_begin);
        if (line.find("#line") == std::string::npos)
            for (const char c : line)
                if (c != ' ' && c != '\t')
                    code += c;
        line_begin = line_end + 1;
    }
    return code;
}

} // namespace

TEST(Patterns, EscapesInStringsAndCharacters)
{
    built b = build(rule_file({R"("a\"b\\c\x41\101\n\t\0z")"}));
    EXPECT_TRUE(matches_whole(b, std::string_view("a\"b\\cAA\n\t\0z", 11)));
    EXPECT_FALSE(matches_whole(b, "a\"b\\cAA\n\t"));

    built c = build(rule_file({R"(\x7\.\*"x"\xe4)"}));
    EXPECT_TRUE(matches_whole(c, "\x07.*x\xe4"));
    EXPECT_FALSE(matches_whole(c, "\x07"
                                  "a*x\xe4"));
}

TEST(Patterns, MetacharactersInsideQuotesAreLiteral)
{
    built b = build(rule_file({R"("<*T>[.]|(a)+?/")"}));
    EXPECT_TRUE(matches_whole(b, "<*T>[.]|(a)+?/"));
    EXPECT_EQ(b.rules.rules[0].tail, nullptr);
}

TEST(Patterns, ClassesWithRangesNegationAndEscapes)
{
    built b = build(rule_file({"[a-c\\n-]", "[^a-c\\n]", "[]x]"}));
    EXPECT_EQ(dfa_match(b.dfa, "b", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(b.dfa, "\n", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(b.dfa, "-", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(b.dfa, "d", 0, false).rule, 2);
    EXPECT_EQ(dfa_match(b.dfa, std::string_view("\0", 1), 0, false).rule, 2);
    built c = build(rule_file({"[^a-c\\n]", "[]x]"}));
    EXPECT_EQ(dfa_match(c.dfa, "\xff", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(c.dfa, "\n", 0, false).rule, 0);
    EXPECT_EQ(dfa_match(c.dfa, "]", 0, false).rule, 1) << "']' is also in the negated class, which comes first";
    built d = build(rule_file({"[]x]"}));
    EXPECT_EQ(dfa_match(d.dfa, "]", 0, false).rule, 1);
    EXPECT_EQ(dfa_match(d.dfa, "x", 0, false).rule, 1);
}

TEST(Patterns, DotIsEveryByteButNewline)
{
    built b = build(rule_file({"."}));
    for (int c = 0; c < 256; ++c) {
        char ch = static_cast<char>(c);
        EXPECT_EQ(dfa_match(b.dfa, std::string_view(&ch, 1), 0, false).rule, c == '\n' ? 0 : 1) << c;
    }
}

TEST(Patterns, OperatorPrecedence)
{
    built b = build(rule_file({"ab*|cd"}));
    EXPECT_TRUE(matches_whole(b, "a"));
    EXPECT_TRUE(matches_whole(b, "abbb"));
    EXPECT_TRUE(matches_whole(b, "cd"));
    EXPECT_FALSE(matches_whole(b, "abcd"));
    EXPECT_EQ(dfa_match(b.dfa, "abab", 0, true).total, 2);

    built c = build(rule_file({"(ab)+c?"}));
    EXPECT_TRUE(matches_whole(c, "ababc"));
    EXPECT_EQ(dfa_match(c.dfa, "abac", 0, true).total, 2);
}

TEST(Patterns, DefinitionsActAsGroups)
{
    built b = build("AB  a|b\nX   x{AB}+\n%%\n{X}y   { }\n");
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
    lexgen::rule_set r = lexgen::read_rules(text, "dir/f.l");
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

    // A case of the actions' switch for each rule whose action is code,
    // holding that code after a #line naming the rule's line; tokens need
    // none.  (RealRules.GeneratedActions compiles and runs the cases of the
    // scanner's own rules.)
    const std::string header = lexgen::emit_tables(r, lexgen::build_automaton(r), "ns", "out/t.h");
    EXPECT_EQ(case_code(header, 1), "{return1;}break;") << header;
    EXPECT_TRUE(case_code(header, 2).starts_with("{if(x){s=\"}\";")) << header;
    EXPECT_EQ(case_code(header, 3), "{}break;") << header;
    EXPECT_EQ(case_code(header, 4), "") << header;
    EXPECT_EQ(case_code(header, 5), "") << header;
    EXPECT_NE(header.find("#line 10 \"f.l\"\n            return 1;"), std::string::npos) << header;
    EXPECT_NE(header.find("#line 2 \"f.l\"\n#include <cstdio>"), std::string::npos) << header;
    EXPECT_EQ(header.find("dir/"), std::string::npos); // files are named without their folders
    EXPECT_EQ(header.find("out/"), std::string::npos);
}

TEST(RuleFile, TrailingContextLength)
{
    lexgen::rule_set r = lexgen::read_rules(rule_file({"a/bc", "x/(y|z)w\"\"", "^q/\\n", "m/\"\""}), "t.l");
    EXPECT_EQ(r.rules[0].tail_length, 2);
    EXPECT_EQ(r.rules[1].tail_length, 2);
    EXPECT_EQ(r.rules[2].tail_length, 1);
    EXPECT_TRUE(r.rules[2].line_start);
    EXPECT_FALSE(r.rules[0].line_start);
    ASSERT_NE(r.rules[3].tail, nullptr);
    EXPECT_EQ(r.rules[3].tail_length, 0);
}

// A refused rule file: the error says what and on which line.
struct refused {
    const char* text;
    int line;
    const char* says;
};

void PrintTo(const refused& r, std::ostream* os)
{
    *os << testing::PrintToString(std::string(r.text));
}

class RefusedSyntax : public testing::TestWithParam<refused> {};

TEST_P(RefusedSyntax, NamesTheLine)
{
    const refused& r = GetParam();
    try {
        lexgen::read_rules(r.text, "bad.l");
        FAIL() << "accepted: " << r.text;
    } catch (const lexgen::rules_error& e) {
        const std::string msg = e.what();
        EXPECT_EQ(e.line, r.line) << msg;
        EXPECT_NE(msg.find(r.says), std::string::npos) << msg;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, RefusedSyntax,
    testing::Values(
        refused{"%%\na { }\nb$ { }\n", 3, "'$'"}, refused{"%%\na { }\n\nb{2,3} { }\n", 4, "repetition"},
        refused{"%%\n<COMMENT>a { }\n", 2, "start conditions"}, refused{"%%\na/b* { }\n", 2, "fixed length"},
        refused{"%%\na/(b|cd) { }\n", 2, "fixed length"}, refused{"%%\na/b/c { }\n", 2, "more than one"},
        refused{"%%\n(a/b)c { }\n", 2, "inside parentheses"}, refused{"%%\nx^y { }\n", 2, "'^'"},
        refused{"%%\n\"abc { }\n", 2, "unterminated quoted string"},
        refused{"%%\n[abc { }\n", 2, "unterminated character class"}, refused{"%%\n[z-a] { }\n", 2, "reversed range"},
        refused{"%%\n[^\\x00-\\xff] { }\n", 2, "matches nothing"},
        refused{"%%\n[[:alpha:]] { }\n", 2, "named character classes"}, refused{"%%\n(ab { }\n", 2, "missing ')'"},
        refused{"%%\nab) { }\n", 2, "unbalanced ')'"}, refused{"%%\n() { }\n", 2, "empty"},
        refused{"%%\n*a { }\n", 2, "nothing to repeat"}, refused{"%%\na||b { }\n", 2, "empty alternative"},
        refused{"%%\na|(|b) { }\n", 2, "empty alternative"},
        refused{"%%\n{NOPE} { }\n", 2, "undefined definition 'NOPE'"}, refused{"%%\n{} { }\n", 2, "malformed"},
        refused{"%%\nab} { }\n", 2, "'}'"}, refused{"%%\n\\x { }\n", 2, "hexadecimal"},
        refused{"%%\n\\400 { }\n", 2, "octal"}, refused{"%%\na* { }\n", 2, "empty text"},
        refused{"%%\n\"\"/a { }\n", 2, "empty text"}, refused{"%%\n/a { }\n", 2, "before '/'"},
        refused{"%%\na/ { }\n", 2, "without a tail"}));

INSTANTIATE_TEST_SUITE_P(
    File, RefusedSyntax,
    testing::Values(refused{"A  a\nB  b/c\n%%\na { }\n", 2, "only allowed in rules"},
                    refused{"A  a\nA  b\n%%\na { }\n", 2, "given twice"},
                    refused{"A\n%%\na { }\n", 1, "expected a definition"},
                    refused{"A  a b\n%%\na { }\n", 1, "text after the pattern"},
                    refused{"%option noyywrap\n%%\na { }\n", 1, "unsupported directive '%option'"},
                    refused{"%nul_token\n%%\na { }\n", 1, "a token name must follow '%nul_token'"},
                    refused{"%nul_token 1X\n%%\na { }\n", 1, "a token name must follow '%nul_token'"},
                    refused{"%nul_token X Y\n%%\na { }\n", 1, "a token name must follow '%nul_token'"},
                    refused{"%nul_token X\n%nul_token Y\n%%\na { }\n", 2, "given twice"},
                    refused{"%%\na { }\n. => byte\n", 3, "needs '%nul_token NAME'"},
                    refused{"%{\nint x;\n%%\na { }\n", 1, "'%{' without '%}'"},
                    refused{"  int x;\n%%\na { }\n", 1, "indented text"}, refused{"A  a\n", 1, "missing '%%'"},
                    refused{"%%\n\n", 2, "no rules"}, refused{"%%\na { }\n  x = 1;\n", 3, "indented text"},
                    refused{"%%\na\n", 2, "missing action"}, refused{"%%\na return 1;\n", 2, "'{ ... }' block"},
                    refused{"%%\na =>\n", 2, "a token name must follow"},
                    refused{"%%\na => 9X\n", 2, "a token name must follow"},
                    refused{"%%\na => X value 1\n", 2, "only 'value' may follow"},
                    refused{"%%\na { }\nb { if (x) {\n  y(); }\nc { }\n", 3, "unterminated action"},
                    refused{"%%\na { \"x }\n", 2, "unterminated literal"},
                    refused{"%%\na { }\nb { x; } y\n", 3, "text after the action"},
                    refused{"%%\na { }\nb { x;\n } y\n", 4, "text after the action"},
                    refused{"%%\n    /* never closed\na { }\n", 2, "unterminated comment"}));
