#include "catalogue.h"

#include <array>
#include <utility>

#include "stack_limit.h"
#include "text.h"

namespace trl_check {

namespace {

// The identification that every example turn starts with.
#define TURN "g012abc3_001_ABC_000000: "

constexpr std::array<code_info, 11> entries = {{
    {code::unexpected_token, "T001", false, "unexpected element",
     "What stands at this position cannot continue the turn: the\n"
     "conventions allow nothing of its kind here.  The message names what\n"
     "was found, the construct being read, and everything that could have\n"
     "come instead.\n"
     "A turn is a chain of words, events, pauses, repairs and false starts,\n"
     "each followed by one blank, with punctuation separated from the word\n"
     "before it by a blank.  After an error the check skips to the end of\n"
     "the turn (the next empty line) and goes on with the next turn.\n",
     TURN "ja , , so .\n\n", TURN "ja , so .\n\n", ""},
    {code::end_inside_turn, "T002", false, "the text ends inside a turn",
     "The text ends before its last turn is complete.  Every turn ends\n"
     "with its final punctuation (or an event, or '<*T>t') and an empty\n"
     "line, the last turn of a file too: a file ends with a line break and\n"
     "then an empty line.  A file cut off in the middle of a turn gets this\n"
     "error as well.\n",
     TURN "ja , so .\n", TURN "ja , so .\n\n", ""},
    {code::no_turn, "T003", false, "the text holds no turn",
     "A transliteration holds at least one turn.  The text is empty, or\n"
     "holds nothing but comment lines (lines beginning with ';') and\n"
     "bracketed comments.\n",
     "; recorded 12 May, not yet transliterated\n", "; recorded 12 May\n" TURN "ja .\n\n", ""},
    {code::foreign_character, "T004", false, "character outside the conventions' alphabet",
     "The conventions write words with the letters a-z and A-Z, umlauts\n"
     "as \"a \"o \"u \"s \"A \"O \"U, digits only in identifications and\n"
     "speaker marks, and a fixed set of punctuation and tag characters.\n"
     "This character belongs to none of them (brackets, '!', '&', '\"'\n"
     "without a vowel, ...).\n",
     TURN "ja & so .\n\n", TURN "ja und so .\n\n", ""},
    {code::non_ascii_byte, "T005", false, "byte outside ASCII",
     "A byte 0x80-0xFF: the conventions are plain ASCII.  Most often it is\n"
     "an umlaut or sharp s typed as a UTF-8 or Latin-1 letter; the\n"
     "conventions write them \"a \"o \"u \"s (and \"A \"O \"U).  A UTF-8\n"
     "byte order mark at the start of a file gives this error too.\n",
     TURN "sch\xC3\xB6n .\n\n", TURN "sch\"on .\n\n", ""},
    {code::control_character, "T006", false, "control character",
     "A control character: a carriage return (a file with Windows line\n"
     "ends, CR LF, where the conventions end lines with LF alone), a tab\n"
     "(words are separated by one blank), a NUL byte (a binary or UTF-16\n"
     "file) or another byte below 0x20.\n",
     TURN "ja .\r\n\r\n", TURN "ja .\n\n", ""},
    {code::bad_identification, "T007", false, "malformed turn identification",
     "Each turn begins with its identification: the dialog name (a small\n"
     "letter, three digits, three small letters, a digit, '_'), the turn\n"
     "number (three digits, '_', three capitals or two capitals and a\n"
     "digit, '_'), a six-digit CD-ROM number, ':' and one blank, then\n"
     "optionally a language marker such as '<*tGER> '.  A digit is '0' or\n"
     "1-9.\n",
     "g012abc3_001_ABC_00000: ja .\n\n", "g012abc3_001_ABC_000000: ja .\n\n", ""},
    {code::misplaced_empty_line, "T008", false, "empty line in the wrong place",
     "An empty line ends a turn, and only a complete turn: one whose last\n"
     "word is followed by a blank and '.' or '?' (or by '<*T>t'), or whose\n"
     "last element is an event.  Exactly one empty line follows each turn:\n"
     "no empty line before the first turn, and none doubled.\n",
     TURN "ja so\n\n", TURN "ja so .\n\n", ""},
    {code::missing_blank, "T009", false, "missing blank",
     "A blank is missing before this character or element: only a blank\n"
     "can follow here, or what was found would be right after a blank.  Every word, event,\n"
     "pause and punctuation mark inside a turn is followed by exactly one\n"
     "blank, and punctuation is separated from the word before it:\n"
     "\"ja .\", not \"ja.\".\n",
     TURN "ja.\n\n", TURN "ja .\n\n", ""},
    {code::extra_blank, "T010", false, "blank not allowed here",
     "A blank where none belongs: two blanks in a row, a blank before the\n"
     "first word of a turn other than the one after ':', or a blank inside\n"
     "a word or tag.  The conventions separate the elements of a turn by\n"
     "exactly one blank.\n",
     TURN "ja  so .\n\n", TURN "ja so .\n\n", ""},
    {code::velmar_stack, "W001", true, "turn too long for velmar",
     "velmar keeps an entry on its parser stack for every element of a\n"
     "turn until the turn ends, and stops with \"parser stack overflow\"\n"
     "when the stack reaches {limit} entries: a turn of about {words} words.\n"
     "trl-check has no such limit, checks the turn to its end, and warns at\n"
     "the element where velmar would stop.  Split the turn, or check the file\n"
     "with trl-check alone.\n",
     "", "",
     "A turn of {words} words gets this warning; the same turn split into two\n"
     "turns of {half} words does not.\n"},
}};

#undef TURN

// One line of an example, indented, its bytes by the escaping rule.
void show_line(std::string& out, std::string_view line)
{
    out += "    ";
    out += text::escape_bytes(line);
    out += '\n';
}

// The figures that explanations name, from velmar's stack limit: {limit}
// entries, which hold a turn of about {words} words (a word and its blank
// take two), and {half}, half such a turn.
std::string with_figures(std::string_view s)
{
    static constexpr std::pair<std::string_view, int> figures[] = {
        {"{limit}", velmar_stack_limit}, {"{words}", velmar_stack_limit / 2}, {"{half}", velmar_stack_limit / 4}};
    std::string out;
    while (!s.empty()) {
        const std::size_t open = s.find('{');
        out += s.substr(0, open);
        if (open == std::string_view::npos)
            break;
        s.remove_prefix(open);
        bool named = false;
        for (const auto& [name, value] : figures)
            if (s.starts_with(name)) {
                out += std::to_string(value);
                s.remove_prefix(name.size());
                named = true;
            }
        if (!named) {
            out += '{';
            s.remove_prefix(1);
        }
    }
    return out;
}

void show_example(std::string& out, const char* title, std::string_view text)
{
    out += title;
    out += '\n';
    // One line per line of the file; an empty line shows as such, and a
    // file whose last line has no line end is said to be so.
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos) {
            show_line(out, text.substr(at));
            out += "    (no line end)\n";
            return;
        }
        if (nl == at)
            out += "    (an empty line)\n";
        else
            show_line(out, text.substr(at, nl - at));
        at = nl + 1;
    }
    if (text.empty())
        out += "    (an empty file)\n";
}

} // namespace

std::span<const code_info> catalogue()
{
    return entries;
}

const code_info& info(code kind)
{
    return entries[static_cast<std::size_t>(kind)];
}

const code_info* find_code(std::string_view id)
{
    for (const code_info& e : entries) {
        const std::string_view own = e.id;
        if (own.size() != id.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < own.size() && same; ++i)
            same = own[i] == (id[i] >= 'a' && id[i] <= 'z' ? static_cast<char>(id[i] - 'a' + 'A') : id[i]);
        if (same)
            return &e;
    }
    return nullptr;
}

std::string explain(const code_info& e)
{
    std::string out = std::string(e.id) + " (" + (e.warning ? "warning" : "error") + "): " + e.title + "\n\n";
    out += with_figures(e.explanation);
    if (*e.incorrect || *e.correct) {
        out += '\n';
        show_example(out, "Incorrect:", e.incorrect);
        out += '\n';
        show_example(out, "Correct:", e.correct);
    } else {
        out += '\n';
        out += with_figures(e.example_note);
    }
    return out;
}

} // namespace trl_check
