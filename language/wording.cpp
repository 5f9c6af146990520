#include "language/wording.h"

#include <algorithm>
#include <array>
#include <optional>

#include "language/grammar.h"
#include "language/text_scanner.h"
#include "checker/stack_limit.h"
#include "language/tags.h"
#include "common/text.h"
#include "language/turn_id.h"
#include "language/umlauts.h"

namespace trl {

namespace {

using grammar::tables;

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
    if (offset == 0 && rest.starts_with(utf8_byte_order_mark)) {
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
            hints.push_back("bytes " + bytes + " are the letter " + std::string(letter->utf8) +
                            " in UTF-8; the conventions write " + std::string(letter->written));
        else
            hints.push_back("bytes " + bytes + " are the character " + code_point_name(u.code_point) +
                            " in UTF-8; the conventions use ASCII only");
        return;
    }
    if (const umlaut* letter = umlaut_of(b)) {
        hints.push_back("byte " + text::hex_byte(b) + " is the letter " + std::string(letter->utf8) +
                        " in Latin-1; the conventions write " + std::string(letter->written));
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

bool is_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A tag as written after a '<' that the scanner took as a byte of its own:
// "<Hust>" (closed) or "<Lachen" (up to a blank, a line end or another
// '<').
struct written_tag {
    std::size_t begin = 0; // the '<'
    std::size_t end = 0;   // after the '>', or after the last byte of an unclosed tag
    bool closed = false;
    // Known, but only with a blank after it ("<PP> "): the scanner skips
    // it whole, so it stands for nothing without its blank.
    bool needs_blank = false;
};

// The tag at the offending token: the token is such a '<', or comes right
// after one (the grammar takes a '<' before a speaker mark, so the parse
// stops at the byte after it).  No other token ends with '<', and skipped
// text ends with a blank or before a line end, so a '<' just before the
// token is a token of its own.
std::optional<written_tag> tag_at(const finding& f, std::string_view source)
{
    constexpr std::size_t longest = 64; // longer is no tag
    std::size_t lt;
    if (f.length == 1 && source[f.offset] == '<')
        lt = f.offset;
    else if (f.offset > 0 && source[f.offset - 1] == '<' && f.token != WS && f.token != END)
        lt = f.offset - 1;
    else
        return std::nullopt;
    std::size_t end = lt + 1;
    while (end < source.size() && end - lt < longest &&
           std::string_view(" \n\r\t<>").find(source[end]) == std::string_view::npos)
        ++end;
    const std::string_view name = source.substr(lt + 1, end - lt - 1);
    // A comment that did not end as one, a speaker-marked event ("<@1"),
    // or a '<' alone: no tag.
    if (name.starts_with(';') || name.starts_with('@') || (!name.empty() && name[0] >= '0' && name[0] <= '9'))
        return std::nullopt;
    written_tag t{lt, end, end < source.size() && source[end] == '>'};
    if (t.closed) {
        ++t.end;
    } else if (name.empty()) {
        return std::nullopt;
    }
    if (t.closed) {
        // Skipped whole with a blank after it?
        std::string probe(source.substr(lt, t.end - lt));
        probe += ' ';
        trl_text_scanner s;
        trl_text_scanner_start(s, probe.data(), probe.size());
        t.needs_blank = trl_text_scan(s) == 0;
    }
    return t;
}

// A byte that begins a word ("~ja", "#ja", "*ja", "$A") is foreign to the
// inside of a word: after a letter it is taken for what it is, not for a
// missing blank.
bool word_start_inside_word(const finding& f, std::string_view source)
{
    if (f.length != 1 || f.offset == 0 || !is_letter(source[f.offset - 1]))
        return false;
    const char c = source[f.offset];
    return c == '~' || c == '#' || c == '*' || c == '$';
}

// A turn identification (a dialog name and its '_') at the start of a line
// where the turn before it could have ended: the empty line that would
// have ended it is missing.
bool begins_unended_turn(const finding& f, std::string_view source)
{
    constexpr std::size_t dialog_name = turn_id::dialog_part.size;
    return f.where == finding::place::in_turn && f.offset > 0 && source[f.offset - 1] == '\n' &&
           expects(f, grammar::end_terminal) && source.size() - f.offset > dialog_name &&
           turn_id::is_dialog_name(source.substr(f.offset, dialog_name)) && source[f.offset + dialog_name] == '_';
}

// What the part of a turn identification that holds the turn's token
// `token` must look like: the identification is one token a byte, laid out
// as turn_id says, then ':' and a blank.
std::string_view identification_part(int token)
{
    if (token < 0)
        return {};
    const auto index = static_cast<std::size_t>(token);
    const auto end = [](turn_id::part p) { return p.at + p.size; };
    if (index <= end(turn_id::dialog_part))
        return "the dialog name is a small letter, three digits, three small letters and a digit, then '_' (such as "
               "g012abc3_)";
    if (index < end(turn_id::number_part))
        return "the turn number is three digits (such as 001)";
    if (index == end(turn_id::number_part))
        return "'_' follows the turn number";
    if (index < end(turn_id::speaker_part))
        return "the speaker code is three capital letters (or two and a digit)";
    if (index == end(turn_id::speaker_part))
        return "'_' follows the speaker code";
    if (index < end(turn_id::cdrom_part))
        return "the CD-ROM number is six digits";
    if (index == turn_id::size)
        return "':' follows the six digits of the CD-ROM number";
    if (index == turn_id::size + 1)
        return "one blank follows the ':'";
    return {};
}

// What could come, in the words of a transcriber: groups of terminals, in
// the order they are shown.  Letters are "a letter" inside a word and "a
// word" where one begins.
struct plain_group {
    std::string_view words;
    std::array<int, 10> codes; // token codes; -1 fills
};

constexpr int none = -1;
constexpr std::string_view letter_words = "a letter";
constexpr std::string_view word_words = "a word";
constexpr plain_group plain_groups[] = {
    {"a blank", {WS, none, none, none, none, none, none, none, none, none}},
    {letter_words, {MC, UML_MC, L, UML_L, none, none, none, none, none, none}},
    {"punctuation ('.', '?' or ',')", {'.', '?', ',', none, none, none, none, none, none, none}},
    {"the end of the turn (an empty line)", {END, none, none, none, none, none, none, none, none, none}},
    {"the end of the text", {0, none, none, none, none, none, none, none, none, none}},
    {"a tag (such as <P> or <Husten>)", {HSALL, MGER, TGER, ATM, UVS, PAU, TAB, TABT, '<', none}},
    {"a length mark (<L> or <Z>)", {ZOG, none, none, none, none, none, none, none, none, none}},
    {"a speaker mark (such as @1 or 1@)", {SPA, SPP, none, none, none, none, none, none, none, none}},
    {"a mark of the word (such as '--' or '=')", {KOM, TAA, TAE, FS, '*', '#', '~', '$', '=', '%'}},
    {"'_' (a broken-off word)", {'_', none, none, none, none, none, none, none, none, none}},
    {"'-' (a compound word)", {'-', none, none, none, none, none, none, none, none, none}},
    {"an apostrophe (')", {'\'', none, none, none, none, none, none, none, none, none}},
    {"a repair ('+/')", {WHA, none, none, none, none, none, none, none, none, none}},
    {"the end of the repair ('/+')", {WHE, none, none, none, none, none, none, none, none, none}},
    {"a false start ('-/')", {NSA, none, none, none, none, none, none, none, none, none}},
    {"the end of the false start ('/-')", {NSE, none, none, none, none, none, none, none, none, none}},
    {"a noise bracket ('<:')", {KLA, none, none, none, none, none, none, none, none, none}},
    {"the end of the noise bracket (':>')", {KLE, none, none, none, none, none, none, none, none, none}},
    {"a pronunciation comment ('<!')", {AKA, none, none, none, none, none, none, none, none, none}},
    {"a language marker (such as '<*tGER> ')", {MRKA, none, none, none, none, none, none, none, none, none}},
    {"a digit", {N, '0', none, none, none, none, none, none, none, none}},
};

std::vector<std::string_view> plain_expected(const finding& f, std::string_view source)
{
    if (f.where != finding::place::in_turn || grammar::is_identification_part(f.construct)) {
        // An identification is made of single characters: said one by one.
        std::vector<std::string_view> out;
        for (const int t : f.expected) {
            const std::string_view w = t == tables::translate(N) || t == tables::translate('0') ? "a digit"
                                       : t == tables::translate(L)                              ? "a small letter"
                                                                                                : terminal_words(t);
            if (std::find(out.begin(), out.end(), w) == out.end())
                out.push_back(w);
        }
        return out;
    }
    // The byte before, line ends passed over (the scanner skips them inside
    // a turn): a letter, '-' or an apostrophe leaves a word unfinished.
    std::size_t before = f.offset;
    while (before > 0 && source[before - 1] == '\n')
        --before;
    const bool in_word =
        before > 0 && (is_letter(source[before - 1]) || source[before - 1] == '-' || source[before - 1] == '\'');
    std::vector<std::string_view> out;
    std::vector<bool> grouped(f.expected.size(), false);
    for (const plain_group& g : plain_groups) {
        bool any = false;
        for (std::size_t i = 0; i < f.expected.size(); ++i)
            for (const int c : g.codes)
                if (c != none && tables::translate(c) == f.expected[i]) {
                    grouped[i] = true;
                    any = true;
                }
        if (any)
            out.push_back(g.words == letter_words && !in_word ? word_words : g.words);
    }
    for (std::size_t i = 0; i < f.expected.size(); ++i)
        if (!grouped[i])
            out.push_back(terminal_words(f.expected[i]));
    return out;
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
        d.hints.push_back(source.size() == after_byte_order_mark(source) ? "the file is empty"
                                                                         : "the file holds nothing but comments");
        break;
    case code::misplaced_empty_line:
        if (outside_turns)
            d.hints.push_back("exactly one empty line follows each turn, and none comes before the first");
        else
            d.hints.push_back("a turn ends with a blank and '.' or '?' after its last word (or with an event) before "
                              "its empty line");
        break;
    case code::missing_empty_line:
        d.hints.push_back("each turn ends with an empty line; the next turn begins on the line after it");
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
        if (word_start_inside_word(f, source))
            d.hints.push_back(found_words(bytes) + " marks the beginning of a word, after a blank");
        else if (bytes != "\"")
            byte_hints(source, f.offset, d.hints);
        break;
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

// The code of a finding, and the tag it is about when there is one.
struct classified {
    code kind;
    std::optional<written_tag> tag;
};

classified classify(const finding& f, std::string_view source)
{
    if (f.what == finding::kind::velmar_stack)
        return {code::velmar_stack, {}};
    const bool at_start = f.where == finding::place::start_of_text;
    const bool between = f.where == finding::place::between_turns;
    const bool identification = between || grammar::is_identification_part(f.construct);
    if (f.token == 0)
        return {at_start ? code::no_turn : code::end_inside_turn, {}};
    if (!identification && !at_start) {
        if (std::optional<written_tag> t = tag_at(f, source))
            return {!t->closed ? code::unclosed_tag : t->needs_blank ? code::missing_blank : code::unknown_tag, t};
    }
    if (tables::translate(f.token) == tables::undefined_terminal) {
        const auto b = static_cast<unsigned char>(source[f.offset]);
        return {b >= 0x80                                                 ? code::non_ascii_byte
                : b < 0x20 || b == 0x7F || f.token == TRL_UNDEFINED_TOKEN ? code::control_character
                                                                          : code::foreign_character,
                {}};
    }
    if (f.token == WS)
        return {code::extra_blank, {}};
    if (f.token == END)
        return {identification && !between ? code::bad_identification : code::misplaced_empty_line, {}};
    if (identification || at_start)
        return {code::bad_identification, {}};
    if (begins_unended_turn(f, source))
        return {code::missing_empty_line, {}};
    if (word_start_inside_word(f, source))
        return {code::foreign_character, {}};
    if (f.after_blank || (f.expected.size() == 1 && f.expected[0] == grammar::blank_terminal))
        return {code::missing_blank, {}};
    return {code::unexpected_token, {}};
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
    return classify(f, source).kind;
}

void word(const finding& f, std::string_view source, diagnostic& d, bool lean)
{
    const std::string_view bytes = source.substr(f.offset, f.length);
    const classified c = classify(f, source);
    d.kind = c.kind;
    d.warning = info(d.kind).warning;
    d.found = text::escape_bytes(bytes);
    d.span_begin = f.offset;
    d.span_end = f.offset + f.length;
    const std::string title = info(d.kind).title;

    if (f.what == finding::kind::velmar_stack) {
        d.context = tables::symbol_description[f.construct];
        d.message = title + ": velmar's parser stack (" + std::to_string(velmar_stack_limit) +
                    " entries) overflows at " + found_words(bytes) + "; velmar stops here, trl-check checks on";
        d.hints.push_back("split the turn where a pause or a sentence ends");
        return;
    }

    d.expected_terminals = f.expected;
    for (const int t : f.expected)
        d.expected.push_back(terminal_words(t));
    d.expected_plain = plain_expected(f, source);
    const bool at_start = f.where == finding::place::start_of_text;
    d.context = f.construct ? std::string_view(tables::symbol_description[f.construct])
                : at_start  ? std::string_view("start of the text")
                            : std::string_view("space between turns");
    const std::string where = f.construct ? " in the " + std::string(d.context)
                              : at_start  ? std::string(" before the first turn")
                                          : std::string(" between turns");
    const std::string found = bytes.empty() ? std::string("the text ends") : "found " + found_words(bytes);

    if (c.tag) {
        // The tag is the offending text, whichever of its bytes the parse
        // stopped at.
        const std::string written = text::escape_bytes(source.substr(c.tag->begin, c.tag->end - c.tag->begin));
        d.span_begin = c.tag->begin;
        d.span_end = c.tag->end;
        d.found = written;
        if (d.kind == code::unclosed_tag) {
            d.message = title + ": the tag " + written + " is not closed with '>'";
        } else if (d.kind == code::missing_blank) {
            d.message = title + ": the tag " + written + " is followed by a blank";
        } else {
            d.message = title + " " + written;
            if (const tag_info* known = suggest_tag(source.substr(c.tag->begin, c.tag->end - c.tag->begin))) {
                std::string_view meant = known->text;
                if (meant.ends_with(' '))
                    meant.remove_suffix(1);
                d.suggestion = meant;
                d.message += ": did you mean " + d.suggestion + "?";
            }
        }
    } else if (d.kind == code::missing_empty_line) {
        d.message = title + ": the turn before this line has no end (the empty line that ends a turn is missing)";
    } else if (d.kind == code::end_inside_turn) { // the title says what happened
        d.message = title + "," + where;
    } else if (d.kind == code::bad_identification && !identification_part(f.turn_tokens).empty()) {
        d.message = title + ": " + std::string(identification_part(f.turn_tokens)) + ": " + found;
    } else if (d.kind == code::foreign_character && bytes == "\"") {
        d.message =
            title + ": a double quote writes an umlaut only before a, o, u, s, A, O or U: found " +
            found_words(source.substr(f.offset, f.offset + 1 < source.size() && source[f.offset + 1] != '\n' ? 2 : 1)) +
            where;
    } else {
        d.message = title + ": " + found + where;
    }
    kind_hints(f, source, d);
    if (lean) {
        d.message = {};
        d.expected = {};
        d.expected_plain = {};
        d.hints = {};
    }
}

} // namespace trl
