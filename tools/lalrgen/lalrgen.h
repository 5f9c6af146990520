// trl-lalrgen: an LALR(1) parser-table generator for grammars in yacc
// notation.  The library reads a grammar, builds the LR(0) automaton and its
// LALR(1) look-aheads, resolves conflicts, chooses default reductions, packs
// the tables and writes them as a C++ header.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lalrgen {

// A fault in the grammar file: the message and the line it was found on.
struct grammar_error : std::runtime_error {
    int line;
    grammar_error(int line_, const std::string& what) : std::runtime_error(what), line(line_) {}
};

// ---------------------------------------------------------------------------
// Grammar

struct symbol_info {
    std::string name;      // as written: identifier, or the char literal with its quotes
    bool terminal = false;
    int code = -1;         // token code of a terminal (-1 for $end's internal use: 0)
    int line = 0;          // where it was first seen
};

struct rule_info {
    int lhs = 0;                  // symbol number
    std::vector<int> rhs;         // symbol numbers
    int line = 0;                 // line of the alternative in the grammar file
    bool has_action = false;
    std::string action;           // code with $$ / $n already substituted
    int action_line = 0;          // line of the action's opening brace
};

struct grammar {
    std::string file_name;
    std::string prologue;         // text between %{ and %}
    int prologue_line = 0;        // line of the first prologue line
    std::string epilogue;         // text after the second %%
    int epilogue_line = 0;
    // Symbols: 0 $end, 1 error, 2 $undefined., the other terminals, then the
    // nonterminals starting with $accept.
    std::vector<symbol_info> symbols;
    int num_terminals = 0;
    // Rule 0 is $accept: start $end.
    std::vector<rule_info> rules;
    int start = 0;                // start symbol (the user's)
    int expect = 0;               // %expect, 0 when absent
    std::vector<std::string> warnings;

    int num_nonterminals() const { return static_cast<int>(symbols.size()) - num_terminals; }
    bool is_terminal(int sym) const { return sym < num_terminals; }
};

// Reads a grammar; throws grammar_error.
grammar read_grammar(std::string_view text, const std::string& file_name);

// ---------------------------------------------------------------------------
// Automaton

struct transition {
    int symbol;
    int target;
};

struct conflict {
    int state;
    int token;         // terminal symbol
    bool reduce_reduce;
    int chosen;        // >0 shift state, <0 reduce rule (negated)
    int rejected;      // the rule that lost (rule number)
};

struct state_info {
    int accessing_symbol = 0;
    std::vector<int> kernel;            // item numbers (see automaton::item_rule/item_dot)
    std::vector<transition> shifts;     // terminals, ascending symbol number
    std::vector<transition> gotos;      // nonterminals, ascending symbol number
    std::vector<int> reductions;        // rule numbers, ascending
    std::vector<std::vector<bool>> lookaheads; // per reduction, indexed by terminal
    bool consistent = false;            // one reduction, no shift: no look-ahead needed
    // Decisions after conflict resolution:
    std::vector<int> actions;           // per terminal: >0 shift, <0 reduce, 0 none (default)
    int default_rule = 0;               // 0: none
    bool reads_lookahead = true;
};

struct automaton {
    const grammar* g = nullptr;
    std::vector<int> item_rule, item_dot;     // item number -> (rule, dot)
    std::vector<int> rule_first_item;         // rule -> item number of dot 0
    std::vector<bool> nullable;               // per symbol
    std::vector<state_info> states;
    int final_state = 0;
    std::vector<conflict> conflicts;
    int sr_conflicts = 0, rr_conflicts = 0;
};

// Builds the LR(0) automaton, computes the LALR(1) look-aheads and decides
// every state's actions.  Conflicts are recorded, never fatal here.
automaton build_automaton(const grammar& g);

// Text lines describing each conflict ("state N: shift/reduce conflict on X ...").
std::vector<std::string> describe_conflicts(const automaton& a);

// ---------------------------------------------------------------------------
// Packed tables (what the generated header holds)

struct packed_tables {
    int max_code = 0;                         // translate covers codes 0..max_code
    std::vector<int> translate;               // code -> terminal
    std::vector<int> default_rule;            // per state
    std::vector<int> action_base;             // per state; empty row: == table.size()
    std::vector<int> goto_base;               // per nonterminal (index sym - num_terminals)
    std::vector<int> goto_default;            // per nonterminal
    std::vector<int> table, check;            // shared by action rows and goto columns
    int num_terminals = 0;

    int translate_code(int code) const;
    int action(int state, int terminal) const;
    int goto_state(int state, int nonterminal_symbol) const;
    bool reads_lookahead(int state) const;
};

packed_tables pack_tables(const automaton& a);

struct table_sizes {
    std::size_t parse_bytes = 0;   // translate, defaults, bases, table, check
    std::size_t info_bytes = 0;    // rule and symbol info for the trace
};

// The OUT_H text; out_name is the header's own path (for #line).
std::string emit_header(const automaton& a, const packed_tables& t, const std::string& out_name,
                        table_sizes* sizes = nullptr);

// Human-readable description of the automaton (--report).
std::string describe_automaton(const automaton& a, const packed_tables& t);

// Item text "lhs: a b . c" for reports and tests.
std::string item_text(const automaton& a, int item);

}  // namespace lalrgen
