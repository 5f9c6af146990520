// The automaton and its decisions on textbook grammars, checked against a
// canonical LR(1) construction, and the engine's tables run against the
// decisions on sentences derived from the grammars.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/lalrgen.h"

using lalrgen_test::build;
using lalrgen_test::lookaheads;
using lalrgen_test::run;
using lalrgen_test::state_with_kernel;
using lalrgen_test::symbol;

namespace {

constexpr int ID = 258;

const char* const expression_grammar = "%token ID 258\n%%\n"
                                       "e : e '+' t | t ;\n"
                                       "t : t '*' f | f ;\n"
                                       "f : '(' e ')' | ID ;\n";

// LALR(1) but not SLR(1): '=' is in FOLLOW(r), yet not a look-ahead of r: l.
// after an l at the start of a sentence.
const char* const assignment_grammar = "%token ID 258\n%%\n"
                                       "s : l '=' r | r ;\n"
                                       "l : '*' r | ID ;\n"
                                       "r : l ;\n";

// LR(1) but not LALR(1): the two states after 'a' 'e' and 'b' 'e' merge.
const char* const merged_grammar = "%%\n"
                                   "s : 'a' e 'c' | 'a' f 'd' | 'b' f 'c' | 'b' e 'd' ;\n"
                                   "e : 'e' ;\n"
                                   "f : 'e' ;\n";

const char* const dangling_else_grammar = "%token IF 258 ELSE 259 X 260\n%expect 1\n%%\n"
                                          "stmt : IF '(' X ')' stmt\n"
                                          "     | IF '(' X ')' stmt ELSE stmt\n"
                                          "     | X ';'\n"
                                          "     ;\n";

// Empty rules in chains: exercises the reads relation and nullable tails.
const char* const nullable_grammar = "%%\n"
                                     "s : a b c 'x' | b 'y' c | c 'z' ;\n"
                                     "a : 'a' | ;\n"
                                     "b : 'b' | a ;\n"
                                     "c : 'c' | a b ;\n";

std::string velmar_grammar()
{
    std::ifstream f(VELMAR_GRAMMAR);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void expect_reference_lookaheads(const lalrgen_test::built& b)
{
    const auto ref = lalrgen_test::reference_lookaheads(b.a);
    std::size_t checked = 0;
    for (std::size_t s = 0; s < b.a.states.size(); ++s) {
        const auto& st = b.a.states[s];
        for (std::size_t i = 0; i < st.reductions.size(); ++i) {
            if (st.reductions[i] == 0)
                continue;
            std::set<int> mine;
            for (int t = 0; t < b.g.num_terminals; ++t)
                if (st.lookaheads[i][t])
                    mine.insert(t);
            auto it = ref.find({static_cast<int>(s), st.reductions[i]});
            ASSERT_NE(it, ref.end()) << "state " << s << " rule " << st.reductions[i];
            EXPECT_EQ(mine, it->second) << "state " << s << " rule " << st.reductions[i];
            ++checked;
        }
    }
    EXPECT_GT(checked, 0u);
}

// Sentences derived at random from the grammar, and variants with a token
// dropped, doubled or replaced: the engine's tables must take each exactly
// as the decisions do (lalrgen_test::run compares them).
void expect_tables_agree(const lalrgen_test::built& b, int sentences, bool all_accepted)
{
    const auto& g = b.g;
    // Shortest derivation length of each symbol, to end deep derivations.
    std::vector<int> shortest(g.symbols.size(), 1 << 20);
    for (int t = 0; t < g.num_terminals; ++t)
        shortest[static_cast<std::size_t>(t)] = 1;
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& r : g.rules) {
            long n = 0;
            for (int x : r.rhs)
                n += shortest[static_cast<std::size_t>(x)];
            if (n < shortest[static_cast<std::size_t>(r.lhs)]) {
                shortest[static_cast<std::size_t>(r.lhs)] = static_cast<int>(n);
                changed = true;
            }
        }
    }
    std::mt19937 rng(12345);
    auto derive = [&](auto& self, int symbol, int depth, std::vector<int>& out) -> void {
        if (symbol < g.num_terminals) {
            out.push_back(g.symbols[static_cast<std::size_t>(symbol)].code);
            return;
        }
        std::vector<int> choices;
        for (std::size_t r = 1; r < g.rules.size(); ++r)
            if (g.rules[r].lhs == symbol)
                choices.push_back(static_cast<int>(r));
        int rule = choices[rng() % choices.size()];
        if (depth > 12) // the shortest alternative from here on
            for (int r : choices) {
                long n = 0, m = 0;
                for (int x : g.rules[static_cast<std::size_t>(r)].rhs)
                    n += shortest[static_cast<std::size_t>(x)];
                for (int x : g.rules[static_cast<std::size_t>(rule)].rhs)
                    m += shortest[static_cast<std::size_t>(x)];
                if (n < m)
                    rule = r;
            }
        for (int x : g.rules[static_cast<std::size_t>(rule)].rhs)
            self(self, x, depth + 1, out);
    };
    int accepted = 0;
    for (int i = 0; i < sentences; ++i) {
        std::vector<int> codes;
        derive(derive, g.start, 0, codes);
        accepted += run(b.g, b.a, b.t, codes).accepted;
        if (codes.empty())
            continue;
        const std::size_t at = rng() % codes.size();
        std::vector<int> dropped = codes, doubled = codes, replaced = codes;
        dropped.erase(dropped.begin() + static_cast<long>(at));
        doubled.insert(doubled.begin() + static_cast<long>(at), codes[at]);
        replaced[at] = g.symbols[static_cast<std::size_t>(3 + rng() % static_cast<unsigned>(g.num_terminals - 3))].code;
        for (const auto& variant : {dropped, doubled, replaced})
            run(b.g, b.a, b.t, variant);
    }
    if (all_accepted) {
        EXPECT_EQ(accepted, sentences); // every derived sentence is one of the grammar's
    }
}

// States are numbered breadth first; a state's new successors get numbers
// in ascending order of the symbol that leads to them.
void expect_breadth_first_numbering(const lalrgen::automaton& a)
{
    std::vector<int> number(a.states.size(), -1);
    number[0] = 0;
    int next = 1;
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        std::vector<lalrgen::transition> all = a.states[s].shifts;
        all.insert(all.end(), a.states[s].gotos.begin(), a.states[s].gotos.end());
        for (std::size_t k = 1; k < all.size(); ++k)
            ASSERT_LT(all[k - 1].symbol, all[k].symbol);
        for (const auto& tr : all)
            if (number[tr.target] < 0)
                number[tr.target] = next++;
    }
    for (std::size_t s = 0; s < a.states.size(); ++s)
        EXPECT_EQ(number[s], static_cast<int>(s));
}

std::vector<std::string> rule_names(const lalrgen_test::built& b, const std::vector<int>& rules)
{
    std::vector<std::string> v;
    for (int r : rules)
        v.push_back(lalrgen::rule_text(b.g, r));
    return v;
}

TEST(Automaton, ExpressionGrammarSizeAndParses)
{
    auto b = build(expression_grammar);
    // The twelve LR(0) states of the textbook plus the state after $end.
    EXPECT_EQ(b->a.states.size(), 13u);
    EXPECT_EQ(b->g.rules.size(), 7u);
    EXPECT_EQ(b->a.conflicts.size(), 0u);
    EXPECT_EQ(b->a.states[b->a.final_state].accessing_symbol, 0);
    expect_breadth_first_numbering(b->a);
    expect_reference_lookaheads(*b);
    expect_tables_agree(*b, 200, b->a.conflicts.empty());

    auto r = run(b->g, b->a, b->t, {ID, '+', ID, '*', ID});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(rule_names(*b, r.rules), (std::vector<std::string>{"f: ID", "t: f", "e: t", "f: ID", "t: f", "f: ID",
                                                                 "t: t '*' f", "e: e '+' t"}));
    EXPECT_TRUE(run(b->g, b->a, b->t, {'(', ID, '+', ID, ')', '*', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, '+', '*', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {'(', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, 300}).accepted); // undeclared code
}

TEST(Automaton, LalrButNotSlr)
{
    auto b = build(assignment_grammar);
    EXPECT_EQ(b->a.conflicts.size(), 0u);
    EXPECT_EQ(b->a.states.size(), 11u);
    // After an l at the start, r: l. is followed only by $end, although
    // FOLLOW(r) holds '=' (an SLR(1) generator would report a conflict here).
    int s = state_with_kernel(b->a, {"s: l . '=' r", "r: l ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(lookaheads(b->a, s, 5), (std::set<std::string>{"$end"}));
    EXPECT_GT(b->t.step_at(s, symbol(b->g, "'='")), 0);
    expect_reference_lookaheads(*b);
    expect_tables_agree(*b, 200, b->a.conflicts.empty());
    expect_breadth_first_numbering(b->a);

    EXPECT_TRUE(run(b->g, b->a, b->t, {'*', ID, '=', ID}).accepted);
    EXPECT_TRUE(run(b->g, b->a, b->t, {ID}).accepted);
    EXPECT_TRUE(run(b->g, b->a, b->t, {'*', '*', ID, '=', '*', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, '='}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {'=', ID}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {ID, '=', ID, '=', ID}).accepted);
}

TEST(Automaton, LrButNotLalrReportsReduceReduce)
{
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
    expect_tables_agree(*b, 200, false); // the conflict loses sentences
    // a e c parses; a e d (needs f) is misread as e and rejected.
    EXPECT_TRUE(run(b->g, b->a, b->t, {'a', 'e', 'c'}).accepted);
    EXPECT_FALSE(run(b->g, b->a, b->t, {'a', 'e', 'd'}).accepted);
}

TEST(Automaton, DanglingElseShifts)
{
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
    EXPECT_GT(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(else_t)], 0);
    EXPECT_EQ(lalrgen::describe_conflicts(b->a)[0],
              "state " + std::to_string(s) + ": shift/reduce conflict on ELSE (shift to state " +
                  std::to_string(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(else_t)]) +
                  ", not reduce by rule 1)");
    // The reduction keeps $end and becomes the default.
    EXPECT_EQ(b->a.states[s].default_rule, 1);
    expect_reference_lookaheads(*b);
    expect_tables_agree(*b, 200, true); // shifting ELSE loses no sentence
    // The else goes with the inner if.
    const int IF = 258, ELSE = 259, X = 260;
    auto r = run(b->g, b->a, b->t, {IF, '(', X, ')', IF, '(', X, ')', X, ';', ELSE, X, ';'});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{3, 3, 2, 1}));
}

TEST(Automaton, DefaultReductionCoversMostLookaheads)
{
    // p: 'x'. sees {a}, q: 'x'. sees {b, c, d}: q is the default although
    // it is the later rule; 'a' keeps an explicit reduction.
    auto b = build("%%\ns : p 'a' | q 'b' | q 'c' | q 'd' ;\np : 'x' ;\nq : 'x' ;\n");
    int s = state_with_kernel(b->a, {"p: 'x' .", "q: 'x' ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.states[s].default_rule, 6);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'a'"))], -5);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'b'"))], 0);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'c'"))], 0);
    EXPECT_TRUE(b->a.states[s].reads_lookahead);
    expect_tables_agree(*b, 200, b->a.conflicts.empty());
    EXPECT_TRUE(run(b->g, b->a, b->t, {'x', 'a'}).accepted);
    EXPECT_TRUE(run(b->g, b->a, b->t, {'x', 'd'}).accepted);
    // 'y' is no look-ahead of either, yet the default reduction happens
    // before the error is found.
    auto r = run(b->g, b->a, b->t, {'x', 'y'});
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{6}));
}

TEST(Automaton, DefaultReductionTieGoesToEarlierRule)
{
    auto b = build("%%\ns : p 'a' | q 'b' ;\np : 'x' ;\nq : 'x' ;\n");
    int s = state_with_kernel(b->a, {"p: 'x' .", "q: 'x' ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.states[s].default_rule, 3);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'b'"))], -4);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'a'"))], 0);

    // The same with the rules' order swapped: still the earlier rule.
    auto c = build("%%\ns : p 'a' | q 'b' ;\nq : 'x' ;\np : 'x' ;\n");
    s = state_with_kernel(c->a, {"p: 'x' .", "q: 'x' ."});
    ASSERT_GE(s, 0);
    EXPECT_EQ(c->a.states[s].default_rule, 3);
    EXPECT_EQ(c->g.symbols[c->g.rules[3].lhs].name, "q");
    EXPECT_EQ(c->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(c->g, "'a'"))], -4);
}

TEST(Automaton, DefaultReductionCountsAfterShiftWins)
{
    // p sees {a, b} and q {c, d}, but 'a' is shifted: p keeps one token and
    // q, with two, becomes the default.
    auto b = build("%expect 1\n%%\ns : p 'a' | p 'b' | q 'c' | q 'd' | 'x' 'a' ;\np : 'x' ;\nq : 'x' ;\n");
    int s = state_with_kernel(b->a, {"p: 'x' .", "q: 'x' .", "s: 'x' . 'a'"});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.sr_conflicts, 1);
    EXPECT_EQ(b->a.states[s].default_rule, 7);
    EXPECT_GT(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'a'"))], 0);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'b'"))], -6);
    EXPECT_EQ(b->a.states[static_cast<std::size_t>(s)].actions[static_cast<std::size_t>(symbol(b->g, "'c'"))], 0);
    expect_tables_agree(*b, 200, b->a.conflicts.empty());
}

TEST(Automaton, NoDefaultWithoutReductionsOrWhenShiftTakesAll)
{
    // After 'x', r: 'x'. sees only 'a', which is shifted: no default.
    auto b = build("%expect 1\n%%\ns : r 'a' | 'x' 'a' 'b' ;\nr : 'x' ;\n");
    int s = state_with_kernel(b->a, {"r: 'x' .", "s: 'x' . 'a' 'b'"});
    ASSERT_GE(s, 0);
    EXPECT_EQ(b->a.states[s].default_rule, 0);
    EXPECT_TRUE(b->a.states[s].reads_lookahead);
    EXPECT_EQ(b->a.states[0].default_rule, 0);
    EXPECT_EQ(b->t.lookahead_free[0], 0);
    expect_tables_agree(*b, 200, b->a.conflicts.empty());
}

TEST(Automaton, ReductionWithoutLookaheadHappensBeforeReading)
{
    // After 'y' the only action is a: 'y'., taken before 'x' is read; after
    // 'x' the state shifts 'z' or reduces, so it reads.
    auto b = build("%%\ns : a 'x' | a 'x' 'z' ;\na : 'y' ;\n");
    int after_y = state_with_kernel(b->a, {"a: 'y' ."});
    ASSERT_GE(after_y, 0);
    EXPECT_TRUE(b->a.states[after_y].consistent);
    EXPECT_EQ(b->t.lookahead_free[static_cast<std::size_t>(after_y)] & b->t.rule_mask, 3);
    auto r = run(b->g, b->a, b->t, {'y', 'x'});
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.rules, (std::vector<int>{3, 1}));
    EXPECT_EQ(r.tokens_read, (std::vector<int>{1, 3})); // a: 'y' after one token
}

TEST(Automaton, EmbeddedActionReducedBeforeFollowingSymbolIsShifted)
{
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

TEST(Automaton, NullableChainsMatchCanonicalLr1)
{
    auto b = build(nullable_grammar);
    expect_reference_lookaheads(*b);
    expect_tables_agree(*b, 200, b->a.conflicts.empty());
    expect_breadth_first_numbering(b->a);
}

TEST(Automaton, ErrorShiftSuppressesDefault)
{
    auto b = build("%%\ns : 'a' t ;\nt : 'b' | error 'c' | ;\n");
    int s = state_with_kernel(b->a, {"s: 'a' . t"});
    ASSERT_GE(s, 0);
    EXPECT_GT(b->t.step_at(s, 1), 0);
    EXPECT_EQ(b->a.states[s].default_rule, 0);
    EXPECT_EQ(b->a.states[s].actions[0], -4);
    // The empty t is pushed and s: 'a' t reduced in one fused step; error
    // has no default in its column.
    EXPECT_EQ(-b->t.step_at(s, 0) & (b->t.rule_mask | b->t.fused_bit), 1 | b->t.fused_bit);
    EXPECT_EQ(b->t.step_at(state_with_kernel(b->a, {"t: 'b' ."}), 1), 0);
}

// The direct code says where it stands: the code of each state comes under
// a comment with the state's number and kernel items (those of the state it
// copies), and each terminal it names is followed by the terminal's name.
TEST(DirectCode, StatesAndTerminalsNamedInComments)
{
    for (const std::string& text : {std::string(expression_grammar), std::string(nullable_grammar), velmar_grammar()}) {
        SCOPED_TRACE(text.substr(0, 40));
        auto b = build(text);
        const auto name = [&](const std::string& number) { return b->g.symbols[std::stoul(number)].name; };
        const std::regex state_line(R"(    // state (\d+)( \(a copy of state (\d+)\))?)");
        const std::regex item_line(R"(    //     (.*))");
        const std::regex label_line(R"(    [shdt](\d+)(_(\d+))?:( // (.*))?)");
        const std::regex terminal_use(R"(.*(case (\d+): goto t\d+_\d+;|run\.shift\(\d+, (\d+)\)\)).*// (.*))");
        std::istringstream code(lalrgen::emit_direct(b->a, b->t));
        int state = -1;
        std::vector<std::string> items;
        std::set<int> commented, labelled;
        int terminals = 0;
        for (std::string line; std::getline(code, line);) {
            std::smatch m;
            if (std::regex_match(line, m, state_line)) {
                state = std::stoi(m[1]);
                EXPECT_TRUE(commented.insert(state).second) << line;
                const int original = m[3].matched ? std::stoi(m[3]) : state;
                EXPECT_EQ(b->t.original_state[static_cast<std::size_t>(state)], original) << line;
                items.clear();
                for (const int item : b->a.states[static_cast<std::size_t>(original)].kernel)
                    items.push_back(lalrgen::item_text(b->a, item));
                std::reverse(items.begin(), items.end());
            } else if (std::regex_match(line, m, item_line) && !items.empty()) {
                EXPECT_EQ(m[1], items.back());
                items.pop_back();
            } else if (std::regex_match(line, m, label_line)) {
                EXPECT_TRUE(items.empty()) << "kernel items missing before " << line;
                EXPECT_EQ(std::stoi(m[1]), state) << line;
                labelled.insert(state);
                EXPECT_EQ(m[2].matched, m[4].matched) << line;
                if (m[2].matched) {
                    EXPECT_EQ(m[5], name(m[3])) << line;
                }
            } else if (std::regex_match(line, m, terminal_use)) {
                EXPECT_EQ(m[4], name(m[2].matched ? m[2] : m[3])) << line;
                ++terminals;
            }
        }
        EXPECT_EQ(commented, labelled);
        EXPECT_EQ(commented.size(), static_cast<std::size_t>(b->t.num_states));
        EXPECT_GT(terminals, b->g.num_terminals / 2);
    }
}

// The grammar the checker is built from: its one declared conflict is the
// one the generator finds, the look-aheads agree with canonical LR(1) and
// the tables parse what the automaton parses.
TEST(VelmarGrammar, ConflictAndTables)
{
    const std::string text = velmar_grammar();
    ASSERT_FALSE(text.empty()) << "no grammar at " << VELMAR_GRAMMAR;
    auto b = build(text);
    EXPECT_EQ(b->a.sr_conflicts, b->g.expect);
    EXPECT_EQ(b->a.rr_conflicts, 0);
    ASSERT_EQ(b->a.conflicts.size(), 1u);
    EXPECT_EQ(b->g.symbols[b->a.conflicts[0].token].name, "END");
    EXPECT_EQ(b->g.symbols[b->g.rules[b->a.conflicts[0].rejected].lhs].name, "space");
    EXPECT_EQ(b->g.symbols[b->g.num_terminals + 1].name, "dialog");
    expect_reference_lookaheads(*b);
    expect_tables_agree(*b, 200, true); // both readings of the conflict accept
    expect_breadth_first_numbering(b->a);
}

} // namespace
