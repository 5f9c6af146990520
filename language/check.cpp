// The bookkeeping of a check: the parse of a text with its watch on
// velmar's stack limit, the replay of a turn at an error, the probes of
// what could have come instead, and the recovery inside a turn.  It finds
// what is wrong where (finding.h); wording.h says it.
#include "language/check.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <latch>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "language/consistency.h"
#include "language/grammar.h"
#include "language/text_scanner.h"
#include "language/lines.h"
#include "language/read_log.h"
#include "language/recovery.h"
#include "checker/stack_limit.h"
#include "language/umlauts.h"
#include "language/wording.h"

namespace trl {

namespace {

using grammar::tables;
using trl_engine::entry;
using trl_engine::error_outcome;
using trl_engine::parse_state;

// An entry that no parse writes: placed at the stack slot that velmar's
// limit would not let it fill, it shows when the parse gets there.
constexpr entry sentinel{-1, INT_MIN};

bool is_sentinel(const entry& e)
{
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, &e, sizeof a);
    std::memcpy(&b, &sentinel, sizeof b);
    return a == b;
}
static_assert(sizeof(entry) == sizeof(std::uint64_t));

constexpr int initial_capacity = 16384; // above velmar's limit: its slot is always there
static_assert(initial_capacity > velmar_stack_limit);

// Tokens read after the parse has resumed within a turn before an error is
// reported again: an error at the first token after the look-ahead it
// resumed with is taken for a consequence of the one before (see the note
// in recovery.h).
constexpr int quiet_reads = 2;

// What every parse here shares: the check of a text, the replay of a turn
// at an error and the probes all run on the checker's one stack, without
// the grammar's actions, and the stack grows without limit (with one spare
// entry above its capacity).
struct on_stack {
    static constexpr bool run_actions = false;

    std::vector<entry>& storage;

    // A parse from the start state; the entries above it stay as they are.
    parse_state started() const
    {
        parse_state p;
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size()) - 1;
        trl_engine::start(p);
        return p;
    }

    bool grow(parse_state& p)
    {
        const std::size_t size = static_cast<std::size_t>(p.capacity) * 2;
        storage.resize(size + 1);
        p.stack = storage.data();
        p.capacity = static_cast<int>(size);
        return true;
    }
};

// What could have followed the stack stack[0..depth), where f's token was
// read: the terminals, the construct being read, the place, and whether
// the token would have been taken after a blank.  The stack is left as it
// is.
void expect(const entry* stack, int depth, finding& f)
{
    for (int t = 0; t < tables::num_terminals; ++t)
        if (grammar::produced[static_cast<std::size_t>(t)] && t != tables::error_terminal &&
            trl_engine::takes<tables>(stack, depth, t))
            f.expected.push_back(t);
    for (int i = depth - 1; i >= 0 && f.construct == 0; --i)
        f.construct = tables::state_construct[stack[i].state];
    if (grammar::is_identification_part(f.construct)) {
        for (const int t : f.expected)
            if (std::find(grammar::identification_tokens.begin(), grammar::identification_tokens.end(), t) ==
                grammar::identification_tokens.end())
                f.construct = grammar::turn_symbol;
    }
    f.where = depth == 1                                                     ? finding::place::start_of_text
              : depth == 2 && stack[1].state == grammar::between_turns_state ? finding::place::between_turns
                                                                             : finding::place::in_turn;
    if (f.token > 0 && f.token != WS) {
        virtual_stack v(stack, depth);
        f.after_blank = v.take(grammar::blank_terminal) && v.take(tables::translate(f.token));
    }
}

// Runs the parse of one turn again, from its start, watching the reads, up
// to the error at f's token; there it puts the stack back as it was when
// that token was read and finds what could have followed.  The stack is
// left so: its first read_depth entries.
struct replay : on_stack, read_log {
    static constexpr bool watches_reads = true;

    trl_text_scanner scan;
    finding& f;
    const char* target;
    int reads = 0;
    bool hit = false;

    replay(std::vector<entry>& s, const trl_text_scanner& from, finding& at)
        : on_stack{s}, scan(from), f(at), target(from.text + at.offset)
    {}

    [[gnu::always_inline]] int lex(int& value)
    {
        const int code = trl_text_scan(scan);
        value = scan.value;
        ++reads;
        return code;
    }
    error_outcome syntax_error(parse_state& p)
    {
        // The replay takes the steps the parse took, so it stops at the
        // same token; were it not so, nothing would be said of what was
        // expected.
        hit = scan.token == target;
        if (!hit)
            return error_outcome::not_recovered;
        // The entries above the top are as they were: only those written
        // since the read need to come back.
        restore(p.stack);
        f.turn_tokens = reads - 1;
        expect(p.stack, read_depth, f);
        return error_outcome::not_recovered;
    }
};

// The end of a diagnostic's offending text as a position, from its start.
void locate_end(std::string_view text, diagnostic& d)
{
    d.end_line = d.line;
    std::size_t line_start = d.line_start;
    for (std::size_t i = d.span_begin; i < d.span_end; ++i)
        if (text[i] == '\n')
            ++d.end_line, line_start = i + 1;
    d.end_column = static_cast<long>(d.span_end - line_start) + 1;
}

// Note "The watch on velmar's limit".  velmar stops where its parser stack
// is full (checker/stack_limit.h); the check warns there (W001), at the
// token read when the parse first fills the limit's slot in a turn.  Rather
// than compare the depth at every push, the slot holds a sentinel (an entry
// that no parse writes) from the start of each turn, and the fast mode's
// read looks at one entry, the watched one, on every token: anything there
// but the sentinel sends the read down the slow way, which does what the
// watch is there for.  Between turns the watched entry is never the
// sentinel, so the first read of a turn goes the slow way; once the turn
// has been warned about (or its stack used for a replay), the watch looks
// at a sentinel of its own up to the turn's empty line.
class limit_watch {
public:
    explicit limit_watch(std::vector<entry>& storage) : storage_(storage) {}

    // Whether the read must go the slow way: asked on every token.
    [[gnu::always_inline]] bool wants_look() const { return !is_sentinel(*watched_); }

    // Whether the next read begins a turn.
    bool turn_begins() const { return state_ == state::before_turn || state_ == state::turn_read; }
    // A turn begins, its stack far below the limit's slot.
    void begin_turn()
    {
        slot() = sentinel;
        set(state::in_turn);
    }
    // The turn's empty line has been read.
    void end_turn() { set(state_ == state::in_turn ? state::turn_read : state::before_turn); }
    // Nothing to look at up to the turn's empty line.
    void quiet() { set(state::quiet); }
    // The parse goes on between turns.
    void between_turns() { set(state::before_turn); }
    // Whether the parse has filled the limit's slot since the turn began;
    // the turn is then looked at no more.
    bool reached()
    {
        if ((state_ != state::in_turn && state_ != state::turn_read) || is_sentinel(slot()))
            return false;
        set(state_ == state::in_turn ? state::quiet : state::before_turn);
        return true;
    }
    // Whether the two entries above `top` may be the limit's slot while
    // it is watched: a run's cycle, which writes them after reading the
    // next token rather than before, is then taken a step at a time, so
    // that the watch sees the slot filled at the same read.  (In this
    // grammar a word's first letter has written both before its run
    // begins, and the watch has looked then, so this never holds here and
    // no test can tell it is asked; it is for a grammar whose runs start
    // lower.)
    [[gnu::always_inline]] bool near(const entry* top) const
    {
        return watched_ != &turn_mark && watched_ != &sentinel && top + 2 >= watched_;
    }
    // The stack has moved, and the limit's slot with it.
    void stack_moved() { aim(); }

private:
    enum class state {
        // The next read begins a turn (or ends the text); the entry watched
        // is never the sentinel.
        before_turn,
        // In a turn below velmar's limit: the limit's slot is watched, and
        // holds the sentinel until the parse fills it.
        in_turn,
        // The empty line ending such a turn has been read: the slot is
        // looked at once more (the last pushes may have filled it), then
        // the next turn begins; the entry watched is never the sentinel.
        turn_read,
        // The turn has been warned about, or its stack used for a replay:
        // nothing to look at up to its empty line; a sentinel is watched.
        quiet,
    };
    static constexpr entry turn_mark{0, 0}; // not the sentinel

    entry& slot() { return storage_[velmar_stack_limit - 1]; }
    void set(state s)
    {
        state_ = s;
        aim();
    }
    // Points the watch at the entry the state watches.
    void aim()
    {
        switch (state_) {
        case state::before_turn:
        case state::turn_read:
            watched_ = &turn_mark;
            break;
        case state::in_turn:
            watched_ = &slot();
            break;
        case state::quiet:
            watched_ = &sentinel;
            break;
        }
    }

    const entry* watched_ = &turn_mark;
    state state_ = state::before_turn;
    std::vector<entry>& storage_;
};

// What a check has found: each finding said in words (wording.h) and
// placed, into the report.
struct findings {
    std::string_view text;
    const check_options& options;
    file_report& report;
    line_counter lines{text};

    void add(const finding& f)
    {
        diagnostic d;
        d.offset = f.offset;
        d.length = f.length;
        d.velmar_line = f.velmar_line;
        word(f, text, d, options.lean);
        // Placed where the offending text begins: a tag at its '<', which
        // the parse may have taken before it stopped.
        const line_counter::position at = lines.at(d.span_begin);
        d.line = at.line;
        d.column = at.column;
        d.line_start = at.line_start;
        ++(d.warning ? report.warnings : report.errors);
        report.diagnostics.push_back(std::move(d));
    }

    // Whether the errors have reached the limit the options set.
    bool at_limit() const { return options.max_errors > 0 && report.errors >= options.max_errors; }
};

// Where the turn being read began: the scanner before its first token, and
// the stack then ([0] for the text's first turn, [0, between_turns_state]
// after it).
struct turn_beginning {
    trl_text_scanner scanner;
    int depth = 1;
    bool first = true; // no turn has begun, no error been skipped
};

// Note "Two modes".  The parse of a text runs in one of two modes.  Fast,
// it reads the tokens and nothing else: the first error of a turn is
// described by parsing the turn again (replay).  After an error inside a
// turn the parse resumes in the turn (recovery.h) and watches every read
// and every entry it overwrites (watched_run), so that a later error of the
// same turn has the stack as it was when its token was read at once; the
// turn's empty line brings the fast mode back.  A change of mode leaves the
// parse loop and enters it again with the other mode's hooks.
enum class mode {
    fast,    // reading tokens, nothing else
    watched, // resumed inside a turn after an error, every read logged
    over,    // the parse is done
};

// The watched mode's record: the depth at the last read and the entries
// written below it since, the reads since the parse resumed, the last code
// read, and whether the turn's empty line has been taken.
struct resumed_turn : read_log {
    int reads = 0;
    int last_code = 0;
    bool over = false;
};

// Note "A text in two halves".  A long text may be checked by two parses
// at once: the first from the text's start, the second from a turn's
// beginning near the middle, as if a turn ended just before it.  The
// second records every turn beginning it passes: where its scanner stands
// and how much it has found by then.  The first, at each turn beginning
// from the middle on, asks whether the second passed the same place in the
// same state: the scanner's next match at the same byte, at a line's start
// or not alike, with the same value, and the stack (as at every turn
// beginning but the text's first) a list of turns.  Nothing else carries
// from a turn into the next but the scanner's line count, which only
// counts, and the errors counted, which only matter at the error limit: so
// from there on the second parse does exactly what the first would, and
// the first stops.  The report is the first's findings up to that place
// and the second's after it, their velmar lines moved by the difference of
// the two line counts.  Where no place matches (a comment left open across
// the middle, say), or the errors together reach the limit, the first
// parse reads on to the end alone: the report is the one a single parse
// gives, whichever way it was found.

// A turn beginning the second parse passed, and what it had found by then.
// The first parse mostly joins at one of the first few after the middle;
// further on (past a comment left open across it, say) it joins at the
// next one recorded, a few turns later than it could.  So the first
// `all_recorded` are recorded and after them one in `recorded_every`: a
// record of every turn would take 9 MB on a text of 50 MB.
constexpr std::size_t all_recorded = 256;
constexpr std::size_t recorded_every = 64;

struct turn_boundary {
    std::size_t offset = 0; // of the scanner's next match
    bool at_line_start = true;
    int value = 0;
    long long velmar_line = 0;
    std::size_t diagnostics = 0;
    int errors = 0;
    int warnings = 0;
    long turns = 0;
    std::size_t turn_starts = 0;
};

// The second parse of Note "A text in two halves", as the first sees it.
struct second_half {
    explicit second_half(std::size_t at) : from(at) {}

    std::size_t from;
    std::size_t passed = 0;                // turn beginnings, recorded or not
    std::vector<turn_boundary> boundaries; // in the order of the text
    file_report report;
    bool failed = false;             // it threw: nothing of it is taken
    std::atomic<bool> wanted = true; // the first parse may still ask for it
    std::latch done{1};
};

// Where the first parse joined the second: its own place and line count,
// and the second's record of the same place.
struct joining {
    long long velmar_line = 0;
    turn_boundary theirs;
};

// One check of one text: what the modes share, the way from an error to
// where the parse goes on, and the fast mode's hooks.
struct file_run : on_stack {
    static constexpr bool watches_reads = false;

    // Read on every token.  The scanner is the caller's, not a part of
    // this record: so the compiler keeps its fields where the parse loop
    // reads them without copies (measured: a tenth fewer instructions per
    // token).
    trl_text_scanner& scan;
    limit_watch limit;

    findings found;
    turn_beginning turn;
    resumed_turn resumed;

    // What the parse is doing (Note "Two modes").  An error hook that
    // changes it leaves the loop of the mode it ran in; the loop of the
    // new one starts from `switched`.
    mode current = mode::fast;
    parse_state switched;

    // Note "A text in two halves": the second parse records its turn
    // beginnings; the first looks for a place to join it.
    second_half* recording = nullptr;
    second_half* joins = nullptr;
    std::optional<joining> joined;

    file_run(std::vector<entry>& s, trl_text_scanner& sc, std::string_view t, const check_options& opt, file_report& r)
        : on_stack{s}, scan(sc), limit(s), found{t, opt, r}
    {
        trl_text_scanner_start(scan, t.data(), t.size());
        scan.pos += after_byte_order_mark(t);
        turn.scanner = scan;
    }

    // A byte order mark, before the parse: the error at its first byte is
    // where velmar stops, and the parse begins after it (the scanner does:
    // a comment line after it is a comment).  The parse is over at once
    // when the error limit is reached with it.
    void byte_order_mark(const parse_state& p)
    {
        if (scan.pos == found.text.data())
            return;
        finding f;
        f.offset = 0;
        f.length = 1;
        f.velmar_line = scan.lineno;
        f.token = static_cast<unsigned char>(found.text[0]);
        expect(p.stack, p.depth, f);
        found.add(f);
        if (!found.at_limit())
            return;
        trl_text_scanner rest = scan;
        found.report.stopped = trl_text_scan(rest) != 0;
        current = mode::over;
    }

    // The parse loop of mode `ran` has returned, with the parse in `p`.
    // Without a change of mode, the text has been taken whole.
    void loop_returned(mode ran, parse_state& p)
    {
        if (current == ran)
            current = mode::over;
        else if (current != mode::over)
            p = switched;
    }

    // The end of the text: velmar may stop at its last token still.
    void finish() { check_limit(); }

    // --- the fast mode's hooks ------------------------------------------------

    [[gnu::always_inline]] int lex(int& value)
    {
        if (limit.wants_look()) [[unlikely]]
            return lex_slow(value);
        const int code = trl_text_scan(scan);
        value = scan.value;
        if (code == END) [[unlikely]]
            limit.end_turn();
        return code;
    }

    // A token of a run of letters (see "Fused runs" in the parse engine),
    // where the fast read would take it the quick way and the cycle it
    // closes leaves the limit's slot alone; else 0, nothing read.
    template <int... codes> [[gnu::always_inline]] int lex_in_run(int& value, const entry* top)
    {
        if (limit.wants_look() || limit.near(top)) [[unlikely]]
            return 0;
        const int code = trl_text_scan_in_run<codes...>(scan);
        value = scan.value;
        return code;
    }

    // A read that the limit's watch looks at (Note "The watch on velmar's
    // limit"): the limit reached, or a turn beginning.
    int lex_slow(int& value)
    {
        check_limit();
        const bool turn_begins = limit.turn_begins();
        if (turn_begins) {
            if (recording && !record_turn_boundary()) {
                value = 0;
                return 0; // the first parse has stopped waiting for this one
            }
            if (joins && scan.pos >= found.text.data() + joins->from && scan.pos != scan.end && join_second_half()) {
                value = 0;
                return 0; // the second parse takes it from here
            }
            begin_turn();
        }
        const int code = trl_text_scan(scan);
        value = scan.value;
        if (turn_begins && code != 0 && code != END) {
            ++found.report.turns;
            found.report.turn_starts.push_back({static_cast<std::size_t>(scan.token - found.text.data()), scan.lineno});
        }
        if (code == END)
            limit.end_turn();
        return code;
    }

    // The next read begins a turn, or ends the text: its start is kept for
    // the replay.  The stack is [0] or [0, between_turns_state], far below
    // the limit's slot.
    void begin_turn()
    {
        turn.scanner = scan;
        turn.depth = turn.first ? 1 : 2;
        turn.first = false;
        limit.begin_turn();
    }

    // The second parse at a turn beginning: its record, if it is one that
    // is kept (Note "A text in two halves"); false when the first parse
    // needs it no more.
    bool record_turn_boundary()
    {
        if (!recording->wanted.load(std::memory_order_relaxed))
            return false;
        const std::size_t passed = recording->passed++;
        if (passed >= all_recorded && passed % recorded_every != 0)
            return true;
        const file_report& r = found.report;
        recording->boundaries.push_back({static_cast<std::size_t>(scan.pos - found.text.data()), scan.at_line_start,
                                         scan.value, scan.lineno, r.diagnostics.size(), r.errors, r.warnings, r.turns,
                                         r.turn_starts.size()});
        return true;
    }

    // The first parse at a turn beginning from the middle on: whether the
    // second passed here in the same state, with errors that the limit
    // lets through.  Once that cannot be, it asks no more.
    bool join_second_half()
    {
        second_half& h = *joins;
        h.done.wait();
        const std::size_t here = static_cast<std::size_t>(scan.pos - found.text.data());
        const auto b = std::lower_bound(h.boundaries.begin(), h.boundaries.end(), here,
                                        [](const turn_boundary& t, std::size_t at) { return t.offset < at; });
        if (h.failed || h.report.stopped || b == h.boundaries.end()) {
            joins = nullptr;
            return false;
        }
        if (b->offset != here || b->at_line_start != scan.at_line_start || b->value != scan.value)
            return false;
        const int max = found.options.max_errors;
        if (max > 0 && found.report.errors + (h.report.errors - b->errors) >= max) {
            joins = nullptr;
            return false;
        }
        joined = joining{scan.lineno, *b};
        return true;
    }

    bool grow(parse_state& p)
    {
        on_stack::grow(p);
        limit.stack_moved();
        return true;
    }

    // The fast mode's error: the first of its turn.
    error_outcome syntax_error(parse_state& p)
    {
        check_limit();
        finding f = at_last_token(finding::kind::syntax_error);
        f.token = p.lookahead; // held: the offending token (0 at the end of the text)
        const int depth = find_expected(f, p);
        found.add(f);
        return after_error(p, f, depth, true);
    }

    // --- what the modes share -------------------------------------------------

    // The last token read, as a finding.
    finding at_last_token(finding::kind what) const
    {
        finding f;
        f.what = what;
        f.offset = scan.token ? static_cast<std::size_t>(scan.token - found.text.data()) : 0;
        f.length = static_cast<std::size_t>(scan.length);
        f.velmar_line = scan.lineno;
        return f;
    }

    // If the parse has filled the limit's slot since the turn began,
    // velmar stops there, at the last token read: a warning.
    void check_limit()
    {
        if (!limit.reached())
            return;
        finding f = at_last_token(finding::kind::velmar_stack);
        f.construct = grammar::turn_symbol;
        found.add(f);
    }

    // What the parse expected when it read f's token, found by parsing the
    // turn again; the stack is left as it was then, and its depth is
    // returned (0 if the replay did not get there).  Kept out of the parse
    // loop: inlined there, its own parse and scanner would take registers
    // that the loop needs on every token.
    [[gnu::noinline]] int find_expected(finding& f, parse_state& p)
    {
        // The replay runs on the parse's own stack, from the turn's start:
        // what the parse had on it since is what the replay puts back.  It
        // fills the limit's slot like the parse did (already reported), and
        // may move the stack.
        limit.quiet();
        replay r(storage, turn.scanner, f);
        parse_state rp = r.started();
        if (turn.depth == 2) {
            rp.stack[1] = entry{grammar::between_turns_state, 0};
            rp.depth = 2;
        }
        trl_engine::parse<tables, replay, false>(rp, r);
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size()) - 1;
        return r.hit ? r.read_depth : 0;
    }

    // After an error (reported or not) at f's token, with the stack as it
    // was when the token was read (`depth` entries; 0: not known): the
    // parse resumes in the turn, or between turns, or ends.
    error_outcome after_error(parse_state& p, const finding& f, int depth, bool may_stay)
    {
        if (f.token == 0)
            return finish_parse();
        if (found.at_limit())
            return stop_at_limit(f);
        if (f.token == END)
            return to_next_turn(p);
        if (!f.expected.empty() && choose_code(f, found.text) == code::missing_empty_line) {
            // The token begins a turn: the one before is taken as ended,
            // as if its empty line were there, and the token read again
            // as the new turn's first.
            scan.pos = scan.token;
            scan.at_line_start = true;
            return to_next_turn(p);
        }
        if (depth == 0) {
            if (!trl_text_skip_turn(scan))
                return finish_parse();
            return to_next_turn(p);
        }
        const resume r = find_resume(p.stack, depth, f.token, p.lval, scan, may_stay);
        if (r.what == resume::kind::end_of_text)
            return finish_parse();
        scan = r.scanner;
        if (r.what == resume::kind::next_turn)
            return to_next_turn(p);
        return resume_in_turn(p, r);
    }

    // The errors have reached the limit at f's token: the parse ends, and
    // the report says whether something is left unchecked, which it is
    // unless the turn's empty line ends the text.
    error_outcome stop_at_limit(const finding& f)
    {
        trl_text_scanner rest = scan;
        int code = f.token == END ? END : trl_text_scan(rest);
        if (code == END)
            code = trl_text_scan(rest);
        found.report.stopped = code != 0;
        return finish_parse();
    }

    // The parse resumes inside the turn as `r` says, in the watched mode.
    error_outcome resume_in_turn(parse_state& p, const resume& r)
    {
        int depth = r.depth;
        while (depth + static_cast<int>(r.above.size()) + 1 >= p.capacity)
            grow(p);
        for (const int state : r.above)
            p.stack[depth++] = entry{state, 0};
        resumed.read_depth = depth;
        resumed.reads = 0;
        resumed.last_code = r.lookahead;
        return go_on(p, mode::watched, depth, r.lookahead, r.value);
    }

    // Between turns, after an empty line (taken, or the offending token):
    // the stack is a list of turns.
    error_outcome to_next_turn(parse_state& p)
    {
        p.stack[0] = entry{0, 0};
        p.stack[1] = entry{grammar::between_turns_state, 0};
        limit.between_turns();
        return go_on(p, mode::fast, 2, trl_engine::no_token, 0);
    }

    // The parse goes on in mode `m` with the stack `depth` entries deep and
    // the look-ahead given (or none): at once in the same mode, else when
    // the loop has returned.
    error_outcome go_on(parse_state& p, mode m, int depth, int lookahead, int value)
    {
        parse_state& to = m == current ? p : switched;
        to.stack = storage.data();
        to.capacity = static_cast<int>(storage.size()) - 1;
        to.depth = depth;
        to.lookahead = lookahead;
        to.symbol = lookahead == trl_engine::no_token ? 0 : tables::translate(lookahead);
        to.lval = value;
        if (m == current)
            return error_outcome::recovered;
        current = m;
        return error_outcome::not_recovered;
    }

    error_outcome finish_parse()
    {
        current = mode::over;
        return error_outcome::not_recovered;
    }
};

// The hooks of the watched mode.
struct watched_run {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = true;

    file_run& run;

    // The empty line that ends a turn has been taken when the next token
    // is asked for: the fast mode takes over there, stopping the loop with
    // a token that no state takes.
    int lex(int& value)
    {
        resumed_turn& t = run.resumed;
        if (t.last_code == END) {
            value = 0;
            t.last_code = 0;
            t.over = true;
            return TRL_UNDEFINED_TOKEN;
        }
        const int code = trl_text_scan(run.scan);
        value = run.scan.value;
        t.last_code = code;
        ++t.reads;
        return code;
    }
    void read(int depth) { run.resumed.read(depth); }
    void overwrite(int index, entry old) { run.resumed.overwrite(index, old); }
    bool grow(parse_state& p) { return run.grow(p); }

    // The stack is put back as it was when the token was read.  The error
    // is reported unless it comes too soon after the place the parse
    // resumed at.
    error_outcome syntax_error(parse_state& p)
    {
        resumed_turn& t = run.resumed;
        t.restore(p.stack);
        if (t.over) {
            // The turn's empty line has been taken and the turn reduced to
            // the list of turns: the next turn begins in the fast mode.
            t.over = false;
            return run.to_next_turn(p);
        }
        finding f = run.at_last_token(finding::kind::syntax_error);
        f.token = p.lookahead;
        if (t.reads >= quiet_reads) {
            expect(p.stack, t.read_depth, f);
            run.found.add(f);
        }
        return run.after_error(p, f, t.read_depth, t.reads > 0);
    }
};

// The fast mode's parse, on its own: inlined into check(), where it runs
// once, the compiler took the whole direct-coded parser for cold code and
// laid it out for size.
[[gnu::noinline, gnu::hot]] void parse_fast(parse_state& p, file_run& run)
{
    static_assert(trl_engine::reads_runs<file_run, L, MC>, "the fast mode takes the letters of a word as runs");
    trl_engine::parse<tables, file_run, false>(p, run);
}

void parse_watched(parse_state& p, file_run& run)
{
    watched_run w{run};
    trl_engine::parse<tables, watched_run, false>(p, w);
}

// The parse of the text from its start, in the modes it needs, to the end
// of the text or of the errors allowed.
void parse_on(file_run& run, parse_state& p)
{
    while (run.current != mode::over) {
        const mode ran = run.current;
        if (ran == mode::fast)
            parse_fast(p, run);
        else
            parse_watched(p, run);
        run.loop_returned(ran, p);
    }
    run.finish();
}

void parse_text(file_run& run)
{
    parse_state p = run.started();
    run.byte_order_mark(p);
    parse_on(run, p);
}

// The second parse of Note "A text in two halves": from h.from, as after a
// turn's empty line.
void parse_second_half(std::vector<entry>& stack, std::string_view text, const check_options& options, second_half& h)
{
    trl_text_scanner scan;
    file_run run(stack, scan, text, options, h.report);
    run.recording = &h;
    scan.pos = text.data() + h.from;
    scan.at_line_start = true;
    run.turn.scanner = scan;
    run.turn.first = false;
    parse_state p = run.started();
    run.to_next_turn(p);
    parse_on(run, p);
}

// The report of Note "A text in two halves": the first parse's findings,
// then, where it joined the second, the second's from there on.
void join_reports(file_report& report, const second_half& h, const joining& j)
{
    const turn_boundary& b = j.theirs;
    const long long moved = j.velmar_line - b.velmar_line;
    const file_report& r = h.report;
    for (std::size_t i = b.diagnostics; i < r.diagnostics.size(); ++i) {
        report.diagnostics.push_back(r.diagnostics[i]);
        report.diagnostics.back().velmar_line += moved;
    }
    for (std::size_t i = b.turn_starts; i < r.turn_starts.size(); ++i)
        report.turn_starts.push_back({r.turn_starts[i].offset, r.turn_starts[i].velmar_line + moved});
    report.errors += r.errors - b.errors;
    report.warnings += r.warnings - b.warnings;
    report.turns += r.turns - b.turns;
    report.stopped = r.stopped;
}

// Where a second parse may begin near `at`: after the next empty line that
// a turn follows; 0 if none does.
std::size_t turn_beginning_after(std::string_view text, std::size_t at)
{
    for (std::size_t i = text.find("\n\n", at); i != std::string_view::npos; i = text.find("\n\n", i + 1)) {
        const std::size_t next = text.find_first_not_of('\n', i);
        if (next == std::string_view::npos)
            return 0;
        if (text[next] != ' ' && text[next] != '\t' && text[next] != ';' && text[next] != '\r')
            return next;
        i = next;
    }
    return 0;
}

// Texts shorter than this are checked by one parse: a thread would cost
// more than half of it saves.
constexpr std::size_t halves_from = 256 * 1024;

} // namespace

checker::checker() : stack_(initial_capacity + 1) {}

checker::~checker() = default;

file_report checker::check(std::string_view text, const check_options& options)
{
    if (options.threads > 1 && text.size() >= halves_from)
        if (const std::size_t at = turn_beginning_after(text, text.size() / 2); at != 0)
            return check_in_halves(text, options, at);
    joined_at_ = 0;
    file_report report;
    trl_text_scanner scan;
    file_run run(stack_, scan, text, options, report);
    parse_text(run);
    complete(text, options, report);
    return report;
}

file_report checker::check_in_halves(std::string_view text, const check_options& options, std::size_t second_from)
{
    const auto one_parse = [&] {
        check_options one = options;
        one.threads = 1;
        return check(text, one);
    };
    if (second_from == 0 || second_from >= text.size())
        return one_parse();
    joined_at_ = 0;
    file_report report;
    if (second_stack_.empty())
        second_stack_.resize(initial_capacity + 1);
    second_half half(second_from);
    std::jthread second;
    try {
        second = std::jthread([&] {
            try {
                parse_second_half(second_stack_, text, options, half);
            } catch (...) {
                half.failed = true;
            }
            half.done.count_down();
        });
    } catch (const std::system_error&) { // no thread to be had: one parse reads it all
        return one_parse();
    }
    {
        trl_text_scanner scan;
        file_run run(stack_, scan, text, options, report);
        run.joins = &half;
        // Should the first parse end before the middle, the second is not
        // waited for longer than to its next turn.
        struct stop_asking {
            second_half& h;
            ~stop_asking() { h.wanted = false; }
        } stop{half};
        parse_text(run);
        if (run.joined) {
            join_reports(report, half, *run.joined);
            joined_at_ = run.joined->theirs.offset;
        }
    }
    second.join();
    complete(text, options, report);
    return report;
}

void checker::complete(std::string_view text, const check_options& options, file_report& report)
{
    if (!report.diagnostics.empty())
        report.diagnostics.front().velmar_stops = true;
    for (diagnostic& d : report.diagnostics)
        locate_end(text, d);
    check_consistency(text, options, report);
}

} // namespace trl
