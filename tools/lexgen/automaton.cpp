// From pattern trees to a minimal DFA over byte classes: Thompson NFA, subset
// construction, minimisation, byte classes merged.
#include "tools/lexgen/lexgen.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace lexgen {

namespace {

// ---- Thompson NFA ---------------------------------------------------------

struct nfa_state {
    int set = -1;         // index into nfa_graph::sets, or -1: no byte transition
    int out = -1;         // target of the byte transition
    std::vector<int> eps; // empty transitions
    int accept = 0;       // rule accepted here, 0 for none
};

struct nfa_graph {
    std::vector<nfa_state> states;
    std::vector<std::bitset<256>> sets;
    std::vector<int> start;      // entries for a match not at a line start
    std::vector<int> start_line; // entries for a match at a line start

    int add()
    {
        states.emplace_back();
        return static_cast<int>(states.size()) - 1;
    }
};

struct fragment {
    int in, out;
};

fragment build(nfa_graph& nfa, const node& n)
{
    switch (n.kind) {
    case node::byte_set: {
        int a = nfa.add(), b = nfa.add();
        nfa.sets.push_back(n.set);
        nfa.states[a].set = static_cast<int>(nfa.sets.size()) - 1;
        nfa.states[a].out = b;
        return {a, b};
    }
    case node::empty: {
        int a = nfa.add(), b = nfa.add();
        nfa.states[a].eps.push_back(b);
        return {a, b};
    }
    case node::concat: {
        fragment f = build(nfa, *n.kids[0]);
        for (std::size_t i = 1; i < n.kids.size(); ++i) {
            fragment g = build(nfa, *n.kids[i]);
            nfa.states[f.out].eps.push_back(g.in);
            f.out = g.out;
        }
        return f;
    }
    case node::alt: {
        int a = nfa.add(), b = nfa.add();
        for (const auto& k : n.kids) {
            fragment g = build(nfa, *k);
            nfa.states[a].eps.push_back(g.in);
            nfa.states[g.out].eps.push_back(b);
        }
        return {a, b};
    }
    case node::star:
    case node::plus:
    case node::opt: {
        int a = nfa.add(), b = nfa.add();
        fragment g = build(nfa, *n.kids[0]);
        nfa.states[a].eps.push_back(g.in);
        nfa.states[g.out].eps.push_back(b);
        if (n.kind != node::plus)
            nfa.states[a].eps.push_back(b);
        if (n.kind != node::opt)
            nfa.states[g.out].eps.push_back(g.in);
        return {a, b};
    }
    }
    return {0, 0};
}

nfa_graph build_nfa(const rule_set& rules)
{
    nfa_graph nfa;
    for (const rule_info& r : rules.rules) {
        fragment f = build(nfa, *r.pattern);
        if (r.tail) {
            fragment t = build(nfa, *r.tail);
            nfa.states[f.out].eps.push_back(t.in);
            f.out = t.out;
        }
        nfa.states[f.out].accept = r.number;
        if (!r.line_start)
            nfa.start.push_back(f.in);
        nfa.start_line.push_back(f.in);
    }
    return nfa;
}

// ---- byte classes ---------------------------------------------------------

// Groups the bytes that every byte set of the NFA treats alike.  NUL always
// forms a class of its own.  Classes are numbered by their smallest byte.
std::array<int, 256> nfa_classes(const nfa_graph& nfa, int& count)
{
    std::array<int, 256> cls{};
    for (int b = 1; b < 256; ++b)
        cls[b] = 1;
    count = 2;
    for (const auto& set : nfa.sets) {
        std::map<std::pair<int, bool>, int> split;
        std::array<int, 256> next{};
        int n = 0;
        for (int b = 0; b < 256; ++b) {
            auto key = std::make_pair(cls[b], static_cast<bool>(set[b]));
            auto it = split.find(key);
            if (it == split.end())
                it = split.emplace(key, n++).first;
            next[b] = it->second;
        }
        cls = next;
        count = n;
    }
    return cls;
}

// ---- subset construction ---------------------------------------------------

void close(const nfa_graph& nfa, std::vector<int>& set)
{
    std::vector<char> in(nfa.states.size(), 0);
    std::vector<int> stack = set;
    for (int s : set)
        in[s] = 1;
    while (!stack.empty()) {
        int s = stack.back();
        stack.pop_back();
        for (int t : nfa.states[s].eps)
            if (!in[t]) {
                in[t] = 1;
                set.push_back(t);
                stack.push_back(t);
            }
    }
    std::sort(set.begin(), set.end());
}

struct subset_automaton {
    int classes = 0;
    std::vector<int> accept;
    std::vector<int> next; // states * classes
};

subset_automaton subsets(const nfa_graph& nfa, const std::array<int, 256>& cls, int classes)
{
    std::vector<int> rep(classes, -1); // one byte of each class
    for (int b = 255; b >= 0; --b)
        rep[cls[b]] = b;

    subset_automaton d;
    d.classes = classes;
    std::map<std::vector<int>, int> id;
    std::vector<std::vector<int>> sets;
    auto intern = [&](std::vector<int> set) {
        auto it = id.find(set);
        if (it != id.end())
            return it->second;
        int n = static_cast<int>(sets.size());
        id.emplace(set, n);
        int acc = 0;
        for (int s : set)
            if (nfa.states[s].accept && (!acc || nfa.states[s].accept < acc))
                acc = nfa.states[s].accept;
        d.accept.push_back(acc);
        sets.push_back(std::move(set));
        return n;
    };
    intern({}); // 0: dead
    std::vector<int> s1 = nfa.start, s2 = nfa.start_line;
    close(nfa, s1);
    close(nfa, s2);
    // The two start states keep their own numbers even when their sets agree.
    sets.push_back(s1);
    d.accept.push_back(0);
    sets.push_back(s2);
    d.accept.push_back(0);
    for (int k = 1; k <= 2; ++k)
        for (int s : sets[k])
            if (nfa.states[s].accept && (!d.accept[k] || nfa.states[s].accept < d.accept[k]))
                d.accept[k] = nfa.states[s].accept;
    id.emplace(s1, 1);
    id.emplace(s2, 2);

    for (std::size_t i = 0; i < sets.size(); ++i) {
        d.next.resize((i + 1) * classes, 0);
        for (int c = 0; c < classes; ++c) {
            std::vector<int> target;
            for (int s : sets[i]) {
                const nfa_state& st = nfa.states[s];
                if (st.set >= 0 && nfa.sets[st.set][rep[c]])
                    target.push_back(st.out);
            }
            std::sort(target.begin(), target.end());
            target.erase(std::unique(target.begin(), target.end()), target.end());
            close(nfa, target);
            int t = intern(std::move(target));
            d.next[i * classes + c] = t;
        }
    }
    return d;
}

// ---- minimisation ----------------------------------------------------------

// Moore's refinement, starting from the partition by accepted rule, so that
// merged states accept the same rule.  Returns the block of each state.
std::vector<int> minimise(const subset_automaton& d, int& blocks)
{
    const int n = static_cast<int>(d.accept.size());
    std::vector<int> block(n);
    {
        std::map<int, int> by_rule;
        for (int s = 0; s < n; ++s)
            block[s] = by_rule.emplace(d.accept[s], static_cast<int>(by_rule.size())).first->second;
        blocks = static_cast<int>(by_rule.size());
    }
    for (;;) {
        std::map<std::vector<int>, int> sig_id;
        std::vector<int> next_block(n);
        for (int s = 0; s < n; ++s) {
            std::vector<int> sig;
            sig.reserve(d.classes + 1);
            sig.push_back(block[s]);
            for (int c = 0; c < d.classes; ++c)
                sig.push_back(block[d.next[static_cast<std::size_t>(s) * d.classes + c]]);
            next_block[s] = sig_id.emplace(std::move(sig), static_cast<int>(sig_id.size())).first->second;
        }
        int count = static_cast<int>(sig_id.size());
        block = std::move(next_block);
        if (count == blocks)
            return block;
        blocks = count;
    }
}

} // namespace

automaton build_automaton(const rule_set& rules)
{
    nfa_graph nfa = build_nfa(rules);
    int nclasses = 0;
    std::array<int, 256> cls = nfa_classes(nfa, nclasses);
    subset_automaton raw = subsets(nfa, cls, nclasses);
    int nblocks = 0;
    std::vector<int> block = minimise(raw, nblocks);

    // Number the blocks: dead 0, the two starts 1 and 2 (a start that shares
    // its block with an earlier slot gets a copy of that state), then the
    // others in breadth-first order.
    std::vector<int> slot_block;             // final state -> block
    std::vector<int> canonical(nblocks, -1); // block -> final state
    std::deque<int> queue;
    auto place = [&](int b, bool force) {
        if (canonical[b] >= 0 && !force)
            return;
        int s = static_cast<int>(slot_block.size());
        slot_block.push_back(b);
        if (canonical[b] < 0)
            canonical[b] = s;
        queue.push_back(s);
    };
    place(block[0], true);
    place(block[1], true);
    place(block[2], true);
    // A rep state per block, to read the transitions from.
    std::vector<int> rep(nblocks, -1);
    for (int s = static_cast<int>(block.size()) - 1; s >= 0; --s)
        rep[block[s]] = s;
    while (!queue.empty()) {
        int s = queue.front();
        queue.pop_front();
        int r = rep[slot_block[s]];
        for (int c = 0; c < nclasses; ++c)
            place(block[raw.next[static_cast<std::size_t>(r) * nclasses + c]], false);
    }

    const int nstates = static_cast<int>(slot_block.size());
    std::vector<int> next(static_cast<std::size_t>(nstates) * nclasses);
    std::vector<int> accept(nstates);
    for (int s = 0; s < nstates; ++s) {
        int r = rep[slot_block[s]];
        accept[s] = raw.accept[r];
        for (int c = 0; c < nclasses; ++c)
            next[static_cast<std::size_t>(s) * nclasses + c] =
                canonical[block[raw.next[static_cast<std::size_t>(r) * nclasses + c]]];
    }

    // Merge the classes whose columns agree in the minimal automaton; NUL
    // stays alone.  Final classes are numbered by their smallest byte.
    std::vector<int> merged(nclasses, -1);
    {
        std::map<std::vector<int>, int> column_id;
        std::vector<int> order; // classes by smallest byte
        std::vector<char> seen(nclasses, 0);
        for (int b = 0; b < 256; ++b)
            if (!seen[cls[b]]) {
                seen[cls[b]] = 1;
                order.push_back(cls[b]);
            }
        int count = 0;
        for (int c : order) {
            if (c == cls[0]) {
                merged[c] = count++;
                continue;
            }
            std::vector<int> col(nstates);
            for (int s = 0; s < nstates; ++s)
                col[s] = next[static_cast<std::size_t>(s) * nclasses + c];
            auto it = column_id.find(col);
            if (it == column_id.end())
                it = column_id.emplace(std::move(col), count++).first;
            merged[c] = it->second;
        }
    }
    automaton d;
    d.num_rules = static_cast<int>(rules.rules.size());
    d.num_states = nstates;
    d.num_classes = *std::max_element(merged.begin(), merged.end()) + 1;
    for (int b = 0; b < 256; ++b)
        d.byte_class[b] = merged[cls[b]];
    d.nul_class = d.byte_class[0];
    d.accept = accept;
    d.next.assign(static_cast<std::size_t>(nstates) * d.num_classes, 0);
    for (int s = 0; s < nstates; ++s)
        for (int c = 0; c < nclasses; ++c)
            d.next[static_cast<std::size_t>(s) * d.num_classes + merged[c]] =
                next[static_cast<std::size_t>(s) * nclasses + c];
    d.tail_length.assign(d.num_rules + 1, 0);
    for (const rule_info& r : rules.rules)
        d.tail_length[r.number] = r.tail_length;
    d.nfa_states = static_cast<int>(nfa.states.size());
    d.subset_states = static_cast<int>(raw.accept.size());
    return d;
}

} // namespace lexgen
