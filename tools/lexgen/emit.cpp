// The tables the scanner runs, and the texts that hold them and the rules' actions.
//
// Note: the table encoding.  The header holds exactly what the scanner's
// match loop reads, in the form it reads it; the runtime derives nothing.
//
//   byte_class[b]        the class of byte b; NUL is alone in nul_class, so
//                        a single class test finds both a NUL in the text
//                        and the end-of-buffer mark.
//   next[s][c]           the state after state s on class c, 0 for none.
//                        Rows are row_size long, a power of two, so that a
//                        row is found by a shift.
//   accept[s]            the rule that state s accepts (the lowest-numbered
//                        one), 0 when it accepts none.
//   stop[s]              0: s accepts nothing; 1: s accepts a rule and has
//                        transitions; 2: s accepts a rule and has none, so a
//                        match reaching it is complete without looking at
//                        the next byte (a terminal's line comes out before
//                        the next line is typed).
//   tail_length[r]       bytes of trailing context that rule r gives back.
//   rule_token[r]        the token of a rule written "=> NAME", as the name
//                        (the prologue brings the names in); -1 for
//                        "=> byte", whose token code is the match's first
//                        byte; 0 for a rule whose action is code, which the
//                        actions' case list holds.
//   rule_value[r]        1 for "=> NAME value": the token's value is the
//                        first byte of the match, as a signed char.
//   one_byte_rule[t][c]  for the start states t (1: not at the beginning of
//                        a line, 2: at the beginning of a line): the rule
//                        when one byte of class c is a complete match by
//                        itself (its state stops, with no trailing context),
//                        0 otherwise and always for the NUL class.  Most
//                        tokens are one letter or one blank; they skip the
//                        match loop.
#include "lexgen.h"

#include <algorithm>
#include <bit>
#include <ostream>
#include <sstream>
#include <vector>

namespace lexgen {

namespace {

std::size_t bytes_for(int max_value)
{
    return max_value < 256 ? 1 : max_value < 65536 ? 2 : 4;
}

const char* type_for(std::size_t bytes)
{
    return bytes == 1 ? "std::uint8_t" : bytes == 2 ? "std::uint16_t" : "std::uint32_t";
}

std::string base_name(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes `type name dims = { values }`: sixteen values a line, or, for a
// table of rows, one row a line in braces of its own.
template <typename Seq>
void write_array(std::ostream& out, const char* type, const char* name, const std::string& dims, const Seq& values,
                 std::size_t row = 0)
{
    out << "inline constexpr " << type << ' ' << name << dims << " = {";
    const std::size_t per_line = row ? row : 16;
    std::size_t i = 0;
    for (auto v : values) {
        if (i % per_line == 0)
            out << (row && i ? " },\n    {" : row ? "\n    {" : "\n   ");
        out << ' ' << v << ',';
        ++i;
    }
    out << (row ? " },\n};\n" : "\n};\n");
}

} // namespace

run_tables make_run_tables(const automaton& dfa)
{
    run_tables t;
    t.row_size = static_cast<int>(std::bit_ceil(static_cast<unsigned>(std::max(dfa.num_classes, 1))));
    t.next.assign(static_cast<std::size_t>(dfa.num_states) * t.row_size, 0);
    t.stop.assign(dfa.num_states, 0);
    for (int s = 0; s < dfa.num_states; ++s) {
        bool goes_on = false;
        for (int c = 0; c < dfa.num_classes; ++c) {
            const int to = dfa.next[static_cast<std::size_t>(s) * dfa.num_classes + c];
            t.next[static_cast<std::size_t>(s) * t.row_size + c] = to;
            goes_on = goes_on || to != 0;
        }
        if (dfa.accept[s] != 0)
            t.stop[s] = goes_on ? 1 : 2;
    }
    t.one_byte_rule.assign(static_cast<std::size_t>(3) * t.row_size, 0);
    for (int start : {automaton::start, automaton::start_line})
        for (int c = 0; c < dfa.num_classes; ++c) {
            const int s = dfa.next[static_cast<std::size_t>(start) * dfa.num_classes + c];
            if (c != dfa.nul_class && s != 0 && t.stop[s] == 2 && dfa.tail_length[dfa.accept[s]] == 0)
                t.one_byte_rule[static_cast<std::size_t>(start) * t.row_size + c] = dfa.accept[s];
        }
    const std::size_t state_bytes = bytes_for(dfa.num_states - 1);
    t.bytes = 256 + dfa.accept.size() + t.stop.size() + dfa.tail_length.size() * 6 + t.next.size() * state_bytes +
              t.one_byte_rule.size();
    return t;
}

std::string emit_tables(const rule_set& rules, const automaton& dfa, const std::string& name_space)
{
    const run_tables t = make_run_tables(dfa);
    std::ostringstream out;
    // Dimensions appended piece by piece (GCC 12 sees a false overlap in
    // chained string concatenation).
    std::string row = "[";
    row += std::to_string(t.row_size);
    row += ']';
    std::string states_by_row = "[num_states]";
    states_by_row += row;
    std::string starts_by_row = "[3]";
    starts_by_row += row;

    out << "// Generated by lexgen from " << base_name(rules.file_name) << ": the scanner's tables.  Do not edit.\n"
        << "// " << dfa.num_states << " states, " << dfa.num_classes << " byte classes, " << t.bytes
        << " table bytes.  The encoding is described in lexgen's emit.cpp.\n"
        << "#pragma once\n"
        << "#include <cstdint>\n\n";
    if (!rules.prologue.empty())
        out << rules.prologue << '\n';
    out << "namespace " << name_space << " {\n\n"
        << "using state_t = " << type_for(bytes_for(dfa.num_states - 1)) << ";\n"
        << "inline constexpr int num_rules = " << dfa.num_rules << ";\n"
        << "inline constexpr int num_states = " << dfa.num_states << ";   // state 0 is the dead state\n"
        << "inline constexpr int num_classes = " << dfa.num_classes << ";\n"
        << "inline constexpr int row_size = " << t.row_size << ";   // a power of two\n"
        << "inline constexpr int start_state = " << automaton::start << ";   // not at the beginning of a line\n"
        << "inline constexpr int start_state_at_line_start = " << automaton::start_line << ";\n\n";
    write_array(out, "std::uint8_t", "byte_class", "[256]", dfa.byte_class);
    out << "inline constexpr int nul_class = " << dfa.nul_class << ";   // NUL is alone in its class\n\n";
    write_array(out, "std::uint8_t", "accept", "[num_states]", dfa.accept);
    write_array(out, "std::uint8_t", "stop", "[num_states]", t.stop);
    write_array(out, "std::uint8_t", "tail_length", "[num_rules + 1]", dfa.tail_length);
    std::vector<std::string> tokens{"0"};
    std::vector<int> values{0};
    for (const rule_info& r : rules.rules) {
        tokens.push_back(r.token.empty() ? "0" : r.token == "byte" ? "-1" : r.token);
        values.push_back(r.sets_value ? 1 : 0);
    }
    write_array(out, "int", "rule_token", "[num_rules + 1]", tokens);
    write_array(out, "std::uint8_t", "rule_value", "[num_rules + 1]", values);
    write_array(out, "state_t", "next", states_by_row, t.next, static_cast<std::size_t>(t.row_size));
    write_array(out, "std::uint8_t", "one_byte_rule", starts_by_row, t.one_byte_rule,
                static_cast<std::size_t>(t.row_size));
    out << "\ninline constexpr int table_bytes = " << t.bytes << ";\n\n"
        << "} // namespace " << name_space << "\n";
    return out.str();
}

std::string emit_actions(const rule_set& rules)
{
    std::string out = "// Generated by lexgen from " + base_name(rules.file_name) +
                      ": the actions of the rules written as code.  Do not edit.\n";
    for (const rule_info& r : rules.rules)
        if (r.token.empty())
            out += "case " + std::to_string(r.number) + ": { " + r.action + " } break;\n";
    return out;
}

} // namespace lexgen
