// Helpers for the generator tests: building grammars in memory, a reference
// LALR(1) construction by merging canonical LR(1) states, a parser that runs
// the automaton's decisions one step at a time, and one that runs the tables
// the engine runs (folded and fused steps), read from their description.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tools/lalrgen/lalrgen.h"

namespace lalrgen_test {

struct built {
    lalrgen::grammar g;
    lalrgen::automaton a;
    lalrgen::run_tables t;
};

// The automaton keeps a pointer to its grammar, so the result lives on the heap.
inline std::unique_ptr<built> build(const std::string& text)
{
    auto b = std::make_unique<built>();
    b->g = lalrgen::read_grammar(text, "test.y");
    b->a = lalrgen::build_automaton(b->g);
    b->t = lalrgen::make_run_tables(b->a);
    return b;
}

inline int symbol(const lalrgen::grammar& g, const std::string& name)
{
    for (std::size_t s = 0; s < g.symbols.size(); ++s)
        if (g.symbols[s].name == name)
            return static_cast<int>(s);
    return -1;
}

// The state whose kernel holds exactly the given item texts (see item_text).
inline int state_with_kernel(const lalrgen::automaton& a, const std::set<std::string>& items)
{
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        std::set<std::string> k;
        for (int item : a.states[s].kernel)
            k.insert(lalrgen::item_text(a, item));
        if (k == items)
            return static_cast<int>(s);
    }
    return -1;
}

// Look-ahead terminal names of a reduction by `rule` in state s.
inline std::set<std::string> lookaheads(const lalrgen::automaton& a, int s, int rule)
{
    std::set<std::string> out;
    const auto& st = a.states[s];
    for (std::size_t i = 0; i < st.reductions.size(); ++i)
        if (st.reductions[i] == rule)
            for (int t = 0; t < a.g->num_terminals; ++t)
                if (st.lookaheads[i][t])
                    out.insert(a.g->symbols[t].name);
    return out;
}

// Reference look-aheads: canonical LR(1) states merged by their cores.
// Result: (LR(0) state, rule) -> set of terminals.
inline std::map<std::pair<int, int>, std::set<int>> reference_lookaheads(const lalrgen::automaton& a)
{
    const lalrgen::grammar& g = *a.g;
    const int nterm = g.num_terminals;
    const int nsym = static_cast<int>(g.symbols.size());
    std::vector<std::set<int>> first(static_cast<std::size_t>(nsym));
    for (int t = 0; t < nterm; ++t)
        first[t].insert(t);
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& r : g.rules)
            for (int X : r.rhs) {
                for (int t : first[X])
                    changed |= first[r.lhs].insert(t).second;
                if (!a.nullable[X])
                    break;
            }
    }
    auto after_dot = [&](int item) {
        const auto& rhs = g.rules[a.item_rule[item]].rhs;
        int d = a.item_dot[item];
        return d < static_cast<int>(rhs.size()) ? rhs[d] : -1;
    };
    using lr1 = std::pair<int, int>; // (item, look-ahead)
    auto closure = [&](std::set<lr1> items) {
        std::vector<lr1> work(items.begin(), items.end());
        while (!work.empty()) {
            auto [item, la] = work.back();
            work.pop_back();
            int X = after_dot(item);
            if (X < nterm)
                continue;
            std::set<int> f;
            const auto& rhs = g.rules[a.item_rule[item]].rhs;
            bool all_nullable = true;
            for (std::size_t k = static_cast<std::size_t>(a.item_dot[item]) + 1; k < rhs.size(); ++k) {
                f.insert(first[rhs[k]].begin(), first[rhs[k]].end());
                if (!a.nullable[rhs[k]]) {
                    all_nullable = false;
                    break;
                }
            }
            if (all_nullable)
                f.insert(la);
            for (std::size_t r = 0; r < g.rules.size(); ++r)
                if (g.rules[r].lhs == X)
                    for (int b : f)
                        if (items.insert({a.rule_first_item[r], b}).second)
                            work.push_back({a.rule_first_item[r], b});
        }
        return items;
    };
    std::map<std::vector<int>, int> lr0_of_kernel;
    for (std::size_t s = 0; s < a.states.size(); ++s)
        lr0_of_kernel[a.states[s].kernel] = static_cast<int>(s);

    std::map<std::pair<int, int>, std::set<int>> out;
    std::map<std::set<lr1>, int> seen;
    std::vector<std::set<lr1>> queue{{{a.rule_first_item[0], 0}}};
    seen[queue[0]] = 0;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        std::set<int> core;
        for (auto [item, la] : queue[q])
            core.insert(item);
        const int s0 = lr0_of_kernel.at(std::vector<int>(core.begin(), core.end()));
        std::map<int, std::set<lr1>> next;
        for (auto [item, la] : closure(queue[q])) {
            int X = after_dot(item);
            if (X < 0)
                out[{s0, a.item_rule[item]}].insert(la);
            else
                next[X].insert({item + 1, la});
        }
        for (auto& [X, kernel] : next)
            if (seen.emplace(kernel, static_cast<int>(queue.size())).second)
                queue.push_back(kernel);
    }
    return out;
}

// A parse of token codes (0 ends the input): whether it was accepted, the
// rules reduced, the number of tokens read (end of input included) at each
// reduction, and the stack depth at each shift.
struct run_result {
    bool accepted = false;
    std::vector<int> rules;
    std::vector<int> tokens_read;
    std::vector<int> depths;
    bool operator==(const run_result&) const = default;
};

inline int terminal_of(const lalrgen::grammar& g, int code)
{
    if (code == 0)
        return 0;
    for (int s = 3; s < g.num_terminals; ++s)
        if (g.symbols[s].code == code)
            return s;
    return 2;
}

// Runs the automaton's decisions one step at a time: every reduction, every
// goto, every state.
inline run_result run_decisions(const lalrgen::grammar& g, const lalrgen::automaton& a, const std::vector<int>& codes)
{
    run_result res;
    std::vector<int> stack{0};
    std::size_t next = 0;
    int la = -1;
    for (int steps = 0; steps < 100000; ++steps) {
        const auto& st = a.states[static_cast<std::size_t>(stack.back())];
        int rule = 0;
        if (!st.reads_lookahead) {
            rule = st.default_rule;
        } else {
            if (la < 0)
                la = terminal_of(g, next < codes.size() ? codes[next++] : (++next, 0));
            const int act = st.actions[la];
            if (act > 0) {
                if (act == a.final_state) {
                    res.accepted = true;
                    return res;
                }
                stack.push_back(act);
                res.depths.push_back(static_cast<int>(stack.size()));
                la = -1;
                continue;
            }
            rule = act < 0 ? -act : st.default_rule;
            if (rule == 0)
                return res;
        }
        res.rules.push_back(rule);
        res.tokens_read.push_back(static_cast<int>(next));
        stack.resize(stack.size() - g.rules[rule].rhs.size());
        int target = 0;
        for (const auto& tr : a.states[static_cast<std::size_t>(stack.back())].gotos)
            if (tr.symbol == g.rules[rule].lhs)
                target = tr.target;
        stack.push_back(target);
    }
    return res;
}

// Runs the engine's tables as their description in emit.cpp has it.  The
// reductions that the tables take in advance (unit rules and empty rules
// without an action) are not seen; a fused step reports its rule.
inline run_result run_tables(const lalrgen::grammar& g, const lalrgen::automaton& a, const lalrgen::run_tables& t,
                             const std::vector<int>& codes)
{
    run_result res;
    std::vector<int> stack{0};
    std::size_t next = 0;
    int la = -1;
    auto go = [&](int nonterminal_symbol) { return t.go_at(nonterminal_symbol, stack.back()); };
    auto reduce = [&](int rule) {
        res.rules.push_back(rule);
        res.tokens_read.push_back(static_cast<int>(next));
        stack.resize(stack.size() - g.rules[rule].rhs.size());
        stack.push_back(go(g.rules[rule].lhs));
    };
    for (int steps = 0; steps < 100000; ++steps) {
        int x = t.lookahead_free[static_cast<std::size_t>(stack.back())];
        if (x == 0) {
            if (la < 0) {
                const int code = next < codes.size() ? codes[next] : 0;
                ++next;
                la = code >= 0 && code <= t.max_code ? t.translate[static_cast<std::size_t>(code)] : 2;
            }
            const int act = t.step_at(stack.back(), la);
            if (act > 0) {
                if (act == a.final_state) {
                    res.accepted = true;
                    return res;
                }
                stack.push_back(act);
                res.depths.push_back(static_cast<int>(stack.size()));
                la = -1;
                continue;
            }
            if (act == 0)
                return res;
            x = -act;
        }
        if (x & t.fused_bit)
            stack.push_back(-1); // the empty symbol's state is never looked at
        const int rule = x & t.rule_mask;
        const int known = x >> t.target_shift;
        reduce(rule);
        // A goto the step knows is the one the stack gives.
        if (known != 0) {
            EXPECT_EQ(known, stack.back()) << "rule " << rule;
        }
    }
    return res;
}

// The rules that the engine's tables may take in advance: one-symbol rules
// and empty rules, without an action.
inline bool taken_in_advance(const lalrgen::grammar& g, int rule)
{
    return !g.rules[rule].has_action && g.rules[rule].rhs.size() <= 1;
}

inline run_result without_advance_rules(const lalrgen::grammar& g, run_result r)
{
    run_result out{r.accepted, {}, {}, r.depths};
    for (std::size_t i = 0; i < r.rules.size(); ++i)
        if (!taken_in_advance(g, r.rules[i])) {
            out.rules.push_back(r.rules[i]);
            out.tokens_read.push_back(r.tokens_read[i]);
        }
    return out;
}

// Runs both; they must accept alike, shift at the same depths, and reduce
// by the same rules at the same points except for the ones taken in
// advance.  Returns the step-by-step result.
inline run_result run(const lalrgen::grammar& g, const lalrgen::automaton& a, const lalrgen::run_tables& t,
                      const std::vector<int>& codes)
{
    run_result r = run_decisions(g, a, codes);
    const run_result folded = without_advance_rules(g, run_tables(g, a, t, codes));
    const run_result expected = without_advance_rules(g, r);
    EXPECT_EQ(folded.accepted, expected.accepted);
    EXPECT_EQ(folded.depths, expected.depths);
    EXPECT_EQ(folded.rules, expected.rules);
    EXPECT_EQ(folded.tokens_read, expected.tokens_read);
    return r;
}

} // namespace lalrgen_test
