// The reader's parse: velmar's tables run by the shared engine, observing
// every reduction of the grammar's automaton.
//
// Note: actions of the reader's own.  The grammar's actions are velmar's
// echo; the reader runs none of them.  It observes the parse instead
// (parse_engine.h, observes_steps): the engine then calls the reader at
// every reduction that the traced instance shows, the unit reductions that
// the tables fold into shifts and gotos and the empty rules they fuse among
// them, with the rule and the entries of its right side.  So
// the reader sees lexical_element, word_init_tag, event, pause_seg, turn
// ... exactly where the grammar has them, and no second grammar decides
// what is a word.  What each rule means to the reader (its role) is found
// from the rules' left and right sides in the generated tables, by the
// symbols' names.
//
// Every stack entry's value is where a token begins in the text: a
// token's own, a rule's that of its first token, and an empty rule's that
// of the token after it.  So a reduction knows the bytes of its right
// side: an element runs from its first token to the end of the last token
// shifted, and the tokens of an event or a pause are scanned again from
// its first byte for its tag.  The letters of a lexical element are
// collected as velmar's actions append them (the letter of each
// letter_sequence, multiple_letter and spelled_letter rule), but each with
// where it was read: a lexical element takes the letters (and marks) read
// since its first token, so that a word inside the interruption of a
// disconnected word takes its own, and the disconnected word the rest.
// velmar's echo line is the letters since its last line, as velmar builds
// it.
#include "language/reader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

#include "language/text_scanner.h"
#include "parse_engine.h"
#include "velmar.tab.h"

namespace trl {

namespace {

using tables = trl_lalr::tables;
using trl_engine::entry;
using trl_engine::error_outcome;
using trl_engine::parse_state;

// The grammar's symbols that the reader looks at.
namespace sym {
#define TRL_READER_SYMBOL(name) inline constexpr int name = trl_engine::symbol_named<tables>(#name)
TRL_READER_SYMBOL(multiple_turns);
TRL_READER_SYMBOL(turn);
TRL_READER_SYMBOL(turn_identification);
TRL_READER_SYMBOL(dialog_name);
TRL_READER_SYMBOL(turn_number);
TRL_READER_SYMBOL(cdrom_number);
TRL_READER_SYMBOL(turn_language);
TRL_READER_SYMBOL(language_id);
TRL_READER_SYMBOL(lexical_element);
TRL_READER_SYMBOL(word);
TRL_READER_SYMBOL(noise_word);
TRL_READER_SYMBOL(disconnected_word);
TRL_READER_SYMBOL(capital_letter);
TRL_READER_SYMBOL(letter_sequence);
TRL_READER_SYMBOL(multiple_letter);
TRL_READER_SYMBOL(spelled_letter);
TRL_READER_SYMBOL(word_init_tag);
TRL_READER_SYMBOL(word_fin_tag);
TRL_READER_SYMBOL(spkinf_word);
TRL_READER_SYMBOL(left_spkinf_disword);
TRL_READER_SYMBOL(mid_spkinf_disword);
TRL_READER_SYMBOL(fin_spkinf_disword);
TRL_READER_SYMBOL(init_noise_bracket);
TRL_READER_SYMBOL(event);
TRL_READER_SYMBOL(pause_seg);
TRL_READER_SYMBOL(silence_seg);
TRL_READER_SYMBOL(repair);
TRL_READER_SYMBOL(false_start);
TRL_READER_SYMBOL(pronunc_comment);
#undef TRL_READER_SYMBOL
} // namespace sym

constexpr int terminal(int code)
{
    return tables::translate(code);
}

// What a rule means to the reader.
enum class role : std::uint8_t {
    none,
    dialog_name, // the identification's parts
    turn_number,
    cdrom_number,
    language_marker,
    identification, // a turn begins; its ':' is the right side's symbol `at`
    turn,           // and ends
    letters,        // a run of letters that velmar appends, one by one
    spelled_letter, // a letter of a spelled letter (the right side's symbol `at`)
    language,       // the language of a foreign word's initial tag
    init_mark,
    final_mark,
    speaker_mark, // of a word (the terminal `at`)
    lexical_element,
    noise_bracket, // its noise tags
    event,
    pause,
    silence,
    repair,
    false_start,
    pronunciation,
};

struct rule_role {
    role what = role::none;
    std::int8_t at = 0;
};

constexpr int rhs_symbol(int rule, int i)
{
    return tables::rule_rhs[tables::rule_rhs_begin[rule] + i];
}

// The first symbol of the rule's right side for which `is` holds; -1: none.
template <class P> constexpr int find_in_rhs(int rule, P is)
{
    for (int i = 0; i < tables::rules[rule].length; ++i)
        if (is(rhs_symbol(rule, i)))
            return i;
    return -1;
}

constexpr std::array<rule_role, tables::num_rules> roles = [] {
    std::array<rule_role, tables::num_rules> r{};
    for (int rule = 1; rule < tables::num_rules; ++rule) {
        const int lhs = tables::rule_lhs[rule];
        const bool empty = tables::rules[rule].length == 0;
        auto set = [&](role what, int at = 0) {
            r[static_cast<std::size_t>(rule)] = {what, static_cast<std::int8_t>(at)};
        };
        const auto is_speaker_mark = [](int s) { return s == terminal(SPA) || s == terminal(SPP); };
        if (lhs == sym::dialog_name)
            set(role::dialog_name);
        else if (lhs == sym::turn_number)
            set(role::turn_number);
        else if (lhs == sym::cdrom_number)
            set(role::cdrom_number);
        else if (lhs == sym::turn_language && !empty)
            set(role::language_marker);
        else if (lhs == sym::turn_identification)
            set(role::identification, find_in_rhs(rule, [](int s) { return s == terminal(':'); }));
        else if (lhs == sym::turn)
            set(role::turn);
        else if (lhs == sym::letter_sequence)
            set(role::letters);
        else if (lhs == sym::spelled_letter)
            set(role::spelled_letter, find_in_rhs(rule, [](int s) { return s == sym::capital_letter; }));
        else if (lhs == sym::language_id)
            set(role::language);
        else if (lhs == sym::word_init_tag && !empty)
            set(role::init_mark);
        else if (lhs == sym::word_fin_tag && !empty)
            set(role::final_mark);
        else if (lhs == sym::spkinf_word || lhs == sym::left_spkinf_disword || lhs == sym::mid_spkinf_disword ||
                 lhs == sym::fin_spkinf_disword)
            set(role::speaker_mark, find_in_rhs(rule, is_speaker_mark));
        else if (lhs == sym::lexical_element)
            set(role::lexical_element);
        else if (lhs == sym::init_noise_bracket)
            set(role::noise_bracket);
        else if (lhs == sym::event)
            set(role::event);
        else if (lhs == sym::pause_seg)
            set(role::pause);
        else if (lhs == sym::silence_seg && rhs_symbol(rule, 0) == terminal(TAB))
            set(role::silence);
        else if (lhs == sym::repair)
            set(role::repair);
        else if (lhs == sym::false_start)
            set(role::false_start);
        else if (lhs == sym::pronunc_comment)
            set(role::pronunciation);
    }
    return r;
}();

// The letters the reader collects are the ones velmar's actions append.
// Other than the line and header prints, velmar's actions append the
// letter of each letter_sequence, multiple_letter and spelled_letter rule;
// a multiple_letter stands only at the start of a letter_sequence (or of
// another multiple_letter), so every letter appended is in the range of a
// letter_sequence, whose tokens are letters and length marks, or is the
// letter a spelled_letter rule appends.  The reader takes the letter
// tokens of each letter_sequence, and the capital of each spelled letter.
// (The actions themselves are velmar's; the tests compare the lines.)
static_assert([] {
    for (int rule = 1; rule < tables::num_rules; ++rule) {
        const rule_role r = roles[static_cast<std::size_t>(rule)];
        const int lhs = tables::rule_lhs[rule];
        const bool appends = tables::rules[rule].has_action && tables::rules[rule].length > 0 &&
                             lhs != sym::lexical_element && lhs != sym::turn_number;
        if (appends && lhs != sym::letter_sequence && lhs != sym::multiple_letter && lhs != sym::spelled_letter)
            return false;
        for (int i = 0; i < tables::rules[rule].length; ++i)
            if (rhs_symbol(rule, i) == sym::multiple_letter &&
                (i != 0 || (lhs != sym::letter_sequence && lhs != sym::multiple_letter)))
                return false;
        if ((r.what == role::speaker_mark || r.what == role::spelled_letter || r.what == role::identification) &&
            r.at < 0)
            return false;
    }
    return true;
}());

// The identification's rules take one token a byte, from where their part
// begins to where the next one does (the '_' after it with it).
static_assert([] {
    for (int rule = 1; rule < tables::num_rules; ++rule) {
        const role what = roles[static_cast<std::size_t>(rule)].what;
        const auto length = static_cast<std::size_t>(tables::rules[rule].length);
        if ((what == role::dialog_name && length != turn_id::number_part.at - turn_id::dialog_part.at) ||
            (what == role::turn_number && length != turn_id::cdrom_part.at - turn_id::number_part.at) ||
            (what == role::cdrom_number && length != turn_id::size - turn_id::cdrom_part.at))
            return false;
    }
    return true;
}());

// The bytes that are letter tokens on their own or in an umlaut's two.
constexpr std::array<bool, 256> letter_byte = [] {
    std::array<bool, 256> b{};
    for (int c = 'a'; c <= 'z'; ++c)
        b[static_cast<std::size_t>(c)] = b[static_cast<std::size_t>(c - 'a' + 'A')] = true;
    b['"'] = true;
    return b;
}();

// The rules the reader is told of: those with a role, and the empty rules
// whose value (where the next token begins) a role reads as the start of
// a construct.  A value reaches a rule's left side from its first symbol,
// so the values read are those of the roles' symbols and, from each
// symbol read, of the first symbols of its rules.
constexpr std::array<bool, tables::num_rules> observed_rules = [] {
    std::array<bool, tables::num_symbols> read{};
    for (int rule = 1; rule < tables::num_rules; ++rule) {
        const rule_role r = roles[static_cast<std::size_t>(rule)];
        if (r.what == role::none || tables::rules[rule].length == 0)
            continue;
        const bool whole = r.what == role::dialog_name || r.what == role::turn_number || r.what == role::cdrom_number ||
                           r.what == role::language || r.what == role::pronunciation;
        for (int i = 0; i < tables::rules[rule].length; ++i)
            if (i == 0 || i == r.at || whole)
                read[static_cast<std::size_t>(rhs_symbol(rule, i))] = true;
    }
    for (bool more = true; more;) {
        more = false;
        for (int rule = 1; rule < tables::num_rules; ++rule) {
            const auto first = static_cast<std::size_t>(tables::rules[rule].length > 0 ? rhs_symbol(rule, 0) : 0);
            if (read[static_cast<std::size_t>(tables::rule_lhs[rule])] && first > 0 && !read[first])
                read[first] = more = true;
        }
    }
    std::array<bool, tables::num_rules> observed{};
    for (int rule = 1; rule < tables::num_rules; ++rule)
        observed[static_cast<std::size_t>(rule)] =
            roles[static_cast<std::size_t>(rule)].what != role::none ||
            (tables::rules[rule].length == 0 && read[static_cast<std::size_t>(tables::rule_lhs[rule])]);
    return observed;
}();

// The state between two turns: a list of turns on the stack, the next
// turn or the end of the text to come.  The parse goes on from there after
// an error.
constexpr int between_turns_state = tables::goto_state(0, sym::multiple_turns);

constexpr std::array<std::string_view, kind_count> kind_names = {
    "word",      "spelled", "foreign", "noise-word", "disconnected", "hesitation",  "speaker-noise", "technical-noise",
    "breathing", "event",   "pause",   "silence",    "repair",       "false-start", "pronunciation",
};

} // namespace

std::string_view kind_name(kind k)
{
    return kind_names[static_cast<std::size_t>(k)];
}

std::optional<kind> kind_named(std::string_view name)
{
    for (int k = 0; k < kind_count; ++k)
        if (kind_names[static_cast<std::size_t>(k)] == name)
            return static_cast<kind>(k);
    return std::nullopt;
}

// The reader's side of one parse: the hooks of the engine and the turn
// being read.
struct reader::state {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;
    static constexpr bool observes_steps = true;
    static constexpr bool observes(int rule) { return observed_rules[static_cast<std::size_t>(rule)]; }

    // A mark read for the lexical element around it.
    struct mark {
        enum class type : std::uint8_t { spelled_letter, language, init_mark, final_mark, speaker_mark };
        std::uint32_t at; // where it begins
        type what;
        std::uint32_t end; // and ends (language: its three letters)
    };

    // The parse stack.  A turn's segments nest to its right, so a long
    // turn holds a few entries a word until its end: the stack grows in
    // place where the system can (realloc), without a second copy, and
    // goes back to its first size after a text that made it large.
    struct entry_stack {
        static constexpr std::size_t first_size = 1024;
        entry* data = nullptr;
        std::size_t size = 0;

        entry_stack() { resize(first_size); }
        ~entry_stack() { std::free(data); }
        entry_stack(const entry_stack&) = delete;
        entry_stack& operator=(const entry_stack&) = delete;
        void resize(std::size_t n)
        {
            void* grown = std::realloc(data, n * sizeof(entry));
            if (!grown)
                throw std::bad_alloc();
            data = static_cast<entry*>(grown);
            size = n;
        }
    };
    entry_stack stack;
    // The look-ahead (held until it is shifted) and the last token shifted.
    std::uint32_t held_begin = 0;
    std::uint32_t held_end = 0;
    int held_code = 0;
    bool held = false;
    std::uint32_t shifted_end = 0;
    // In a run of letters the engine reads the next letter before it
    // shifts the one it holds (Note "Fused runs" in the parse engine): the
    // end of that one, which the next shift takes.
    std::uint32_t run_letter_end = 0;
    bool run_letter_held = false;
    // The letters read and not yet taken by a lexical element, as written,
    // each with where it was read (`read_at`: its offset and its place in
    // `written`); `echo_from` is where velmar's echo buffer begins in it.
    std::string written;
    std::size_t written_size = 0; // bytes of `written` in use; it is kept at least two longer
    std::vector<std::pair<std::uint32_t, std::uint32_t>> read_at;
    std::size_t echo_from = 0;
    std::vector<mark> marks;
    // The identification's bytes and the marker's language, as their
    // tokens are read (a comment may stand between them).
    std::array<char, turn_id::size> id_bytes{};
    std::array<char, turn_id::language_size> language{};
    bool has_language = false;
    turn current;
    bool in_turn = false; // its identification has been read
    // Repairs and false starts begun ('+/', '-/' shifted) and not yet
    // reduced: while there are any, the elements read may still get a
    // holder, and the turn is not cut into a part.
    int open_agrammatical = 0;
    std::vector<int> holders;

    std::string_view text;
    trl_text_scanner scan;
    const std::function<void(const turn&)>* on_turn = nullptr;
    read_options options;
    read_result result;

    void begin_text(std::string_view t, const std::function<void(const turn&)>& f, const read_options& o)
    {
        text = t;
        trl_text_scanner_start(scan, t.data(), t.size());
        on_turn = &f;
        options = o;
        result = read_result{};
        held = run_letter_held = false;
        held_begin = held_end = shifted_end = 0;
        held_code = 0;
        clear_turn();
    }

    void clear_turn()
    {
        current.id = turn_id{};
        has_language = false;
        current.begin = current.end = current.identification_end = 0;
        current.complete = false;
        current.elements.clear();
        current.chars.clear();
        current.part = 0;
        current.last_part = true;
        open_agrammatical = 0;
        written_size = 0;
        read_at.clear();
        echo_from = 0;
        marks.clear();
        in_turn = false;
    }

    static std::uint32_t at(const entry& e) { return static_cast<std::uint32_t>(e.value); }

    // A scanner that goes on from `offset` as the parse's own did: the
    // tokens of a construct, looked at again.
    trl_text_scanner scanner_at(std::size_t offset, std::size_t end) const
    {
        trl_text_scanner s = scan;
        s.pos = text.data() + offset;
        s.end = text.data() + end;
        s.at_line_start = offset == 0 || text[offset - 1] == '\n';
        return s;
    }
    std::uint32_t token_end(std::uint32_t offset) const
    {
        trl_text_scanner s = scanner_at(offset, text.size());
        trl_text_scan(s);
        return static_cast<std::uint32_t>(s.pos - text.data());
    }

    piece store(std::string_view s)
    {
        piece p{static_cast<std::uint32_t>(current.chars.size()), static_cast<std::uint32_t>(s.size())};
        current.chars.append(s);
        return p;
    }
    piece store(std::uint32_t begin, std::uint32_t end) { return store(text.substr(begin, end - begin)); }

    // --- hooks of the engine ---------------------------------------------------

    int lex(int& value)
    {
        const int code = trl_text_scan(scan);
        held_begin = static_cast<std::uint32_t>(scan.token - text.data());
        held_end = held_begin + static_cast<std::uint32_t>(scan.length);
        held_code = code;
        held = true;
        value = static_cast<int>(held_begin);
        return code;
    }

    // The next letter of a run of them, read before the letter held is
    // shifted; 0 when the next token is not one, nothing read.
    template <int... codes> [[gnu::always_inline]] int lex_in_run(int& value, const entry*)
    {
        const int code = trl_text_scan_in_run<codes...>(scan);
        if (code == 0)
            return 0;
        run_letter_end = held_end;
        run_letter_held = true;
        held_begin = static_cast<std::uint32_t>(scan.token - text.data());
        held_end = held_begin + static_cast<std::uint32_t>(scan.length);
        held_code = code;
        value = static_cast<int>(held_begin);
        return code;
    }

    void shifted()
    {
        if (run_letter_held) { // a letter: neither a repair's nor a false start's
            shifted_end = run_letter_end;
            run_letter_held = false;
            return;
        }
        shifted_end = held_end;
        held = false;
        open_agrammatical += held_code == WHA || held_code == NSA;
    }

    bool grow(parse_state& p)
    {
        // The engine counts the entries in an int.
        constexpr int most = std::numeric_limits<int>::max();
        if (p.capacity == most)
            throw std::length_error("a turn too long for the parse stack");
        stack.resize(static_cast<std::size_t>(p.capacity > most / 2 ? most : p.capacity * 2));
        p.stack = stack.data;
        p.capacity = static_cast<int>(stack.size);
        return true;
    }

    void reduced(int rule, entry* rhs, int& value)
    {
        const rule_role r = roles[static_cast<std::size_t>(rule)];
        if (tables::rules[rule].length == 0) // where the next token begins
            value = static_cast<int>(held ? held_begin : shifted_end);
        else
            act(rule, r, rhs);
    }

    error_outcome syntax_error(parse_state& p)
    {
        ++result.errors;
        if (!result.first_error)
            result.first_error = read_error{held_begin, held_end - held_begin, scan.lineno};
        if (!options.recover)
            return error_outcome::not_recovered;
        const bool ended = held_code != 0 && (held_code == END || trl_text_skip_turn(scan));
        if (in_turn) {
            current.end = static_cast<std::size_t>(scan.pos - text.data());
            emit(false);
        }
        clear_turn();
        held = false;
        shifted_end = static_cast<std::uint32_t>(scan.pos - text.data());
        if (!ended)
            return error_outcome::not_recovered;
        p.stack[0] = entry{0, 0};
        p.stack[1] = entry{between_turns_state, 0};
        p.depth = 2;
        p.lookahead = trl_engine::no_token;
        p.symbol = 0;
        return error_outcome::recovered;
    }

    // --- the roles ------------------------------------------------------------------

    // The letter tokens of [first, end) as written (an umlaut is two
    // bytes: velmar echoes the first).
    void letters(std::uint32_t first, std::uint32_t end)
    {
        read_at.emplace_back(first, static_cast<std::uint32_t>(written_size));
        if (written_size + (end - first) > written.size())
            written.resize(std::max<std::size_t>(written.size() * 2, written_size + (end - first)) + 64);
        const char* const from = text.data() + first;
        char* const to = written.data() + written_size;
        bool plain = true;
        for (std::uint32_t i = 0; i < end - first; ++i) {
            to[i] = from[i];
            plain &= letter_byte[static_cast<unsigned char>(from[i])];
        }
        if (plain) { // letters alone: their bytes
            written_size += end - first;
            return;
        }
        // Length marks (or a comment) between them: the tokens.
        trl_text_scanner s = scanner_at(first, end);
        for (int code; (code = trl_text_scan(s)) != 0;) {
            if (code == L || code == UML_L || code == MC || code == UML_MC) {
                std::memcpy(written.data() + written_size, s.token, static_cast<std::size_t>(s.length));
                written_size += static_cast<std::size_t>(s.length);
            }
        }
    }

    [[gnu::noinline]] void act(int rule, rule_role r, const entry* rhs)
    {
        const std::uint32_t first = at(rhs[0]);
        switch (r.what) {
        case role::none:
            break;
        case role::letters:
            letters(first, shifted_end);
            break;
        case role::dialog_name:  // L z z z L L L z '_'
        case role::turn_number:  // z z z '_' MC MC (MC or z) '_'
        case role::cdrom_number: // z z z z z z
            identification_part(r.what, rhs, tables::rules[rule].length);
            break;
        case role::language_marker: // "<*tGER> "
            if (shifted_end >= first + 6) {
                std::copy_n(text.data() + first + 3, language.size(), language.begin());
                has_language = true;
            }
            break;
        case role::identification:
            // The grammar has taken the parts in the shape of an
            // identification.
            current.id =
                turn_id::parse(std::string_view(id_bytes.data(), id_bytes.size()),
                               has_language ? std::string_view(language.data(), language.size()) : std::string_view())
                    .value_or(turn_id{});
            current.begin = first;
            current.identification_end = at(rhs[r.at]) + 1;
            in_turn = true;
            break;
        case role::turn:
            current.end = shifted_end;
            emit(true);
            clear_turn();
            break;
        case role::spelled_letter: {
            const std::uint32_t o = at(rhs[r.at]);
            marks.push_back({first, mark::type::spelled_letter, 0});
            letters(o, token_end(o));
            break;
        }
        case role::language: { // MC MC MC
            std::uint32_t letters = 0;
            for (int i = 0; i < 3; ++i)
                letters |= static_cast<std::uint32_t>(static_cast<unsigned char>(text[at(rhs[i])])) << (8 * i);
            marks.push_back({first, mark::type::language, letters});
            break;
        }
        case role::init_mark:
            marks.push_back({first, mark::type::init_mark, shifted_end});
            break;
        case role::final_mark:
            marks.push_back({first, mark::type::final_mark, shifted_end});
            break;
        case role::speaker_mark: {
            const std::uint32_t o = at(rhs[r.at]);
            marks.push_back({o, mark::type::speaker_mark, token_end(o)});
            break;
        }
        case role::lexical_element:
            lexical_element(first, rhs_symbol(rule, 0));
            // What follows the element begins after it: unless it is in a
            // repair or a false start, every element so far is complete.
            if (options.elements_per_part > 0 && open_agrammatical == 0 &&
                current.elements.size() >= options.elements_per_part)
                emit_part();
            break;
        case role::noise_bracket:
        case role::event:
        case role::pause:
            tagged(r.what, first);
            break;
        case role::silence: {
            const std::uint32_t end = token_end(first);
            const piece tag = store(first, end);
            add(kind::silence, first, end).tag = tag;
            break;
        }
        case role::repair:
            add(kind::repair, first, shifted_end);
            --open_agrammatical;
            break;
        case role::false_start:
            add(kind::false_start, first, shifted_end);
            --open_agrammatical;
            break;
        case role::pronunciation: { // AKA N space words '>' space
            const std::uint32_t close = at(rhs[4]);
            const piece digit = store(at(rhs[1]), token_end(at(rhs[1])));
            const piece words = store(at(rhs[3]), close);
            element& e = add(kind::pronunciation, first, close + 1);
            e.tag = digit;
            e.letters = words;
            break;
        }
        }
    }

    // A part of the identification, one byte a token: the dialog name and
    // its '_', the turn number and the speaker code with theirs, or the
    // CD-ROM number.
    void identification_part(role r, const entry* rhs, int tokens)
    {
        const std::size_t from = r == role::dialog_name   ? turn_id::dialog_part.at
                                 : r == role::turn_number ? turn_id::number_part.at
                                                          : turn_id::cdrom_part.at;
        for (int i = 0; i < tokens; ++i)
            id_bytes[from + static_cast<std::size_t>(i)] = text[at(rhs[i])];
    }

    // Events and pauses, and the tags in a noise bracket: their tags and
    // speaker marks are among the construct's tokens, scanned again.
    void tagged(role r, std::uint32_t first)
    {
        kind what = r == role::pause ? kind::pause : kind::event;
        piece tag;
        piece speaker_mark;
        trl_text_scanner s = scanner_at(first, shifted_end);
        for (int code; (code = trl_text_scan(s)) != 0;) {
            const auto begin = static_cast<std::uint32_t>(s.token - text.data());
            const auto end = begin + static_cast<std::uint32_t>(s.length);
            kind k;
            switch (code) {
            case HSALL:
                k = kind::hesitation;
                break;
            case MGER:
                k = kind::speaker_noise;
                break;
            case TGER:
                k = kind::technical_noise;
                break;
            case ATM:
                k = kind::breathing;
                break;
            case UVS:
                k = kind::event;
                break;
            case PAU:
                k = kind::pause;
                break;
            case SPA:
            case SPP:
                speaker_mark = store(begin, end);
                continue;
            default:
                continue;
            }
            if (r == role::noise_bracket) { // each tag an element of its own
                const piece p = store(begin, end);
                add(k, begin, end).tag = p;
                continue;
            }
            what = k;
            tag = store(begin, end);
        }
        if (r != role::noise_bracket) {
            element& e = add(what, first, shifted_end);
            e.tag = tag;
            e.speaker_mark = speaker_mark;
        }
    }

    void lexical_element(std::uint32_t first, int symbol)
    {
        element& e = add(symbol == sym::disconnected_word ? kind::disconnected
                         : symbol == sym::noise_word      ? kind::noise_word
                                                          : kind::word,
                         first, shifted_end);
        // The letters read since the element's first token are its own;
        // velmar's line has those since its last line.
        std::size_t k = read_at.size();
        while (k > 0 && read_at[k - 1].first >= first)
            --k;
        const std::size_t from = k < read_at.size() ? read_at[k].second : written_size;
        const std::string_view own(written.data() + from, written_size - from);
        e.letters = store(own);
        if (echo_from >= from)
            e.echo = piece{e.letters.at + static_cast<std::uint32_t>(echo_from - from),
                           e.letters.size - static_cast<std::uint32_t>(echo_from - from)};
        else
            e.echo = store(std::string_view(written.data() + echo_from, written_size - echo_from));
        written_size = from;
        read_at.resize(k);
        echo_from = from;

        std::size_t m = marks.size();
        while (m > 0 && marks[m - 1].at >= first)
            --m;
        for (std::size_t i = m; i < marks.size(); ++i) {
            const mark& mk = marks[i];
            switch (mk.what) {
            case mark::type::spelled_letter:
                ++e.spelled;
                break;
            case mark::type::language:
                if (e.language.size == 0) {
                    e.language = store("");
                    for (int b = 0; b < 3; ++b)
                        current.chars.push_back(static_cast<char>(mk.end >> (8 * b)));
                    e.language.size = 3;
                }
                break;
            case mark::type::init_mark:
                if (e.init_mark.size == 0)
                    e.init_mark = store(mk.at, mk.end);
                break;
            case mark::type::final_mark:
                e.final_mark = store(mk.at, mk.end);
                break;
            case mark::type::speaker_mark:
                if (e.speaker_mark.size == 0)
                    e.speaker_mark = store(mk.at, mk.end);
                break;
            }
        }
        marks.resize(m);
        if (e.what == kind::word) {
            if (e.language.size > 0)
                e.what = kind::foreign;
            else if (e.spelled > 0 && e.spelled == k_letters(own))
                e.what = kind::spelled;
        }
    }

    // The letters of a written form (an umlaut is one).
    static int k_letters(std::string_view w)
    {
        return static_cast<int>(w.size() - static_cast<std::size_t>(std::count(w.begin(), w.end(), '"')));
    }

    // A new element, in reading order: by its beginning, before the
    // elements it holds (which were read, and added, before it).
    element& add(kind k, std::size_t begin, std::size_t end)
    {
        auto& els = current.elements;
        std::size_t i = els.size();
        while (i > 0 && els[i - 1].begin >= begin)
            --i;
        element& e = *els.emplace(els.begin() + static_cast<std::ptrdiff_t>(i));
        e.what = k;
        e.begin = begin;
        e.end = end;
        return e;
    }

    // Hands the turn to the caller, each element with the one that holds it.
    void emit(bool complete)
    {
        current.complete = complete;
        current.last_part = true;
        hand_over();
    }

    // Hands the elements read so far to the caller as a part of the turn,
    // and goes on with an empty one.
    void emit_part()
    {
        current.complete = true; // so far; its end is not known yet (0)
        current.last_part = false;
        hand_over();
        current.elements.clear();
        current.chars.clear();
        ++current.part;
    }

    void hand_over()
    {
        auto& els = current.elements;
        holders.clear();
        for (std::size_t i = 0; i < els.size(); ++i) {
            while (!holders.empty() && els[static_cast<std::size_t>(holders.back())].end <= els[i].begin)
                holders.pop_back();
            els[i].parent = holders.empty() ? -1 : holders.back();
            holders.push_back(static_cast<int>(i));
        }
        result.turns += current.part == 0;
        (*on_turn)(current);
    }
};

reader::reader() : state_(std::make_unique<state>()) {}
reader::~reader() = default;

read_result reader::read(std::string_view text, const std::function<void(const turn&)>& on_turn,
                         const read_options& options)
{
    return read_with<false>(text, on_turn, options);
}

read_result reader::read_over_tables(std::string_view text, const std::function<void(const turn&)>& on_turn,
                                     const read_options& options)
{
    return read_with<true>(text, on_turn, options);
}

template <bool over_tables>
read_result reader::read_with(std::string_view text, const std::function<void(const turn&)>& on_turn,
                              const read_options& options)
{
    state& s = *state_;
    if (text.size() > max_text_size) {
        read_result r;
        r.too_large = true;
        return r;
    }
    s.begin_text(text, on_turn, options);
    parse_state p;
    p.stack = s.stack.data;
    p.capacity = static_cast<int>(s.stack.size);
    trl_engine::start(p);
    static_assert(trl_engine::reads_runs<state, L, MC>, "the reader takes the letters of a word as runs");
    if constexpr (over_tables)
        trl_engine::parse_tables<tables, state, false>(p, s);
    else
        trl_engine::parse<tables, state, false>(p, s);
    s.clear_turn();
    if (s.stack.size > (std::size_t{1} << 20))
        s.stack.resize(state::entry_stack::first_size);
    return s.result;
}

document read_document(std::string_view text, const read_options& options)
{
    document d;
    reader r;
    d.result = r.read(
        text, [&](const turn& t) { d.turns.push_back(t); }, options);
    return d;
}

void append_echo_form(std::string& out, std::string_view letters)
{
    for (std::size_t i = 0; i < letters.size(); ++i) {
        out.push_back(letters[i]);
        if (letters[i] == '"')
            ++i; // the umlaut's vowel
    }
}

void append_utf8_form(std::string& out, std::string_view letters)
{
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const char c = letters[i];
        if (c != '"' || i + 1 == letters.size()) {
            out.push_back(c);
            continue;
        }
        // "a "o "u "A "O "U "s, the scanner's umlauts: ä ö ü Ä Ö Ü ß.
        static constexpr std::string_view from = "aouAOUs";
        static constexpr std::array<const char*, 7> to = {"\xC3\xA4", "\xC3\xB6", "\xC3\xBC", "\xC3\x84",
                                                          "\xC3\x96", "\xC3\x9C", "\xC3\x9F"};
        const std::size_t k = from.find(letters[i + 1]);
        if (k == std::string_view::npos) {
            out.push_back(c);
            continue;
        }
        out.append(to[k]);
        ++i;
    }
}

std::string echo_form(std::string_view letters)
{
    std::string s;
    append_echo_form(s, letters);
    return s;
}

std::string utf8_form(std::string_view letters)
{
    std::string s;
    append_utf8_form(s, letters);
    return s;
}

} // namespace trl
