// The tables the parse engine runs, and the headers that hold them.
//
// The encoding is described once, in the engine that reads it
// (runtime/parse_engine.h), whose version the header carries.
#include <algorithm>
#include <cctype>
#include <map>

#include "tools/lalrgen/lalrgen.h"
#include "parse_engine.h"

namespace lalrgen {

namespace {

// The chain of folded unit reductions that starts by entering state `top`
// above state `below`: the state where it ends.
int fold(const automaton& a, const std::vector<bool>& foldable, int below, int top)
{
    const grammar& g = *a.g;
    for (std::size_t n = 0; n < a.states.size() && top > 0 && foldable[top]; ++n) {
        const int lhs = g.rules[a.states[top].default_rule].lhs;
        int next = 0;
        for (const auto& tr : a.states[below].gotos)
            if (tr.symbol == lhs)
                next = tr.target;
        if (next == 0 || next == a.final_state)
            break;
        top = next;
    }
    return top;
}

// What state s does with terminal t after conflict resolution, its default
// reduction included: >0 shift, <0 reduce, 0 error.
int decision(const state_info& st, int t)
{
    const int v = st.actions[t];
    return v != 0 ? v : -st.default_rule;
}

} // namespace

namespace {

// Note: states split for known gotos.  A reduction whose rule is one
// symbol long (not counting a fused empty rule) uncovers the state right
// below the one that reduces; when that can be one of several states that
// go on differently, the goto has to be looked up.  Such a state is split
// into a copy per group of states below it that give the same gotos, and
// each state below leads to its group's copy, which then knows them.
// Every copy has its original's actions (original_state says which; the
// trace shows the original), so the parse does exactly what it did; only
// the gotos known in the steps change, and they are found again on the
// split tables.  (Splitting for deeper reductions too was tried: it turns
// known gotos elsewhere into looked-up ones and makes the tables several
// times larger, and the parse slower.)
void split_for_known_gotos(const grammar& g, run_tables& t)
{
    const int nterm = g.num_terminals;
    const int cols = t.step_columns;
    const int limit = 2 * t.num_states; // a bound on the copies; grammars take far fewer
    auto row = [&](int s) { return t.step.begin() + static_cast<std::ptrdiff_t>(s) * cols; };
    auto go = [&](int lhs, int s) -> int& {
        return t.go_cols[static_cast<std::size_t>(lhs - nterm)][static_cast<std::size_t>(s)];
    };
    auto depth_of = [&](int x) {
        return static_cast<int>(g.rules[x & run_tables::rule_mask].rhs.size()) - ((x & run_tables::fused_bit) ? 1 : 0);
    };
    auto reductions_of = [&](int s, auto&& f) { // f(x) for the reductions of state s
        if (t.lookahead_free[s])
            f(t.lookahead_free[s]);
        for (int c = 0; c < t.num_terminals; ++c)
            if (const int v = row(s)[c]; v < 0)
                f(-v);
    };
    // Which states lie right below each state on the stack.
    auto below_of = [&]() {
        std::vector<std::vector<int>> below(static_cast<std::size_t>(t.num_states));
        for (int p = 0; p < t.num_states; ++p) {
            for (int c = 0; c < t.num_terminals; ++c)
                if (const int v = row(p)[c]; v > 0)
                    below[v].push_back(p);
            for (const auto& col : t.go_cols)
                if (const int v = col[static_cast<std::size_t>(p)]; v > 0)
                    below[v].push_back(p);
        }
        for (auto& b : below) {
            std::sort(b.begin(), b.end());
            b.erase(std::unique(b.begin(), b.end()), b.end());
        }
        return below;
    };

    for (bool split = true; split && t.num_states < limit;) {
        split = false;
        const auto below = below_of();
        const int states = t.num_states;
        for (int s = 0; s < states && t.num_states < limit; ++s) {
            // The left sides of the reductions of s that uncover the state
            // right below it.
            std::vector<int> lhs;
            reductions_of(s, [&](int x) {
                if (depth_of(x) == 1)
                    lhs.push_back(g.rules[x & run_tables::rule_mask].lhs);
            });
            std::sort(lhs.begin(), lhs.end());
            lhs.erase(std::unique(lhs.begin(), lhs.end()), lhs.end());
            if (lhs.empty())
                continue;
            std::map<std::vector<int>, std::vector<int>> groups; // gotos -> states below
            for (int p : below[s]) {
                std::vector<int> key;
                for (int l : lhs)
                    key.push_back(go(l, p));
                groups[key].push_back(p);
            }
            if (groups.size() < 2)
                continue;
            bool first = true;
            for (const auto& [key, ps] : groups) {
                if (first) { // the first group keeps s itself
                    first = false;
                    continue;
                }
                const int copy = t.num_states++;
                t.step.insert(t.step.end(), row(s), row(s) + cols);
                t.lookahead_free.push_back(t.lookahead_free[s]);
                t.accessing_symbol.push_back(t.accessing_symbol[s]);
                t.original_state.push_back(t.original_state[s]);
                for (auto& col : t.go_cols)
                    col.push_back(col[static_cast<std::size_t>(s)]);
                for (int p : ps) {
                    for (int c = 0; c < t.num_terminals; ++c)
                        if (row(p)[c] == s)
                            row(p)[c] = copy;
                    for (auto& col : t.go_cols)
                        if (col[static_cast<std::size_t>(p)] == s)
                            col[static_cast<std::size_t>(p)] = copy;
                }
            }
            split = true;
        }
    }

    // The known gotos, found again on the split tables.
    t.below = below_of();
    auto known = [&](int s, int x) {
        int target = -1;
        for (int p : states_below(t, s, depth_of(x))) {
            const int to = go(g.rules[x & run_tables::rule_mask].lhs, p);
            if (to == 0 || (target >= 0 && to != target))
                return 0;
            target = to;
        }
        return target > 0 ? target : 0;
    };
    t.known_gotos = t.looked_up_gotos = 0;
    auto with_known = [&](int s, int x) {
        const int bare = x & (run_tables::rule_mask | run_tables::fused_bit);
        const int target = known(s, bare);
        ++(target ? t.known_gotos : t.looked_up_gotos);
        return bare | target << run_tables::target_shift;
    };
    for (int s = 0; s < t.num_states; ++s) {
        if (t.lookahead_free[s])
            t.lookahead_free[s] = with_known(s, t.lookahead_free[s]);
        for (int c = 0; c < t.num_terminals; ++c)
            if (const int v = row(s)[c]; v < 0)
                row(s)[c] = -with_known(s, -v);
    }
    // The go table in its emitted form: by nonterminal, then by state.
    t.go.clear();
    for (const auto& col : t.go_cols)
        t.go.insert(t.go.end(), col.begin(), col.end());
}

} // namespace

std::vector<int> states_below(const run_tables& t, int s, int k)
{
    std::vector<int> from{s};
    for (; k > 0; --k) {
        std::vector<int> next;
        for (int q : from)
            next.insert(next.end(), t.below[q].begin(), t.below[q].end());
        std::sort(next.begin(), next.end());
        next.erase(std::unique(next.begin(), next.end()), next.end());
        from = std::move(next);
    }
    return from;
}

run_tables make_run_tables(const automaton& a)
{
    const grammar& g = *a.g;
    const int nterm = g.num_terminals;
    const int nnon = g.num_nonterminals();
    const int nstates = static_cast<int>(a.states.size());
    const int nrules = static_cast<int>(g.rules.size());
    const int nsym = static_cast<int>(g.symbols.size());
    run_tables t;
    t.num_states = nstates;
    t.num_rules = nrules;
    t.num_terminals = nterm;
    t.num_nonterminals = nnon;
    if (nrules > run_tables::rule_mask + 1)
        throw grammar_error(0, "more rules than the step encoding holds");
    if (static_cast<long>(nstates) << run_tables::target_shift > 0x7fffffffL)
        throw grammar_error(0, "more states than the step encoding holds");

    for (int s = 0; s < nterm; ++s)
        t.max_code = std::max(t.max_code, g.symbols[s].code);
    t.translate.assign(static_cast<std::size_t>(t.max_code + 1), 2);
    t.translate[0] = 0;
    for (int s = 3; s < nterm; ++s)
        t.translate[static_cast<std::size_t>(g.symbols[s].code)] = s;

    t.num_lr_states = nstates;
    t.accessing_symbol.assign(static_cast<std::size_t>(nstates), 0);
    t.original_state.assign(static_cast<std::size_t>(nstates), 0);
    for (int s = 0; s < nstates; ++s) {
        t.accessing_symbol[s] = a.states[s].accessing_symbol;
        t.original_state[s] = s;
    }

    // Unit states, and the ones that may be folded: their rule is the only
    // unit rule of its right-side symbol.
    auto unit_rule = [&](int s) {
        const state_info& st = a.states[s];
        const int r = st.reads_lookahead ? 0 : st.default_rule;
        return r > 0 && s != a.final_state && g.rules[r].rhs.size() == 1 && !g.rules[r].has_action ? r : 0;
    };
    std::map<int, std::vector<int>> unit_states_of; // right-side symbol -> unit states
    for (int s = 0; s < nstates; ++s)
        if (int r = unit_rule(s))
            unit_states_of[g.rules[r].rhs[0]].push_back(s);
    std::vector<bool> foldable(static_cast<std::size_t>(nstates), false);
    t.unfold_rule.assign(static_cast<std::size_t>(nsym), 0);
    t.unfold_state.assign(static_cast<std::size_t>(nsym), 0);
    for (const auto& [y, states] : unit_states_of) {
        if (states.size() != 1)
            continue;
        foldable[states[0]] = true;
        t.unfold_rule[y] = unit_rule(states[0]);
        t.unfold_state[y] = states[0];
        ++t.folded_states;
    }

    // Gotos, with the unit reductions they lead into folded.
    auto raw_goto = [&](int s, int symbol) {
        for (const auto& tr : a.states[s].gotos)
            if (tr.symbol == symbol)
                return tr.target;
        return 0;
    };
    t.go.assign(static_cast<std::size_t>(nnon) * nstates, 0);
    for (int n = 0; n < nnon; ++n)
        for (int s = 0; s < nstates; ++s)
            t.go[static_cast<std::size_t>(n) * nstates + s] = fold(a, foldable, s, raw_goto(s, nterm + n));

    // The empty rule without an action of each nonterminal (for the trace).
    t.empty_rule.assign(static_cast<std::size_t>(nnon), 0);
    for (int r = 1; r < nrules; ++r)
        if (g.rules[r].rhs.empty() && !g.rules[r].has_action)
            t.empty_rule[g.rules[r].lhs - nterm] = r;

    // A reduction as step and lookahead_free hold it (see the encoding);
    // the gotos known are filled in at the end.
    auto reduction = [&](int rule, bool fused) { return rule | (fused ? run_tables::fused_bit : 0); };

    t.step_columns = 1;
    while (t.step_columns < nterm)
        t.step_columns *= 2;
    t.step.assign(static_cast<std::size_t>(nstates) * t.step_columns, 0);
    t.lookahead_free.assign(static_cast<std::size_t>(nstates), 0);
    for (int s = 0; s < nstates; ++s) {
        const state_info& st = a.states[s];
        if (!st.reads_lookahead)
            t.lookahead_free[s] = reduction(st.default_rule, false);
        for (int term = 0; term < nterm; ++term) {
            // The `error` column holds only explicit actions: recovery looks
            // for a state that really takes `error`.
            const int v = term == 1 ? st.actions[term] : decision(st, term);
            int entry = 0;
            if (v > 0) {
                entry = fold(a, foldable, s, v);
                ++t.shifts;
            } else if (v < 0) {
                const int rule = -v;
                const rule_info& ri = g.rules[rule];
                entry = -reduction(rule, false);
                const int pushed = ri.rhs.empty() && !ri.has_action ? raw_goto(s, ri.lhs) : 0;
                if (pushed != 0 && fold(a, foldable, s, pushed) == pushed) {
                    // An empty rule whose state reduces a rule ending in it.
                    const int then = decision(a.states[pushed], term);
                    if (then < 0 && !g.rules[-then].rhs.empty() && g.rules[-then].rhs.back() == ri.lhs) {
                        entry = -reduction(-then, true);
                        ++t.fused;
                    }
                }
            }
            t.step[static_cast<std::size_t>(s) * t.step_columns + term] = entry;
        }
    }
    t.go_cols.assign(static_cast<std::size_t>(nnon), {});
    for (int n = 0; n < nnon; ++n)
        t.go_cols[n].assign(t.go.begin() + static_cast<std::ptrdiff_t>(n) * nstates,
                            t.go.begin() + static_cast<std::ptrdiff_t>(n + 1) * nstates);
    split_for_known_gotos(g, t); // and the known gotos
    return t;
}

namespace {

struct int_type {
    const char* name;
    std::size_t bytes;
};

int_type type_for(long lo, long hi)
{
    if (lo >= 0 && hi <= 0xff)
        return {"std::uint8_t", 1};
    if (lo >= -0x80 && hi <= 0x7f)
        return {"std::int8_t", 1};
    if (lo >= 0 && hi <= 0xffff)
        return {"std::uint16_t", 2};
    if (lo >= -0x8000 && hi <= 0x7fff)
        return {"std::int16_t", 2};
    return {"std::int32_t", 4};
}

std::string base_name(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string c_string(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

struct writer {
    std::string out;
    std::size_t bytes = 0;

    int line() const { return 1 + static_cast<int>(std::count(out.begin(), out.end(), '\n')); }

    // `static constexpr TYPE name[rows][columns]`, or one dimension when
    // columns is 0; each row on a line of its own, in braces.
    void array(const std::string& name, const std::vector<int>& v, std::size_t columns = 0)
    {
        long lo = 0, hi = 0;
        for (int x : v) {
            lo = std::min<long>(lo, x);
            hi = std::max<long>(hi, x);
        }
        const int_type ty = type_for(lo, hi);
        const std::size_t n = std::max<std::size_t>(v.size(), 1);
        bytes += ty.bytes * n;
        out += "    static constexpr ";
        out += ty.name;
        out += " " + name;
        if (columns)
            out += "[" + std::to_string(n / columns) + "][" + std::to_string(columns) + "]";
        else
            out += "[" + std::to_string(n) + "]";
        out += " = {";
        const std::size_t per_line = columns ? columns : 16;
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (i % per_line == 0) {
                if (columns)
                    out += i ? " },\n        {" : "\n        {";
                else
                    out += "\n       ";
            }
            out += ' ';
            out += std::to_string(v[i]);
            out += ',';
        }
        if (v.empty())
            out += "0";
        out += columns ? " },\n    };\n" : "\n    };\n";
    }

    void constant(const std::string& name, long v)
    {
        out += "    static constexpr int " + name + " = " + std::to_string(v) + ";\n";
    }

    // Code of the grammar file, marked as standing at `line` of `file`.
    void grammar_code(const std::string& code, int line, const std::string& file)
    {
        out += "#line " + std::to_string(line) + " " + c_string(file) + "\n";
        out += code;
        if (!code.empty() && code.back() != '\n')
            out += "\n";
    }
    // After grammar_code: the lines that follow are the header's own again.
    void own_lines(const std::string& out_name)
    {
        out += "#line " + std::to_string(line() + 1) + " " + c_string(out_name) + "\n";
    }
};

// Whether a rule of the grammar recovers through `error`.
bool uses_error(const grammar& g)
{
    for (const auto& r : g.rules)
        for (int sym : r.rhs)
            if (sym == 1)
                return true;
    return false;
}

// The header's comment, its includes and the grammar's prologue.
void write_head(writer& w, const grammar& g, bool direct, const std::string& out_name)
{
    w.out += "// Generated by lalrgen from " + base_name(g.file_name) + ": the parse tables.  Do not edit.\n";
    w.out += "// The encoding is described in lalrgen's runtime/parse_engine.h.\n";
    w.out += "#pragma once\n#include <cstdint>\n";
    if (direct)
        w.out += "\n#include \"parse_engine.h\"\n";
    if (!g.prologue.empty()) {
        w.grammar_code(g.prologue, g.prologue_line, g.file_name);
        w.own_lines(out_name);
    }
}

void write_constants(writer& w, const automaton& a, const run_tables& t)
{
    const grammar& g = *a.g;
    w.constant("format", trl_engine::table_format);
    w.constant("num_states", t.num_states);
    w.constant("num_lr_states", t.num_lr_states);
    w.constant("num_rules", t.num_rules);
    w.constant("num_terminals", t.num_terminals);
    w.constant("num_nonterminals", t.num_nonterminals);
    w.constant("num_symbols", static_cast<long>(g.symbols.size()));
    w.constant("final_state", a.final_state);
    w.constant("error_terminal", 1);
    w.constant("undefined_terminal", 2);
    w.constant("max_code", t.max_code);
    w.constant("step_columns", t.step_columns);
    w.out += std::string("    static constexpr bool uses_error = ") + (uses_error(g) ? "true" : "false") + ";\n";
}

// What the engine reads to parse, and the functions that read it.
void write_parse_tables(writer& w, const grammar& g, const run_tables& t)
{
    w.out += "\n    // Token code -> terminal.\n";
    w.array("translate_table", t.translate);
    w.out += "    // What each state does with each look-ahead terminal.\n";
    w.array("step", t.step, static_cast<std::size_t>(t.step_columns));
    w.out += "    // The rule a state reduces by without reading a token; 0: it reads one.\n";
    w.array("lookahead_free", t.lookahead_free);
    w.out += "    // The state after each nonterminal in each state.\n";
    w.array("go", t.go);

    w.out += "\n    // Per rule: length, $1 relative to the top of the stack, whether\n"
             "    // reduce_action has a case for it, and where the left side's row starts\n"
             "    // in go.\n"
             "    struct rule_entry {\n"
             "        std::int8_t length;\n"
             "        std::int8_t first;\n"
             "        bool has_action;\n"
             "        std::int32_t goto_row;\n"
             "    };\n";
    w.out += "    static constexpr rule_entry rules[" + std::to_string(t.num_rules) + "] = {";
    for (int r = 0; r < t.num_rules; ++r) {
        const rule_info& ri = g.rules[r];
        const long len = static_cast<long>(ri.rhs.size());
        w.out += r % 3 == 0 ? "\n       " : "";
        w.out += " {" + std::to_string(len) + ", " + std::to_string(len > 0 ? 1 - len : 0) + ", " +
                 (ri.has_action ? "true" : "false") + ", " +
                 std::to_string(static_cast<long>(ri.lhs - g.num_terminals) * t.num_states) + "},";
        w.bytes += 8;
    }
    w.out += "\n    };\n";

    w.out += R"(
    // The terminal of a token code.
    static constexpr int translate(int code) {
        return code >= 0 && code <= max_code ? translate_table[code] : undefined_terminal;
    }
    // The state after the left side of a rule (its entry in rules) in the
    // state that its reduction uncovers.
    static constexpr int goto_after(const rule_entry& r, int state) { return go[r.goto_row + state]; }
    // The state after nonterminal `symbol` in `state`.
    static constexpr int goto_state(int state, int symbol) {
        return go[(symbol - num_terminals) * num_states + state];
    }

)";
}

// What only the trace reads: names, lines and right sides, and how to
// retrace folded and fused steps.
void write_trace_tables(writer& w, const grammar& g, const run_tables& t)
{
    std::vector<int> lhs, line, begin, rhs;
    for (const auto& r : g.rules) {
        lhs.push_back(r.lhs);
        line.push_back(r.line);
        begin.push_back(static_cast<int>(rhs.size()));
        rhs.insert(rhs.end(), r.rhs.begin(), r.rhs.end());
    }
    w.out += "    // For the trace: rules as symbols, their lines in the grammar file, how to\n"
             "    // retrace folded unit reductions and the empty rules pushed from step.\n";
    w.array("rule_lhs", lhs);
    w.array("rule_line", line);
    w.array("rule_rhs_begin", begin);
    w.array("rule_rhs", rhs);
    w.array("accessing_symbol", t.accessing_symbol);
    w.array("original_state", t.original_state);
    w.array("unfold_rule", t.unfold_rule);
    w.array("unfold_state", t.unfold_state);
    w.array("empty_rule", t.empty_rule);
    const std::size_t nsym = g.symbols.size();
    w.out += "    static constexpr const char* symbol_name[" + std::to_string(nsym) + "] = {";
    for (std::size_t s = 0; s < nsym; ++s) {
        w.out += (s % 6 == 0) ? "\n       " : "";
        w.out += ' ';
        w.out += c_string(s == 0 ? "$" : g.symbols[s].name);
        w.out += ',';
        w.bytes += sizeof(const char*) + g.symbols[s].name.size() + 1;
    }
    w.out += "\n    };\n";
}

// For messages about syntax errors: symbols in words (a terminal without
// a description as written, the end of the input in words), and what
// each state is reading: the first left side of its kernel items that
// the grammar describes (0 for none).
void write_message_tables(writer& w, const automaton& a, const run_tables& t)
{
    const grammar& g = *a.g;
    const int nsym = static_cast<int>(g.symbols.size());
    w.out += "\n    // For messages: symbols in words, and the construct each state reads.\n";
    w.out += "    static constexpr const char* symbol_description[" + std::to_string(nsym) + "] = {";
    for (int s = 0; s < nsym; ++s) {
        const symbol_info& sym = g.symbols[s];
        const std::string words = !sym.description.empty() ? sym.description
                                  : s == 0                 ? "the end of the input"
                                  : s < g.num_terminals    ? sym.name
                                                           : "";
        w.out += (s % 4 == 0) ? "\n       " : "";
        w.out += ' ';
        w.out += c_string(words);
        w.out += ',';
    }
    w.out += "\n    };\n";
    std::vector<int> construct;
    for (int s : t.original_state) {
        const state_info& st = a.states[static_cast<std::size_t>(s)];
        int c = 0;
        for (int item : st.kernel) {
            const int lhs = g.rules[a.item_rule[item]].lhs;
            if (!g.symbols[lhs].description.empty()) {
                c = lhs;
                break;
            }
        }
        construct.push_back(c);
    }
    w.array("state_construct", construct);
}

// The grammar's actions: a function for each rule that has one, and
// reduce_action, the switch over them that the engine's loop calls.
void write_actions(writer& w, const grammar& g, const std::string& out_name)
{
    w.out += "\n    // The grammar's actions, a function for each rule that has one.  vsp\n"
             "    // points at the stack entry of the last right-side symbol of the rule\n"
             "    // (for an empty rule: the top entry); an entry carries its symbol's\n"
             "    // value as `value`.\n";
    for (std::size_t r = 0; r < g.rules.size(); ++r) {
        const rule_info& ri = g.rules[r];
        if (!ri.has_action)
            continue;
        w.out += "    template <class Entry>\n"
                 "    static void action_" +
                 std::to_string(r) + "([[maybe_unused]] Entry* vsp, [[maybe_unused]] int& yyval) {\n";
        w.grammar_code("            {" + ri.action + "}\n", ri.action_line, g.file_name);
        w.own_lines(out_name);
        w.out += "    }\n";
    }
    w.out += "    template <class Entry>\n"
             "    static void reduce_action(int rule, [[maybe_unused]] Entry* vsp, [[maybe_unused]] int& yyval) {\n"
             "        switch (rule) {\n";
    for (std::size_t r = 0; r < g.rules.size(); ++r)
        if (g.rules[r].has_action)
            w.out += "        case " + std::to_string(r) + ": action_" + std::to_string(r) + "(vsp, yyval); break;\n";
    w.out += "        default: break;\n        }\n    }\n";
}

} // namespace

std::string emit_tables(const automaton& a, const run_tables& t, const std::string& name_space,
                        const std::string& out_name, table_sizes* sizes)
{
    const grammar& g = *a.g;
    // The direct-coded parser, except for grammars that recover through
    // `error`, which the engine's loop runs.
    const bool direct = !uses_error(g);
    writer w;
    write_head(w, g, direct, out_name);
    w.out += "\nnamespace " + name_space + " {\n\nstruct tables {\n";
    write_constants(w, a, t);
    write_parse_tables(w, g, t);
    const std::size_t parse_bytes = w.bytes;
    write_trace_tables(w, g, t);
    const std::size_t info_bytes = w.bytes - parse_bytes;
    write_message_tables(w, a, t);
    write_actions(w, g, out_name);
    if (direct)
        w.out += emit_direct(a, t);
    w.out += "};\n\n} // namespace " + name_space + "\n";
    if (!g.epilogue.empty())
        w.grammar_code(g.epilogue, g.epilogue_line, g.file_name);
    if (sizes)
        *sizes = table_sizes{parse_bytes, info_bytes};
    return w.out;
}

std::string emit_tokens(const grammar& g, const std::string& prefix)
{
    std::string enum_name;
    for (const char c : prefix)
        enum_name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string o = "// Generated by lalrgen from " + base_name(g.file_name) +
                    ": the codes of its %token lines.  Do not edit.\n"
                    "// Single characters are tokens under their own codes; 256 and 257\n"
                    "// belong to the parser (its error token and its code for an undefined token).\n"
                    "#pragma once\n\nenum " +
                    enum_name +
                    "token : int {\n"
                    "    " +
                    prefix + "ERROR_TOKEN = 256,\n    " + prefix + "UNDEFINED_TOKEN = 257,\n";
    int max_code = 257;
    for (int s = 3; s < g.num_terminals; ++s) {
        const symbol_info& sym = g.symbols[s];
        if (sym.name.front() == '\'')
            continue;
        o += "    " + sym.name + " = " + std::to_string(sym.code) + ",\n";
        max_code = std::max(max_code, sym.code);
    }
    o += "};\n\ninline constexpr int " + prefix + "MAX_TOKEN = " + std::to_string(max_code) + ";\n";
    return o;
}

std::string rule_text(const grammar& g, int rule)
{
    const rule_info& r = g.rules[static_cast<std::size_t>(rule)];
    std::string text = g.symbols[r.lhs].name + ":";
    for (int sym : r.rhs) {
        text += ' ';
        text += g.symbols[sym].name;
    }
    if (r.rhs.empty())
        text += " /* empty */";
    return text;
}

std::string describe_automaton(const automaton& a, const run_tables& t)
{
    const grammar& g = *a.g;
    std::string o;
    auto name = [&](int s) { return g.symbols[s].name; };
    o += "Grammar\n\n";
    for (std::size_t r = 0; r < g.rules.size(); ++r)
        o += "  " + std::to_string(r) + " " + rule_text(g, static_cast<int>(r)) + "   (line " +
             std::to_string(g.rules[r].line) + ")\n";
    o += "\nTerminals\n\n";
    for (int s = 0; s < g.num_terminals; ++s)
        o += "  " + std::to_string(s) + " " + name(s) + " (" + std::to_string(g.symbols[s].code) + ")\n";
    o += "\nNonterminals\n\n";
    for (int s = g.num_terminals; s < static_cast<int>(g.symbols.size()); ++s)
        o += "  " + std::to_string(s) + " " + name(s) + "\n";
    o += "\n";
    for (const auto& c : describe_conflicts(a))
        o += c + "\n";
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        const state_info& st = a.states[s];
        o += "\nstate " + std::to_string(s) + "\n\n";
        for (int item : st.kernel)
            o += "    " + item_text(a, item) + "\n";
        o += "\n";
        for (int c = 0; c < g.num_terminals; ++c) {
            int v = st.actions[c];
            if (v > 0)
                o += "    " + name(c) + "  shift, and go to state " + std::to_string(v) + "\n";
            else if (v < 0)
                o += "    " + name(c) + "  reduce using rule " + std::to_string(-v) + "\n";
        }
        if (st.default_rule)
            o += "    $default  reduce using rule " + std::to_string(st.default_rule) + " (" +
                 g.symbols[g.rules[st.default_rule].lhs].name + ")" + (st.reads_lookahead ? "" : "  [no look-ahead]") +
                 "\n";
        if (static_cast<int>(s) == a.final_state)
            o += "    $default  accept\n";
        for (const auto& c : a.conflicts)
            if (c.state == static_cast<int>(s))
                o += std::string("    ") + (c.reduce_reduce ? "reduce/reduce" : "shift/reduce") + " conflict on " +
                     name(c.token) + ": rule " + std::to_string(c.rejected) + " not taken\n";
        for (const auto& tr : st.gotos)
            o += "    " + name(tr.symbol) + "  go to state " + std::to_string(tr.target) + "\n";
    }
    table_sizes sz;
    emit_tables(a, t, "tables", "", &sz);
    o += "\nSize: " + std::to_string(a.states.size()) + " states, " + std::to_string(g.rules.size()) + " rules, " +
         std::to_string(g.num_terminals) + " terminals, " + std::to_string(g.num_nonterminals()) + " nonterminals; " +
         std::to_string(t.folded_states) + " unit states folded, " + std::to_string(t.fused) + " empty rules fused; " +
         std::to_string(t.known_gotos) + " reductions with a known goto, " + std::to_string(t.looked_up_gotos) +
         " with a goto looked up; parse tables " + std::to_string(sz.parse_bytes) + " bytes, trace info " +
         std::to_string(sz.info_bytes) + " bytes\n";
    return o;
}

} // namespace lalrgen
