// LR(0) automaton, LALR(1) look-aheads (DeRemer and Pennello: reads and
// includes relations over the nonterminal transitions) and the per-state
// decisions: conflict resolution and default reductions.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>

#include "tools/lalrgen/lalrgen.h"

namespace lalrgen {
namespace {

// Fixed-size set of small integers (terminal numbers).
struct bitset {
    std::vector<std::uint64_t> w;
    explicit bitset(int n = 0) : w(static_cast<std::size_t>((n + 63) / 64), 0) {}
    void set(int i) { w[static_cast<std::size_t>(i) >> 6] |= std::uint64_t{1} << (i & 63); }
    bool test(int i) const { return (w[static_cast<std::size_t>(i) >> 6] >> (i & 63)) & 1; }
    bool merge(const bitset& o)
    {
        bool changed = false;
        for (std::size_t k = 0; k < w.size(); ++k) {
            std::uint64_t n = w[k] | o.w[k];
            changed |= n != w[k];
            w[k] = n;
        }
        return changed;
    }
};

// Closes F over the relation R: F(x) = F'(x) + union of F(y) for x R y,
// by the strongly-connected-component traversal of DeRemer and Pennello.
void digraph(const std::vector<std::vector<int>>& rel, std::vector<bitset>& f)
{
    const int n = static_cast<int>(rel.size());
    constexpr int done = 1 << 30;
    std::vector<int> depth(static_cast<std::size_t>(n), 0);
    std::vector<int> stack;
    std::function<void(int)> traverse = [&](int x) {
        stack.push_back(x);
        const int d = static_cast<int>(stack.size());
        depth[x] = d;
        for (int y : rel[x]) {
            if (depth[y] == 0)
                traverse(y);
            depth[x] = std::min(depth[x], depth[y]);
            f[x].merge(f[y]);
        }
        if (depth[x] == d) {
            for (;;) {
                int top = stack.back();
                stack.pop_back();
                depth[top] = done;
                if (top == x)
                    break;
                f[top] = f[x];
            }
        }
    };
    for (int x = 0; x < n; ++x)
        if (depth[x] == 0)
            traverse(x);
}

// The symbol after the dot of `item`, -1 at the end of its rule.
int after_dot(const automaton& a, int item)
{
    const auto& rhs = a.g->rules[a.item_rule[item]].rhs;
    const int d = a.item_dot[item];
    return d < static_cast<int>(rhs.size()) ? rhs[d] : -1;
}

// Items: each rule r owns the items rule_first_item[r] + 0..len.
void number_items(automaton& a)
{
    const grammar& g = *a.g;
    const int nrules = static_cast<int>(g.rules.size());
    for (int r = 0; r < nrules; ++r) {
        a.rule_first_item.push_back(static_cast<int>(a.item_rule.size()));
        for (int d = 0; d <= static_cast<int>(g.rules[r].rhs.size()); ++d) {
            a.item_rule.push_back(r);
            a.item_dot.push_back(d);
        }
    }
}

// The symbols that derive the empty string.
void find_nullable(automaton& a)
{
    const grammar& g = *a.g;
    const int nsym = static_cast<int>(g.symbols.size());
    a.nullable.assign(static_cast<std::size_t>(nsym), false);
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& r : g.rules)
            if (!a.nullable[r.lhs] && std::all_of(r.rhs.begin(), r.rhs.end(), [&](int s) { return a.nullable[s]; })) {
                a.nullable[r.lhs] = true;
                changed = true;
            }
    }
}

// The rules of each symbol (by left side).
std::vector<std::vector<int>> rules_by_lhs(const grammar& g)
{
    std::vector<std::vector<int>> rules_of(g.symbols.size());
    for (int r = 0; r < static_cast<int>(g.rules.size()); ++r)
        rules_of[g.rules[r].lhs].push_back(r);
    return rules_of;
}

// For each nonterminal A, the rules whose start items the closure adds
// when A follows the dot: the rules of every nonterminal that can begin
// a leftmost derivation from A (A included).
std::vector<std::vector<bool>> closure_rules_of(const grammar& g, const std::vector<std::vector<int>>& rules_of)
{
    const int nsym = static_cast<int>(g.symbols.size());
    const int nterm = g.num_terminals;
    const int nrules = static_cast<int>(g.rules.size());
    std::vector<std::vector<bool>> closure_rules(static_cast<std::size_t>(nsym));
    for (int A = nterm; A < nsym; ++A) {
        std::vector<bool> seen(static_cast<std::size_t>(nsym), false);
        std::vector<bool> rs(static_cast<std::size_t>(nrules), false);
        std::vector<int> work{A};
        seen[A] = true;
        while (!work.empty()) {
            int B = work.back();
            work.pop_back();
            for (int r : rules_of[B]) {
                rs[r] = true;
                const auto& rhs = g.rules[r].rhs;
                if (!rhs.empty() && !g.is_terminal(rhs[0]) && !seen[rhs[0]]) {
                    seen[rhs[0]] = true;
                    work.push_back(rhs[0]);
                }
            }
        }
        closure_rules[A] = std::move(rs);
    }
    return closure_rules;
}

// LR(0) states, numbered in order of creation: each state's successors
// are created in ascending order of the symbol they are reached by.
// Returns the transitions, [state][symbol] -> state or -1.
std::vector<std::vector<int>> build_states(automaton& a, const std::vector<std::vector<bool>>& closure_rules)
{
    const grammar& g = *a.g;
    const int nsym = static_cast<int>(g.symbols.size());
    const int nterm = g.num_terminals;
    const int nrules = static_cast<int>(g.rules.size());
    std::map<std::vector<int>, int> state_of_kernel;
    std::vector<std::vector<int>> next_state;
    auto get_state = [&](std::vector<int> kernel, int symbol) {
        auto it = state_of_kernel.find(kernel);
        if (it != state_of_kernel.end())
            return it->second;
        int s = static_cast<int>(a.states.size());
        state_of_kernel.emplace(kernel, s);
        state_info st;
        st.accessing_symbol = symbol;
        st.kernel = std::move(kernel);
        a.states.push_back(std::move(st));
        return s;
    };
    get_state({a.rule_first_item[0]}, 0);
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        std::vector<bool> rs(static_cast<std::size_t>(nrules), false);
        for (int item : a.states[s].kernel) {
            int X = after_dot(a, item);
            if (X >= nterm)
                for (int r = 0; r < nrules; ++r)
                    if (closure_rules[X][r])
                        rs[r] = true;
        }
        std::vector<int> closure = a.states[s].kernel;
        for (int r = 0; r < nrules; ++r)
            if (rs[r])
                closure.push_back(a.rule_first_item[r]);
        std::sort(closure.begin(), closure.end());
        closure.erase(std::unique(closure.begin(), closure.end()), closure.end());

        std::map<int, std::vector<int>> kernels; // symbol -> successor kernel
        std::vector<int> reductions;
        for (int item : closure) {
            int X = after_dot(a, item);
            if (X < 0)
                reductions.push_back(a.item_rule[item]);
            else
                kernels[X].push_back(item + 1);
        }
        std::vector<int> row(static_cast<std::size_t>(nsym), -1);
        std::vector<transition> shifts, gotos;
        for (auto& [X, kernel] : kernels) {
            int t = get_state(std::move(kernel), X);
            row[X] = t;
            (X < nterm ? shifts : gotos).push_back(transition{X, t});
        }
        state_info& st = a.states[s];
        st.shifts = std::move(shifts);
        st.gotos = std::move(gotos);
        st.reductions = std::move(reductions);
        next_state.push_back(std::move(row));
    }
    a.final_state = next_state[next_state[0][g.start]][0];
    return next_state;
}

// The LALR(1) look-ahead sets of every state's reductions, from the
// nonterminal transitions (p, A) and their relations reads, includes and
// lookback (DeRemer and Pennello).
void compute_lookaheads(automaton& a, const std::vector<std::vector<int>>& next_state,
                        const std::vector<std::vector<int>>& rules_of)
{
    const grammar& g = *a.g;
    const int nterm = g.num_terminals;
    const int nstates = static_cast<int>(a.states.size());
    std::vector<std::pair<int, int>> ntrans; // (state, symbol)
    std::map<std::pair<int, int>, int> ntrans_index;
    for (int p = 0; p < nstates; ++p)
        for (const auto& t : a.states[p].gotos) {
            ntrans_index[{p, t.symbol}] = static_cast<int>(ntrans.size());
            ntrans.push_back({p, t.symbol});
        }
    const int nt = static_cast<int>(ntrans.size());
    std::vector<bitset> follow(static_cast<std::size_t>(nt), bitset(nterm));
    std::vector<std::vector<int>> reads(static_cast<std::size_t>(nt)), includes(static_cast<std::size_t>(nt));
    for (int x = 0; x < nt; ++x) {
        int r = next_state[ntrans[x].first][ntrans[x].second];
        for (const auto& t : a.states[r].shifts)
            follow[x].set(t.symbol); // direct reads
        for (const auto& t : a.states[r].gotos)
            if (a.nullable[t.symbol])
                reads[x].push_back(ntrans_index.at({r, t.symbol}));
    }
    digraph(reads, follow);

    // includes and lookback: walk each rule of B from every state with a
    // transition on B.
    std::map<std::pair<int, int>, std::vector<int>> lookback; // (state, rule) -> transitions
    for (int x = 0; x < nt; ++x) {
        const int p0 = ntrans[x].first, B = ntrans[x].second;
        for (int r : rules_of[B]) {
            const auto& rhs = g.rules[r].rhs;
            int q = p0;
            for (std::size_t i = 0; i < rhs.size(); ++i) {
                int X = rhs[i];
                if (X >= nterm && std::all_of(rhs.begin() + static_cast<long>(i) + 1, rhs.end(),
                                              [&](int s) { return a.nullable[s]; }))
                    includes[ntrans_index.at({q, X})].push_back(x);
                q = next_state[q][X];
            }
            lookback[{q, r}].push_back(x);
        }
    }
    digraph(includes, follow);

    // The look-aheads of a reduction: follow of its lookback transitions.
    for (int s = 0; s < nstates; ++s) {
        state_info& st = a.states[s];
        for (int r : st.reductions) {
            bitset la(nterm);
            auto it = lookback.find({s, r});
            if (it != lookback.end())
                for (int x : it->second)
                    la.merge(follow[x]);
            std::vector<bool> v(static_cast<std::size_t>(nterm));
            for (int t = 0; t < nterm; ++t)
                v[t] = la.test(t);
            st.lookaheads.push_back(std::move(v));
        }
    }
}

// The decisions of state s: its action on each terminal (conflicts
// resolved and recorded), whether it needs a look-ahead and its default
// reduction.
void decide_actions(automaton& a, int s)
{
    const int nterm = a.g->num_terminals;
    state_info& st = a.states[s];
    // A state needs no look-ahead when its one reduction faces no shift.
    st.consistent = st.reductions.size() == 1 && st.shifts.empty();

    st.actions.assign(static_cast<std::size_t>(nterm), 0);
    const int nred = static_cast<int>(st.reductions.size());
    if (!st.consistent) {
        for (int t = 0; t < nterm; ++t) {
            int first = -1;
            for (int i = 0; i < nred; ++i) {
                if (st.reductions[i] == 0 || !st.lookaheads[i][t])
                    continue;
                if (first < 0) {
                    first = i;
                    st.actions[t] = -st.reductions[i];
                } else {
                    ++a.rr_conflicts;
                    a.conflicts.push_back(conflict{s, t, true, -st.reductions[first], st.reductions[i]});
                }
            }
        }
    }
    bool no_default = false;
    for (const auto& t : st.shifts) {
        if (st.actions[t.symbol] < 0) {
            ++a.sr_conflicts;
            a.conflicts.push_back(conflict{s, t.symbol, false, t.target, -st.actions[t.symbol]});
        }
        st.actions[t.symbol] = t.target;
        if (t.symbol == 1)
            no_default = true; // a state shifting `error` keeps its errors
    }
    // Default reduction: the one that covers the most look-aheads after
    // the resolution; ties go to the earlier rule.
    st.default_rule = 0;
    if (nred > 0 && !no_default) {
        if (st.consistent) {
            st.default_rule = st.reductions[0];
        } else {
            int best = 0;
            for (int i = 0; i < nred; ++i) {
                int r = st.reductions[i];
                if (r == 0)
                    continue;
                int count = static_cast<int>(std::count(st.actions.begin(), st.actions.end(), -r));
                if (count > best) {
                    best = count;
                    st.default_rule = r;
                }
            }
            if (st.default_rule)
                std::replace(st.actions.begin(), st.actions.end(), -st.default_rule, 0);
        }
    }
    st.reads_lookahead =
        st.default_rule == 0 || std::any_of(st.actions.begin(), st.actions.end(), [](int v) { return v != 0; });
}

} // namespace

automaton build_automaton(const grammar& g)
{
    automaton a;
    a.g = &g;
    number_items(a);
    find_nullable(a);
    const std::vector<std::vector<int>> rules_of = rules_by_lhs(g);
    const auto next_state = build_states(a, closure_rules_of(g, rules_of));
    compute_lookaheads(a, next_state, rules_of);
    for (int s = 0; s < static_cast<int>(a.states.size()); ++s)
        decide_actions(a, s);
    return a;
}

std::string item_text(const automaton& a, int item)
{
    const grammar& g = *a.g;
    const rule_info& r = g.rules[a.item_rule[item]];
    std::string s = g.symbols[r.lhs].name + ":";
    for (std::size_t i = 0; i < r.rhs.size(); ++i) {
        if (static_cast<int>(i) == a.item_dot[item])
            s += " .";
        s += " " + g.symbols[r.rhs[i]].name;
    }
    if (a.item_dot[item] == static_cast<int>(r.rhs.size()))
        s += " .";
    return s;
}

std::vector<std::string> describe_conflicts(const automaton& a)
{
    std::vector<std::string> out;
    for (const auto& c : a.conflicts) {
        std::string s = "state " + std::to_string(c.state) + ": " +
                        (c.reduce_reduce ? "reduce/reduce" : "shift/reduce") + " conflict on " +
                        a.g->symbols[c.token].name + " (";
        if (c.reduce_reduce)
            s += "reduce by rule " + std::to_string(-c.chosen) + ", not by rule " + std::to_string(c.rejected) + ")";
        else
            s += "shift to state " + std::to_string(c.chosen) + ", not reduce by rule " + std::to_string(c.rejected) +
                 ")";
        out.push_back(std::move(s));
    }
    return out;
}

} // namespace lalrgen
