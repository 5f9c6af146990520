// The LALR(1) parse engine: runs the tables that lalrgen writes (their
// encoding is described below) over the tokens of a scanner.  It is
// reentrant: everything one parse needs is in a parse_state record and a
// hooks object, so parses can run side by side.
//
// The engine is a template over
//   T       the generated tables (trl_lalr::tables);
//   Hooks   what the user of the engine decides:
//             int lex(int& value)          the next token code (0 or less:
//                                          end of input) and its value;
//             static constexpr bool run_actions
//                                          whether the grammar's actions run;
//             bool grow(parse_state&)      make room when the stack is full;
//                                          false: it cannot grow;
//             error_outcome syntax_error(parse_state&)
//                                          record a syntax error; it may set
//                                          the stack and the look-ahead to
//                                          where parsing resumes;
//             static constexpr bool watches_reads, and when it is true
//             void read(int depth)         a token has just been read, with
//                                          the stack `depth` entries deep;
//             void overwrite(int index, entry old)
//                                          stack[index], which held `old`,
//                                          is about to take a new state;
//                                          together they let a hook restore
//                                          the stack as it was when the
//                                          look-ahead was read;
//             static constexpr bool observes_steps (may be left out:
//             false), and when it is true
//             void shifted()               the look-ahead has just been
//                                          pushed;
//             void reduced(int rule, entry* rhs, int& value)
//                                          a reduction by rule `rule`:
//                                          rhs[0..length) are the entries
//                                          of its right side ($1..$n),
//                                          `value` is $$ (it starts as $1)
//                                          and may be set;
//             static constexpr bool observes(int rule)
//                                          whether reduced() is to be
//                                          called for `rule`;
//           reduced() is called for the reductions by those rules, of all
//           reductions of the grammar's automaton, where the traced
//           instance writes "Reducing via rule": the folded unit
//           reductions and fused empty rules included, in the same order
//           (see "Observing the steps");
//   trace   whether every step is written to standard error.  A parse picks
//           the traced instance once, so the fast path carries no trace
//           code.  The traced instance reads the same tables and takes the
//           same steps one at a time, retracing folded unit reductions and
//           fused empty rules, so that it shows every state and reduction
//           of the grammar's automaton.
// Note: the table encoding.  lalrgen writes a struct `tables` (in the
// namespace its command line names) holding exactly what the engine reads,
// in the form it reads it; the engine derives nothing.  Terminals and
// nonterminals are numbered as in the grammar (terminals first; nonterminal
// n is symbol num_terminals + n).  The struct's functions read the tables
// for everyone (translate, goto_after, goto_state): no other code computes
// an index into them.
//
//   format                  the encoding's version, table_format below; the
//                           engine checks it at compile time.
//   translate_table[code]   the terminal of a token code 0..max_code; codes
//                           outside that range are $undefined.
//   step[s][t]              what state s does with look-ahead terminal t
//                           (rows padded to step_columns, a power of two):
//        0                      syntax error;
//        1 .. num_states-1      shift, and push that state;
//        -x                     a reduction: rule x & rule_mask; with
//                               fused_bit, the empty rule of that rule's last
//                               symbol comes first (see "Fused empty rules");
//                               x >> target_shift is the state after the
//                               rule's left side when it is known here (see
//                               "Known gotos"), 0 when go has to tell.
//                           Where a state has no explicit action on t, its
//                           default reduction fills the entry, so a state
//                           that reduces without reading a token has its
//                           default everywhere in its row; only the column
//                           of `error` (terminal 1), which no token code
//                           translates to, holds explicit actions alone.
//                           An empty rule without an action is a reduction
//                           like any other: its goto is always known.
//   lookahead_free[s]       the reduction (x, as above) that state s takes
//                           without reading a token, 0 when it reads one.
//   go[n * num_states + s]  the state after nonterminal n in state s
//                           (goto_state(s, symbol), goto_after(rule, s)).
//   rules[r]                length; the offset of $1 from the top of the
//                           stack (0 for an empty rule, whose value nothing
//                           reads); whether reduce_action has a case for
//                           it; and goto_row, where the row of its left
//                           side starts in go.
//   reduce_action(r, vsp, yyval)
//                           the grammar's actions, a `switch` over the rules.
//   For the trace and for messages: the rules as symbols (rule_lhs,
//   rule_line, rule_rhs_begin, rule_rhs), accessing_symbol and
//   original_state of each state, unfold_rule, unfold_state and empty_rule
//   (see below), symbol_name, symbol_description and state_construct.
//
// Folded unit reductions.  A state whose only action is a reduction by a
// one-symbol rule without an action (small_letter: L) only swaps the state
// on top of the stack for the goto from the state below it.  Wherever a
// shift or a goto enters such a state, step and go lead straight to where
// its reductions end.  Only rules that are the one folded rule of their
// right-side symbol are folded, so the chain from a symbol Y to the end
// state's accessing symbol is unique: unfold_rule[Y] and unfold_state[Y]
// name its first reduction and the state it happens in, and the trace
// retraces it from them.  The stack depth of a folded step is that of the
// unfolded one, so the stack grows and overflows at the same token.
//
// Known gotos.  The goto after a reduction comes from the state that the
// reduction uncovers; each path of as many transitions as the rule is long
// that leads into the reducing state starts in one of the states that may
// be uncovered.  When the goto (folded) is the same from all of them, the
// step holds it, and the engine goes on without looking at the stack.
//
// Fused empty rules.  After the push of an empty rule's state g, g reduces
// by a rule r that ends in that empty symbol whatever the look-ahead (or on
// this look-ahead).  The engine reduces r directly, with the value slot of
// the empty symbol pushed but no state (g is never looked at).  It falls
// back to the explicit push when that slot would fill the stack, so growth
// and overflow happen where they would without the fusion.
//
// Note: observing the steps.  An observer sees every reduction without
// the traced instance's one step at a time: the observing instance takes
// the fast path's steps (the direct code's, where the tables have it), and
// where a step stands for more than one of the unfolded automaton it tells
// them all.  A fused empty rule is told before the rule it is fused into;
// after a shift or a goto into a state that is not entered by the symbol
// shifted or reduced to, the unit reductions folded into the step are told,
// from that symbol up, as the trace retraces them.  Rules the hooks do not observe cost a look in a table,
// and a folded step whose chain of unit reductions holds none of them
// costs that of its symbol.  Hooks that do not observe compile to the
// engine without any of it.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <type_traits>

namespace trl_engine {

// The version of the encoding above that this engine reads.
inline constexpr int table_format = 3;

// The parts of a reduction x in step and lookahead_free.
inline constexpr int rule_mask = 0x3ff;
inline constexpr int fused_bit = 0x400;
inline constexpr int target_shift = 11;

template <class T> constexpr bool current_format()
{
    static_assert(T::format == table_format, "the parse tables were written for another version of this engine");
    return true;
}

// One entry of the parse stack: a state and the value of the symbol that
// led to it (the state stack and the value stack side by side).
struct entry {
    std::int32_t state;
    std::int32_t value;
};

inline constexpr int no_token = -2;

enum result : int { accepted = 0, rejected = 1, stack_exhausted = 2 };

// Whether the hooks observe the steps (see above); hooks that do not say
// so do not.
template <class Hooks>
inline constexpr bool observes_steps = [] {
    if constexpr (requires { Hooks::observes_steps; })
        return bool{Hooks::observes_steps};
    else
        return false;
}();
enum class error_outcome { recovered, not_recovered };

// The whole state of one parse.  The stack has room for `capacity`
// entries, `depth` of them in use; the top entry is stack[depth - 1].
struct parse_state {
    entry* stack = nullptr;
    int capacity = 0;
    int depth = 0;
    int lookahead = no_token; // the token held: no_token, 0 (end of input) or its code
    int symbol = 0;           // the held token as a terminal of the grammar
    int lval = 0;             // the held token's value
    int nerrs = 0;            // syntax errors reported
};

// The shape of the hooks described at the top of this file (what each
// member means is said there): the engine's templates require it, so that
// hooks that lack a member, or have one of another type, are refused where
// they are handed to the engine.
template <class Hooks>
concept parse_hooks_reading = requires(Hooks& hooks, int& value, parse_state& p)
{
    requires std::convertible_to<decltype(hooks.lex(value)), int>;
    requires std::same_as<decltype(hooks.grow(p)), bool>;
    requires std::same_as<decltype(hooks.syntax_error(p)), error_outcome>;
    typename std::bool_constant<Hooks::run_actions>;
    typename std::bool_constant<Hooks::watches_reads>;
};
// read() and overwrite(), where the hooks watch the reads.
template <class Hooks>
concept parse_hooks_watching = !Hooks::watches_reads || requires(Hooks & hooks, int depth, entry old)
{
    hooks.read(depth);
    hooks.overwrite(depth, old);
};
// shifted(), reduced() and observes(), where the hooks observe the steps.
template <class Hooks>
concept parse_hooks_observing = !observes_steps<Hooks> || requires(Hooks & hooks, int rule, entry* rhs, int& value)
{
    hooks.shifted();
    hooks.reduced(rule, rhs, value);
    typename std::bool_constant<Hooks::observes(0)>;
};
// Whether the hooks read the tokens of a run one by one, without the
// general read (see "Fused runs"):
//   int lex_in_run<codes...>(int& value, const entry* top)
//                                when the next token is one of those
//                                codes, reads it, sets its value and
//                                returns its code; else 0, and nothing is
//                                read.  `top` is the top entry of the
//                                stack: the cycle that the token closes
//                                writes the two entries above it (hooks
//                                that watch an entry of the stack may
//                                decline the token there).
// A run is read before its steps are told to an observer: hooks whose
// observer looks at the scanner leave it out.
template <class Hooks, int... codes>
inline constexpr bool reads_runs = requires(Hooks& hooks, int& value, const entry* top)
{
    requires std::same_as<decltype(hooks.template lex_in_run<codes...>(value, top)), int>;
};

// One cycle of a run (see "Fused runs"): the token `code`, terminal
// `terminal`, shifted into state B, which reduces by `rule` (with the empty
// rule of its last symbol fused before it when `fused_empty`; `action` the
// rule's) back to the state the run is in.
template <int code_, int terminal_, int B_, int rule_, bool fused_empty_, auto action_ = nullptr> struct cycle {
    static constexpr int code = code_, terminal = terminal_, B = B_, rule = rule_;
    static constexpr bool fused_empty = fused_empty_;
    static constexpr auto action = action_;
};
// The cycles of a state whose runs may mix them.
template <class... Cycles> struct run_of {};
template <class Hooks>
concept parse_hooks = parse_hooks_reading<Hooks> && parse_hooks_watching<Hooks> && parse_hooks_observing<Hooks>;

// The number of T's grammar symbol written `name` in the grammar ("turn",
// "'_'"), -1 when there is none: for code that looks at constructs of the
// grammar, which finds them by name so that it follows the grammar.
template <class T> constexpr int symbol_named(std::string_view name)
{
    for (int s = 0; s < T::num_symbols; ++s)
        if (std::string_view(T::symbol_name[s]) == name)
            return s;
    return -1;
}

// Empties the stack of p and puts the start state on it.
inline void start(parse_state& p)
{
    p.depth = 1;
    p.stack[0] = entry{0, 0};
    p.lookahead = no_token;
    p.symbol = 0;
    p.lval = 0;
    p.nerrs = 0;
}

// Whether the parser, with the stack stack[0..depth), would go on with the
// look-ahead `terminal`: takes the reductions it leads to on a scratch copy
// of the stack's top, and tells whether a shift (or the acceptance) comes.
template <class T> bool takes(const entry* stack, int depth, int terminal)
{
    static_assert(current_format<T>());
    constexpr int room = 256;
    int above[room];  // states replacing or added to the original's top
    int kept = depth; // original entries still in place
    int added = 0;
    auto top = [&] { return added ? above[added - 1] : stack[kept - 1].state; };
    auto pop = [&](int n) {
        const int from_added = n < added ? n : added;
        added -= from_added;
        kept -= n - from_added;
    };
    for (int steps = 0; steps < 100000 && added < room - 1 && kept + added > 0; ++steps) {
        const int state = top();
        int x = T::lookahead_free[state];
        if (x == 0) {
            const int act = T::step[state][terminal];
            if (act > 0)
                return true;
            if (act == 0)
                return false;
            x = -act;
            if (x & fused_bit) // the empty rule's entry, then the rule
                above[added++] = 0;
        }
        const auto& r = T::rules[x & rule_mask];
        pop(r.length);
        if (kept + added == 0)
            return false;
        above[added++] = T::goto_after(r, top());
    }
    return false;
}

namespace observe_detail {

// The rules an observer is told of, and the symbols from which the chain
// of folded unit reductions (as far as it may go) holds one of them.
template <class T, class Hooks> struct observed {
    static constexpr std::array<bool, T::num_rules> rule = [] {
        std::array<bool, T::num_rules> r{};
        for (int x = 0; x < T::num_rules; ++x)
            r[static_cast<std::size_t>(x)] = Hooks::observes(x);
        return r;
    }();
    static constexpr std::array<bool, T::num_symbols> chain = [] {
        std::array<bool, T::num_symbols> c{};
        for (int y = 0; y < T::num_symbols; ++y)
            for (int z = y, n = 0; T::unfold_rule[z] != 0 && n < T::num_symbols;
                 z = T::rule_lhs[T::unfold_rule[z]], ++n)
                c[static_cast<std::size_t>(y)] = c[static_cast<std::size_t>(y)] || rule[T::unfold_rule[z]];
        return c;
    }();
    // The empty rule that may be fused before each rule, when it is
    // observed: that of its last symbol; 0 when none is.
    static constexpr std::array<int, T::num_rules> fused_empty = [] {
        std::array<int, T::num_rules> f{};
        for (int x = 0; x < T::num_rules; ++x) {
            const int n = T::rules[x].length;
            const int last = n > 0 ? T::rule_rhs[T::rule_rhs_begin[x] + n - 1] : 0;
            const int empty = last >= T::num_terminals ? int{T::empty_rule[last - T::num_terminals]} : 0;
            f[static_cast<std::size_t>(x)] = empty != 0 && rule[static_cast<std::size_t>(empty)] ? empty : 0;
        }
        return f;
    }();
};

} // namespace observe_detail

namespace trace_detail {

template <class T> void stack(const char* title, const entry* bottom, const entry* top)
{
    std::fputs(title, stderr);
    for (const entry* e = bottom; e <= top; ++e)
        std::fprintf(stderr, " %d", int{T::original_state[e->state]});
    std::fputc('\n', stderr);
}

template <class T> void reduction(int rule)
{
    std::fprintf(stderr, "Reducing via rule %d (line %d), ", rule, int{T::rule_line[rule]});
    const int begin = T::rule_rhs_begin[rule];
    for (int i = 0; i < T::rules[rule].length; ++i)
        std::fprintf(stderr, "%s ", T::symbol_name[T::rule_rhs[begin + i]]);
    std::fprintf(stderr, " -> %s\n", T::symbol_name[T::rule_lhs[rule]]);
}

// The unit reductions that a folded step entering `state` through `symbol`
// stands for, as the unfolded automaton takes them: enter the unit state,
// reduce, and go on from the state below.  f(unit state, rule) for each.
template <class T, class F> void unfold(int symbol, int state, F&& f)
{
    for (int y = symbol; y != T::accessing_symbol[state] && T::unfold_rule[y] != 0; y = T::rule_lhs[T::unfold_rule[y]])
        f(int{T::unfold_state[y]}, int{T::unfold_rule[y]});
}

template <class T> void lookahead(int code, int symbol)
{
    if (code == 0)
        std::fputs("Now at end of input.\n", stderr);
    else
        std::fprintf(stderr, "Next token is %d (%s)\n", code, T::symbol_name[symbol]);
}

} // namespace trace_detail

namespace observe_detail {

// What an observer is told when the parse has pushed `state`, entered
// through `symbol`: the folded unit reductions of that step, when the
// chain from `symbol` holds an observed rule.  `sp` is the new top.
template <class T, class Hooks>
[[gnu::always_inline]] inline void pushed(Hooks& hooks, int symbol, int state, entry* sp)
{
    if constexpr (observes_steps<Hooks>) {
        if (observed<T, Hooks>::chain[static_cast<std::size_t>(symbol)])
            trace_detail::unfold<T>(symbol, state, [&](int, int rule) {
                if (observed<T, Hooks>::rule[static_cast<std::size_t>(rule)])
                    hooks.reduced(rule, sp, sp->value);
            });
    }
}

// A terminal has been shifted into `state` (the new top, `sp`).
template <class T, class Hooks>
[[gnu::always_inline]] inline void shifted(Hooks& hooks, int terminal, int state, entry* sp)
{
    if constexpr (observes_steps<Hooks>) {
        hooks.shifted();
        pushed<T>(hooks, terminal, state, sp);
    }
}

// A reduction by `rule`, its right side at `rhs`, before its entry is
// pushed with `value`.
template <class T, class Hooks>
[[gnu::always_inline]] inline void reduced(Hooks& hooks, int rule, entry* rhs, int& value)
{
    if constexpr (observes_steps<Hooks>) {
        if (observed<T, Hooks>::rule[static_cast<std::size_t>(rule)])
            hooks.reduced(rule, rhs, value);
    }
}

// The empty rule fused before `rule` has pushed its entry (the new top,
// `sp`, its state never looked at).
template <class T, class Hooks> [[gnu::always_inline]] inline void fused(Hooks& hooks, int rule, entry* sp)
{
    if constexpr (observes_steps<Hooks>) {
        if (const int e = observed<T, Hooks>::fused_empty[static_cast<std::size_t>(rule)])
            hooks.reduced(e, sp + 1, sp->value);
    }
}

} // namespace observe_detail

// Note "Direct code".  For a grammar that does not recover through
// `error`, lalrgen also writes the parse as code (T::direct_parse): a label
// per state entered without a look-ahead, with one held, with a known
// terminal held, and for its default step.  A shift pushes its state and
// jumps to that state's label; a reduction pops, runs its action and jumps
// to the goto state's label when the generator knows it, else switches on
// the few states the goto can give (the states that may lie below, from
// the automaton).  The generator writes only what is the grammar's own:
// the labels, the jumps between them and which step each takes; the steps
// themselves are those of direct_run below.  The stack, look-ahead and
// value stay in direct_run's fields, which the compiler keeps in registers
// (its functions are all inlined), and are written back to p whenever a
// hook may look (growing, a syntax error) and at the end, so the hooks,
// the results and the tables' trace are the same as the loop's.  An
// observer is told of the steps where the loop tells it (the helpers of
// observe_detail, with the symbols and states the generator knows written
// in, so that what no observer wants costs nothing).  The loop below still
// runs the trace and the hooks that watch reads.
//
// Note "Fused runs".  Where the automaton, in a state A holding the
// look-ahead t, shifts it into a state B that reduces on t again by a rule
// X: X t (or X: X t E, E an empty symbol fused into it, see "Fused empty
// rules") whose goto leads back to A, each t of a run of them is a cycle
// that leaves the stack as it was: A on top, with the rule's $$ as its
// value.  The letters of a word are such runs (multiple_letter:
// multiple_letter small_letter length_sound, and the same with
// capital_letter): lalrgen gathers the terminals of A's cycles whose
// states B reduce on every one of them alike, so that a run may mix them,
// and writes a call of fused_run at A's places that hold one, before the
// shift.  Hooks that can read the next token where it is of the run
// without their general read (lex_in_run) take the run in a loop of its
// own, and each cycle is taken in place: the entries of B (and E) written
// above A, the action and the observer's calls as the steps one at a time
// make them, the same stack depths.  The last token of the run stays held,
// and the usual steps go on with it.  What it saves is the general read,
// the dispatch on the token read and the moves of the stack pointer of
// each letter after a word's second.
// Hooks without lex_in_run, or a stack without room for a cycle's entries,
// take the usual steps for every token.
//
// The generated code, for each step, in short (the states and rules are
// those of the step):
//
//   s12:  run.read(); goto h12;                  (a state that reads)
//   h12:  switch (run.terminal()) { case 5: goto t12_5; default: goto d12; }
//   t12_5: if (run.shift(40, 5)) goto grow; goto s40;
//   d12:  if (run.template reduce<7, 30, &action_7<entry>>()) goto grow;
//         goto h30;                              (a known goto)
//
// with `grow`, `error`, `accept` and `resume` (which dispatches on the top
// state) labels of its own calling grow(), syntax_error() and finish().
template <class T, parse_hooks Hooks> class direct_run {
public:
    [[gnu::always_inline]] direct_run(parse_state& p, Hooks& hooks) : p_(p), hooks_(hooks) { load(); }

    // The state on top of the stack.
    [[gnu::always_inline]] int top_state() const { return sp_->state; }
    // Whether a look-ahead is held, and its terminal.
    [[gnu::always_inline]] bool holds_token() const { return symbol_ >= 0; }
    [[gnu::always_inline]] int terminal() const { return symbol_; }
    // Whether the top entry is the stack's last: the state just pushed
    // needs room before the parse goes on.
    [[gnu::always_inline]] bool full() const { return sp_ >= full_; }

    // Reads the next token and holds its terminal.  (Through a copy of
    // the value: a hook that is not inlined then keeps no pointer into
    // this record, which stays in registers.)
    [[gnu::always_inline]] void read()
    {
        int value = lval_;
        const int code = hooks_.lex(value);
        lval_ = value;
        lookahead_ = code > 0 ? code : 0;
        symbol_ = T::translate(lookahead_);
    }

    // Shifts the look-ahead, `terminal`, pushing `state`; true when the
    // stack is then full.  Only the final state shifts the end of input.
    [[gnu::always_inline]] bool shift(int state, int terminal)
    {
        symbol_ = -1;
        *++sp_ = entry{state, lval_};
        observe_detail::shifted<T>(hooks_, terminal, state, sp_);
        return full();
    }
    [[gnu::always_inline]] bool shift(int state) { return shift(state, symbol_); }

    // Reduces by `rule`: $$ starts as $1, `action` (the rule's, null for a
    // rule without one) may use $1..$n; then the goto state is pushed,
    // `known` (see "Known gotos") or, when 0, looked up.  The goto is found
    // before the action runs and the new entry written after it, as the
    // loop does.  True when the stack is then full.
    template <int rule, int known, auto action = nullptr> [[gnu::always_inline]] bool reduce()
    {
        constexpr auto r = T::rules[rule];
        static_assert(r.has_action == !std::is_null_pointer_v<decltype(action)>, "the action is the rule's");
        entry* const vsp = sp_;
        int yyval = vsp[r.first].value;
        sp_ -= r.length;
        const int state = known ? known : T::goto_after(r, sp_->state);
        if constexpr (Hooks::run_actions && r.has_action)
            action(vsp, yyval);
        observe_detail::reduced<T>(hooks_, rule, vsp + 1 - r.length, yyval);
        *++sp_ = entry{state, yyval};
        observe_detail::pushed<T>(hooks_, T::rule_lhs[rule], state, sp_);
        return full();
    }

    // Whether the entry of the empty rule fused before a rule would fill
    // the stack: then the empty rule's reduction comes alone, so that the
    // stack grows where it would without the fusion (see "Fused empty
    // rules").
    [[gnu::always_inline]] bool fused_entry_fills() const { return sp_ + 1 >= full_; }
    // Pushes the entry of the empty rule fused before `rule`: its value,
    // that of the entry below, and no state (it is never looked at).
    template <int rule> [[gnu::always_inline]] void push_fused_entry()
    {
        ++sp_;
        sp_->value = sp_[-1].value;
        observe_detail::fused<T>(hooks_, rule, sp_);
    }

    // A run of the terminals of `Cycles` in the state on top, A, which
    // holds one of them: see "Fused runs".  Takes the tokens of the run but
    // the last one, which stays held for the usual steps.
    template <class Run> [[gnu::always_inline]] void fused_run() { take_run(Run{}); }
    template <class... Cycles> [[gnu::always_inline]] void take_run(run_of<Cycles...>)
    {
        if constexpr (reads_runs<Hooks, Cycles::code...>) {
            if (sp_ + 2 >= full_) [[unlikely]]
                return; // the steps one at a time, which grow the stack
            // The held token's cycle when the next token is of the run,
            // then that token's when the one after it is, and so on; the
            // last token of the run stays held.
            int value = lval_; // as read() hands it to the hooks
            int code = hooks_.template lex_in_run<Cycles::code...>(value, sp_);
            if (code == 0)
                return;
            (void)((symbol_ == Cycles::terminal && (take_cycle<Cycles>(), true)) || ...);
            lval_ = value;
            for (int next; (next = hooks_.template lex_in_run<Cycles::code...>(value, sp_)) != 0; code = next) {
                (void)((code == Cycles::code && (take_cycle<Cycles>(), true)) || ...);
                lval_ = value;
            }
            symbol_ = T::translate(code);
            lookahead_ = code;
        }
    }

    // Asks the hooks for room; false when the stack cannot grow.
    [[gnu::always_inline]] bool grow()
    {
        save();
        if (!hooks_.grow(p_))
            return false;
        load();
        return true;
    }
    // Reports a syntax error; true when the hooks recovered: the parse
    // resumes where they left p.
    [[gnu::always_inline]] bool syntax_error()
    {
        ++p_.nerrs;
        save();
        if (hooks_.syntax_error(p_) != error_outcome::recovered)
            return false;
        load();
        return true;
    }
    // Ends the parse with `outcome`, p holding where it stands.
    [[gnu::always_inline]] int finish(result outcome)
    {
        save();
        return outcome;
    }

private:
    // The cycle C of the held token in place (see "Fused runs"): its
    // shift into C::B, the empty rule fused, the reduction by C::rule back
    // to the state on top, told as the steps one at a time tell them.
    template <class C> [[gnu::always_inline]] void take_cycle()
    {
        constexpr auto r = T::rules[C::rule];
        static_assert(r.length == (C::fused_empty ? 3 : 2) && r.first == -(r.length - 1), "a rule X: X t [E]");
        static_assert(r.has_action == !std::is_null_pointer_v<decltype(C::action)>, "the action is the rule's");
        sp_[1] = entry{C::B, lval_};
        observe_detail::shifted<T>(hooks_, C::terminal, C::B, sp_ + 1);
        if constexpr (C::fused_empty) {
            sp_[2].value = lval_;
            observe_detail::fused<T>(hooks_, C::rule, sp_ + 2);
        }
        int yyval = sp_->value;
        if constexpr (Hooks::run_actions && r.has_action)
            C::action(sp_ + r.length - 1, yyval);
        observe_detail::reduced<T>(hooks_, C::rule, sp_, yyval);
        sp_->value = yyval;
        observe_detail::pushed<T>(hooks_, T::rule_lhs[C::rule], sp_->state, sp_);
    }

    // The parse written back to p, where a hook may look at it or the
    // parse ends, and taken up again from p after a hook.
    [[gnu::always_inline]] void save()
    {
        p_.depth = static_cast<int>(sp_ - p_.stack) + 1;
        p_.lookahead = symbol_ < 0 ? no_token : lookahead_;
        p_.symbol = symbol_ < 0 ? 0 : symbol_;
        p_.lval = lval_;
    }
    [[gnu::always_inline]] void load()
    {
        sp_ = p_.stack + p_.depth - 1;
        full_ = p_.stack + p_.capacity - 1;
        lookahead_ = p_.lookahead;
        symbol_ = lookahead_ == no_token ? -1 : p_.symbol;
        lval_ = p_.lval;
    }

    parse_state& p_;
    Hooks& hooks_;
    entry* sp_;     // the top entry
    entry* full_;   // the top entry when the stack is full
    int lookahead_; // the code of the token held, as p.lookahead holds it
    int symbol_;    // its terminal; -1: none
    int lval_;      // its value
};

// Whether parse() runs T's direct-coded parser: when the tables have one,
// no trace is asked for and the hooks do not watch the reads.
template <class T, class Hooks, bool trace> constexpr bool runs_direct_code()
{
    if constexpr (trace || Hooks::watches_reads)
        return false;
    else if constexpr (requires { T::direct_code; })
        return T::direct_code;
    else
        return false;
}

template <class T, parse_hooks Hooks, bool trace> int parse_tables(parse_state& p, Hooks& hooks);

// Parses until the input is accepted, rejected or the stack is exhausted.
// p must have been started (see start()).
template <class T, parse_hooks Hooks, bool trace> [[gnu::always_inline]] inline int parse(parse_state& p, Hooks& hooks)
{
    static_assert(current_format<T>());
    if constexpr (runs_direct_code<T, Hooks, trace>())
        return T::direct_parse(p, hooks);
    else
        return parse_tables<T, Hooks, trace>(p, hooks);
}

// The same parse as the engine's loop over the tables.  One loop, kept
// whole: its steps (read, shift, reduce with the folded and fused steps
// retraced for the trace and the observers, grow, syntax error) share the
// stack pointer, the state and the look-ahead in locals, and follow each
// other as the automaton takes them.
template <class T, parse_hooks Hooks, bool trace> int parse_tables(parse_state& p, Hooks& hooks)
{
    static_assert(current_format<T>());
    namespace tr = trace_detail;
    constexpr int none = -1; // symbol while no look-ahead is held
    constexpr bool observes = observes_steps<Hooks>;

    entry* bottom = p.stack;
    entry* sp = bottom + p.depth - 1;      // the top entry
    entry* full = bottom + p.capacity - 1; // the top entry when the stack is full
    int state = sp->state;
    int la = p.lookahead;
    int symbol = la == no_token ? none : p.symbol;
    int lval = p.lval;
    [[maybe_unused]] int errstatus = 0;                           // tokens to shift before errors are reported again
    [[maybe_unused]] int entered_by = T::accessing_symbol[state]; // the symbol the top state was entered by

    // The record gets the locals before a hook runs and when the parse
    // ends, and they come back after a hook.  (Plain statements rather than
    // lambdas that capture the locals: those would keep the locals out of
    // registers.)
#define TRL_ENGINE_SAVE()                                                                                              \
    (p.stack = bottom, p.depth = static_cast<int>(sp - bottom) + 1, p.lookahead = symbol == none ? no_token : la,      \
     p.symbol = symbol == none ? 0 : symbol, p.lval = lval)
#define TRL_ENGINE_LOAD()                                                                                              \
    (bottom = p.stack, sp = bottom + p.depth - 1, full = bottom + p.capacity - 1, state = sp->state, la = p.lookahead, \
     symbol = la == no_token ? none : p.symbol, lval = p.lval)

    // The observer's unit reductions folded into the push of the top
    // entry, which was entered through `symbol` (the traced instance tells
    // them where it retraces them).
    auto unfolded = [&](int symbol) {
        if constexpr (observes && !trace)
            observe_detail::pushed<T>(hooks, symbol, state, sp);
    };

    // Takes reduction x (see the encoding): $$ starts as $1, the action may
    // use $1..$n; then the goto, from the step when it is known there.  The
    // goto is found before the action runs and the new entry written after
    // it: the action sees $1..$n in place, and little has to live across
    // its call.
    auto reduce = [&](int x) {
        const int rule = x & rule_mask;
        const auto r = T::rules[rule];
        entry* const vp = sp;
        int yyval = vp[r.first].value;
        if constexpr (trace)
            tr::reduction<T>(rule);
        sp -= r.length;
        if constexpr (trace)
            tr::stack<T>("state stack now", bottom, sp);
        if (const int known = x >> target_shift; known && !trace)
            state = known;
        else
            state = T::goto_after(r, sp->state);
        if constexpr (Hooks::run_actions) {
            if (r.has_action)
                T::reduce_action(rule, vp, yyval);
        }
        observe_detail::reduced<T>(hooks, rule, vp + 1 - r.length, yyval);
        if constexpr (trace)
            entered_by = T::rule_lhs[rule];
        ++sp;
        if constexpr (Hooks::watches_reads)
            hooks.overwrite(static_cast<int>(sp - bottom), *sp);
        *sp = entry{state, yyval};
        unfolded(T::rule_lhs[rule]);
    };

    if constexpr (trace)
        std::fputs("Starting parse\n", stderr);

    for (;;) {
        // A state has just been pushed.
        if (sp >= full) [[unlikely]] {
            TRL_ENGINE_SAVE();
            if (!hooks.grow(p))
                return stack_exhausted;
            TRL_ENGINE_LOAD();
            if constexpr (trace)
                std::fprintf(stderr, "Stack size increased to %d\n", p.capacity);
        }
        if constexpr (trace) {
            tr::unfold<T>(entered_by, state, [&](int unit_state, int rule) {
                std::fprintf(stderr, "Entering state %d\n", unit_state);
                tr::reduction<T>(rule);
                tr::stack<T>("state stack now", bottom, sp - 1);
                observe_detail::reduced<T>(hooks, rule, sp, sp->value);
            });
            std::fprintf(stderr, "Entering state %d\n", int{T::original_state[state]});
        }

        int act;
        if (const int x = T::lookahead_free[state]) {
            reduce(x);
            // Go on with a look-ahead that is still held: its step is right
            // for a state that reduces without one as well, as that state's
            // default reduction fills its row.
            if (trace || symbol == none || sp >= full)
                continue;
            act = T::step[state][symbol];
        } else {
            if (symbol == none) {
                if constexpr (trace)
                    std::fputs("Reading a token: ", stderr);
                const int code = hooks.lex(lval);
                la = code > 0 ? code : 0;
                symbol = T::translate(la);
                if constexpr (Hooks::watches_reads)
                    hooks.read(static_cast<int>(sp - bottom) + 1);
            }
            if constexpr (trace)
                tr::lookahead<T>(la, symbol);
            act = T::step[state][symbol];
        }

        // A look-ahead is held, and the stack has room for one more entry.
    dispatch:
        if (act > 0) [[likely]] {
            if (act == T::final_state)
                return TRL_ENGINE_SAVE(), accepted;
            if constexpr (trace) {
                std::fprintf(stderr, "Shifting token %d (%s), ", la, T::symbol_name[symbol]);
                entered_by = symbol;
            }
            [[maybe_unused]] const int shifted = symbol;
            symbol = none; // only the final state shifts the end of input
            ++sp;
            *sp = entry{act, lval};
            if constexpr (T::uses_error) {
                if (errstatus)
                    --errstatus;
            }
            state = act;
            if constexpr (observes) {
                hooks.shifted();
                unfolded(shifted);
            }
            continue;
        }
        if (act == 0) [[unlikely]]
            goto syntax_error;
        if (-act & fused_bit) {
            // The empty rule of the last symbol of a rule, then that rule.
            const int rule = -act & rule_mask;
            if (trace || sp + 1 >= full) [[unlikely]] {
                // One step at a time: the empty rule's reduction, so that
                // the stack grows (or overflows) where it would without the
                // fusion.
                const int empty = T::rule_rhs[T::rule_rhs_begin[rule] + T::rules[rule].length - 1];
                act = -T::empty_rule[empty - T::num_terminals];
                goto dispatch;
            }
            ++sp; // the empty symbol's state is never looked at
            sp->value = sp[-1].value;
            observe_detail::fused<T>(hooks, rule, sp);
        }
        reduce(-act & ~fused_bit);
        // Go on with the held look-ahead (an empty rule's entry may have
        // filled the stack).
        if (trace || sp >= full)
            continue;
        act = T::step[state][symbol];
        goto dispatch;

    syntax_error:
        if (!T::uses_error || errstatus == 0) {
            ++p.nerrs;
            TRL_ENGINE_SAVE();
            if (hooks.syntax_error(p) == error_outcome::recovered) {
                TRL_ENGINE_LOAD();
                entered_by = T::accessing_symbol[state];
                continue;
            }
        }
        if constexpr (!T::uses_error) {
            // No state can shift `error`: the stack unwinds to its bottom.
            if constexpr (trace) {
                while (sp != bottom)
                    tr::stack<T>("Error: state stack now", bottom, --sp);
            }
            return TRL_ENGINE_SAVE(), rejected;
        } else {
            if (errstatus == 3) {
                if (la == 0)
                    return TRL_ENGINE_SAVE(), rejected;
                if constexpr (trace)
                    std::fprintf(stderr, "Discarding token %d (%s).\n", la, T::symbol_name[symbol]);
                symbol = none;
            }
            errstatus = 3;
            // Unwind to a state with an action on `error` (step holds only
            // explicit actions in that column).
            while ((act = T::step[state][T::error_terminal]) == 0) {
                if (sp == bottom)
                    return TRL_ENGINE_SAVE(), rejected;
                state = (--sp)->state;
                if constexpr (trace)
                    tr::stack<T>("Error: state stack now", bottom, sp);
            }
            if (act < 0) {
                reduce(-act);
                continue;
            }
            if (act == T::final_state)
                return TRL_ENGINE_SAVE(), accepted;
            if constexpr (trace) {
                std::fputs("Shifting error token, ", stderr);
                entered_by = T::error_terminal;
            }
            ++sp;
            *sp = entry{act, lval};
            state = act;
            if constexpr (observes) {
                hooks.shifted();
                unfolded(T::error_terminal);
            }
        }
    }
#undef TRL_ENGINE_SAVE
#undef TRL_ENGINE_LOAD
}

} // namespace trl_engine
