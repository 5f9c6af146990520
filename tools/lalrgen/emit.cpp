// Table packing and the generated header.
//
// Encoding: translate[] maps token codes to terminals.  Each state has a
// default reduction (0: none) and a row of explicit actions over the
// terminals; each nonterminal has a default goto and a column of exceptions
// over the states.  Rows and columns are packed into one value table by row
// displacement: entry (v, c) sits at base[v] + c, and check[] holds c.  No
// two different vectors share a base, so a slot whose check equals c belongs
// to the vector being looked up; an empty vector's base is the table size.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "lalrgen.h"

namespace lalrgen {

int packed_tables::translate_code(int code) const {
    return code >= 0 && code <= max_code ? translate[code] : 2;
}

int packed_tables::action(int state, int terminal) const {
    long i = static_cast<long>(action_base[state]) + terminal;
    return i >= 0 && i < static_cast<long>(table.size()) && check[i] == terminal ? table[i] : 0;
}

int packed_tables::goto_state(int state, int nonterminal_symbol) const {
    int n = nonterminal_symbol - num_terminals;
    long i = static_cast<long>(goto_base[n]) + state;
    return i >= 0 && i < static_cast<long>(table.size()) && check[i] == state ? table[i] : goto_default[n];
}

bool packed_tables::reads_lookahead(int state) const {
    return action_base[state] != static_cast<int>(table.size()) || default_rule[state] == 0;
}

packed_tables pack_tables(const automaton& a) {
    const grammar& g = *a.g;
    const int nterm = g.num_terminals;
    const int nnon = g.num_nonterminals();
    const int nstates = static_cast<int>(a.states.size());
    packed_tables t;
    t.num_terminals = nterm;

    for (int s = 0; s < nterm; ++s) t.max_code = std::max(t.max_code, g.symbols[s].code);
    t.translate.assign(static_cast<std::size_t>(t.max_code + 1), 2);
    t.translate[0] = 0;
    for (int s = 3; s < nterm; ++s) t.translate[g.symbols[s].code] = s;

    using entries = std::vector<std::pair<int, int>>;   // (column, value)
    std::vector<entries> vecs;                          // states, then nonterminals
    for (const auto& st : a.states) {
        t.default_rule.push_back(st.default_rule);
        entries e;
        for (int c = 0; c < nterm; ++c)
            if (st.actions[c] != 0) e.push_back({c, st.actions[c]});
        vecs.push_back(std::move(e));
    }
    for (int n = 0; n < nnon; ++n) {
        const int A = nterm + n;
        std::map<int, int> freq;
        entries all;
        for (int s = 0; s < nstates; ++s)
            for (const auto& tr : a.states[s].gotos)
                if (tr.symbol == A) {
                    ++freq[tr.target];
                    all.push_back({s, tr.target});
                }
        int def = 0, best = 0;
        for (auto [target, count] : freq)
            if (count > best) {
                best = count;
                def = target;
            }
        t.goto_default.push_back(def);
        entries e;
        for (auto [s, target] : all)
            if (target != def) e.push_back({s, target});
        vecs.push_back(std::move(e));
    }

    // First fit, biggest vectors first.
    std::vector<int> order(vecs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return vecs[x].size() > vecs[y].size(); });
    std::vector<int> base(vecs.size(), 0);
    std::vector<bool> empty(vecs.size(), false);
    std::map<entries, int> placed;
    std::set<int> used_bases;
    for (int v : order) {
        const entries& e = vecs[v];
        if (e.empty()) {
            empty[v] = true;
            continue;
        }
        if (auto it = placed.find(e); it != placed.end()) {
            base[v] = it->second;
            continue;
        }
        int b = -e.front().first;
        for (;; ++b) {
            if (used_bases.count(b)) continue;
            bool fits = true;
            for (auto [c, val] : e) {
                std::size_t i = static_cast<std::size_t>(b + c);
                if (i < t.check.size() && t.check[i] >= 0) {
                    fits = false;
                    break;
                }
            }
            if (fits) break;
        }
        for (auto [c, val] : e) {
            std::size_t i = static_cast<std::size_t>(b + c);
            if (i >= t.check.size()) {
                t.check.resize(i + 1, -1);
                t.table.resize(i + 1, 0);
            }
            t.check[i] = c;
            t.table[i] = val;
        }
        used_bases.insert(b);
        placed.emplace(e, b);
        base[v] = b;
    }
    const int size = static_cast<int>(t.table.size());
    for (std::size_t v = 0; v < vecs.size(); ++v) {
        int b = empty[v] ? size : base[v];
        if (static_cast<int>(v) < nstates) t.action_base.push_back(b);
        else t.goto_base.push_back(b);
    }
    return t;
}

namespace {

struct int_type {
    const char* name;
    std::size_t bytes;
};

int_type type_for(long lo, long hi) {
    if (lo >= 0 && hi <= 0xff) return {"std::uint8_t", 1};
    if (lo >= -0x80 && hi <= 0x7f) return {"std::int8_t", 1};
    if (lo >= 0 && hi <= 0xffff) return {"std::uint16_t", 2};
    if (lo >= -0x8000 && hi <= 0x7fff) return {"std::int16_t", 2};
    return {"std::int32_t", 4};
}

std::string c_string(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

struct writer {
    std::string out;
    std::size_t bytes = 0;

    int line() const { return 1 + static_cast<int>(std::count(out.begin(), out.end(), '\n')); }

    void array(const std::string& name, const std::vector<int>& v) {
        long lo = 0, hi = 0;
        for (int x : v) {
            lo = std::min<long>(lo, x);
            hi = std::max<long>(hi, x);
        }
        int_type ty = type_for(lo, hi);
        bytes += ty.bytes * std::max<std::size_t>(v.size(), 1);
        out += "inline constexpr ";
        out += ty.name;
        out += " " + name + "[" + std::to_string(std::max<std::size_t>(v.size(), 1)) + "] = {";
        for (std::size_t i = 0; i < v.size(); ++i) {
            out += (i % 16 == 0) ? "\n   " : "";
            out += ' ';
            out += std::to_string(v[i]);
            out += ',';
        }
        if (v.empty()) out += "0";
        out += "\n};\n";
    }
};

}  // namespace

std::string emit_header(const automaton& a, const packed_tables& t, const std::string& out_name, table_sizes* sizes) {
    const grammar& g = *a.g;
    const int nstates = static_cast<int>(a.states.size());
    const int nsym = static_cast<int>(g.symbols.size());
    writer w;
    w.out += "// Parse tables generated by trl-lalrgen from " + g.file_name + ".  Do not edit.\n";
    w.out += "#pragma once\n#include <cstdint>\n";
    if (!g.prologue.empty()) {
        w.out += "#line " + std::to_string(g.prologue_line) + " " + c_string(g.file_name) + "\n";
        w.out += g.prologue;
        if (g.prologue.back() != '\n') w.out += "\n";
        w.out += "#line " + std::to_string(w.line() + 1) + " " + c_string(out_name) + "\n";
    }
    w.out += "\nnamespace trl_lalr {\n\n";
    auto constant = [&](const char* name, int v) {
        w.out += "inline constexpr int " + std::string(name) + " = " + std::to_string(v) + ";\n";
    };
    constant("num_states", nstates);
    constant("num_rules", static_cast<int>(g.rules.size()));
    constant("num_terminals", g.num_terminals);
    constant("num_nonterminals", g.num_nonterminals());
    constant("num_symbols", nsym);
    constant("final_state", a.final_state);
    constant("error_terminal", 1);
    constant("undefined_terminal", 2);
    constant("max_code", t.max_code);
    constant("table_size", static_cast<int>(t.table.size()));

    w.out += "\n// Token code -> terminal.\n";
    w.array("translate_table", t.translate);
    w.out += "\n// Per state: the default reduction (0: none) and the base of its action row.\n";
    w.array("default_rule", t.default_rule);
    w.array("action_base", t.action_base);
    w.out += "\n// Per nonterminal: the default goto and the base of its column of other gotos.\n";
    w.array("goto_default", t.goto_default);
    w.array("goto_base", t.goto_base);
    w.out += "\n// Action rows and goto columns, packed; check holds the column of each entry.\n";
    w.array("value_table", t.table);
    w.array("check_table", t.check);
    const std::size_t parse_bytes = w.bytes;

    w.out += R"(
constexpr int translate(int code) {
    return code >= 0 && code <= max_code ? translate_table[code] : undefined_terminal;
}

// >0: shift to that state; <0: reduce by rule -value; 0: no explicit action.
constexpr int action(int state, int terminal) {
    const int i = action_base[state] + terminal;
    return i >= 0 && i < table_size && check_table[i] == terminal ? value_table[i] : 0;
}

constexpr int default_reduction(int state) { return default_rule[state]; }

// false: the state's only action is its default reduction.
constexpr bool reads_lookahead(int state) {
    return action_base[state] != table_size || default_rule[state] == 0;
}

constexpr int goto_state(int state, int lhs_symbol) {
    const int n = lhs_symbol - num_terminals;
    const int i = goto_base[n] + state;
    return i >= 0 && i < table_size && check_table[i] == state ? value_table[i] : goto_default[n];
}

)";
    std::vector<int> lhs, len, line, begin, rhs, acts;
    for (const auto& r : g.rules) {
        lhs.push_back(r.lhs);
        acts.push_back(r.has_action ? 1 : 0);
        len.push_back(static_cast<int>(r.rhs.size()));
        line.push_back(r.line);
        begin.push_back(static_cast<int>(rhs.size()));
        rhs.insert(rhs.end(), r.rhs.begin(), r.rhs.end());
    }
    w.out += "// Rules: left side, length, line in the grammar, right side in rule_rhs.\n";
    w.array("rule_lhs", lhs);
    w.array("rule_length", len);
    w.array("rule_line", line);
    w.array("rule_rhs_begin", begin);
    w.array("rule_rhs", rhs);
    w.out += "// 1 for the rules that reduce_action has a case for.\n";
    w.array("rule_has_action", acts);
    w.out += "\ninline constexpr const char* symbol_name[" + std::to_string(nsym) + "] = {";
    for (int s = 0; s < nsym; ++s) {
        w.out += (s % 6 == 0) ? "\n   " : "";
        w.out += ' ';
        w.out += c_string(s == 0 ? "$" : g.symbols[s].name);
        w.out += ',';
        w.bytes += sizeof(const char*) + g.symbols[s].name.size() + 1;
    }
    w.out += "\n};\n";
    const std::size_t info_bytes = w.bytes - parse_bytes;

    w.out += "\n// The grammar's actions.  vsp points at the value of the last right-side\n"
             "// symbol of the rule (for an empty rule: the top of the value stack).\n"
             "inline void reduce_action(int rule, int* vsp, int& yyval) {\n"
             "    (void)vsp;\n    (void)yyval;\n    switch (rule) {\n";
    for (std::size_t r = 0; r < g.rules.size(); ++r) {
        const rule_info& ri = g.rules[r];
        if (!ri.has_action) continue;
        w.out += "    case " + std::to_string(r) + ":\n";
        w.out += "#line " + std::to_string(ri.action_line) + " " + c_string(g.file_name) + "\n";
        w.out += "        {" + ri.action + "}\n";
        w.out += "#line " + std::to_string(w.line() + 1) + " " + c_string(out_name) + "\n";
        w.out += "        break;\n";
    }
    w.out += "    default:\n        break;\n    }\n}\n\n}  // namespace trl_lalr\n";
    if (!g.epilogue.empty()) {
        w.out += "#line " + std::to_string(g.epilogue_line) + " " + c_string(g.file_name) + "\n";
        w.out += g.epilogue;
        if (g.epilogue.back() != '\n') w.out += "\n";
    }
    if (sizes) *sizes = table_sizes{parse_bytes, info_bytes};
    return w.out;
}

std::string describe_automaton(const automaton& a, const packed_tables& t) {
    const grammar& g = *a.g;
    std::string o;
    auto name = [&](int s) { return s == 0 ? std::string("$end") : g.symbols[s].name; };
    o += "Grammar\n\n";
    for (std::size_t r = 0; r < g.rules.size(); ++r) {
        std::string text = g.symbols[g.rules[r].lhs].name + ":";
        for (int sym : g.rules[r].rhs) {
            text += ' ';
            text += name(sym);
        }
        if (g.rules[r].rhs.empty()) text += " /* empty */";
        o += "  " + std::to_string(r) + " " + text + "   (line " +
             std::to_string(g.rules[r].line) + ")\n";
    }
    o += "\nTerminals\n\n";
    for (int s = 0; s < g.num_terminals; ++s)
        o += "  " + std::to_string(s) + " " + name(s) + " (" + std::to_string(g.symbols[s].code) + ")\n";
    o += "\nNonterminals\n\n";
    for (int s = g.num_terminals; s < static_cast<int>(g.symbols.size()); ++s)
        o += "  " + std::to_string(s) + " " + name(s) + "\n";
    o += "\n";
    for (const auto& c : describe_conflicts(a)) o += c + "\n";
    for (std::size_t s = 0; s < a.states.size(); ++s) {
        const state_info& st = a.states[s];
        o += "\nstate " + std::to_string(s) + "\n\n";
        for (int item : st.kernel) o += "    " + item_text(a, item) + "\n";
        o += "\n";
        for (int c = 0; c < g.num_terminals; ++c) {
            int v = st.actions[c];
            if (v > 0) o += "    " + name(c) + "  shift, and go to state " + std::to_string(v) + "\n";
            else if (v < 0) o += "    " + name(c) + "  reduce using rule " + std::to_string(-v) + "\n";
        }
        if (st.default_rule)
            o += "    $default  reduce using rule " + std::to_string(st.default_rule) + " (" +
                 g.symbols[g.rules[st.default_rule].lhs].name + ")" +
                 (st.reads_lookahead ? "" : "  [no look-ahead]") + "\n";
        if (static_cast<int>(s) == a.final_state) o += "    $default  accept\n";
        for (const auto& c : a.conflicts)
            if (c.state == static_cast<int>(s))
                o += std::string("    ") + (c.reduce_reduce ? "reduce/reduce" : "shift/reduce") + " conflict on " +
                     name(c.token) + ": rule " + std::to_string(c.rejected) + " not taken\n";
        for (const auto& tr : st.gotos)
            o += "    " + name(tr.symbol) + "  go to state " + std::to_string(tr.target) + "\n";
    }
    table_sizes sz;
    emit_header(a, t, "", &sz);
    o += "\nSize: " + std::to_string(a.states.size()) + " states, " + std::to_string(g.rules.size()) + " rules, " +
         std::to_string(g.num_terminals) + " terminals, " + std::to_string(g.num_nonterminals()) +
         " nonterminals; packed table " + std::to_string(t.table.size()) + " entries; parse tables " +
         std::to_string(sz.parse_bytes) + " bytes, rule and symbol info " + std::to_string(sz.info_bytes) + " bytes\n";
    return o;
}

}  // namespace lalrgen
