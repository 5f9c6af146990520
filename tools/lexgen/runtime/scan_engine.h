// The scanner runtime: longest-match scanning over the tables that lexgen
// writes.  Every scanner of a rule file, over a stream that is refilled
// or over a text in memory, finds its matches with longest_match() and
// turns them into tokens with token(); what differs between them is only
// where the bytes come from (the Input of longest_match).
//
// Note: the table encoding.  lexgen writes a struct `tables` (in the
// namespace its command line names) holding exactly what the runtime reads,
// in the form it reads it; the runtime derives nothing.
//
//   format               the encoding's version, table_format below; every
//                        entry point checks it at compile time.
//   byte_class[b]        the class of byte b (NUL alone in its class).
//   next[s][c]           the state after state s on class c, 0 (the dead
//                        state) for none.  Rows are row_size long, a power
//                        of two, so that a row is found by a shift.
//   start_state, start_state_at_line_start
//                        where a match starts (start(at_line_start) picks);
//                        only the second has the transitions of the rules
//                        written with '^'.
//   accept[s]            the rule that state s accepts (the lowest-numbered
//                        one), 0 when it accepts none.
//   stop[s]              0: s accepts nothing; 1: s accepts a rule and has
//                        transitions; 2: s accepts a rule and has none, so a
//                        match reaching it is complete without looking at
//                        the next byte (a terminal's line comes out before
//                        the next line is typed).  Plus loop_bit (4) when s
//                        leads back to itself on every byte but one,
//                        loop_exit[s]: the match skips to that byte with
//                        memchr (the body of a comment).
//   loop_exit[s]         that byte; 0 for the states without loop_bit.
//   tail_length[r]       bytes of trailing context that rule r gives back.
//   rule_token[r]        the token of a rule written "=> NAME", as the name
//                        (the rule file's prologue brings the names in); -1
//                        for "=> byte", whose token code is the match's first
//                        byte; 0 for a rule whose action is code.
//   rule_value[r]        1 for "=> NAME value": the token's value is the
//                        first byte of the match, as a signed char.
//   nul_token            the code of a NUL byte matched by "=> byte" (the
//                        rule file's %nul_token; 0 is the end of the input).
//   one_byte[l][b]       for a match starting at the beginning of a line
//                        (l = 1) or not (l = 0): when byte b alone is a
//                        complete match (its state stops, with no trailing
//                        context), its rule, and for a rule written as a
//                        token its code and whether the byte is its value;
//                        rule 0 otherwise, and always for NUL.  Most tokens
//                        are one letter or one blank: one load makes them.
//                        And the state after the byte, where a match of
//                        two bytes or more goes on (see short_match).
//   memo_plane[s]        1 + the plane of the memo of failures that records
//                        state s (see "Linear time"), 0 when s is not
//                        recorded; num_memo_planes planes in all.
//   action(rule, yy)     the actions written as code, a `switch` over the
//                        rules; `yy` is all that an action sees of the
//                        scanner (its match, and what the rule file's
//                        prologue says the scanners keep), so an action
//                        cannot reach state that other scanners share.  It
//                        returns a token code, or `skip` when the action
//                        falls off its end.
//
// Linear time.  A longest match may read far beyond the text it settles
// for: a run of digits that no '@' ends is read to its end before the
// first digit comes back alone, and so is every later digit's match, which
// makes scanning quadratic in the length of such a run.  The runtime
// remembers the pairs (state, position) from which the automaton is known
// to reach no accepting state, and a later match that reaches such a pair
// stops there: it would back up to the same place.  Only states that lie on
// a loop of the automaton and accept nothing are recorded (a match passes
// the others at most once each), and only after a match has read more than
// record_after bytes beyond its end (a shorter overshoot costs at most that
// much per match), so ordinary text never touches the memo.  Every match
// then reads each recorded pair at most once after it is recorded:
// scanning is linear in the length of the input, with the very same tokens.
#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

namespace scan_engine {

// The version of the encoding above that this runtime reads.
inline constexpr int table_format = 3;

// What an action returns when its match is skipped.
inline constexpr int skip = -1;

// In stop[]: the state loops on every byte but its loop_exit.
inline constexpr int loop_bit = 4;

// A match that overshoots its end by more bytes than this records where it
// failed.
inline constexpr std::ptrdiff_t record_after = 64;

template <class T> constexpr bool current_format()
{
    static_assert(T::format == table_format, "the scanner tables were written for another version of this runtime");
    return true;
}

// The pairs (state, position) known to lead to no accepting state: for each
// recorded state (its plane), runs of positions, sorted and apart.
class failures {
public:
    explicit failures(int planes) : runs_(static_cast<std::size_t>(planes > 0 ? planes : 1)) {}

    bool empty() const { return end_ <= begin_; }
    // The positions between the first run and the last.
    std::int64_t begin() const { return begin_; }
    std::int64_t end() const { return end_; }

    bool has(int plane, std::int64_t pos) const
    {
        const std::vector<run>& r = runs_[static_cast<std::size_t>(plane)];
        if (!r.empty() && pos >= r.back().begin) // a scanner moving on asks within the last run
            return pos < r.back().end;
        const auto after =
            std::upper_bound(r.begin(), r.end(), pos, [](std::int64_t p, const run& x) { return p < x.begin; });
        return after != r.begin() && pos < std::prev(after)->end;
    }

    // Records the positions [from, to) of a plane.
    void add(int plane, std::int64_t from, std::int64_t to)
    {
        if (to <= from)
            return;
        std::vector<run>& r = runs_[static_cast<std::size_t>(plane)];
        if (r.empty() || from > r.back().end) {
            r.push_back({from, to}); // the usual case: after what is known
        } else if (from >= r.back().begin) {
            r.back().end = std::max(r.back().end, to);
        } else {
            // Merge with the runs it touches.
            auto first =
                std::lower_bound(r.begin(), r.end(), from, [](const run& x, std::int64_t p) { return x.end < p; });
            auto last = first;
            run merged{from, to};
            for (; last != r.end() && last->begin <= to; ++last) {
                merged.begin = std::min(merged.begin, last->begin);
                merged.end = std::max(merged.end, last->end);
            }
            first = r.erase(first, last);
            r.insert(first, merged);
        }
        if (empty()) {
            begin_ = from;
            end_ = to;
        } else {
            begin_ = std::min(begin_, from);
            end_ = std::max(end_, to);
        }
    }

    // Forgets the positions before pos (a scanner that never goes back).
    void drop_before(std::int64_t pos)
    {
        if (pos <= begin_)
            return;
        if (pos >= end_) {
            clear();
            return;
        }
        for (std::vector<run>& r : runs_) {
            auto live = std::find_if(r.begin(), r.end(), [pos](const run& x) { return x.end > pos; });
            r.erase(r.begin(), live);
            if (!r.empty())
                r.front().begin = std::max(r.front().begin, pos);
        }
        begin_ = pos;
    }

    void clear()
    {
        for (std::vector<run>& r : runs_)
            r.clear();
        begin_ = end_ = 0;
    }

private:
    struct run {
        std::int64_t begin;
        std::int64_t end;
    };
    std::vector<std::vector<run>> runs_;
    std::int64_t begin_ = 0;
    std::int64_t end_ = 0;
};

// A match under way: the state reached at cp, the next byte to read, and
// the last accepting state passed with the position after it.
struct walk {
    int state;
    const char* cp;
    int last_state; // 0: none yet
    const char* last_pos;
};

// The first byte of [cp, end) that leaves state s, a state with loop_bit;
// end when none does.
template <class T> inline const char* loop_end(int s, const char* cp, const char* end)
{
    const void* exit = std::memchr(cp, T::loop_exit[s], static_cast<std::size_t>(end - cp));
    return exit ? static_cast<const char*>(exit) : end;
}

// The one match loop: runs the automaton over [w.cp, end) until the match is
// decided: no transition, a state that stops, or (with `memo`) a pair known
// to fail.  False when it reached `end` undecided.
template <class T, bool check>
[[gnu::always_inline]] inline bool run(walk& w, const char* end, const failures* memo = nullptr,
                                       std::int64_t position_of_cp = 0)
{
    int state = w.state;
    const char* cp = w.cp;
    bool decided = false;
    while (cp != end) {
        const int to = T::next[state][T::byte_class[static_cast<unsigned char>(*cp)]];
        if (!to) {
            decided = true;
            break;
        }
        state = to;
        ++cp;
        if constexpr (check) {
            if (const int plane = T::memo_plane[state]; plane && memo->has(plane - 1, position_of_cp + (cp - w.cp))) {
                decided = true;
                break;
            }
        }
        if (const int stop = T::stop[state]) {
            if (stop & loop_bit) [[unlikely]] {
                // Where the loop is known to fail, it fails from its start
                // (the check above); elsewhere it fails nowhere.
                cp = loop_end<T>(state, cp, end);
            }
            if (stop & 3) {
                w.last_state = state;
                w.last_pos = cp;
                if (stop == 2) {
                    decided = true;
                    break;
                }
            }
        }
    }
    w.state = state;
    w.cp = cp;
    return decided;
}

// The match at `begin` found by the match loop alone, inline: for a caller
// that holds no memo of failures (or an empty one), when the bytes before
// `end` decide the match and it backs up too little to record anything.
// Most longer tokens (tags, speaker marks, digits before a digit) are found
// so, without longest_match's bookkeeping; false sends the caller there.
struct quick_result {
    int rule;        // 0: no rule takes the text at begin
    const char* end; // the end of the match
};
template <class T>
[[gnu::always_inline]] inline bool quick_match(const char* begin, const char* end, int start, quick_result& m)
{
    walk w{start, begin, 0, begin};
    if (!run<T, false>(w, end) || w.cp - w.last_pos > record_after)
        return false;
    m.rule = T::accept[w.last_state];
    m.end = w.last_pos - T::tail_length[m.rule];
    return true;
}

// What longest_match found: the rule (0 when none takes the text at
// `begin`) and the match [begin, end).  `end_of_input`: the input ended
// before any byte at `begin`.
struct match {
    int rule;
    const char* begin;
    const char* end;
    bool end_of_input;
};

// Input of longest_match, the bytes at hand and where more come from:
//   const char* base;        the bytes at hand, [base, end); base is at
//   const char* end;         position `origin` of the whole input
//   std::int64_t origin;
//   const failures* known_failures();
//                            the memo of failures, or null while there is none
//   failures& record_failures();
//                            the memo, made if need be
//   bool more(const char*& begin, walk& w);
//                            more bytes after end: makes them available
//                            (moving base, end, begin and w's positions
//                            along if it moves the bytes) and returns true;
//                            false at the end of the input.
//   bool ended_empty() const;
//                            after more() gave false: nothing was left at
//                            begin
// (scan_input states that shape; the meaning is the above.)
template <class Input>
concept scan_input = requires(Input& in, const Input& held, const char*& begin, walk& w)
{
    requires std::same_as<decltype(in.base), const char*>;
    requires std::same_as<decltype(in.end), const char*>;
    requires std::same_as<decltype(in.origin), std::int64_t>;
    requires std::same_as<decltype(in.known_failures()), const failures*>;
    requires std::same_as<decltype(in.record_failures()), failures&>;
    requires std::same_as<decltype(in.more(begin, w)), bool>;
    requires std::same_as<decltype(held.ended_empty()), bool>;
};

// The rule of a match at `begin` that is its first byte alone because the
// second byte leads to a pair known to fail (see "Linear time"), the
// position of `begin` being `position`: where longest_match would stop at
// once and back up to the first byte; 0 when the match is not known so.
// Each digit of a long run that no '@' ends, and each "<;" of a line of
// comments never closed, comes so once the first of them has failed: a
// scanner that holds a memo may ask here before it calls longest_match.
template <class T>
inline int first_byte_before_failure(const failures& memo, const char* begin, const char* end, int start,
                                     std::int64_t position)
{
    if (memo.empty() || end - begin < 2)
        return 0;
    const int first = T::next[start][T::byte_class[static_cast<unsigned char>(begin[0])]];
    const int second = T::next[first][T::byte_class[static_cast<unsigned char>(begin[1])]];
    const int plane = T::memo_plane[second];
    const int rule = T::accept[first];
    // As the match loop goes: the first state is not looked up in the
    // memo, accepts, and does not skip bytes in a loop of its own.
    if (first == 0 || plane == 0 || T::memo_plane[first] != 0 || (T::stop[first] & 3) == 0 ||
        (T::stop[first] & loop_bit) != 0 || T::tail_length[rule] != 0 || !memo.has(plane - 1, position + 2))
        return 0;
    return rule;
}

// Out of line: most tokens are one byte and never come here, and the
// caller's own loop keeps its registers.
template <class T, scan_input Input> [[gnu::noinline]] match longest_match(Input& in, const char* begin, int start)
{
    static_assert(current_format<T>());
    walk w{start, begin, 0, begin};
    bool input_ended = false;
    for (;;) {
        bool decided;
        const failures* memo = in.known_failures();
        if (!memo || memo->empty()) {
            decided = run<T, false>(w, in.end);
        } else {
            // The memo's positions are read where they are recorded; before
            // and after them the loop runs unchecked.
            decided = false;
            while (!decided && w.cp != in.end) {
                const std::int64_t pos = in.origin + (w.cp - in.base);
                const std::ptrdiff_t left = in.end - w.cp;
                if (pos < memo->begin())
                    decided = run<T, false>(w, w.cp + std::min<std::int64_t>(left, memo->begin() - pos));
                else if (pos < memo->end())
                    decided = run<T, true>(w, w.cp + std::min<std::int64_t>(left, memo->end() - pos), memo, pos);
                else
                    decided = run<T, false>(w, in.end);
            }
        }
        if (decided)
            break;
        if (!in.more(begin, w)) {
            input_ended = true;
            break;
        }
    }
    if (w.cp - w.last_pos > record_after) {
        // Everything read after the last accepting state leads nowhere:
        // record the states that a match can come back to.
        failures& memo = in.record_failures();
        int state = w.last_state ? w.last_state : start;
        const char* p = w.last_state ? w.last_pos : begin;
        auto position = [&in](const char* q) { return in.origin + (q - in.base); };
        // Positions of one plane that follow each other go in as one run.
        struct {
            int plane = 0;
            std::int64_t from = 0, to = 0;
        } pending;
        const auto note = [&](int plane, std::int64_t from, std::int64_t to) {
            if (plane == pending.plane && from <= pending.to) {
                pending.to = std::max(pending.to, to);
                return;
            }
            if (pending.plane)
                memo.add(pending.plane - 1, pending.from, pending.to);
            pending = {plane, from, to};
        };
        while (p != w.cp) {
            state = T::next[state][T::byte_class[static_cast<unsigned char>(*p)]];
            ++p;
            if (state == 0)
                break;
            const int plane = T::memo_plane[state];
            if (T::stop[state] & loop_bit) {
                // The loop holds up to its exit byte or to where the match
                // ended: every position of it fails.
                const char* const last = loop_end<T>(state, p, w.cp);
                if (plane)
                    note(plane, position(p), position(last) + 1);
                p = last;
            } else if (plane) {
                note(plane, position(p), position(p) + 1);
            }
        }
        note(0, 0, 0);
    }
    const int rule = T::accept[w.last_state];
    return {rule, begin, w.last_pos - T::tail_length[rule], input_ended && w.cp == begin && in.ended_empty()};
}

// The token of a one-byte match m (tables' one_byte) of byte `first`, and
// the value it leaves in `value`.
template <class Match> [[gnu::always_inline]] inline int one_byte_token(const Match& m, char first, int& value)
{
    value = m.value ? static_cast<signed char>(first) : value;
    return m.code;
}

// Note "Runs".  The letters of a word come one token a byte: most of a
// text is runs of one-byte tokens of a few codes.  A parser that takes
// such a run in a loop of its own (see "Fused runs" in the parse engine)
// reads it a token at a time with run_token: the code of the byte at cp
// when one_byte makes it on its own a token of one of the codes asked for,
// after a byte that is not a newline (a run does not start a line), with
// the value one_byte_token leaves; 0 otherwise, value untouched, NUL
// always.  The bytes' codes and whether each is its own value are a table
// derived from the tables at compile time: one load and one test a token.
struct run_byte {
    int code;   // 0: not a token of the run
    bool value; // the byte is the token's value
};
template <class T, int... codes> struct run_codes {
    static constexpr std::array<run_byte, 256> byte = [] {
        std::array<run_byte, 256> r{};
        for (int b = 1; b < 256; ++b) {
            const auto& one = T::one_byte[0][b];
            if (one.rule != 0 && ((one.code == codes) || ...) && b != '\n')
                r[static_cast<std::size_t>(b)] = {one.code, static_cast<bool>(one.value)};
        }
        return r;
    }();
};
template <class T, int... codes> [[gnu::always_inline]] inline int run_token(const char* cp, int& value)
{
    static_assert(current_format<T>());
    const run_byte& r = run_codes<T, codes...>::byte[static_cast<unsigned char>(*cp)];
    return r.code != 0 ? one_byte_token(r, *cp, value) : 0;
}

// A match decided by its first two bytes, cp[0] and cp[1] (one_byte is
// cp[0]'s entry): a byte that the second cannot follow, or two that make a
// complete match ("--", an umlaut, a digit before a blank).  Rule 0 when
// it takes more (or the second byte is not at hand).  Most of the tokens
// that one_byte leaves come this way, without the match loop.
struct short_result {
    int rule;
    int length;
};
template <class T>
[[gnu::always_inline]] inline short_result short_match(const typename T::one_byte_match& one, const char* cp,
                                                       bool second_at_hand)
{
    const int first = one.state;
    if (first == 0 || !second_at_hand)
        return {0, 0};
    const int second = T::next[first][T::byte_class[static_cast<unsigned char>(cp[1])]];
    if (second == 0) {
        const int rule = T::accept[first];
        return rule && T::tail_length[rule] == 0 ? short_result{rule, 1} : short_result{0, 0};
    }
    if (T::stop[second] == 2 && T::tail_length[T::accept[second]] == 0)
        return {T::accept[second], 2};
    return {0, 0};
}

// The token code of a match of `rule`, a rule written as a token
// (rule_token[rule] != 0), whose first byte is `first`, and the value it
// leaves: the first byte where the rule says so, `value` otherwise.
// Written without branches: the kinds of tokens follow each other at
// random.
template <class T> [[gnu::always_inline]] inline int token_code(int rule, char first, int& value)
{
    const int named = T::rule_token[rule];
    const int byte = static_cast<unsigned char>(first);
    int code = named > 0 ? named : byte; // -1: the byte itself
    code = code != 0 ? code : int{T::nul_token};
    value += (static_cast<signed char>(first) - value) * T::rule_value[rule];
    return code;
}

// The token of a match of `rule`, whose text is yy.text (yy.length bytes),
// or `skip`: a rule written as a token gives its code and sets yy.value
// where it says so; one written as code runs its action.
template <class T, class Match> [[gnu::always_inline]] inline int token(int rule, Match& yy)
{
    static_assert(current_format<T>());
    if (T::rule_token[rule])
        return token_code<T>(rule, *yy.text, yy.value);
    return T::action(rule, yy);
}

} // namespace scan_engine
