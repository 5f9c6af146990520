// Automata built from small rule sets.
#include "tests/support/matchers.h"
#include "scan_engine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

using namespace lexgen_test;

namespace {

match m(const built& b, std::string_view s, bool line_start = false)
{
    return dfa_match(b.dfa, s, 0, line_start);
}

} // namespace

TEST(Matching, LongestMatchBacksUpToTheLastAcceptingState)
{
    built b = build(rule_file({"a", "ab", "abcd"}));
    EXPECT_EQ(m(b, "abcde"), (match{3, 4, 4}));
    EXPECT_EQ(m(b, "abcx"), (match{2, 2, 2}));
    EXPECT_EQ(m(b, "ax"), (match{1, 1, 1}));
    EXPECT_EQ(m(b, "x"), (match{0, 0, 0}));
}

TEST(Matching, EqualLengthGoesToTheEarlierRule)
{
    built word_first = build(rule_file({"[a-z]+", "if"}));
    EXPECT_EQ(m(word_first, "if(").rule, 1);
    built keyword_first = build(rule_file({"if", "[a-z]+"}));
    EXPECT_EQ(m(keyword_first, "if(").rule, 1);
    EXPECT_EQ(m(keyword_first, "iff(").rule, 2);
    EXPECT_EQ(m(keyword_first, "i(").rule, 2);
}

TEST(Matching, LineStartRulesOnlyFromTheSecondStartState)
{
    built b = build(rule_file({"^a", "a", "^b"}));
    EXPECT_EQ(m(b, "a", true).rule, 1);
    EXPECT_EQ(m(b, "a", false).rule, 2);
    EXPECT_EQ(m(b, "b", true).rule, 3);
    EXPECT_EQ(m(b, "b", false).rule, 0);
    EXPECT_EQ(b.dfa.step(lexgen::automaton::start, 'b'), lexgen::automaton::dead);
}

TEST(Matching, TrailingContextCountsForLengthAndIsGivenBack)
{
    built b = build(rule_file({"a/bc", "ab", "^x[^\\n]*/\\n", "x"}));
    EXPECT_EQ(b.dfa.tail_length[1], 2);
    EXPECT_EQ(b.dfa.tail_length[2], 0);
    EXPECT_EQ(b.dfa.tail_length[3], 1);
    EXPECT_EQ(m(b, "abc"), (match{1, 3, 1}));
    EXPECT_EQ(m(b, "abd"), (match{2, 2, 2}));
    EXPECT_EQ(m(b, "xyz\n", true), (match{3, 4, 3}));
    EXPECT_EQ(m(b, "xyz", true), (match{4, 1, 1}));
    EXPECT_EQ(m(b, "xyz\n", false), (match{4, 1, 1}));
}

TEST(Automaton, DeadAndStartStates)
{
    // No line-start rule: the two start states behave alike but both exist.
    built b = build(rule_file({"ab|cb"}));
    const lexgen::automaton& d = b.dfa;
    EXPECT_EQ(d.accept[lexgen::automaton::dead], 0);
    for (int c = 0; c < d.num_classes; ++c) {
        EXPECT_EQ(d.next[c], 0);
        EXPECT_EQ(d.next[lexgen::automaton::start * d.num_classes + c],
                  d.next[lexgen::automaton::start_line * d.num_classes + c]);
    }
    // dead, two starts, after a or c, after b
    EXPECT_EQ(d.num_states, 5);
    EXPECT_GT(d.subset_states, d.num_states);

    // Only line-start rules: state 1 is a copy of the dead state.
    built only = build(rule_file({"^a"}));
    EXPECT_EQ(only.dfa.num_states, 4);
    EXPECT_EQ(only.dfa.step(lexgen::automaton::start, 'a'), 0);
    EXPECT_NE(only.dfa.step(lexgen::automaton::start_line, 'a'), 0);
}

TEST(Automaton, MinimisationKeepsTheAcceptedRule)
{
    // After "a" and after "b" the futures agree, but the rules differ.
    built b = build(rule_file({"ax?", "bx?"}));
    EXPECT_EQ(m(b, "ax").rule, 1);
    EXPECT_EQ(m(b, "bx").rule, 2);
    std::set<int> accepting;
    for (int s = 0; s < b.dfa.num_states; ++s)
        if (b.dfa.accept[s])
            accepting.insert(s);
    EXPECT_EQ(accepting.size(), 4u);
    // Same future and same rule: merged.
    built c = build(rule_file({"ax?|bx?"}));
    EXPECT_EQ(c.dfa.num_states, 5);
}

TEST(Automaton, ByteClassesAreMinimalAndNulIsAlone)
{
    built b = build(rule_file({"[a-c]x", "b", "[\\0-\\x10]"}));
    const lexgen::automaton& d = b.dfa;
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

namespace {

// The values of the array `name` in an emitted header, as written between
// its braces (row braces and layout ignored).
std::vector<std::string> array_values(const std::string& text, const std::string& name)
{
    std::vector<std::string> values;
    const std::size_t at = text.find(" " + name + "[");
    if (at == std::string::npos)
        return values;
    const std::size_t open = text.find("= {", at), close = text.find("};", at);
    if (open == std::string::npos || close == std::string::npos)
        return values;
    std::string word;
    for (std::size_t i = open + 3; i <= close; ++i) {
        const char c = text[i];
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') {
            word += c;
        } else if (!word.empty()) {
            values.push_back(word);
            word.clear();
        }
    }
    return values;
}

// The value of the constant `name` in an emitted header, or -1.
long constant_value(const std::string& text, const std::string& name)
{
    const std::size_t at = text.find(" " + name + " ");
    const std::size_t eq = at == std::string::npos ? at : text.find('=', at);
    return eq == std::string::npos ? -1 : std::strtol(text.c_str() + eq + 1, nullptr, 10);
}

template <class Seq> std::vector<std::string> as_text(const Seq& values)
{
    std::vector<std::string> v;
    for (const auto x : values)
        v.push_back(std::to_string(x));
    return v;
}

} // namespace

// The emitted header holds the automaton as it was built, the same text on
// every run, in the namespace asked for, naming the rule file without its
// folder.
TEST(Emission, TablesHoldTheAutomaton)
{
    const std::string text =
        "%nul_token NUL_CODE\nD [0-9]\n%%\n{D}+/x { return 1; }\n^[a-z]+ => WORD value\n. => byte value\n";
    built b = build(text);
    b.rules.file_name = "some/dir/r.l";
    const std::string first = lexgen::emit_tables(b.rules, b.dfa, "scan");
    EXPECT_EQ(lexgen::emit_tables(b.rules, build(text).dfa, "scan"), first);
    EXPECT_NE(first.find("namespace scan {"), std::string::npos);
    EXPECT_EQ(first.find("some/dir"), std::string::npos);
    EXPECT_NE(first.find("r.l"), std::string::npos);
    EXPECT_EQ(constant_value(first, "format"), scan_engine::table_format);
    EXPECT_EQ(constant_value(first, "num_rules"), 3);
    EXPECT_EQ(constant_value(first, "num_states"), b.dfa.num_states);
    EXPECT_EQ(constant_value(first, "num_classes"), b.dfa.num_classes);
    EXPECT_NE(first.find("nul_token = NUL_CODE;"), std::string::npos);

    EXPECT_EQ(array_values(first, "byte_class"), as_text(b.dfa.byte_class));
    EXPECT_EQ(array_values(first, "accept"), as_text(b.dfa.accept));
    EXPECT_EQ(array_values(first, "tail_length"), (std::vector<std::string>{"0", "1", "0", "0"}));
    EXPECT_EQ(array_values(first, "rule_token"), (std::vector<std::string>{"0", "0", "WORD", "-1"}));
    EXPECT_EQ(array_values(first, "rule_value"), (std::vector<std::string>{"0", "0", "1", "1"}));
    // Rows of a power of two, the classes' transitions first.
    const std::vector<std::string> next = array_values(first, "next");
    const lexgen::run_tables t = lexgen::make_run_tables(b.dfa);
    ASSERT_EQ(next.size(), static_cast<std::size_t>(b.dfa.num_states * t.row_size));
    for (int s = 0; s < b.dfa.num_states; ++s)
        for (int c = 0; c < t.row_size; ++c)
            EXPECT_EQ(next[s * t.row_size + c],
                      std::to_string(c < b.dfa.num_classes ? b.dfa.next[s * b.dfa.num_classes + c] : 0))
                << s << ' ' << c;
    EXPECT_EQ(array_values(first, "stop"), as_text(t.stop));
    // (The one-byte matches are checked entry by entry on the real rules.)
    EXPECT_NE(first.find("one_byte[2][256]"), std::string::npos);

    // The memo of failures records the one state that loops and accepts
    // nothing: two digits or more waiting for their 'x' (after one digit,
    // '.' has matched).  Words loop too, but accept.
    EXPECT_EQ(constant_value(first, "num_memo_planes"), 1);
    EXPECT_EQ(array_values(first, "memo_plane"), as_text(t.memo_plane));
    const int digits = b.dfa.step(b.dfa.step(lexgen::automaton::start, '1'), '1');
    const int word = b.dfa.step(lexgen::automaton::start_line, 'a');
    ASSERT_NE(digits, 0);
    ASSERT_NE(word, 0);
    for (int s = 0; s < b.dfa.num_states; ++s)
        EXPECT_EQ(t.memo_plane[s], s == digits ? 1 : 0) << s;
}
