// The tables the scanner runs and the header that holds them with the
// rules' actions.  The encoding is described once, in the runtime that reads
// it (runtime/scan_engine.h), whose version the header carries.
#include "tools/lexgen/lexgen.h"

#include "scan_engine.h"

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

// Writes `static constexpr type name dims = { values }` as a member of the
// tables' struct: sixteen values a line, or, for a table of rows, one row a
// line in braces of its own.
template <typename Seq>
void write_array(std::ostream& out, const char* type, const char* name, const std::string& dims, const Seq& values,
                 std::size_t row = 0)
{
    out << "    static constexpr " << type << ' ' << name << dims << " = {";
    const std::size_t per_line = row ? row : 16;
    std::size_t i = 0;
    for (auto v : values) {
        if (i % per_line == 0)
            out << (row && i ? " },\n        {" : row ? "\n        {" : "\n       ");
        out << ' ' << v << ',';
        ++i;
    }
    out << (row ? " },\n    };\n" : "\n    };\n");
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
    // The states that lead back to themselves on every byte but one.
    t.loop_exit.assign(dfa.num_states, 0);
    for (int s = 1; s < dfa.num_states; ++s) {
        int exits = 0, exit = 0;
        for (int b = 0; b < 256 && exits < 2; ++b)
            if (dfa.step(s, static_cast<unsigned char>(b)) != s) {
                ++exits;
                exit = b;
            }
        if (exits == 1) {
            t.stop[s] |= scan_engine::loop_bit;
            t.loop_exit[s] = exit;
        }
    }
    t.one_byte_rule.assign(2 * 256, 0);
    for (int at_line_start = 0; at_line_start < 2; ++at_line_start)
        for (int b = 1; b < 256; ++b) {
            const int s =
                dfa.step(at_line_start ? automaton::start_line : automaton::start, static_cast<unsigned char>(b));
            if (s != 0 && t.stop[s] == 2 && dfa.tail_length[dfa.accept[s]] == 0)
                t.one_byte_rule[static_cast<std::size_t>(at_line_start) * 256 + static_cast<std::size_t>(b)] =
                    dfa.accept[s];
        }
    // The states that the memo of failures records: those on a loop of the
    // automaton that accept nothing.
    t.memo_plane.assign(dfa.num_states, 0);
    for (int s = 1; s < dfa.num_states; ++s) {
        if (dfa.accept[s] != 0)
            continue;
        std::vector<char> seen(dfa.num_states, 0);
        std::vector<int> todo{s};
        bool loops = false;
        while (!todo.empty() && !loops) {
            const int from = todo.back();
            todo.pop_back();
            for (int c = 0; c < dfa.num_classes && !loops; ++c) {
                const int to = dfa.next[static_cast<std::size_t>(from) * dfa.num_classes + c];
                loops = to == s;
                if (to != 0 && !seen[to]) {
                    seen[to] = 1;
                    todo.push_back(to);
                }
            }
        }
        if (loops)
            t.memo_plane[s] = ++t.memo_planes;
    }
    const std::size_t state_bytes = bytes_for(dfa.num_states - 1);
    t.bytes = 256 + dfa.accept.size() + t.stop.size() + dfa.tail_length.size() * 6 + t.next.size() * state_bytes +
              t.one_byte_rule.size() * 8 + t.memo_plane.size() + t.loop_exit.size();
    return t;
}

namespace {

// The line that the next line written to `out` will be (for #line).
int line_here(const std::ostringstream& out)
{
    const std::string text = out.str();
    return 2 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Code of the rule file, marked as standing where the rule file has it,
// then the header's own lines again.
void write_code(std::ostringstream& out, const std::string& code, int line, const std::string& file_name,
                const std::string& out_name)
{
    out << "#line " << line << " \"" << base_name(file_name) << "\"\n" << code;
    out << "#line " << line_here(out) << " \"" << base_name(out_name) << "\"\n";
}

// The header's comment, its includes and the rule file's prologue.
void write_head(std::ostringstream& out, const rule_set& rules, const automaton& dfa, const run_tables& t,
                const std::string& out_name)
{
    out << "// Generated by lexgen from " << base_name(rules.file_name) << ": the scanner's tables.  Do not edit.\n"
        << "// " << dfa.num_states << " states, " << dfa.num_classes << " byte classes, " << t.bytes
        << " table bytes.  The encoding is described in lexgen's runtime/scan_engine.h.\n"
        << "#pragma once\n"
        << "#include <cstdint>\n\n";
    if (!rules.prologue.empty())
        write_code(out, rules.prologue, rules.prologue_line, rules.file_name, out_name);
}

// The sizes and start states.
void write_constants(std::ostringstream& out, const rule_set& rules, const automaton& dfa, const run_tables& t)
{
    out << "    static constexpr int format = " << scan_engine::table_format << ";\n"
        << "    using state_t = " << type_for(bytes_for(dfa.num_states - 1)) << ";\n"
        << "    static constexpr int num_rules = " << dfa.num_rules << ";\n"
        << "    static constexpr int num_states = " << dfa.num_states << ";   // state 0 is the dead state\n"
        << "    static constexpr int num_classes = " << dfa.num_classes << ";\n"
        << "    static constexpr int row_size = " << t.row_size << ";   // a power of two\n"
        << "    static constexpr int start_state = " << automaton::start << ";   // not at the beginning of a line\n"
        << "    static constexpr int start_state_at_line_start = " << automaton::start_line << ";\n"
        << "    static constexpr int num_memo_planes = " << t.memo_planes << ";\n";
    if (!rules.nul_token.empty())
        out << "    static constexpr int nul_token = " << rules.nul_token << ";\n";
    else
        out << "    static constexpr int nul_token = 0;   // no rule is written \"=> byte\"\n";
    out << '\n';
}

// The tables of the states and rules, up to the transitions.
void write_state_tables(std::ostringstream& out, const rule_set& rules, const automaton& dfa, const run_tables& t)
{
    write_array(out, "std::uint8_t", "byte_class", "[256]", dfa.byte_class);
    write_array(out, "std::uint8_t", "accept", "[num_states]", dfa.accept);
    write_array(out, "std::uint8_t", "stop", "[num_states]", t.stop);
    write_array(out, "std::uint8_t", "loop_exit", "[num_states]", t.loop_exit);
    write_array(out, "std::uint8_t", "tail_length", "[num_rules + 1]", dfa.tail_length);
    std::vector<std::string> tokens{"0"};
    std::vector<int> values{0};
    for (const rule_info& r : rules.rules) {
        tokens.push_back(r.token.empty() ? "0" : r.token == "byte" ? "-1" : r.token);
        values.push_back(r.sets_value ? 1 : 0);
    }
    write_array(out, "int", "rule_token", "[num_rules + 1]", tokens);
    write_array(out, "std::uint8_t", "rule_value", "[num_rules + 1]", values);
    // Dimensions appended piece by piece (GCC 12 sees a false overlap in
    // chained string concatenation).
    std::string states_by_row = "[num_states][";
    states_by_row += std::to_string(t.row_size);
    states_by_row += ']';
    write_array(out, "state_t", "next", states_by_row, t.next, static_cast<std::size_t>(t.row_size));
}

// The one-byte matches, as the code and value of their tokens.
void write_one_byte(std::ostringstream& out, const rule_set& rules, const automaton& dfa, const run_tables& t)
{
    out << "    struct one_byte_match {\n"
        << "        int code;            // the token, 0 for a rule written as code or none\n"
        << "        std::uint8_t value;  // the token's value is the byte\n"
        << "        std::uint8_t rule;   // 0: no one-byte match\n"
        << "        state_t state;       // the state after the byte\n"
        << "    };\n"
        << "    static constexpr one_byte_match one_byte[2][256] = {";
    for (int at_line_start = 0; at_line_start < 2; ++at_line_start) {
        out << "\n        {";
        for (int b = 0; b < 256; ++b) {
            const int r = t.one_byte_rule[static_cast<std::size_t>(at_line_start) * 256 + static_cast<std::size_t>(b)];
            std::string code = "0";
            int value = 0;
            if (r != 0) {
                const rule_info& ri = rules.rules[static_cast<std::size_t>(r - 1)];
                code = ri.token.empty() ? "0" : ri.token == "byte" ? std::to_string(b) : ri.token;
                value = ri.sets_value ? 1 : 0;
            }
            const int state =
                dfa.step(at_line_start ? automaton::start_line : automaton::start, static_cast<unsigned char>(b));
            out << (b % 8 == 0 ? "\n            " : " ") << '{' << code << ", " << value << ", " << r << ", " << state
                << "},";
        }
        out << "\n        },";
    }
    out << "\n    };\n";
}

// The functions of the struct: where a match starts, a transition, and the
// actions of the rules written as code.
void write_functions(std::ostringstream& out, const rule_set& rules, const run_tables& t, const std::string& out_name)
{
    out << "\n    static constexpr int table_bytes = " << t.bytes << ";\n\n"
        << "    // The state a match starts in.\n"
        << "    static constexpr int start(bool at_line_start)\n"
        << "    {\n"
        << "        return at_line_start ? start_state_at_line_start : start_state;\n"
        << "    }\n"
        << "    // The state after `state` on `byte`, 0 for none.\n"
        << "    static constexpr int next_state(int state, unsigned char byte) { return next[state][byte_class[byte]]; "
           "}\n\n"
        << "    // The actions of the rules written as code.  `yy` is all that they see\n"
        << "    // of the scanner; an action that does not return skips its match.\n"
        << "    template <class Match>\n"
        << "    static int action([[maybe_unused]] int rule, [[maybe_unused]] Match& yy)\n"
        << "    {\n";
    const bool any =
        std::any_of(rules.rules.begin(), rules.rules.end(), [](const rule_info& r) { return r.token.empty(); });
    if (any) {
        out << "        switch (rule) {\n";
        for (const rule_info& r : rules.rules) {
            if (!r.token.empty())
                continue;
            out << "        case " << r.number << ": {\n";
            if (!r.action.empty())
                write_code(out, "            " + r.action + "\n", r.action_line, rules.file_name, out_name);
            out << "        } break;\n";
        }
        out << "        default:\n"
            << "            break;\n"
            << "        }\n";
    }
    out << "        return " << scan_engine::skip << ";   // skipped\n"
        << "    }\n";
}

} // namespace

std::string emit_tables(const rule_set& rules, const automaton& dfa, const std::string& name_space,
                        const std::string& out_name)
{
    const run_tables t = make_run_tables(dfa);
    std::ostringstream out;
    write_head(out, rules, dfa, t, out_name);
    out << "\nnamespace " << name_space << " {\n\n"
        << "struct tables {\n";
    write_constants(out, rules, dfa, t);
    write_state_tables(out, rules, dfa, t);
    write_one_byte(out, rules, dfa, t);
    write_array(out, type_for(bytes_for(t.memo_planes)), "memo_plane", "[num_states]", t.memo_plane);
    write_functions(out, rules, t, out_name);
    out << "};\n\n"
        << "} // namespace " << name_space << "\n";
    return out.str();
}

} // namespace lexgen
