#include "wording.h"

#include <algorithm>

#include "grammar.h"
#include "stack_limit.h"
#include "text.h"

namespace trl_check {

namespace {

using grammar::tables;

bool starts_utf16(std::string_view source)
{
    return source.starts_with("\xFF\xFE") || source.starts_with("\xFE\xFF");
}

// The letters that the conventions write with a double quote.
struct umlaut {
    char32_t code_point;
    const char* letter;   // UTF-8
    const char* written;
};
constexpr umlaut umlauts[] = {{0xE4, "\xC3\xA4", "\"a"}, {0xF6, "\xC3\xB6", "\"o"}, {0xFC, "\xC3\xBC", "\"u"},
                              {0xDF, "\xC3\x9F", "\"s"}, {0xC4, "\xC3\x84", "\"A"}, {0xD6, "\xC3\x96", "\"O"},
                              {0xDC, "\xC3\x9C", "\"U"}};

const umlaut* umlaut_of(char32_t c)
{
    for (const umlaut& u : umlauts)
        if (u.code_point == c)
            return &u;
    return nullptr;
}

// "U+20AC": a code point as character tables name it.
std::string code_point_name(char32_t c)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "U+";
    const int width = c > 0xFFFF ? 6 : 4;
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
        out += digits[(c >> shift) & 15];
    return out;
}

// What a byte outside the conventions' alphabet at `offset` most likely is.
void byte_hints(std::string_view source, std::size_t offset, std::vector<std::string>& hints)
{
    const auto b = static_cast<unsigned char>(source[offset]);
    const std::string_view rest = source.substr(offset);
    if (offset == 0 && starts_utf16(source)) {
        hints.push_back("the file starts with a UTF-16 byte order mark: save it as plain ASCII text");
        return;
    }
    if (b == '\r') {
        if (rest.size() > 1 && rest[1] == '\n')
            hints.push_back("Windows line ends (CR LF): the conventions end a line with LF alone; convert the file");
        else
            hints.push_back("a carriage return: the conventions end a line with LF alone");
        return;
    }
    if (b == '\t') {
        hints.push_back("a tab: the conventions separate the elements of a turn by one blank");
        return;
    }
    if (b == 0) {
        hints.push_back(starts_utf16(source) ? "the file is UTF-16 encoded: save it as plain ASCII text"
                                           : "a NUL byte: is this a binary file?");
        return;
    }
    if (b < 0x80)
        return;
    if (offset == 0 && rest.starts_with("\xEF\xBB\xBF")) {
        hints.push_back("a UTF-8 byte order mark at the start of the file: remove it");
        return;
    }
    if (const text::utf8_char u = text::decode_utf8(rest); u.length > 1) {
        std::string bytes;
        for (std::size_t i = 0; i < u.length; ++i) {
            bytes += i ? " " : "";
            bytes += text::hex_byte(static_cast<unsigned char>(rest[i]));
        }
        if (const umlaut* letter = umlaut_of(u.code_point))
            hints.push_back("bytes " + bytes + " are the letter " + letter->letter +
                            " in UTF-8; the conventions write " + letter->written);
        else
            hints.push_back("bytes " + bytes + " are the character " + code_point_name(u.code_point) +
                            " in UTF-8; the conventions use ASCII only");
        return;
    }
    if (const umlaut* letter = umlaut_of(b)) {
        hints.push_back("byte " + text::hex_byte(b) + " is the letter " + letter->letter +
                        " in Latin-1; the conventions write " + letter->written);
        return;
    }
    hints.push_back("the conventions use ASCII only");
}

std::size_t line_start_of(std::string_view source, std::size_t offset)
{
    const std::size_t nl = offset == 0 ? std::string_view::npos : source.rfind('\n', offset - 1);
    return nl == std::string_view::npos ? 0 : nl + 1;
}

bool expects(const finding& f, int terminal)
{
    return std::find(f.expected.begin(), f.expected.end(), terminal) != f.expected.end();
}

void kind_hints(const finding& f, std::string_view source, diagnostic& d)
{
    const std::string_view bytes = source.substr(f.offset, f.length);
    const bool ends_with_newline = source.ends_with('\n');
    const bool outside_turns = f.where != finding::place::in_turn;
    switch (d.kind) {
    case code::end_inside_turn:
        if (expects(f, grammar::end_terminal))
            d.hints.push_back(ends_with_newline
                                  ? "the file does not end its last turn with an empty line: add one at the end"
                                  : "the last line has no line end: end it, and end the file with an empty line");
        else if (!ends_with_newline)
            d.hints.push_back("the file ends in the middle of a line");
        else
            d.hints.push_back("the last turn is not complete: it ends with '.' or '?' after a blank (or with an "
                              "event), then an empty line");
        break;
    case code::no_turn:
        d.hints.push_back(source.empty() ? "the file is empty" : "the file holds nothing but comments");
        break;
    case code::misplaced_empty_line:
        if (outside_turns)
            d.hints.push_back("exactly one empty line follows each turn, and none comes before the first");
        else
            d.hints.push_back("a turn ends with a blank and '.' or '?' after its last word (or with an event) before "
                              "its empty line");
        break;
    case code::missing_blank:
        if (bytes == "." || bytes == "?" || bytes == ",")
            d.hints.push_back("punctuation is separated from the word before it by one blank: \"ja .\", not \"ja.\"");
        break;
    case code::extra_blank: {
        const std::size_t line_start = line_start_of(source, f.offset);
        const std::size_t eol = std::min(source.find('\n', f.offset), source.size());
        if (source.substr(line_start, eol - line_start).find_first_not_of(' ') == std::string_view::npos)
            d.hints.push_back("this line holds nothing but blanks: an empty line must be empty");
        else if (f.offset > 0 && source[f.offset - 1] == ' ')
            d.hints.push_back("two blanks in a row: the conventions separate the elements of a turn by one blank");
        break;
    }
    case code::foreign_character:
    case code::non_ascii_byte:
    case code::control_character:
        byte_hints(source, f.offset, d.hints);
        break;
    default:
        break;
    }
    // A comment that the scanner did not take as one: "<;" whose '>' is
    // missing or not followed by a blank, or ';' inside a line.
    const bool after_angle = f.offset > 0 && source[f.offset - 1] == '<';
    if ((bytes == "<" && source.substr(f.offset + 1).starts_with(';')) || (bytes == ";" && after_angle))
        d.hints.push_back("'<;' begins a bracketed comment only when '>' and a blank (or a line end and a blank) "
                          "close it");
    else if (bytes == ";" && f.offset != line_start_of(source, f.offset))
        d.hints.push_back("';' begins a comment line only at the beginning of a line");
}

} // namespace

std::string_view terminal_words(int terminal)
{
    if (terminal == 0)
        return "the end of the text";
    const std::string_view words = tables::symbol_description[terminal];
    return words == "'\\''" ? std::string_view("an apostrophe (')") : words;
}

std::string found_words(std::string_view bytes)
{
    if (bytes.empty())
        return "the end of the text";
    // The scanner skips every newline but one at the start of a line.
    if (bytes == "\n")
        return "an empty line";
    if (bytes == " ")
        return "a blank";
    if (bytes.size() == 1) {
        const auto b = static_cast<unsigned char>(bytes[0]);
        if (b == '\r')
            return "a carriage return (CR)";
        if (b == '\t')
            return "a tab";
        if (b == 0)
            return "a NUL byte";
        if (b == '\\')
            return "a backslash";
        if (b < 0x20 || b == 0x7F)
            return "control character " + text::hex_byte(b);
        if (b >= 0x80)
            return "byte " + text::hex_byte(b);
    }
    std::string quoted(1, '\'');
    quoted += text::escape_bytes(bytes);
    quoted += '\'';
    return quoted;
}

code choose_code(const finding& f, std::string_view source)
{
    if (f.what == finding::kind::velmar_stack)
        return code::velmar_stack;
    const bool at_start = f.where == finding::place::start_of_text;
    const bool between = f.where == finding::place::between_turns;
    const bool identification = between || grammar::is_identification_part(f.construct);
    if (f.token == 0)
        return at_start ? code::no_turn : code::end_inside_turn;
    if (tables::translate(f.token) == tables::undefined_terminal) {
        const auto b = static_cast<unsigned char>(source[f.offset]);
        return b >= 0x80                                                  ? code::non_ascii_byte
               : b < 0x20 || b == 0x7F || f.token == TRL_UNDEFINED_TOKEN ? code::control_character
                                                                         : code::foreign_character;
    }
    if (f.token == WS)
        return code::extra_blank;
    if (f.token == END)
        return identification && !between ? code::bad_identification : code::misplaced_empty_line;
    if (identification || at_start)
        return code::bad_identification;
    if (f.after_blank || (f.expected.size() == 1 && f.expected[0] == grammar::blank_terminal))
        return code::missing_blank;
    return code::unexpected_token;
}

void word(const finding& f, std::string_view source, diagnostic& d)
{
    const std::string_view bytes = source.substr(f.offset, f.length);
    d.kind = choose_code(f, source);
    d.found = text::escape_bytes(bytes);
    const std::string title = info(d.kind).title;

    if (f.what == finding::kind::velmar_stack) {
        d.context = tables::symbol_description[f.construct];
        d.message = title + ": velmar's parser stack (" + std::to_string(velmar_stack_limit) +
                    " entries) overflows at " + found_words(bytes) + "; velmar stops here, trl-check checks on";
        d.hints.push_back("split the turn where a pause or a sentence ends");
        return;
    }

    for (const int t : f.expected)
        d.expected.push_back(terminal_words(t));
    const bool at_start = f.where == finding::place::start_of_text;
    d.context = f.construct ? std::string_view(tables::symbol_description[f.construct])
                : at_start  ? std::string_view("start of the text")
                            : std::string_view("space between turns");
    const std::string where = f.construct ? " in the " + std::string(d.context)
                              : at_start  ? std::string(" before the first turn")
                                          : std::string(" between turns");
    if (d.kind == code::end_inside_turn)   // the title says what happened
        d.message = title + "," + where;
    else
        d.message =
            title + ": " + (bytes.empty() ? std::string("the text ends") : "found " + found_words(bytes)) + where;
    kind_hints(f, source, d);
}

} // namespace trl_check
