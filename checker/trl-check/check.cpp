#include "check.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "lex.trl.text.h"
#include "skip.h"
#include "velmar.tab.h"

namespace trl_check {

namespace {

using tables = trl_lalr::tables;
using trl_engine::entry;
using trl_engine::error_outcome;
using trl_engine::parse_state;

constexpr int symbol_named(std::string_view name)
{
    for (int s = 0; s < tables::num_symbols; ++s)
        if (std::string_view(tables::symbol_name[s]) == name)
            return s;
    return -1;
}

constexpr int multiple_turns = symbol_named("multiple_turns");
static_assert(multiple_turns >= tables::num_terminals, "the grammar's list of turns is multiple_turns");
// The state between two turns: a list of turns on the stack, the next turn
// or the end of the input to come.
constexpr int between_turns_state = tables::go[(multiple_turns - tables::num_terminals) * tables::num_states];

// The constructs of a turn identification.
constexpr std::array<int, 4> identification_parts = {symbol_named("turn_identification"), symbol_named("dialog_name"),
                                                     symbol_named("turn_number"), symbol_named("cdrom_number")};
static_assert(identification_parts[0] > 0 && identification_parts[1] > 0 && identification_parts[2] > 0 &&
              identification_parts[3] > 0);

constexpr int turn_symbol = symbol_named("turn");
static_assert(turn_symbol > 0);

// The tokens an identification is made of.  Where the parse could go on
// with any other, the identification is complete (only its optional
// language marker may still come) and the turn's text is being read.
constexpr std::array<int, 8> identification_tokens = {
    tables::translate(L),   tables::translate(N),   tables::translate('0'), tables::translate('_'),
    tables::translate(MC),  tables::translate(':'), tables::translate(WS),  tables::translate(MRKA)};

constexpr int end_terminal = tables::translate(END);
constexpr int blank_terminal = tables::translate(WS);

// Whether the scanner ever returns a token of this terminal: single bytes
// and the end of the input always can; a named token only if a rule makes
// it.  Expected sets leave out those it never makes (NEWLINE, ...).
constexpr std::array<bool, tables::num_terminals> produced = [] {
    std::array<bool, tables::num_terminals> p{};
    p[0] = true;
    for (int code = 1; code <= tables::max_code; ++code) {
        const int t = tables::translate(code);
        if (t <= tables::undefined_terminal)
            continue;
        bool made = code < 256;
        for (int r = 0; r <= trl_dfa::num_rules && !made; ++r)
            made = trl_dfa::rule_token[r] == code;
        p[static_cast<std::size_t>(t)] = p[static_cast<std::size_t>(t)] || made;
    }
    return p;
}();

// An entry that no parse writes: placed at the stack slot that velmar's
// limit would not let it fill, it shows when the parse gets there.
constexpr entry sentinel{-1, INT_MIN};

inline bool is_sentinel(const entry& e)
{
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, &e, sizeof a);
    std::memcpy(&b, &sentinel, sizeof b);
    return a == b;
}
static_assert(sizeof(entry) == sizeof(std::uint64_t));

constexpr int initial_capacity = 16384;   // above velmar's limit: its slot is always there
static_assert(initial_capacity > velmar_stack_limit);

// Runs the parse from a stack over a few tokens, to see whether it takes
// them all.
struct probe {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;

    const int* codes;
    int count;
    std::vector<entry>& storage;
    int next = 0;

    int lex(int& value)
    {
        value = 0;
        // After the tokens, one that no state takes ends the parse.
        return next < count ? codes[next++] : (++next, TRL_UNDEFINED_TOKEN);
    }
    bool grow(parse_state& p)
    {
        const std::size_t size = static_cast<std::size_t>(p.capacity) * 2;
        storage.resize(size + 1);
        p.stack = storage.data();
        p.capacity = static_cast<int>(size);
        return true;
    }
    static error_outcome syntax_error(parse_state&) { return error_outcome::not_recovered; }
};

// Whether the parse with the stack storage[0..depth) takes all of `codes`.
// It runs on the stack itself, which it leaves changed.
bool takes_all(std::vector<entry>& storage, int depth, std::initializer_list<int> codes)
{
    probe run{codes.begin(), static_cast<int>(codes.size()), storage};
    parse_state p;
    p.stack = storage.data();
    p.capacity = static_cast<int>(storage.size()) - 1;
    trl_engine::start(p);   // the bottom entry is the start state's, as it was
    p.depth = depth;
    trl_engine::parse<tables, probe, false>(p, run);
    return run.next > run.count;
}

// What the parse could have gone on with at an error: the configuration
// as it was when the offending token was read.
struct expectation {
    std::vector<int> terminals;
    int construct = 0;          // the innermost described construct on the stack, 0: none
    bool at_start = false;      // before the first turn
    bool between = false;       // between two turns
    bool after_blank = false;   // the token would have been taken after a blank
};

// What could have followed the stack storage[0..depth), and whether
// `token` would have been taken after a blank; the stack is used up.
expectation expect(std::vector<entry>& storage, int depth, int token)
{
    const entry* const stack = storage.data();
    expectation x;
    for (int t = 0; t < tables::num_terminals; ++t)
        if (produced[static_cast<std::size_t>(t)] && t != tables::error_terminal &&
            trl_engine::takes<tables>(stack, depth, t))
            x.terminals.push_back(t);
    for (int i = depth - 1; i >= 0 && x.construct == 0; --i)
        x.construct = tables::state_construct[stack[i].state];
    if (std::find(identification_parts.begin(), identification_parts.end(), x.construct) !=
        identification_parts.end()) {
        for (const int t : x.terminals)
            if (std::find(identification_tokens.begin(), identification_tokens.end(), t) ==
                identification_tokens.end())
                x.construct = turn_symbol;
    }
    x.at_start = depth == 1;
    x.between = depth == 2 && stack[1].state == between_turns_state;
    x.after_blank = token > 0 && token != WS && takes_all(storage, depth, {WS, token});
    return x;
}

// Runs the parse of one turn again, from its start, watching the reads, up
// to the error at `target`; there it puts the stack back as it was when
// that token was read and finds what could have followed.
struct replay {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = true;

    trl_text_scanner scan;
    std::vector<entry>& storage;
    const char* target;
    int token = 0;   // the code of the token there
    int read_depth = 0;
    std::vector<std::pair<int, entry>> undo;   // entries overwritten since the last read
    bool hit = false;
    expectation found;

    replay(const trl_text_scanner& from, std::vector<entry>& s, const char* at, int code)
        : scan(from), storage(s), target(at), token(code)
    {
    }

    int lex(int& value)
    {
        const int code = trl_text_scan(scan);
        value = scan.value;
        return code;
    }
    bool grow(parse_state& p)
    {
        const std::size_t size = static_cast<std::size_t>(p.capacity) * 2;
        storage.resize(size + 1);
        p.stack = storage.data();
        p.capacity = static_cast<int>(size);
        return true;
    }
    void read(int depth)
    {
        read_depth = depth;
        undo.clear();
    }
    void overwrite(int index, entry old)
    {
        if (index < read_depth)
            undo.push_back({index, old});
    }
    error_outcome syntax_error(parse_state& p)
    {
        hit = scan.token == target;
        // The entries above the top are as they were: only those written
        // since the read need to come back.
        for (auto it = undo.rbegin(); it != undo.rend(); ++it)
            p.stack[it->first] = it->second;
        found = expect(storage, read_depth, token);
        return error_outcome::not_recovered;
    }
};

// Physical lines, counted forward from the last position asked for.
struct line_counter {
    std::string_view text;
    std::size_t pos = 0;
    long line = 1;
    std::size_t line_start = 0;

    void locate(std::size_t offset, diagnostic& d)
    {
        if (offset < pos)
            pos = 0, line = 1, line_start = 0;
        const char* p = text.data() + pos;
        const char* const end = text.data() + offset;
        while (p < end) {
            const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (!nl)
                break;
            p = static_cast<const char*>(nl) + 1;
            ++line;
            line_start = static_cast<std::size_t>(p - text.data());
        }
        pos = offset;
        d.line = line;
        d.column = static_cast<long>(offset - line_start) + 1;
        d.line_start = line_start;
    }
};

std::string hex_byte(unsigned char b)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {'0', 'x', digits[b >> 4], digits[b & 15]};
}

// What was found, in words: the bytes of a token (none at the end of the
// input).  A token of a newline alone is an empty line: the scanner skips
// every other newline.
std::string found_words(std::string_view bytes)
{
    if (bytes.empty())
        return "the end of the input";
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
        if (b < 0x20 || b == 0x7F)
            return "control character " + hex_byte(b);
        if (b >= 0x80)
            return "byte " + hex_byte(b);
    }
    std::string quoted(1, '\'');
    quoted += escape_bytes(bytes);
    quoted += '\'';
    return quoted;
}

// The letters that the conventions write with a double quote.
struct umlaut {
    unsigned codepoint;
    const char* letter;   // UTF-8
    const char* written;
};
constexpr umlaut umlauts[] = {{0xE4, "\xC3\xA4", "\"a"}, {0xF6, "\xC3\xB6", "\"o"}, {0xFC, "\xC3\xBC", "\"u"},
                              {0xDF, "\xC3\x9F", "\"s"}, {0xC4, "\xC3\x84", "\"A"}, {0xD6, "\xC3\x96", "\"O"},
                              {0xDC, "\xC3\x9C", "\"U"}};

// The UTF-8 character at the start of `s`: its code point and length, or a
// length of 0 if the bytes are not well-formed UTF-8.
std::pair<unsigned, std::size_t> utf8_at(std::string_view s)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    const std::size_t len = b0 >= 0xF0 && b0 <= 0xF4 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : 0;
    if (len == 0 || s.size() < len)
        return {0, 0};
    unsigned cp = b0 & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return {0, 0};
        cp = cp << 6 | (b & 0x3F);
    }
    const unsigned least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, len};
}

std::string codepoint_name(unsigned cp)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "U+";
    const int width = cp > 0xFFFF ? 6 : 4;
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
        out += digits[(cp >> shift) & 15];
    return out;
}

void byte_hints(std::string_view text, std::size_t offset, std::vector<std::string>& hints)
{
    const auto b = static_cast<unsigned char>(text[offset]);
    const std::string_view rest = text.substr(offset);
    if (offset == 0 && rest.size() >= 2 &&
        ((b == 0xFF && static_cast<unsigned char>(rest[1]) == 0xFE) ||
         (b == 0xFE && static_cast<unsigned char>(rest[1]) == 0xFF))) {
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
        const bool utf16 = text.size() >= 2 && ((static_cast<unsigned char>(text[0]) == 0xFF &&
                                                 static_cast<unsigned char>(text[1]) == 0xFE) ||
                                                (static_cast<unsigned char>(text[0]) == 0xFE &&
                                                 static_cast<unsigned char>(text[1]) == 0xFF));
        hints.push_back(utf16 ? "the file is UTF-16 encoded: save it as plain ASCII text"
                              : "a NUL byte: is this a binary file?");
        return;
    }
    if (b < 0x80)
        return;
    if (offset == 0 && rest.size() >= 3 && rest.substr(0, 3) == "\xEF\xBB\xBF") {
        hints.push_back("a UTF-8 byte order mark at the start of the file: remove it");
        return;
    }
    if (const auto [cp, len] = utf8_at(rest); len > 0) {
        std::string bytes;
        for (std::size_t i = 0; i < len; ++i) {
            bytes += i ? " " : "";
            bytes += hex_byte(static_cast<unsigned char>(rest[i]));
        }
        for (const umlaut& u : umlauts)
            if (u.codepoint == cp) {
                hints.push_back("bytes " + bytes + " are the letter " + u.letter + " in UTF-8; the conventions write " +
                                u.written);
                return;
            }
        hints.push_back("bytes " + bytes + " are the character " + codepoint_name(cp) +
                        " in UTF-8; the conventions use ASCII only");
        return;
    }
    for (const umlaut& u : umlauts)
        if (u.codepoint == b) {
            hints.push_back("byte " + hex_byte(b) + " is the letter " + u.letter + " in Latin-1; the conventions write " +
                            u.written);
            return;
        }
    hints.push_back("the conventions use ASCII only");
}

bool contains(const std::vector<int>& v, int x)
{
    for (const int y : v)
        if (y == x)
            return true;
    return false;
}

// One check of one text: the hooks of the parse and what it found.
struct file_run {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;

    // Read on every token: the scanner, and the stack entry watched for the
    // parse reaching velmar's limit.  Any entry that is not the sentinel
    // sends the read down the slow path: the limit's slot once the parse
    // has filled it, or turn_mark when a turn has ended.
    trl_text_scanner scan;
    const entry* watch;

    std::vector<entry>& stack;   // of the parse, and of the replays at errors
    std::string_view text;
    const check_options& options;
    file_report& report;
    line_counter lines;
    entry turn_mark{0, 0};         // not the sentinel
    entry disarmed = sentinel;     // watched once the turn has been warned about
    bool armed = false;            // the limit's slot holds the sentinel for this turn
    trl_text_scanner turn_start;   // the scanner before the current turn's first token
    int turn_start_depth = 1;      // the stack then: [0], or [0, between_turns_state]
    bool first_turn = true;        // no turn has begun, no error been skipped

    file_run(std::vector<entry>& s, std::string_view t, const check_options& opt, file_report& r)
        : watch(&turn_mark), stack(s), text(t), options(opt), report(r), lines{t}
    {
        trl_text_scanner_start(scan, t.data(), t.size());
        turn_start = scan;
    }

    entry& limit_slot() { return stack[velmar_stack_limit - 1]; }

    int lex(int& value)
    {
        if (!is_sentinel(*watch)) [[unlikely]]
            return lex_slow(value);
        const int code = trl_text_scan(scan);
        value = scan.value;
        if (code == END) [[unlikely]]
            watch = &turn_mark;
        return code;
    }

    int lex_slow(int& value)
    {
        check_depth();
        const bool turn_begins = watch == &turn_mark;
        if (turn_begins) {
            // Between two turns (or before the first): the stack is [0] or
            // [0, between_turns_state], far below the limit's slot.
            turn_start = scan;
            turn_start_depth = first_turn ? 1 : 2;
            first_turn = false;
            limit_slot() = sentinel;
            armed = true;
            watch = &limit_slot();
        }
        const int code = trl_text_scan(scan);
        value = scan.value;
        if (turn_begins && code != 0 && code != END)
            ++report.turns;
        if (code == END)
            watch = &turn_mark;
        return code;
    }

    // The parse has filled the limit's slot since the turn began: velmar
    // stops there, at the last token read.
    void check_depth()
    {
        if (!armed || is_sentinel(limit_slot()))
            return;
        armed = false;
        if (watch == &limit_slot())
            watch = &disarmed;
        diagnostic d;
        d.kind = code::velmar_stack;
        locate_token(d);
        d.context = tables::symbol_description[turn_symbol];
        d.message = std::string(info(code::velmar_stack).title) +
                    ": velmar's parser stack (10000 entries) overflows at " + found_words(token_bytes(d)) +
                    "; velmar stops here, trl-check checks on";
        d.hints.push_back("split the turn where a pause or a sentence ends");
        ++report.warnings;
        report.diagnostics.push_back(std::move(d));
    }

    std::string_view token_bytes(const diagnostic& d) const { return text.substr(d.offset, d.length); }

    // Position, text and velmar's line of the last token read.
    void locate_token(diagnostic& d)
    {
        d.offset = scan.token ? static_cast<std::size_t>(scan.token - text.data()) : 0;
        d.length = static_cast<std::size_t>(scan.length);
        d.velmar_line = scan.lineno;
        d.found = escape_bytes(token_bytes(d));
        lines.locate(d.offset, d);
    }

    bool grow(parse_state& p)
    {
        const std::size_t size = static_cast<std::size_t>(p.capacity) * 2;
        const bool watching_slot = watch == &limit_slot();
        stack.resize(size + 1);
        if (watching_slot)
            watch = &limit_slot();
        p.stack = stack.data();
        p.capacity = static_cast<int>(size);
        return true;
    }

    error_outcome syntax_error(parse_state& p)
    {
        check_depth();
        const int token = p.lookahead;   // held: the offending token (0 at the end of the input)
        diagnostic d;
        locate_token(d);
        describe(d, token, p);
        ++report.errors;
        report.diagnostics.push_back(std::move(d));
        if (token == 0)
            return error_outcome::not_recovered;
        // Skip the rest of the turn, up to and including its empty line.
        if (token != END && !skip_past_end(scan))
            return error_outcome::not_recovered;
        if (options.max_errors > 0 && report.errors >= options.max_errors) {
            trl_text_scanner rest = scan;
            report.stopped = trl_text_scan(rest) != 0;   // something is left unchecked
            return error_outcome::not_recovered;
        }
        p.stack[0] = entry{0, 0};
        p.stack[1] = entry{between_turns_state, 0};
        p.depth = 2;
        p.lookahead = trl_engine::no_token;
        p.symbol = 0;
        watch = &turn_mark;
        return error_outcome::recovered;
    }

    // What the parse expected when it read the offending token, found by
    // parsing the turn again; the code, message and hints that follow.
    void describe(diagnostic& d, int token, parse_state& p)
    {
        // The replay runs on the parse's own stack: the parse resumes
        // between turns (or stops) after an error, so nothing on it is
        // needed any more.  It fills the limit's slot like the parse did
        // (already reported), and may move the stack.
        armed = false;
        if (watch == &limit_slot())
            watch = &disarmed;
        replay r(turn_start, stack, scan.token, token);
        parse_state rp;
        rp.stack = stack.data();
        rp.capacity = static_cast<int>(stack.size()) - 1;
        trl_engine::start(rp);
        if (turn_start_depth == 2) {
            rp.stack[1] = entry{between_turns_state, 0};
            rp.depth = 2;
        }
        trl_engine::parse<tables, replay, false>(rp, r);
        p.stack = stack.data();
        p.capacity = static_cast<int>(stack.size()) - 1;
        // The replay takes the steps the parse took, so it stops at the
        // same token; were it not so, nothing would be said of what was
        // expected.
        const expectation x = r.hit ? std::move(r.found) : expectation{};

        for (const int t : x.terminals)
            d.expected.push_back(tables::symbol_description[t]);
        d.context = x.construct        ? std::string_view(tables::symbol_description[x.construct])
                    : x.at_start       ? std::string_view("start of the text")
                                       : std::string_view("space between turns");
        const std::string_view bytes = token_bytes(d);
        const int terminal = tables::translate(token);
        bool identification = x.between;
        for (const int part : identification_parts)
            identification = identification || x.construct == part;

        if (token == 0)
            d.kind = x.at_start ? code::no_turn : code::end_inside_turn;
        else if (terminal == tables::undefined_terminal) {
            const auto b = static_cast<unsigned char>(bytes[0]);
            d.kind = b >= 0x80                                   ? code::non_ascii_byte
                     : b < 0x20 || b == 0x7F || token == TRL_UNDEFINED_TOKEN ? code::control_character
                                                                 : code::foreign_character;
            byte_hints(text, d.offset, d.hints);
        } else if (token == WS)
            d.kind = code::extra_blank;
        else if (token == END)
            d.kind = identification && !x.between ? code::bad_identification : code::misplaced_empty_line;
        else if (identification || x.at_start)
            d.kind = code::bad_identification;
        else if (x.after_blank || (x.terminals.size() == 1 && x.terminals[0] == blank_terminal))
            d.kind = code::missing_blank;
        else
            d.kind = code::unexpected_token;

        const std::string where = x.construct ? " in the " + std::string(d.context)
                                  : x.at_start ? std::string(" before the first turn")
                                               : std::string(" between turns");
        d.message = std::string(info(d.kind).title) + ": found " + found_words(bytes) +
                    (d.kind == code::no_turn ? "" : where);
        add_hints(d, x, bytes);
    }

    void add_hints(diagnostic& d, const expectation& x, std::string_view bytes)
    {
        const bool ends_with_newline = !text.empty() && text.back() == '\n';
        switch (d.kind) {
        case code::end_inside_turn:
            if (contains(x.terminals, end_terminal))
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
            d.hints.push_back(text.empty() ? "the file is empty" : "the file holds nothing but comments");
            break;
        case code::misplaced_empty_line:
            if (x.between || x.at_start)
                d.hints.push_back("exactly one empty line follows each turn, and none comes before the first");
            else
                d.hints.push_back(
                    "a turn ends with a blank and '.' or '?' after its last word (or with an event) before its "
                    "empty line");
            break;
        case code::missing_blank:
            if (bytes == "." || bytes == "?" || bytes == ",")
                d.hints.push_back("punctuation is separated from the word before it by one blank: \"ja .\", not "
                                  "\"ja.\"");
            break;
        case code::extra_blank: {
            const std::size_t at = d.offset;
            std::size_t eol = text.find('\n', at);
            eol = eol == std::string_view::npos ? text.size() : eol;
            const bool only_blanks = text.substr(d.line_start, eol - d.line_start).find_first_not_of(' ') ==
                                     std::string_view::npos;
            if (only_blanks)
                d.hints.push_back("this line holds nothing but blanks: an empty line must be empty");
            else if (at > 0 && text[at - 1] == ' ')
                d.hints.push_back("two blanks in a row: the conventions separate the elements of a turn by one blank");
            break;
        }
        default:
            break;
        }
        // A comment that the scanner did not take as one: "<;" whose '>'
        // is missing or not followed by a blank, or ';' inside a line.
        const bool after_angle = d.offset > 0 && text[d.offset - 1] == '<';
        if ((bytes == "<" && d.offset + 1 < text.size() && text[d.offset + 1] == ';') || (bytes == ";" && after_angle))
            d.hints.push_back("'<;' begins a bracketed comment only when '>' and a blank (or a line end and a "
                              "blank) close it");
        else if (bytes == ";" && d.offset != d.line_start)
            d.hints.push_back("';' begins a comment line only at the beginning of a line");
    }

    void finish()
    {
        check_depth();
    }
};

} // namespace

std::string escape_bytes(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (b < 0x20 || b > 0x7E) {
                out += "\\x";
                out += digits[b >> 4];
                out += digits[b & 15];
            } else {
                out += c;
            }
        }
    }
    return out;
}

checker::checker() : stack_(initial_capacity + 1) {}

file_report checker::check(std::string_view text, const check_options& options)
{
    file_report report;
    file_run run(stack_, text, options, report);
    parse_state p;
    p.stack = stack_.data();
    p.capacity = static_cast<int>(stack_.size()) - 1;
    trl_engine::start(p);
    trl_engine::parse<tables, file_run, false>(p, run);
    run.finish();
    return report;
}

} // namespace trl_check
