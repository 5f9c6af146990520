// The symbols and states of velmar's grammar that trl-check looks at, found
// by name in the generated tables so that they follow the grammar.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "lex.trl.tables.h"
#include "parse_engine.h"
#include "velmar.tab.h"

namespace trl::grammar {

using tables = trl_lalr::tables;

// The number of the grammar's symbol written `name`, -1 for none.
constexpr int symbol_named(std::string_view name)
{
    return trl_engine::symbol_named<tables>(name);
}

inline constexpr int multiple_turns = symbol_named("multiple_turns");
static_assert(multiple_turns >= tables::num_terminals, "the grammar's list of turns is multiple_turns");
// The state between two turns: a list of turns on the stack, the next turn
// or the end of the text to come.
inline constexpr int between_turns_state = tables::goto_state(0, multiple_turns);

inline constexpr int turn_symbol = symbol_named("turn");
static_assert(turn_symbol > 0);

// The constructs of a turn identification.
inline constexpr std::array<int, 4> identification_parts = {symbol_named("turn_identification"),
                                                            symbol_named("dialog_name"), symbol_named("turn_number"),
                                                            symbol_named("cdrom_number")};
static_assert(identification_parts[0] > 0 && identification_parts[1] > 0 && identification_parts[2] > 0 &&
              identification_parts[3] > 0);

constexpr bool is_identification_part(int symbol)
{
    for (const int part : identification_parts)
        if (symbol == part)
            return true;
    return false;
}

// The tokens an identification is made of.  Where the parse could go on
// with any other, the identification is complete (only its optional
// language marker may still come) and the turn's text is being read.
inline constexpr std::array<int, 8> identification_tokens = {
    tables::translate(L),  tables::translate(N),   tables::translate('0'), tables::translate('_'),
    tables::translate(MC), tables::translate(':'), tables::translate(WS),  tables::translate(MRKA)};

inline constexpr int end_terminal = tables::translate(END);
inline constexpr int blank_terminal = tables::translate(WS);

// Whether the scanner ever returns a token of this terminal: single bytes
// and the end of the text always can; a named token only if a rule makes
// it.  Expected sets leave out those it never makes (NEWLINE, ...).
inline constexpr std::array<bool, tables::num_terminals> produced = [] {
    std::array<bool, tables::num_terminals> p{};
    p[0] = true;
    for (int code = 1; code <= tables::max_code; ++code) {
        const int t = tables::translate(code);
        if (t <= tables::undefined_terminal)
            continue;
        bool made = code < 256;
        for (int r = 0; r <= trl_dfa::tables::num_rules && !made; ++r)
            made = trl_dfa::tables::rule_token[r] == code;
        p[static_cast<std::size_t>(t)] = p[static_cast<std::size_t>(t)] || made;
    }
    return p;
}();

} // namespace trl::grammar
