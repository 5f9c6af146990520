// Automata built from small rule sets.
#include "matchers.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace lexgen_test;

namespace {

Match m(const Built& b, std::string_view s, bool line_start = false)
{
    return dfa_match(b.dfa, s, 0, line_start);
}

} // namespace

TEST(Matching, LongestMatchBacksUpToTheLastAcceptingState)
{
    Built b = build(rule_file({"a", "ab", "abcd"}));
    EXPECT_EQ(m(b, "abcde"), (Match{3, 4, 4}));
    EXPECT_EQ(m(b, "abcx"), (Match{2, 2, 2}));
    EXPECT_EQ(m(b, "ax"), (Match{1, 1, 1}));
    EXPECT_EQ(m(b, "x"), (Match{0, 0, 0}));
}

TEST(Matching, EqualLengthGoesToTheEarlierRule)
{
    Built word_first = build(rule_file({"[a-z]+", "if"}));
    EXPECT_EQ(m(word_first, "if(").rule, 1);
    Built keyword_first = build(rule_file({"if", "[a-z]+"}));
    EXPECT_EQ(m(keyword_first, "if(").rule, 1);
    EXPECT_EQ(m(keyword_first, "iff(").rule, 2);
    EXPECT_EQ(m(keyword_first, "i(").rule, 2);
}

TEST(Matching, LineStartRulesOnlyFromTheSecondStartState)
{
    Built b = build(rule_file({"^a", "a", "^b"}));
    EXPECT_EQ(m(b, "a", true).rule, 1);
    EXPECT_EQ(m(b, "a", false).rule, 2);
    EXPECT_EQ(m(b, "b", true).rule, 3);
    EXPECT_EQ(m(b, "b", false).rule, 0);
    EXPECT_EQ(b.dfa.step(lexgen::Dfa::start, 'b'), lexgen::Dfa::dead);
}

TEST(Matching, TrailingContextCountsForLengthAndIsGivenBack)
{
    Built b = build(rule_file({"a/bc", "ab", "^x[^\\n]*/\\n", "x"}));
    EXPECT_EQ(b.dfa.tail_length[1], 2);
    EXPECT_EQ(b.dfa.tail_length[2], 0);
    EXPECT_EQ(b.dfa.tail_length[3], 1);
    EXPECT_EQ(m(b, "abc"), (Match{1, 3, 1}));
    EXPECT_EQ(m(b, "abd"), (Match{2, 2, 2}));
    EXPECT_EQ(m(b, "xyz\n", true), (Match{3, 4, 3}));
    EXPECT_EQ(m(b, "xyz", true), (Match{4, 1, 1}));
    EXPECT_EQ(m(b, "xyz\n", false), (Match{4, 1, 1}));
}

TEST(Automaton, DeadAndStartStates)
{
    // No line-start rule: the two start states behave alike but both exist.
    Built b = build(rule_file({"ab|cb"}));
    const lexgen::Dfa& d = b.dfa;
    EXPECT_EQ(d.accept[lexgen::Dfa::dead], 0);
    for (int c = 0; c < d.num_classes; ++c) {
        EXPECT_EQ(d.next[c], 0);
        EXPECT_EQ(d.next[lexgen::Dfa::start * d.num_classes + c], d.next[lexgen::Dfa::start_line * d.num_classes + c]);
    }
    // dead, two starts, after a or c, after b
    EXPECT_EQ(d.num_states, 5);
    EXPECT_GT(d.subset_states, d.num_states);

    // Only line-start rules: state 1 is a copy of the dead state.
    Built only = build(rule_file({"^a"}));
    EXPECT_EQ(only.dfa.num_states, 4);
    EXPECT_EQ(only.dfa.step(lexgen::Dfa::start, 'a'), 0);
    EXPECT_NE(only.dfa.step(lexgen::Dfa::start_line, 'a'), 0);
}

TEST(Automaton, MinimisationKeepsTheAcceptedRule)
{
    // After "a" and after "b" the futures agree, but the rules differ.
    Built b = build(rule_file({"ax?", "bx?"}));
    EXPECT_EQ(m(b, "ax").rule, 1);
    EXPECT_EQ(m(b, "bx").rule, 2);
    std::set<int> accepting;
    for (int s = 0; s < b.dfa.num_states; ++s)
        if (b.dfa.accept[s])
            accepting.insert(s);
    EXPECT_EQ(accepting.size(), 4u);
    // Same future and same rule: merged.
    Built c = build(rule_file({"ax?|bx?"}));
    EXPECT_EQ(c.dfa.num_states, 5);
}

TEST(Automaton, ByteClassesAreMinimalAndNulIsAlone)
{
    Built b = build(rule_file({"[a-c]x", "b", "[\\0-\\x10]"}));
    const lexgen::Dfa& d = b.dfa;
    EXPECT_EQ(d.byte_class['a'], d.byte_class['c']);
    EXPECT_NE(d.byte_class['a'], d.byte_class['b']);
    EXPECT_EQ(d.byte_class[1], d.byte_class[16]);
    EXPECT_NE(d.byte_class[1], d.byte_class[17]);
    EXPECT_EQ(d.byte_class[0], d.nul_class);
    for (int c = 1; c < 256; ++c)
        EXPECT_NE(d.byte_class[c], d.nul_class) << c;
    // {a,c} {b} {x} {NUL} {1..16} and the rest
    EXPECT_EQ(d.num_classes, 6);
    // Every class is used, and no two classes have the same transitions.
    std::set<std::vector<int>> columns;
    for (int c = 0; c < d.num_classes; ++c) {
        std::vector<int> col;
        for (int s = 0; s < d.num_states; ++s)
            col.push_back(d.next[s * d.num_classes + c]);
        columns.insert(col);
    }
    EXPECT_EQ(static_cast<int>(columns.size()), d.num_classes - 1) << "only NUL's column may repeat another";
}

TEST(Emission, DeterministicAndComplete)
{
    const std::string text = "D [0-9]\n%%\n{D}+/x { return 1; }\n^[a-z]+ => WORD value\n. { }\n";
    std::string first;
    for (int round = 0; round < 2; ++round) {
        Built b = build(text);
        std::ostringstream out;
        lexgen::write_tables(out, b.rules, b.dfa, "some/dir/r.l");
        if (round == 0) {
            first = out.str();
            continue;
        }
        EXPECT_EQ(out.str(), first);
    }
    for (const char* decl : {"namespace trl_dfa {", "using state_t = std::uint8_t;", "inline constexpr int num_rules = 3;",
                             "inline constexpr std::uint8_t byte_class[256]", "inline constexpr int nul_class = 0;",
                             "inline constexpr std::uint8_t accept[num_states]",
                             "inline constexpr std::uint8_t tail_length[num_rules + 1] = {\n    0, 1, 0, 0,\n};",
                             "inline constexpr int rule_token[num_rules + 1] = {\n    0, 0, WORD, 0,\n};",
                             "inline constexpr std::uint8_t rule_value[num_rules + 1] = {\n    0, 0, 1, 0,\n};",
                             "inline constexpr state_t next[num_states][", "inline constexpr std::uint8_t stop[num_states]",
                             "inline constexpr std::uint8_t one_byte_rule[3]["})
        EXPECT_NE(first.find(decl), std::string::npos) << decl;
    EXPECT_EQ(first.find("some/dir"), std::string::npos);
}
