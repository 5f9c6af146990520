// The kinds of diagnostics trl-check reports: a code each (T001, ...), a
// title, and the text --explain prints, with an incorrect and a correct
// example.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace trl_check {

enum class code : unsigned char {
    unexpected_token,       // T001
    end_inside_turn,        // T002
    no_turn,                // T003
    foreign_character,      // T004
    non_ascii_byte,         // T005
    control_character,      // T006
    bad_identification,     // T007
    misplaced_empty_line,   // T008
    missing_blank,          // T009
    extra_blank,            // T010
    velmar_stack,           // W001
};

struct code_info {
    code kind;
    const char* id;            // "T001"
    bool warning;              // reported as a warning, not an error
    const char* title;         // a few words
    // Paragraphs, lines ending in '\n'.  Figures that follow from velmar's
    // stack limit are named, and explain() fills them in: {limit} (the
    // entries of the stack), {words} (the words of a turn that fills it),
    // {half} (half as many).
    const char* explanation;
    // Whole transliterations, unless empty: the incorrect one gets this code
    // as its first diagnostic, the correct one none at all.
    const char* incorrect;
    const char* correct;
    const char* example_note;   // said instead of the examples when they are empty
};

// Every code, in the order of their ids.
std::span<const code_info> catalogue();

const code_info& info(code kind);

// The entry of an id such as "T001" or "t001"; null when there is none.
const code_info* find_code(std::string_view id);

// What --explain prints for a code.
std::string explain(const code_info& entry);

} // namespace trl_check
