// Reading grammars: symbol and rule numbering, embedded actions, $ references,
// and the errors with their lines.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/lalrgen.h"

using lalrgen::grammar_error;
using lalrgen::read_grammar;
using lalrgen::rule_text;

namespace {

std::vector<std::string> names(const lalrgen::grammar& g)
{
    std::vector<std::string> v;
    for (const auto& s : g.symbols)
        v.push_back(s.name);
    return v;
}

TEST(Reader, NumbersSymbolsAndRulesInOrderOfAppearance)
{
    const auto g = read_grammar("%{\n#include <cstdio>\n%}\n"
                                "%token B 300 A 299\n"
                                "%token C\n"
                                "%start top\n"
                                "%%\n"
                                "top : item ',' top   /* right recursion */\n"
                                "    | item ;\n"
                                "item : A | B '\\'' | C '-'\n"
                                "     |\n"
                                "     ;\n"
                                "%%\nint tail;\n",
                                "g.y");
    EXPECT_EQ(names(g), (std::vector<std::string>{"$end", "error", "$undefined.", "B", "A", "C", "','", "'\\''", "'-'",
                                                  "$accept", "top", "item"}));
    EXPECT_EQ(g.num_terminals, 9);
    EXPECT_EQ(g.num_nonterminals(), 3);
    // Codes: declared numbers, the next free one above 257 for C, characters as themselves.
    EXPECT_EQ(g.symbols[3].code, 300);
    EXPECT_EQ(g.symbols[4].code, 299);
    EXPECT_EQ(g.symbols[5].code, 301);
    EXPECT_EQ(g.symbols[6].code, ',');
    EXPECT_EQ(g.symbols[7].code, '\'');
    ASSERT_EQ(g.rules.size(), 7u);
    EXPECT_EQ(rule_text(g, 0), "$accept: top $end");
    EXPECT_EQ(rule_text(g, 1), "top: item ',' top");
    EXPECT_EQ(rule_text(g, 2), "top: item");
    EXPECT_EQ(rule_text(g, 3), "item: A");
    EXPECT_EQ(rule_text(g, 4), "item: B '\\''");
    EXPECT_EQ(rule_text(g, 5), "item: C '-'");
    EXPECT_EQ(rule_text(g, 6), "item: /* empty */");
    // Lines: where the alternative's first item stands; an empty one at its '|'.
    EXPECT_EQ(g.rules[1].line, 8);
    EXPECT_EQ(g.rules[2].line, 9);
    EXPECT_EQ(g.rules[5].line, 10);
    EXPECT_EQ(g.rules[6].line, 11);
    EXPECT_EQ(g.prologue, "#include <cstdio>\n");
    EXPECT_EQ(g.prologue_line, 2);
    EXPECT_EQ(g.epilogue, "\nint tail;\n");
    EXPECT_EQ(g.expect, 0);
}

TEST(Reader, StartDefaultsToFirstRuleAndSemicolonsAreOptional)
{
    const auto g = read_grammar("%expect 3\n%%\na : b 'x'\nb : 'y' | %empty\n", "g.y");
    EXPECT_EQ(g.symbols[g.start].name, "a");
    EXPECT_EQ(g.expect, 3);
    ASSERT_EQ(g.rules.size(), 4u);
    EXPECT_EQ(rule_text(g, 2), "b: 'y'");
    EXPECT_EQ(rule_text(g, 3), "b: /* empty */");
}

TEST(Reader, EmbeddedActionsBecomeEmptyRulesNumberedBeforeTheirRule)
{
    const auto g = read_grammar("%%\n"
                                "s : first 'a' { m1($1); } 'b' {\n"
                                "      m2($1, $2, $3); $$ = 7; } 'c' { end($1, $2, $3, $4, $5, $$, $0); }\n"
                                "  ;\n"
                                "first : 'f' { f(\"$1 stays\"); /* $2 too */ $$ = $1; } ;\n"
                                "other : first { o($1); } 'a' ;\n",
                                "g.y");
    EXPECT_EQ(names(g), (std::vector<std::string>{"$end", "error", "$undefined.", "'a'", "'b'", "'c'", "'f'", "$accept",
                                                  "s", "$@1", "$@2", "first", "other", "$@3"}));
    ASSERT_EQ(g.rules.size(), 7u);
    EXPECT_EQ(rule_text(g, 1), "$@1: /* empty */");
    EXPECT_EQ(rule_text(g, 5), "$@3: /* empty */");
    EXPECT_EQ(rule_text(g, 6), "other: first $@3 'a'");
    EXPECT_EQ(g.rules[5].action, " o(vsp[0].value); ");
    EXPECT_FALSE(g.rules[6].has_action);
    EXPECT_EQ(rule_text(g, 2), "$@2: /* empty */");
    EXPECT_EQ(rule_text(g, 3), "s: first 'a' $@1 'b' $@2 'c'");
    EXPECT_EQ(rule_text(g, 4), "first: 'f'");
    // An action that is last in its alternative is the rule's own action.
    EXPECT_TRUE(g.rules[4].has_action);
    EXPECT_EQ(g.rules[1].line, 2);
    EXPECT_EQ(g.rules[2].line, 2); // the brace opens on line 2
    EXPECT_EQ(g.rules[3].line, 2);
    // $n counts from the rule's own stack top: 2 symbols before the first
    // action, 4 before the second, 6 before the end action.
    EXPECT_EQ(g.rules[1].action, " m1(vsp[-1].value); ");
    EXPECT_EQ(g.rules[2].action, "\n      m2(vsp[-3].value, vsp[-2].value, vsp[-1].value); yyval = 7; ");
    EXPECT_EQ(
        g.rules[3].action,
        " end(vsp[-5].value, vsp[-4].value, vsp[-3].value, vsp[-2].value, vsp[-1].value, yyval, vsp[-6].value); ");
    EXPECT_EQ(g.rules[3].action_line, 3);
    EXPECT_EQ(g.rules[4].action, " f(\"$1 stays\"); /* $2 too */ yyval = vsp[0].value; ");
}

TEST(Reader, UnusedDeclaredTokensAndNestedBracesInActions)
{
    const auto g = read_grammar("%token USED 258 UNUSED 259\n%%\ns : USED { if (x) { y('}'); } \"{\"; } ;\n", "g.y");
    EXPECT_EQ(g.num_terminals, 5);
    EXPECT_EQ(g.rules[1].action, " if (x) { y('}'); } \"{\"; ");
}

struct bad_case {
    const char* text;
    int line;
    const char* message;
};

TEST(Reader, DescriptionsOfSymbols)
{
    const auto g = lalrgen::read_grammar("%token A 300 \"an \\\"a\\\"\" B 301\n%describe s \"the sentence\"\n"
                                         "%describe 'x' \"an x\"\n%%\ns : A B 'x' 'y' ;\n",
                                         "d.y");
    std::map<std::string, std::string> words;
    for (const auto& sym : g.symbols)
        words[sym.name] = sym.description;
    EXPECT_EQ(words["A"], "an \"a\"");
    EXPECT_EQ(words["B"], "");
    EXPECT_EQ(words["s"], "the sentence");
    EXPECT_EQ(words["'x'"], "an x");
    EXPECT_EQ(words["'y'"], "");
}

class ReaderErrors : public ::testing::TestWithParam<bad_case> {};

TEST_P(ReaderErrors, NameTheLine)
{
    const bad_case& c = GetParam();
    try {
        read_grammar(c.text, "bad.y");
        FAIL() << "accepted: " << c.text;
    } catch (const grammar_error& e) {
        EXPECT_EQ(e.line, c.line) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderErrors,
    ::testing::Values(bad_case{"%token A 258\n%%\ns : A\n  | t\n  ;\n", 4, "'t' is used, but is not defined"},
                      bad_case{"%token A 258 \"an a\"\n%describe A \"again\"\n%%\ns : A ;\n", 2, "described twice"},
                      bad_case{"%token A 258 \"\"\n%%\ns : A ;\n", 1, "empty description"},
                      bad_case{"%token A 258 \"an a\n%%\ns : A ;\n", 1, "unterminated string"},
                      bad_case{"%describe s\n%%\ns : 'a' ;\n", 1, "%describe needs a symbol and a string"},
                      bad_case{"%%\ns : 'a'\n  ;\nt 'b' ;\n", 4, "':' expected after 't'"},
                      bad_case{"%left X\n%%\ns : 'a' ;\n", 1, "%left"},
                      bad_case{"%token A 258\n%%\ns : A ;\nA : 'a' ;\n", 4, "which is a token"},
                      bad_case{"%%\ns : 'a' {\n  foo(); \n", 2, "unterminated action"},
                      bad_case{"%%\ns : 'a' 'b' {\n  f($2);\n  g($3); } ;\n", 4, "$3"},
                      bad_case{"%%\ns : 'a' { f($2); } 'b' ;\n", 2, "$2"},
                      bad_case{"%%\ns : 'a' { f($<int>1); } ;\n", 2, "typed"},
                      bad_case{"%token A 258\ns : A ;\n", 2, "unexpected text in the declarations"},
                      bad_case{"%token A 258\n", 2, "missing %%"},
                      bad_case{"%start t\n%%\ns : 'a' ;\n", 1, "start symbol 't' has no rules"},
                      bad_case{"%%\ns : 'ab' ;\n", 2, "character literal"},
                      bad_case{"%%\n\ns : 'a\n ;\n", 3, "character literal"},
                      bad_case{"%token A 97\n%%\ns : A 'a' ;\n", 3, "same code 97"},
                      bad_case{"%token A 258 B 258\n%%\ns : A B ;\n", 1, "same code 258"},
                      bad_case{"%token A 256\n%%\ns : A ;\n", 1, "reserved"},
                      bad_case{"\n%token A 70000\n%%\ns : A ;\n", 2, "too large"},
                      bad_case{"%%\n/* open\ns : 'a' ;\n", 2, "unterminated comment"},
                      bad_case{"%%\ns : 'a' %prec X ;\n", 2, "%prec"},
                      bad_case{"%%\ns : s 'a' ;\n", 2, "does not derive any sentence"},
                      bad_case{"%%\n%%\n", 2, "no rules"}, bad_case{"%{\nint x;\n", 1, "unterminated %{"},
                      bad_case{"%expect\n%%\ns : 'a' ;\n", 2, "%expect needs a number"},
                      bad_case{"%%\ns : 'a' ;\n  @\n", 3, "unexpected character '@'"}));

TEST(Reader, WarnsAboutUnreachableNonterminals)
{
    const auto g = read_grammar("%%\ns : 'a' ;\nt : 'b' ;\n", "w.y");
    ASSERT_EQ(g.warnings.size(), 1u);
    EXPECT_EQ(g.warnings[0], "w.y:3: warning: nonterminal 't' is not reachable from the start symbol");
}

} // namespace
