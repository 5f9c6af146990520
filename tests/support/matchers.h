// Two independent ways to find the match at a position: the generated
// automaton, and a slow backtracking walk over the pattern trees.
#pragma once

#include "tools/lexgen/lexgen.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace lexgen_test {

struct match {
    int rule = 0;   // 0: nothing matches
    int total = 0;  // bytes matched including trailing context
    int length = 0; // bytes kept as the match (total minus the tail)
    bool operator==(const match&) const = default;
};

// Runs the automaton from the start state for the line-start flag, keeping the
// last accepting state, then gives the trailing context back.
inline match dfa_match(const lexgen::automaton& dfa, std::string_view s, std::size_t pos, bool line_start)
{
    match m;
    int state = line_start ? lexgen::automaton::start_line : lexgen::automaton::start;
    for (std::size_t i = pos; i < s.size(); ++i) {
        state = dfa.step(state, static_cast<unsigned char>(s[i]));
        if (state == lexgen::automaton::dead)
            break;
        if (dfa.accept[state]) {
            m.rule = dfa.accept[state];
            m.total = static_cast<int>(i + 1 - pos);
        }
    }
    if (m.rule)
        m.length = m.total - dfa.tail_length[m.rule];
    return m;
}

// Calls k with every position where a text matching n and starting at pos can
// end (possibly more than once).
inline void each_end(const lexgen::node& n, std::string_view s, std::size_t pos,
                     const std::function<void(std::size_t)>& k)
{
    using lexgen::node;
    switch (n.kind) {
    case node::byte_set:
        if (pos < s.size() && n.set[static_cast<unsigned char>(s[pos])])
            k(pos + 1);
        return;
    case node::empty:
        k(pos);
        return;
    case node::alt:
        for (const auto& kid : n.kids)
            each_end(*kid, s, pos, k);
        return;
    case node::concat: {
        std::function<void(std::size_t, std::size_t)> from = [&](std::size_t i, std::size_t p) {
            if (i == n.kids.size())
                k(p);
            else
                each_end(*n.kids[i], s, p, [&](std::size_t e) { from(i + 1, e); });
        };
        from(0, pos);
        return;
    }
    case node::opt:
        k(pos);
        each_end(*n.kids[0], s, pos, k);
        return;
    case node::star: {
        std::function<void(std::size_t)> loop = [&](std::size_t p) {
            k(p);
            each_end(*n.kids[0], s, p, [&](std::size_t e) {
                if (e > p)
                    loop(e);
            });
        };
        loop(pos);
        return;
    }
    case node::plus: {
        std::function<void(std::size_t)> loop = [&](std::size_t p) {
            each_end(*n.kids[0], s, p, [&](std::size_t e) {
                k(e);
                if (e > p)
                    loop(e);
            });
        };
        loop(pos);
        return;
    }
    }
}

// Longest match over all rules, the lowest rule number on a tie; the
// trailing context counts for the length and is then given back.
inline match reference_match(const lexgen::rule_set& rules, std::string_view s, std::size_t pos, bool line_start)
{
    match best;
    for (const lexgen::rule_info& r : rules.rules) {
        if (r.line_start && !line_start)
            continue;
        auto consider = [&](std::size_t head_end, std::size_t end) {
            int total = static_cast<int>(end - pos);
            if (total > 0 && (!best.rule || total > best.total || (total == best.total && r.number < best.rule))) {
                best = {r.number, total, static_cast<int>(head_end - pos)};
            }
        };
        each_end(*r.pattern, s, pos, [&](std::size_t head_end) {
            if (r.tail)
                each_end(*r.tail, s, head_end, [&](std::size_t end) { consider(head_end, end); });
            else
                consider(head_end, head_end);
        });
    }
    return best;
}

// A rule file with no definitions and the given patterns as rules 1, 2, ...
inline std::string rule_file(std::initializer_list<const char*> patterns)
{
    std::string text = "%%\n";
    for (const char* p : patterns)
        text += std::string(p) + "   { }\n";
    return text;
}

struct built {
    lexgen::rule_set rules;
    lexgen::automaton dfa;
};

inline built build(const std::string& text)
{
    built b;
    b.rules = lexgen::read_rules(text, "test.l");
    b.dfa = lexgen::build_automaton(b.rules);
    return b;
}

} // namespace lexgen_test
