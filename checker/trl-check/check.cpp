// The bookkeeping of a check: the parse of a text with its watch on
// velmar's stack limit, the replay of a turn at an error, and the probes of
// what could have come instead.  It finds what is wrong where (finding.h);
// wording.h says it.
#include "check.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "grammar.h"
#include "lex.trl.text.h"
#include "skip.h"
#include "stack_limit.h"
#include "wording.h"

namespace trl_check {

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

constexpr int initial_capacity = 16384;   // above velmar's limit: its slot is always there
static_assert(initial_capacity > velmar_stack_limit);

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

// Runs the parse from a stack over a few tokens, to see whether it takes
// them all.
struct probe : on_stack {
    static constexpr bool watches_reads = false;

    std::initializer_list<int> codes;
    std::size_t next = 0;

    [[gnu::always_inline]] int lex(int& value)
    {
        value = 0;
        // After the tokens, one that no state takes ends the parse.
        return next < codes.size() ? codes.begin()[next++] : (++next, TRL_UNDEFINED_TOKEN);
    }
    static error_outcome syntax_error(parse_state&) { return error_outcome::not_recovered; }
};

// Whether the parse with the stack storage[0..depth) takes all of `codes`.
// It runs on the stack itself, which it leaves changed.
bool takes_all(std::vector<entry>& storage, int depth, std::initializer_list<int> codes)
{
    probe run{{storage}, codes};
    parse_state p = run.started();   // the bottom entry is the start state's, as it was
    p.depth = depth;
    trl_engine::parse<tables, probe, false>(p, run);
    return run.next > codes.size();
}

// What could have followed the stack storage[0..depth), where f's token
// was read: the terminals, the construct being read, the place, and
// whether the token would have been taken after a blank.  The stack is
// used up.
void expect(std::vector<entry>& storage, int depth, finding& f)
{
    const entry* const stack = storage.data();
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
    f.where = depth == 1                                                   ? finding::place::start_of_text
              : depth == 2 && stack[1].state == grammar::between_turns_state ? finding::place::between_turns
                                                                             : finding::place::in_turn;
    f.after_blank = f.token > 0 && f.token != WS && takes_all(storage, depth, {WS, f.token});
}

// Runs the parse of one turn again, from its start, watching the reads, up
// to the error at f's token; there it puts the stack back as it was when
// that token was read and finds what could have followed.
struct replay : on_stack {
    static constexpr bool watches_reads = true;

    trl_text_scanner scan;
    finding& f;
    const char* target;
    int read_depth = 0;
    std::vector<std::pair<int, entry>> undo;   // entries overwritten since the last read
    bool hit = false;

    replay(std::vector<entry>& s, const trl_text_scanner& from, finding& at)
        : on_stack{s}, scan(from), f(at), target(from.text + at.offset)
    {
    }

    [[gnu::always_inline]] int lex(int& value)
    {
        const int code = trl_text_scan(scan);
        value = scan.value;
        return code;
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
        // The replay takes the steps the parse took, so it stops at the
        // same token; were it not so, nothing would be said of what was
        // expected.
        hit = scan.token == target;
        if (!hit)
            return error_outcome::not_recovered;
        // The entries above the top are as they were: only those written
        // since the read need to come back.
        for (auto it = undo.rbegin(); it != undo.rend(); ++it)
            p.stack[it->first] = it->second;
        expect(storage, read_depth, f);
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

// One check of one text: the hooks of the parse and what it found.
struct file_run : on_stack {
    static constexpr bool watches_reads = false;

    // What the watched stack entry stands for.  lex() reads the entry on
    // every token, and anything there but the sentinel sends the read down
    // the slow path, which does what the state asks for.
    enum class watch_state {
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
    static constexpr entry turn_mark{0, 0};   // not the sentinel

    // Read on every token.  The scanner is the caller's, not a part of
    // this record: so the compiler keeps its fields where the parse loop
    // reads them without copies (measured: a tenth fewer instructions per
    // token).
    trl_text_scanner& scan;
    const entry* watch = &turn_mark;

    watch_state state = watch_state::before_turn;
    std::string_view text;
    const check_options& options;
    file_report& report;
    line_counter lines;
    trl_text_scanner turn_start;   // the scanner before the current turn's first token
    int turn_start_depth = 1;      // the stack then: [0], or [0, between_turns_state]
    bool first_turn = true;        // no turn has begun, no error been skipped

    file_run(std::vector<entry>& s, trl_text_scanner& sc, std::string_view t, const check_options& opt,
             file_report& r)
        : on_stack{s}, scan(sc), text(t), options(opt), report(r), lines{t}
    {
        trl_text_scanner_start(scan, t.data(), t.size());
        turn_start = scan;
    }

    entry& limit_slot() { return storage[velmar_stack_limit - 1]; }

    void set(watch_state s)
    {
        state = s;
        aim();
    }
    // Points `watch` at the entry the state watches.
    void aim()
    {
        switch (state) {
        case watch_state::before_turn:
        case watch_state::turn_read: watch = &turn_mark; break;
        case watch_state::in_turn: watch = &limit_slot(); break;
        case watch_state::quiet: watch = &sentinel; break;
        }
    }

    [[gnu::always_inline]] int lex(int& value)
    {
        if (!is_sentinel(*watch)) [[unlikely]]
            return lex_slow(value);
        const int code = trl_text_scan(scan);
        value = scan.value;
        if (code == END) [[unlikely]]
            turn_ends();
        return code;
    }

    void turn_ends() { set(state == watch_state::in_turn ? watch_state::turn_read : watch_state::before_turn); }

    int lex_slow(int& value)
    {
        check_limit();
        const bool turn_begins = state == watch_state::before_turn || state == watch_state::turn_read;
        if (turn_begins) {
            // The stack is [0] or [0, between_turns_state], far below the
            // limit's slot.
            turn_start = scan;
            turn_start_depth = first_turn ? 1 : 2;
            first_turn = false;
            limit_slot() = sentinel;
            set(watch_state::in_turn);
        }
        const int code = trl_text_scan(scan);
        value = scan.value;
        if (turn_begins && code != 0 && code != END)
            ++report.turns;
        if (code == END)
            turn_ends();
        return code;
    }

    // The last token read, as a finding.
    finding at_last_token(finding::kind what) const
    {
        finding f;
        f.what = what;
        f.offset = scan.token ? static_cast<std::size_t>(scan.token - text.data()) : 0;
        f.length = static_cast<std::size_t>(scan.length);
        f.velmar_line = scan.lineno;
        return f;
    }

    // If the parse has filled the limit's slot since the turn began,
    // velmar stops there, at the last token read: a warning.
    void check_limit()
    {
        if ((state != watch_state::in_turn && state != watch_state::turn_read) || is_sentinel(limit_slot()))
            return;
        set(state == watch_state::in_turn ? watch_state::quiet : watch_state::before_turn);
        finding f = at_last_token(finding::kind::velmar_stack);
        f.construct = grammar::turn_symbol;
        add(f);
    }

    void add(const finding& f)
    {
        diagnostic d;
        d.offset = f.offset;
        d.length = f.length;
        d.velmar_line = f.velmar_line;
        lines.locate(d.offset, d);
        word(f, text, d);
        ++(info(d.kind).warning ? report.warnings : report.errors);
        report.diagnostics.push_back(std::move(d));
    }

    bool grow(parse_state& p)
    {
        on_stack::grow(p);
        aim();   // the limit's slot has moved
        return true;
    }

    error_outcome syntax_error(parse_state& p)
    {
        check_limit();
        finding f = at_last_token(finding::kind::syntax_error);
        f.token = p.lookahead;   // held: the offending token (0 at the end of the text)
        find_expected(f, p);
        add(f);
        if (f.token == 0)
            return error_outcome::not_recovered;
        // Skip the rest of the turn, up to and including its empty line.
        if (f.token != END && !skip_past_end(scan))
            return error_outcome::not_recovered;
        if (options.max_errors > 0 && report.errors >= options.max_errors) {
            trl_text_scanner rest = scan;
            report.stopped = trl_text_scan(rest) != 0;   // something is left unchecked
            return error_outcome::not_recovered;
        }
        p.stack[0] = entry{0, 0};
        p.stack[1] = entry{grammar::between_turns_state, 0};
        p.depth = 2;
        p.lookahead = trl_engine::no_token;
        p.symbol = 0;
        set(watch_state::before_turn);
        return error_outcome::recovered;
    }

    // What the parse expected when it read f's token, found by parsing the
    // turn again.  Kept out of the parse loop: inlined there, its own parse
    // and scanner would take registers that the loop needs on every token.
    [[gnu::noinline]] void find_expected(finding& f, parse_state& p)
    {
        // The replay runs on the parse's own stack: the parse resumes
        // between turns (or stops) after an error, so nothing on it is
        // needed any more.  It fills the limit's slot like the parse did
        // (already reported), and may move the stack.
        set(watch_state::quiet);
        replay r(storage, turn_start, f);
        parse_state rp = r.started();
        if (turn_start_depth == 2) {
            rp.stack[1] = entry{grammar::between_turns_state, 0};
            rp.depth = 2;
        }
        trl_engine::parse<tables, replay, false>(rp, r);
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size()) - 1;
    }

    void finish() { check_limit(); }
};

} // namespace

checker::checker() : stack_(initial_capacity + 1) {}

file_report checker::check(std::string_view text, const check_options& options)
{
    file_report report;
    trl_text_scanner scan;
    file_run run(stack_, scan, text, options, report);
    parse_state p = run.started();
    trl_engine::parse<tables, file_run, false>(p, run);
    run.finish();
    return report;
}

} // namespace trl_check
