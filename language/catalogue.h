// The kinds of diagnostics trl-check reports: a code each (T001, ...), a
// title, and the text --explain prints, with an incorrect and a correct
// example.  The table is constant and visible at compile time, so that
// other tables keyed by code (the fixes) are checked against it when they
// are built.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace trl {

enum class code : unsigned char {
    unexpected_token,     // T001
    end_inside_turn,      // T002
    no_turn,              // T003
    foreign_character,    // T004
    non_ascii_byte,       // T005
    control_character,    // T006
    bad_identification,   // T007
    misplaced_empty_line, // T008
    missing_blank,        // T009
    extra_blank,          // T010
    unknown_tag,          // T011
    unclosed_tag,         // T012
    missing_empty_line,   // T013
    velmar_stack,         // W001
    repeated_turn,        // W002
    turn_order,           // W003
    several_dialogs,      // W004
    file_name,            // W005
};

struct code_info {
    code kind;
    const char* id; // "T001"
    bool warning;   // reported as a warning, not an error
    // A finding about the corpus rather than the grammar: reported after a
    // file's other diagnostics, and as an error with --strict.
    bool consistency;
    const char* title; // a few words
    // Paragraphs, lines ending in '\n'.  Figures that follow from velmar's
    // stack limit are named, and explain() fills them in: {limit} (the
    // entries of the stack), {words} (the words of a turn that fills it),
    // {half} (half as many).
    const char* explanation;
    // Whole transliterations, unless empty: the incorrect one gets this code
    // as its first diagnostic, the correct one none at all, both checked as
    // a file named `example_file`.
    const char* incorrect;
    const char* correct;
    const char* example_note; // said instead of the examples when they are empty
    const char* example_file = "example.trl";
};

namespace catalogue_detail {

// The identification that every example turn starts with.
#define TURN "g012abc3_001_ABC_000000: "

inline constexpr std::array<code_info, 18> entries = {{
    {code::unexpected_token, "T001", false, false, "unexpected element",
     "What stands at this position cannot continue the turn: the\n"
     "conventions allow nothing of its kind here.  The message names what\n"
     "was found, the construct being read, and everything that could have\n"
     "come instead.\n"
     "A turn is a chain of words, events, pauses, repairs and false starts,\n"
     "each followed by one blank, with punctuation separated from the word\n"
     "before it by a blank.  After an error the check goes on at the next\n"
     "blank before a word or a tag of the same turn, or with the next turn.\n",
     TURN "ja , , so .\n\n", TURN "ja , so .\n\n", ""},
    {code::end_inside_turn, "T002", false, false, "the text ends inside a turn",
     "The text ends before its last turn is complete.  Every turn ends\n"
     "with its final punctuation (or an event, or '<*T>t') and an empty\n"
     "line, the last turn of a file too: a file ends with a line break and\n"
     "then an empty line.  A file cut off in the middle of a turn gets this\n"
     "error as well.\n",
     TURN "ja , so .\n", TURN "ja , so .\n\n", ""},
    {code::no_turn, "T003", false, false, "the text holds no turn",
     "A transliteration holds at least one turn.  The text is empty, or\n"
     "holds nothing but comment lines (lines beginning with ';') and\n"
     "bracketed comments.\n",
     "; recorded 12 May, not yet transliterated\n", "; recorded 12 May\n" TURN "ja .\n\n", ""},
    {code::foreign_character, "T004", false, false, "character outside the conventions' alphabet",
     "The conventions write words with the letters a-z and A-Z, umlauts\n"
     "as \"a \"o \"u \"s \"A \"O \"U, digits only in identifications and\n"
     "speaker marks, and a fixed set of punctuation and tag characters.\n"
     "This character belongs to none of them (brackets, '!', '&', a '\"'\n"
     "that no a, o, u, s, A, O or U follows, ...), or it is a character\n"
     "that marks the start of a word ('~', '#', '*', '$') written inside\n"
     "a word.\n",
     TURN "ja & so .\n\n", TURN "ja und so .\n\n", ""},
    {code::non_ascii_byte, "T005", false, false, "byte outside ASCII",
     "A byte 0x80-0xFF: the conventions are plain ASCII.  Most often it is\n"
     "an umlaut or sharp s typed as a UTF-8 or Latin-1 letter; the\n"
     "conventions write them \"a \"o \"u \"s (and \"A \"O \"U).  A UTF-8\n"
     "byte order mark at the start of a file gives this error too, once:\n"
     "the rest of the file is checked as if it were not there.\n"
     "trl-check --fix writes these letters and removes the byte order mark.\n",
     TURN "sch\xC3\xB6n .\n\n", TURN "sch\"on .\n\n", ""},
    {code::control_character, "T006", false, false, "control character",
     "A control character: a carriage return (a file with Windows line\n"
     "ends, CR LF, where the conventions end lines with LF alone), a tab\n"
     "(words are separated by one blank), a NUL byte (a binary or UTF-16\n"
     "file) or another byte below 0x20.  trl-check --fix ends the lines\n"
     "with LF alone; with --unsafe-fixes it writes a blank for a tab.\n",
     TURN "ja .\r\n\r\n", TURN "ja .\n\n", ""},
    {code::bad_identification, "T007", false, false, "malformed turn identification",
     "Each turn begins with its identification: the dialog name (a small\n"
     "letter, three digits, three small letters, a digit, '_'), the turn\n"
     "number (three digits, '_'), the speaker code (three capitals or two\n"
     "capitals and a digit, '_'), a six-digit CD-ROM number, ':' and one\n"
     "blank, then optionally a language marker such as '<*tGER> '.  A\n"
     "digit is '0' or 1-9.  The message says which part is wrong and what\n"
     "shape it has.\n",
     "g012abc3_001_ABC_00000: ja .\n\n", "g012abc3_001_ABC_000000: ja .\n\n", ""},
    {code::misplaced_empty_line, "T008", false, false, "empty line in the wrong place",
     "An empty line ends a turn, and only a complete turn: one whose last\n"
     "word is followed by a blank and '.' or '?' (or by '<*T>t'), or whose\n"
     "last element is an event.  Exactly one empty line follows each turn:\n"
     "no empty line before the first turn, and none doubled.\n",
     TURN "ja so\n\n", TURN "ja so .\n\n", ""},
    {code::missing_blank, "T009", false, false, "missing blank",
     "A blank is missing before this character or element: only a blank\n"
     "can follow here, or what was found would be right after a blank.\n"
     "Every word, event, pause and punctuation mark inside a turn is\n"
     "followed by exactly one blank, and punctuation is separated from the\n"
     "word before it: \"ja .\", not \"ja.\".  trl-check --fix --unsafe-fixes\n"
     "puts the blank in before punctuation.\n",
     TURN "ja.\n\n", TURN "ja .\n\n", ""},
    {code::extra_blank, "T010", false, false, "blank not allowed here",
     "A blank where none belongs: two blanks in a row, a blank before the\n"
     "first word of a turn other than the one after ':', or a blank inside\n"
     "a word or tag.  The conventions separate the elements of a turn by\n"
     "exactly one blank.  trl-check --fix --unsafe-fixes makes two blanks\n"
     "one.\n",
     TURN "ja  so .\n\n", TURN "ja so .\n\n", ""},
    {code::unknown_tag, "T011", false, false, "unknown tag",
     "A '<' begins a tag that the conventions do not know.  The known tags\n"
     "are the hesitations (<ah>, <hm>, ...), the speaker noises (<Husten>,\n"
     "<Lachen>, ...), the technical noises (<#Klopfen>, ...), breathing\n"
     "(<A>, <B>), pauses (<P>), length marks (<L>, <Z>) and the other tags\n"
     "of the conventions; letter case counts.  When one known tag is\n"
     "nearest to what was written (two letters or fewer apart), the message\n"
     "names it, and trl-check --fix --unsafe-fixes writes it instead.\n",
     TURN "ja <Hust> so .\n\n", TURN "ja <Husten> so .\n\n", ""},
    {code::unclosed_tag, "T012", false, false, "unclosed tag",
     "A '<' begins a tag that is not closed with '>' before the next blank,\n"
     "the end of the line or the end of the turn.\n",
     TURN "ja <Lachen so .\n\n", TURN "ja <Lachen> so .\n\n", ""},
    {code::missing_empty_line, "T013", false, false, "missing empty line",
     "A line begins with a turn identification while the turn before it has\n"
     "not ended: the empty line that ends a turn is missing before it.  The\n"
     "check goes on with the new turn as if the empty line were there.\n"
     "trl-check --fix --unsafe-fixes puts the empty line in.\n",
     TURN "ja .\ng012abc3_002_ABC_000000: so .\n\n", TURN "ja .\n\ng012abc3_002_ABC_000000: so .\n\n", ""},
    {code::velmar_stack, "W001", true, false, "turn too long for velmar",
     "velmar keeps an entry on its parser stack for every element of a\n"
     "turn until the turn ends, and stops with \"parser stack overflow\"\n"
     "when the stack reaches {limit} entries: a turn of about {words} words.\n"
     "trl-check has no such limit, checks the turn to its end, and warns at\n"
     "the element where velmar would stop.  Split the turn, or check the file\n"
     "with trl-check alone.\n",
     "", "",
     "A turn of {words} words gets this warning; the same turn split into two\n"
     "turns of {half} words does not.\n"},
    {code::repeated_turn, "W002", true, true, "turn identification used twice",
     "Two turns have the same identification (dialog name, turn number,\n"
     "speaker code and CD-ROM number), in one file or in two files of the\n"
     "same run.  The warning stands at the second and names the first;\n"
     "a third use in the same file is not warned about again.\n",
     "g012abc3_001_ABC_000000: ja .\n\ng012abc3_001_ABC_000000: so .\n\n",
     "g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_ABC_000000: so .\n\n", ""},
    {code::turn_order, "W003", true, true, "turn numbers not increasing",
     "Within a dialog the turns of a file follow each other by increasing\n"
     "turn number.  The warning stands at the first turn whose number is not\n"
     "greater than that of the turn of its dialog before it, and counts the\n"
     "others of the file.  When the turn before it alone stands out of an\n"
     "order that holds without it (040 between 003 and 005, a mistyped 004),\n"
     "the warning stands at that turn instead.\n",
     "g012abc3_002_ABC_000000: ja .\n\ng012abc3_001_XYZ_000000: so .\n\n",
     "g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_XYZ_000000: so .\n\n", ""},
    {code::several_dialogs, "W004", true, true, "more than one dialog in a file",
     "All turns of a file belong to one dialog: they have the same dialog\n"
     "name.  The warning stands at the first turn of another dialog (once\n"
     "for each file).\n",
     "g012abc3_001_ABC_000000: ja .\n\ng013abc3_002_ABC_000000: so .\n\n",
     "g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_ABC_000000: so .\n\n", ""},
    {code::file_name, "W005", true, true, "file name differs from the dialog name",
     "A file whose name (without its suffix) has the shape of a dialog name\n"
     "holds the turns of that dialog.  The warning stands at the first turn\n"
     "of another dialog.\n",
     TURN "ja .\n\n", "g012abd3_001_ABC_000000: ja .\n\n", "", "g012abd3.trl"},
}};

#undef TURN

constexpr bool in_code_order()
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (static_cast<std::size_t>(entries[i].kind) != i)
            return false;
    return true;
}
static_assert(in_code_order(), "the catalogue lists the codes in the order of the enumeration");

} // namespace catalogue_detail

// Every code, in the order of their ids.
constexpr std::span<const code_info> catalogue()
{
    return catalogue_detail::entries;
}

constexpr const code_info& info(code kind)
{
    return catalogue_detail::entries[static_cast<std::size_t>(kind)];
}

// The code whose id is `id` ("T009"), at compile time: an id that the
// catalogue does not have stops the build.
consteval code code_of(std::string_view id)
{
    for (const code_info& e : catalogue_detail::entries)
        if (std::string_view(e.id) == id)
            return e.kind;
    throw "no such code in the catalogue";
}

// A count for each code of the catalogue, indexed by the code.
using code_counts = std::array<long, catalogue_detail::entries.size()>;

// The entry of an id such as "T001" or "t001"; null when there is none.
const code_info* find_code(std::string_view id);

// What --explain prints for a code.
std::string explain(const code_info& entry);

} // namespace trl
