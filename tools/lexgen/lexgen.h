// lexgen: a scanner-table generator for rule files in lex-like notation.
// The library reads a rule file into pattern trees (parse.cpp), builds a
// Thompson NFA from them, a DFA by subset construction, minimises it and
// groups the bytes into classes (automaton.cpp), lays out the tables that
// the scanner runs and writes them as a C++ header, and the rules' actions
// as a fragment of another (emit.cpp).
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lexgen {

// A fault in the rule file: the message and the line it was found on.
struct rules_error : std::runtime_error {
    int line;
    rules_error(int line_, const std::string& what) : std::runtime_error(what), line(line_) {}
};

// Pattern tree.  Characters, strings, classes and '.' all end up as byte sets.
struct node;
using node_ptr = std::shared_ptr<const node>;

struct node {
    enum kind_type { byte_set, empty, concat, alt, star, plus, opt };
    kind_type kind = empty;
    std::bitset<256> set;       // byte_set: the bytes matched
    std::vector<node_ptr> kids; // concat, alt: the parts; star, plus, opt: one
};

node_ptr make_set(const std::bitset<256>& set);
node_ptr make_node(node::kind_type kind, std::vector<node_ptr> kids);

// Length of every text the tree matches, if that length is fixed.
std::optional<int> fixed_length(const node& n);
// Whether the tree matches the empty text.
bool nullable(const node& n);

struct rule_info {
    int number = 0;          // 1-based priority: a lower number wins a tie
    int line = 0;            // line of the rule file where the rule starts
    bool line_start = false; // '^': only matches at the beginning of a line
    node_ptr pattern;        // the part that becomes the match
    node_ptr tail;           // trailing context after '/', or null
    int tail_length = 0;     // fixed length of the tail (0 without one)
    std::string action;      // C++ code between the action's outer braces
    int action_line = 0;     // line of the action's first character
    std::string token;       // "=> NAME": the token the match is (no code then);
                             // "byte": the match's first byte is the token code
    bool sets_value = false; // "=> NAME value": its value is the match's first byte
};

struct rule_set {
    std::string file_name;
    std::string prologue;  // text between %{ and %}
    int prologue_line = 0; // line of the prologue's first line
    std::string nul_token; // %nul_token NAME: the code of a NUL byte matched by "=> byte"
    std::map<std::string, node_ptr> definitions;
    std::vector<rule_info> rules;
};

// Reads a whole rule file; throws rules_error.
rule_set read_rules(std::string_view text, const std::string& file_name);

// The deterministic automaton.  State 0 is dead (no transitions, accepts
// nothing), state 1 starts a match not at the beginning of a line, state 2 one
// at the beginning of a line.  Bytes are mapped to classes first.
struct automaton {
    static constexpr int dead = 0, start = 1, start_line = 2;

    int num_rules = 0;
    int num_states = 0;
    int num_classes = 0;
    std::array<int, 256> byte_class{};
    int nul_class = 0;            // NUL is alone in its class
    std::vector<int> accept;      // per state: rule number, 0 for none
    std::vector<int> next;        // num_states * num_classes, 0 = none
    std::vector<int> tail_length; // per rule (index 0 unused)

    // Sizes of the intermediate automata, for the statistics.
    int nfa_states = 0;
    int subset_states = 0;

    int step(int state, unsigned char byte) const
    {
        return next[static_cast<std::size_t>(state) * num_classes + byte_class[byte]];
    }
};

automaton build_automaton(const rule_set& rules);

// The tables as the scanner runs them (the encoding is described in the
// runtime, runtime/scan_engine.h).
struct run_tables {
    int row_size = 0;               // num_classes rounded up to a power of two
    std::vector<int> next;          // num_states * row_size, 0 = none
    std::vector<int> stop;          // per state: 0, 1 or 2, and loop_bit
    std::vector<int> loop_exit;     // per state with loop_bit: the byte that leaves it
    std::vector<int> one_byte_rule; // 2 * 256: per at-line-start flag and byte
    std::vector<int> memo_plane;    // per state: 1 + its plane of the memo of failures, or 0
    int memo_planes = 0;
    std::size_t bytes = 0; // what all emitted tables take
};

run_tables make_run_tables(const automaton& dfa);

// The TABLES_H text: struct `tables` in namespace name_space, with the
// rules' actions, and the rule file's prologue before it; out_name is the
// header's own path (for #line).
std::string emit_tables(const rule_set& rules, const automaton& dfa, const std::string& name_space,
                        const std::string& out_name = "");

} // namespace lexgen
