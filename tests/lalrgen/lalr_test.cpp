// The automaton and its decisions on textbook grammars, checked against a
// canonical LR(1) construction and by running the packed tables.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support.h"

using lalrtest::build;
using lalrtest::lookaheads;
using lalrtest::run;
using lalrtest::state_with_kernel;
using lalrtest::symbol;

namespace {

constexpr int ID = 258;

const char* const expression_grammar =
    "%token ID 258\n%%\n"
    "e : e '+' t | t ;\n"
    "t : t '*' f | f ;\n"
    "f : '(' e ')' | ID ;\n";

// LALR(1) but not SLR(1): '=' is in FOLLOW(r), yet not a look-ahead of r: l.
// after an l at the start of a sentence.
const char* const assignment_grammar =
    "%token ID 258\n%%\n"
    "s : l '=' r | r ;\n"
    "l : '*' r | ID ;\n"
    "r : l ;\n";

// LR(1) but not LALR(1): the two states after 'a' 'e' and 'b' 'e' merge.
const char* const merged_grammar =
    "%%\n"
    "s : 'a' e 'c' | 'a' f 'd' | 'b' f 'c' | 'b' e 'd' ;\n"
    "e : 'e' ;\n"
    "f : 'e' ;\n";

const char* const dangling_else_grammar =
    "%token IF 258 ELSE 259 X 260\n%expect 1\n%%\n"
    "stmt : IF '(' X ')' stmt\n"
    "     | IF '(' X ')' stmt ELSE stmt\n"
    "     | X ';'\n"
    "     ;\n";

// Empty rules in chains: exercises the reads relation and nullable tails.
const char* const nullable_grammar =
    "%%\n"
    "s : a b c 'x' | b 'y' c | c 'z' ;\n"
    "a : 'a' | ;\n"
    "b : 'b' | a ;\n"
    "c : 'c' | a b ;\n";

std::string velmar_grammar() {
    std::ifstream f(VELMAR_GRAMMAR);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void expect_reference_lookaheads(const lalrtest::built& b) {
    const auto ref = lalrtest::reference_lookaheads(b.a);
    std::size_t checked = 0;
    for (std::size_t s = 0; s < b.a.states.size(); ++s) {
        const auto& st = b.a.states[s];
        for (std::size_t i = 0; i < st.reductions.size(); ++i) {
            if (st.reductions[i] == 0) continue;
            std::set<int> mine;
            for (int t = 0; t < b.g.num_terminals; ++t)
                if (st.lookaheads[i][t]) mine.insert(t);
            auto it = ref.find({static_cast<int>(s), st.reductions[i]});
            ASSERT_NE(it, ref.end()) << "state " << s << " rule " << st.reductions[i];
            EXPECT_EQ(mine, it->second) << "state " << s << " rule " << st.reductions[i];
            ++checked;
        }
    }
    EXPECT_GT(checked, 0u);
}

// Every action and goto read through the packed tables equals the decision
// made for the state.
void expect_packed_equals_decisions(const lalrtest::built& b) {
    const auto& g = b.g;
    for (std::size_t s = 0; s < b.a.states.size(); ++s) {
        const auto& st = b.a.states[s];
        const int si = static_cast<int>(s);
        for (int t = 0; t < g.num_terminals; ++t) ASSERT_EQ(b.t.action(si, t), st.actions[t]) << s << " " << t;
        EXPECT_EQ(b.t.default_rule[s], st.default_rule);
        EXPECT_EQ(b.t.reads_lookahead(si), st.reads_lookahead) << s;
        for (const auto& tr : st.gotos) ASSERT_EQ(b.t.goto_state(si, tr.symbol), tr.target) << s;
    }
    for (std::size_t s = 3; s < static_cast<std::size_t>(g.num_terminals); ++s)
        EXPECT_EQ(b.t.translate_code(g.symbols[s].code), static_cast<int>(s));
    EXPECT_EQ(b.t.translate_code(0), 0);
    EXPECT_EQ(b.t.translate_code(256), 2);
    EXPECT_EQ(b.t.translate_code(257), 2);
    EXPECT_EQ(b.t.translate_code(b.t.max_code + 1), 2);
    EXPECT_EQ(b.t.translate_code(-5), 2);
}

// States are numbered breadth first; a state's new successors get numbers
// in ascending order of the symbol that leads to them.
void expect_breadth_first_numbering(const lalrgen::automaton& a) {
    std::vector<int> number(a.states.size(), -1);
    number[0] = 0;
    int next = 1;
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        std::vector<lalrgen::transition> all = a.states[s].shifts;
        all.insert(all.end(), a.states[s].gotos.begin(), a.states[s].gotos.end());
        for (std::size_t k = 1; k < all.size(); ++k) ASSERT_LT(all[k - 1].symbol, all[k].symbol);
        for (const auto& tr : all)
            if (number[tr.target] < 0) number[tr.target] = next++;
    }
    for (std::size_t s = 0; s < a.states.size(); ++s) EXPECT_EQ(number[s], static_cast<int>(s));
}

std::vector<std::string> rule_names(const lalrtest::built& b, const std::vector<int>& rules) {
    std::vector<std::string> v;
    for (int r : rules) {
        std::string s = b.g.symbols[b.g.rules[r].lhs].name + ":";
        for (int x : b.g.rules[r].rhs) s += " " + b.g.symbols[x].name;
        v.push_back(s);
    }
    return v;
}

TEST(Automaton, ExpressionGrammarSizeAndParses) {
    auto b = build(expression_grammar);
    // The twelve LR(0) states of the textbook plus the state after $end.
    EXPECT_EQ(b->a.states.size(), 13u);
    EXPECT_EQ(b->g.rules.size(), 7u);
    EXPECT_EQ(b->a.conflicts.size(), 0u);
    EXPECT_EQ(b->a.states[b->a.final_state].accessing_symbol, 0);
    expect_breadth_first_numbering(b->a);
    expect_reference_lookaheads(*b);
    expect_packed_equals_decisions(*b);

    auto r = run(b->g, b->a, b->t, {ID, '+', ID, '*', ID});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(rule_names(*b, r.rules),
              (std::vector<std::string>{"f: ID", "t: f", "e: t", "f: ID", "t: f", "f: ID", "t: t '*' f",
                                        "e: e '+' t"}));
    EXPECT_TRUE(run(b->g, b->a, b->t, {'(', ID, '+', ID, ')', '*', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, '+', '*', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {'(', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, 300}).accepted);   // undeclared code
}

TEST(Automaton, LalrButNotSlr) {
    auto b = build(assignment_grammar);
    EXPECT_EQ(b->a.conflicts.size(), 0u);
    EXPECT_EQ(b->a.states.size(), 11u);
    // After an l at the start, r: l. is followed only by $end, although
    // FOLLOW(r) holds '=' (an SLR(1) generator would report a conflict here).
    int s = state_with_kernel(b->a, {"s: l . '=' r", "r: l ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(lookaheads(b->a, s, 5), (std::set<std::string>{"$end"}));
    EXPECT_GT(b->t.action(s, symbol(b->g, "'='")), 0);
    expect_reference_lookaheads(*b);
    expect_packed_equals_decisions(*b);
    expect_breadth_first_numbering(b->a);

    EXPECT_TRUE(run(b->g, b->a, b->t, {'*', ID, '=', ID}).accepted);
    EXPECT_TRUE(run(b->g, b->a, b->t, {ID}).accepted);
    EXPECT_TRUE(run(b->g, b->a, b->t, {'*', '*', ID, '=', '*', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, '='}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {'=', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, '=', ID, '=', ID}).accepted);
}

TEST(Automaton, LrButNotLalrReportsReduceReduce) {
    auto b = build(merged_grammar);
    EXPECT_EQ(b->a.sr_conflicts, 0);
    EXPECT_EQ(b->a.rr_conflicts, 2);
    int s = state_with_kernel(b->a, {"e: 'e' .", "f: 'e' ."});
    ASSERT_GE(s, 0);
    const auto text = lalrgen::describe_conflicts(b->a);
    ASSERT_EQ(text.size(), 2u);
    const std::string st = "state " + std::to_string(s) + ": ";
    EXPECT_EQ(text[0], st + "reduce/reduce conflict on 'c' (reduce by rule 5, not by rule 6)");
    EXPECT_EQ(text[1], st + "reduce/reduce conflict on 'd' (reduce by rule 5, not by rule 6)");
    // The earlier rule takes both tokens, becomes the default and leaves
    // nothing to look at.
    EXPECT_EQ(b->a.states[s].default_rule, 5);
    EXPECT_FALSE(b->a.states[s].reads_lookahead);
    expect_reference_lookaheads(*b);
    expect_packed_equals_decisions(*b);
    // a e c parses; a e d (needs f) is misread as e and rejected.
    EXPECT_TRUE(run(b->g, b->a, b->t, {'a', 'e', 'c'}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {'a', 'e', 'd'}).accepted);
}

TEST(Automaton, DanglingElseShifts) {
    auto b = build(dangling_else_grammar);
    EXPECT_EQ(b->g.expect, 1);
    EXPECT_EQ(b->a.sr_conflicts, 1);
    EXPECT_EQ(b->a.rr_conflicts, 0);
    int s = state_with_kernel(b->a, {"stmt: IF '(' X ')' stmt .", "stmt: IF '(' X ')' stmt . ELSE stmt"});
    ASSERT_GE(s, 0);
    const int else_t = symbol(b->g, "ELSE");
    ASSERT_EQ(b->a.conflicts.size(), 1u);
    EXPECT_EQ(b->a.conflicts[0].state, s);
    EXPECT_EQ(b->a.conflicts[0].token, else_t);
    EXPECT_FALSE(b->a.conflicts[0].reduce_reduce);
    EXPECT_GT(b->t.action(s, else_t), 0);
    EXPECT_EQ(lalrgen::describe_conflicts(b->a)[0],
              "state " + std::to_string(s) + ": shift/reduce conflict on ELSE (shift to state " +
                  std::to_string(b->t.action(s, else_t)) + ", not reduce by rule 1)");
    // The reduction keeps $end and becomes the default.
    EXPECT_EQ(b->a.states[s].default_rule, 1);
    expect_reference_lookaheads(*b);
    expect_packed_equals_decisions(*b);
    // The else goes with the inner if.
    const int IF = 258, ELSE = 259, X = 260;
    auto r = run(b->g, b->a, b->t, {IF, '(', X, ')', IF, '(', X, ')', X, ';', ELSE, X, ';'});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{3, 3, 2, 1}));
}

TEST(Automaton, DefaultReductionCoversMostLookaheads) {
    // p: 'x'. sees {a}, q: 'x'. sees {b, c, d}: q is the default although
    // it is the later rule; 'a' keeps an explicit reduction.
    auto b = build("%%\ns : p 'a' | q 'b' | q 'c' | q 'd' ;\np : 'x' ;\nq : 'x' ;\n");
    int s = state_with_kernel(b->a, {"p: 'x' .", "q: 'x' ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.states[s].default_rule, 6);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'a'")), -5);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'b'")), 0);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'c'")), 0);
    EXPECT_TRUE(b->a.states[s].reads_lookahead);
    expect_packed_equals_decisions(*b);
    EXPECT_TRUE(run(b->g, b->a, b->t, {'x', 'a'}).accepted);
    EXPECT_TRUE(run(b->g, b->a, b->t, {'x', 'd'}).accepted);
    // 'y' is no look-ahead of either, yet the default reduction happens
    // before the error is found.
    auto r = run(b->g, b->a, b->t, {'x', 'y'});
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{6}));
}

TEST(Automaton, DefaultReductionTieGoesToEarlierRule) {
    auto b = build("%%\ns : p 'a' | q 'b' ;\np : 'x' ;\nq : 'x' ;\n");
    int s = state_with_kernel(b->a, {"p: 'x' .", "q: 'x' ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.states[s].default_rule, 3);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'b'")), -4);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'a'")), 0);

    // The same with the rules' order swapped: still the earlier rule.
    auto c = build("%%\ns : p 'a' | q 'b' ;\nq : 'x' ;\np : 'x' ;\n");
    s = state_with_kernel(c->a, {"p: 'x' .", "q: 'x' ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(c->a.states[s].default_rule, 3);
    EXPECT_EQ(c->g.symbols[c->g.rules[3].lhs].name, "q");
    EXPECT_EQ(c->t.action(s, symbol(c->g, "'a'")), -4);
}

TEST(Automaton, DefaultReductionCountsAfterShiftWins) {
    // p sees {a, b} and q {c, d}, but 'a' is shifted: p keeps one token and
    // q, with two, becomes the default.
    auto b = build("%expect 1\n%%\ns : p 'a' | p 'b' | q 'c' | q 'd' | 'x' 'a' ;\np : 'x' ;\nq : 'x' ;\n");
    int s = state_with_kernel(b->a, {"p: 'x' .", "q: 'x' .", "s: 'x' . 'a'"});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.sr_conflicts, 1);
    EXPECT_EQ(b->a.states[s].default_rule, 7);
    EXPECT_GT(b->t.action(s, symbol(b->g, "'a'")), 0);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'b'")), -6);
    EXPECT_EQ(b->t.action(s, symbol(b->g, "'c'")), 0);
    expect_packed_equals_decisions(*b);
}

TEST(Automaton, NoDefaultWithoutReductionsOrWhenShiftTakesAll) {
    // After 'x', r: 'x'. sees only 'a', which is shifted: no default.
    auto b = build("%expect 1\n%%\ns : r 'a' | 'x' 'a' 'b' ;\nr : 'x' ;\n");
    int s = state_with_kernel(b->a, {"r: 'x' .", "s: 'x' . 'a' 'b'"});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.states[s].default_rule, 0);
    EXPECT_TRUE(b->a.states[s].reads_lookahead);
    EXPECT_EQ(b->a.states[0].default_rule, 0);
    EXPECT_TRUE(b->t.reads_lookahead(0));
    expect_packed_equals_decisions(*b);
}

TEST(Automaton, ReductionWithoutLookaheadHappensBeforeReading) {
    // After 'y' the only action is a: 'y'., taken before 'x' is read; after
    // 'x' the state shifts 'z' or reduces, so it reads.
    auto b = build("%%\ns : a 'x' | a 'x' 'z' ;\na : 'y' ;\n");
    int after_y = state_with_kernel(b->a, {"a: 'y' ."});
    ASSERT_GE(after_y, 0);
    EXPECT_TRUE(b->a.states[after_y].consistent);
    EXPECT_FALSE(b->t.reads_lookahead(after_y));
    auto r = run(b->g, b->a, b->t, {'y', 'x'});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{3, 1}));
    EXPECT_EQ(r.tokens_read, (std::vector<int>{1, 3}));   // a: 'y' after one token
}

TEST(Automaton, EmbeddedActionReducedBeforeFollowingSymbolIsShifted) {
    auto b = build("%%\ns : 'a' { m(); } 'b' | 'a' 'c' ;\n");
    // $@1: . competes with shifting 'c' after 'a': look-ahead needed; after
    // 'b' the rule is reduced without one.
    auto r = run(b->g, b->a, b->t, {'a', 'b'});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{1, 2}));
    EXPECT_EQ(r.tokens_read, (std::vector<int>{2, 2}));
    auto c = build("%%\ns : 'a' 'b' { m(); } 'c' ;\n");
    r = run(c->g, c->a, c->t, {'a', 'b', 'c'});
    EXPECT_TRUE(r.accepted);
    // Here the empty rule is the only action after 'b': no look-ahead.
    EXPECT_EQ(r.tokens_read, (std::vector<int>{2, 3}));
}

TEST(Automaton, NullableChainsMatchCanonicalLr1) {
    auto b = build(nullable_grammar);
    expect_reference_lookaheads(*b);
    expect_packed_equals_decisions(*b);
    expect_breadth_first_numbering(b->a);
}

TEST(Automaton, ErrorShiftSuppressesDefault) {
    auto b = build("%%\ns : 'a' t ;\nt : 'b' | error 'c' | ;\n");
    int s = state_with_kernel(b->a, {"s: 'a' . t"});
    ASSERT_GE(s, 0);
    EXPECT_GT(b->t.action(s, 1), 0);
    EXPECT_EQ(b->a.states[s].default_rule, 0);
    EXPECT_EQ(b->t.action(s, 0), -4);
}

TEST(VelmarGrammar, SizeConflictAndTables) {
    const std::string text = velmar_grammar();
    if (text.empty()) GTEST_SKIP() << "no grammar at " << VELMAR_GRAMMAR;
    auto b = build(text);
    EXPECT_EQ(b->a.states.size(), 318u);
    EXPECT_EQ(b->g.rules.size(), 203u);
    EXPECT_EQ(b->g.num_nonterminals(), 96);
    EXPECT_EQ(b->g.num_terminals, 53);   // $end, error, $undefined., 34 named, 16 characters
    EXPECT_EQ(b->a.sr_conflicts, 1);
    EXPECT_EQ(b->a.rr_conflicts, 0);
    EXPECT_EQ(b->g.expect, 1);
    ASSERT_EQ(b->a.conflicts.size(), 1u);
    EXPECT_EQ(b->g.symbols[b->a.conflicts[0].token].name, "END");
    EXPECT_EQ(b->g.symbols[b->g.rules[b->a.conflicts[0].rejected].lhs].name, "space");
    EXPECT_EQ(b->g.symbols[b->g.num_terminals + 1].name, "dialog");
    expect_reference_lookaheads(*b);
    expect_packed_equals_decisions(*b);
    expect_breadth_first_numbering(b->a);
}

}  // namespace
