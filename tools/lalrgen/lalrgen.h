// lalrgen: a parser-table generator for grammars in yacc notation.  The
// library reads a grammar (grammar_file.cpp), builds the LR(0) automaton and its
// LALR(1) look-aheads, resolves conflicts and chooses default reductions
// (lalr.cpp), lays out the tables that the parse engine runs and writes them
// as a C++ header, and the token codes as another (emit.cpp).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "parse_engine.h"

namespace lalrgen {

// A fault in the grammar file: the message and the line it was found on.
struct grammar_error : std::runtime_error {
    int line;
    grammar_error(int line_, const std::string& what) : std::runtime_error(what), line(line_) {}
};

// ---------------------------------------------------------------------------
// Grammar

struct symbol_info {
    std::string name; // as written: identifier, or the char literal with its quotes
    bool terminal = false;
    int code = -1;           // token code of a terminal (-1 for $end's internal use: 0)
    int line = 0;            // where it was first seen
    std::string description; // in words (%token NAME "words", %describe); may be empty
};

struct rule_info {
    int lhs = 0;          // symbol number
    std::vector<int> rhs; // symbol numbers
    int line = 0;         // line of the alternative in the grammar file
    bool has_action = false;
    std::string action;  // code with $$ / $n already substituted
    int action_line = 0; // line of the action's opening brace
};

struct grammar {
    std::string file_name;
    std::string prologue;  // text between %{ and %}
    int prologue_line = 0; // line of the first prologue line
    std::string epilogue;  // text after the second %%
    int epilogue_line = 0;
    // Symbols: 0 $end, 1 error, 2 $undefined., the other terminals, then the
    // nonterminals starting with $accept.
    std::vector<symbol_info> symbols;
    int num_terminals = 0;
    // Rule 0 is $accept: start $end.
    std::vector<rule_info> rules;
    int start = 0;  // start symbol (the user's)
    int expect = 0; // %expect, 0 when absent
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
    int token; // terminal symbol
    bool reduce_reduce;
    int chosen;   // >0 shift state, <0 reduce rule (negated)
    int rejected; // the rule that lost (rule number)
};

struct state_info {
    int accessing_symbol = 0;
    std::vector<int> kernel;                   // item numbers (see automaton::item_rule/item_dot)
    std::vector<transition> shifts;            // terminals, ascending symbol number
    std::vector<transition> gotos;             // nonterminals, ascending symbol number
    std::vector<int> reductions;               // rule numbers, ascending
    std::vector<std::vector<bool>> lookaheads; // per reduction, indexed by terminal
    bool consistent = false;                   // one reduction, no shift: no look-ahead needed
    // Decisions after conflict resolution:
    std::vector<int> actions; // per terminal: >0 shift, <0 reduce, 0 none (default)
    int default_rule = 0;     // 0: none
    bool reads_lookahead = true;
};

struct automaton {
    const grammar* g = nullptr;
    std::vector<int> item_rule, item_dot; // item number -> (rule, dot)
    std::vector<int> rule_first_item;     // rule -> item number of dot 0
    std::vector<bool> nullable;           // per symbol
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
// The tables the parse engine runs (their encoding is described in the
// engine, runtime/parse_engine.h)

struct run_tables {
    int num_states = 0, num_rules = 0, num_terminals = 0, num_nonterminals = 0;
    int num_lr_states = 0; // the automaton's; the rest are copies
    int max_code = 0;      // translate covers codes 0..max_code
    // Reductions in step and lookahead_free.
    static constexpr int rule_mask = trl_engine::rule_mask, fused_bit = trl_engine::fused_bit,
                         target_shift = trl_engine::target_shift;
    int step_columns = 0;                  // num_terminals rounded up to a power of two
    std::vector<int> translate;            // code -> terminal
    std::vector<int> step;                 // num_states x step_columns
    std::vector<int> lookahead_free;       // per state
    std::vector<int> go;                   // num_nonterminals x num_states
    std::vector<std::vector<int>> go_cols; // the same by nonterminal, while states are split
    std::vector<int> original_state;       // per state: the automaton's state it copies
    std::vector<std::vector<int>> below;   // per state: the states that may lie right below it
    // For the trace.
    std::vector<int> accessing_symbol;          // per state
    std::vector<int> unfold_rule, unfold_state; // per symbol
    std::vector<int> empty_rule;                // per nonterminal
    // Counts for the report.
    int shifts = 0, folded_states = 0, fused = 0, known_gotos = 0, looked_up_gotos = 0;

    int step_at(int state, int terminal) const
    {
        return step[static_cast<std::size_t>(state) * step_columns + terminal];
    }
    int go_at(int nonterminal_symbol, int state) const
    {
        return go[static_cast<std::size_t>(nonterminal_symbol - num_terminals) * num_states + state];
    }
};

run_tables make_run_tables(const automaton& a);

// The states that may lie k entries below state s on the stack.
std::vector<int> states_below(const run_tables& t, int s, int k);

struct table_sizes {
    std::size_t parse_bytes = 0; // what the engine reads
    std::size_t info_bytes = 0;  // rule and symbol info for the trace
};

// The TABLES_H text: struct `tables` in namespace name_space; out_name is
// the header's own path (for #line).  `sizes`, when given, gets what the
// tables take.
std::string emit_tables(const automaton& a, const run_tables& t, const std::string& name_space,
                        const std::string& out_name, table_sizes* sizes = nullptr);

// The TOKENS_H text: an enumerator for every named token of the %token
// lines, in an enum named `prefix` in lower case followed by "token", and
// the constants PREFIX ERROR_TOKEN, UNDEFINED_TOKEN (the codes 256 and 257,
// which belong to the parser) and MAX_TOKEN (the largest code).
std::string emit_tokens(const grammar& g, const std::string& prefix);

// The direct-coded parser of the tables, the text of a member of their
// struct (see "Direct code" in runtime/parse_engine.h).
std::string emit_direct(const automaton& a, const run_tables& t);

// Human-readable description of the automaton (--report).
std::string describe_automaton(const automaton& a, const run_tables& t);

// Rule text "lhs: a b c" ("lhs: /* empty */") for reports and comments.
std::string rule_text(const grammar& g, int rule);

// Item text "lhs: a b . c" for reports and tests.
std::string item_text(const automaton& a, int item);

} // namespace lalrgen
