// trl-lexgen: builds a table-driven scanner automaton from a lex-like rule file.
//
// The rule file is parsed into pattern trees (parse.cpp), the trees become a
// Thompson NFA, the NFA a DFA by subset construction, the DFA is minimised and
// its bytes are grouped into classes (automaton.cpp); the tables and the rule
// actions are then written as C++ (emit.cpp).
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lexgen {

// A refused rule file: the message names the file and line ("file:line: what").
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Pattern tree.  Characters, strings, classes and '.' all end up as byte sets.
struct Node;
using NodePtr = std::shared_ptr<const Node>;

struct Node {
    enum Kind { Set, Empty, Concat, Alt, Star, Plus, Opt };
    Kind kind = Empty;
    std::bitset<256> set;          // Set: the bytes matched
    std::vector<NodePtr> kids;     // Concat, Alt: the parts; Star, Plus, Opt: one
};

NodePtr make_set(const std::bitset<256>& set);
NodePtr make_node(Node::Kind kind, std::vector<NodePtr> kids);

// Length of every text the tree matches, if that length is fixed.
std::optional<int> fixed_length(const Node& n);
// Whether the tree matches the empty text.
bool nullable(const Node& n);

struct Rule {
    int number = 0;          // 1-based priority: a lower number wins a tie
    int line = 0;            // line of the rule file where the rule starts
    bool line_start = false; // '^': only matches at the beginning of a line
    NodePtr pattern;         // the part that becomes the match
    NodePtr tail;            // trailing context after '/', or null
    int tail_length = 0;     // fixed length of the tail (0 without one)
    std::string action;      // C++ code between the action's outer braces
    std::string token;       // "=> NAME": the token the match is (no code then);
                             // "byte": the match's first byte is the token code
    bool sets_value = false; // "=> NAME value": its value is the match's first byte
};

struct RuleSet {
    std::string prologue;    // text between %{ and %}
    std::map<std::string, NodePtr> definitions;
    std::vector<Rule> rules;
};

// Parses a whole rule file; throws Error naming file_name and the line.
RuleSet parse_rules(std::string_view text, const std::string& file_name);

// The deterministic automaton.  State 0 is dead (no transitions, accepts
// nothing), state 1 starts a match not at the beginning of a line, state 2 one
// at the beginning of a line.  Bytes are mapped to classes first.
struct Dfa {
    static constexpr int dead = 0, start = 1, start_line = 2;

    int num_rules = 0;
    int num_states = 0;
    int num_classes = 0;
    std::array<int, 256> byte_class{};
    int nul_class = 0;                 // NUL is alone in its class
    std::vector<int> accept;           // per state: rule number, 0 for none
    std::vector<int> next;             // num_states * num_classes, 0 = none
    std::vector<int> tail_length;      // per rule (index 0 unused)

    // Sizes of the intermediate automata, for the statistics.
    int nfa_states = 0;
    int subset_states = 0;

    int step(int state, unsigned char byte) const {
        return next[static_cast<std::size_t>(state) * num_classes + byte_class[byte]];
    }
};

Dfa build_dfa(const RuleSet& rules);

// The tables as the scanner runs them (see the note in emit.cpp).
struct RunTables {
    int row_size = 0;                  // num_classes rounded up to a power of two
    std::vector<int> next;             // num_states * row_size, 0 = none
    std::vector<int> stop;             // per state: 0, 1 or 2
    std::vector<int> one_byte_rule;    // 3 * row_size: per start state (1, 2) and class
    std::size_t bytes = 0;             // what all emitted tables take
};

RunTables run_tables(const Dfa& dfa);

// Writes the tables header and the actions fragment.  source_name appears in
// the headers' comments only.
void write_tables(std::ostream& out, const RuleSet& rules, const Dfa& dfa,
                  const std::string& source_name);
void write_actions(std::ostream& out, const RuleSet& rules, const std::string& source_name);

} // namespace lexgen
