// Helpers for the generator tests: building grammars in memory, a reference
// LALR(1) construction by merging canonical LR(1) states, and a small parser
// that runs the packed tables.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lalrgen.h"

namespace lalrtest {

struct built {
    lalrgen::grammar g;
    lalrgen::automaton a;
    lalrgen::packed_tables t;
};

// The automaton keeps a pointer to its grammar, so the result lives on the heap.
inline std::unique_ptr<built> build(const std::string& text) {
    auto b = std::make_unique<built>();
    b->g = lalrgen::read_grammar(text, "test.y");
    b->a = lalrgen::build_automaton(b->g);
    b->t = lalrgen::pack_tables(b->a);
    return b;
}

inline int symbol(const lalrgen::grammar& g, const std::string& name) {
    for (std::size_t s = 0; s < g.symbols.size(); ++s)
        if (g.symbols[s].name == name) return static_cast<int>(s);
    return -1;
}

// The state whose kernel holds exactly the given item texts (see item_text).
inline int state_with_kernel(const lalrgen::automaton& a, const std::set<std::string>& items) {
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        std::set<std::string> k;
        for (int item : a.states[s].kernel) k.insert(lalrgen::item_text(a, item));
        if (k == items) return static_cast<int>(s);
    }
    return -1;
}

// Look-ahead terminal names of a reduction by `rule` in state s.
inline std::set<std::string> lookaheads(const lalrgen::automaton& a, int s, int rule) {
    std::set<std::string> out;
    const auto& st = a.states[s];
    for (std::size_t i = 0; i < st.reductions.size(); ++i)
        if (st.reductions[i] == rule)
            for (int t = 0; t < a.g->num_terminals; ++t)
                if (st.lookaheads[i][t]) out.insert(a.g->symbols[t].name);
    return out;
}

// Reference look-aheads: canonical LR(1) states merged by their cores.
// Result: (LR(0) state, rule) -> set of terminals.
inline std::map<std::pair<int, int>, std::set<int>> reference_lookaheads(const lalrgen::automaton& a) {
    const lalrgen::grammar& g = *a.g;
    const int nterm = g.num_terminals;
    const int nsym = static_cast<int>(g.symbols.size());
    std::vector<std::set<int>> first(static_cast<std::size_t>(nsym));
    for (int t = 0; t < nterm; ++t) first[t].insert(t);
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& r : g.rules)
            for (int X : r.rhs) {
                for (int t : first[X]) changed |= first[r.lhs].insert(t).second;
                if (!a.nullable[X]) break;
            }
    }
    auto after_dot = [&](int item) {
        const auto& rhs = g.rules[a.item_rule[item]].rhs;
        int d = a.item_dot[item];
        return d < static_cast<int>(rhs.size()) ? rhs[d] : -1;
    };
    using lr1 = std::pair<int, int>;   // (item, look-ahead)
    auto closure = [&](std::set<lr1> items) {
        std::vector<lr1> work(items.begin(), items.end());
        while (!work.empty()) {
            auto [item, la] = work.back();
            work.pop_back();
            int X = after_dot(item);
            if (X < nterm) continue;
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
            if (all_nullable) f.insert(la);
            for (std::size_t r = 0; r < g.rules.size(); ++r)
                if (g.rules[r].lhs == X)
                    for (int b : f)
                        if (items.insert({a.rule_first_item[r], b}).second) work.push_back({a.rule_first_item[r], b});
        }
        return items;
    };
    std::map<std::vector<int>, int> lr0_of_kernel;
    for (std::size_t s = 0; s < a.states.size(); ++s) lr0_of_kernel[a.states[s].kernel] = static_cast<int>(s);

    std::map<std::pair<int, int>, std::set<int>> out;
    std::map<std::set<lr1>, int> seen;
    std::vector<std::set<lr1>> queue{{{a.rule_first_item[0], 0}}};
    seen[queue[0]] = 0;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        std::set<int> core;
        for (auto [item, la] : queue[q]) core.insert(item);
        const int s0 = lr0_of_kernel.at(std::vector<int>(core.begin(), core.end()));
        std::map<int, std::set<lr1>> next;
        for (auto [item, la] : closure(queue[q])) {
            int X = after_dot(item);
            if (X < 0) out[{s0, a.item_rule[item]}].insert(la);
            else next[X].insert({item + 1, la});
        }
        for (auto& [X, kernel] : next)
            if (seen.emplace(kernel, static_cast<int>(queue.size())).second) queue.push_back(kernel);
    }
    return out;
}

// Runs the packed tables over token codes (0 ends the input) and reports
// whether the sentence was accepted; reductions are recorded with the number
// of tokens read (end of input included) when they happened.
struct run_result {
    bool accepted = false;
    std::vector<int> rules;
    std::vector<int> tokens_read;
};

inline run_result run(const lalrgen::grammar& g, const lalrgen::automaton& a, const lalrgen::packed_tables& t,
                      const std::vector<int>& codes) {
    run_result res;
    std::vector<int> stack{0};
    std::size_t next = 0;
    int la = -1;
    for (int steps = 0; steps < 100000; ++steps) {
        const int s = stack.back();
        int rule = 0;
        if (!t.reads_lookahead(s)) {
            rule = t.default_rule[s];
        } else {
            if (la < 0) {
                la = t.translate_code(next < codes.size() ? codes[next] : 0);
                ++next;
            }
            int act = t.action(s, la);
            if (act > 0) {
                if (act == a.final_state) {
                    res.accepted = true;
                    return res;
                }
                stack.push_back(act);
                la = -1;
                continue;
            }
            rule = act < 0 ? -act : t.default_rule[s];
            if (rule == 0) return res;
        }
        res.rules.push_back(rule);
        res.tokens_read.push_back(static_cast<int>(next));
        stack.resize(stack.size() - g.rules[rule].rhs.size());
        stack.push_back(t.goto_state(stack.back(), g.rules[rule].lhs));
    }
    return res;
}

}  // namespace lalrtest
