// The LALR(1) parse engine: runs the tables that lalrgen writes (their
// encoding is described in lalrgen's emit.cpp) over the tokens of a
// scanner.  It is reentrant: everything one parse needs is in a
// parse_state record and a hooks object, so parses can run side by side.
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
//
// Note: observing the steps.  An observer sees every reduction without
// the traced instance's one step at a time: the observing instance takes
// the fast path's steps, and where a step stands for more than one of the
// unfolded automaton it tells them all.  A fused empty rule is told before
// the rule it is fused into; after a shift or a goto into a state that is
// not entered by the symbol shifted or reduced to, the unit reductions
// folded into the step are told, from that symbol up, as the trace
// retraces them.  Rules the hooks do not observe cost a look in a table,
// and a folded step whose chain of unit reductions holds none of them
// costs that of its symbol.  Hooks that do not observe compile to the
// engine without any of it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace trl_engine {

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
    int lookahead = no_token;   // the token held: no_token, 0 (end of input) or its code
    int symbol = 0;             // the held token as a terminal of the grammar
    int lval = 0;               // the held token's value
    int nerrs = 0;              // syntax errors reported
};

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
template <class T>
bool takes(const entry* stack, int depth, int terminal)
{
    constexpr int room = 256;
    int above[room];     // states replacing or added to the original's top
    int kept = depth;    // original entries still in place
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
            if (x & T::fused_bit)   // the empty rule's entry, then the rule
                above[added++] = 0;
        }
        const auto& r = T::rules[x & T::rule_mask];
        pop(r.length);
        if (kept + added == 0)
            return false;
        above[added++] = T::go[r.goto_row + top()];
    }
    return false;
}

namespace observe_detail {

// The rules an observer is told of, and the symbols from which the chain
// of folded unit reductions (as far as it may go) holds one of them.
template <class T, class Hooks>
struct observed {
    static constexpr std::array<bool, T::num_rules> rule = [] {
        std::array<bool, T::num_rules> r{};
        for (int x = 0; x < T::num_rules; ++x)
            r[static_cast<std::size_t>(x)] = Hooks::observes(x);
        return r;
    }();
    static constexpr std::array<bool, T::num_symbols> chain = [] {
        std::array<bool, T::num_symbols> c{};
        for (int y = 0; y < T::num_symbols; ++y)
            for (int z = y, n = 0; T::unfold_rule[z] != 0 && n < T::num_symbols; z = T::rule_lhs[T::unfold_rule[z]], ++n)
                c[static_cast<std::size_t>(y)] = c[static_cast<std::size_t>(y)] || rule[T::unfold_rule[z]];
        return c;
    }();
    // The same for the left side of each rule (after its goto).
    static constexpr std::array<bool, T::num_rules> chain_after = [] {
        std::array<bool, T::num_rules> c{};
        for (int x = 0; x < T::num_rules; ++x)
            c[static_cast<std::size_t>(x)] = chain[static_cast<std::size_t>(T::rule_lhs[x])];
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

template <class T>
void stack(const char* title, const entry* bottom, const entry* top)
{
    std::fputs(title, stderr);
    for (const entry* e = bottom; e <= top; ++e)
        std::fprintf(stderr, " %d", int{T::original_state[e->state]});
    std::fputc('\n', stderr);
}

template <class T>
void reduction(int rule)
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
template <class T, class F>
void unfold(int symbol, int state, F&& f)
{
    for (int y = symbol; y != T::accessing_symbol[state] && T::unfold_rule[y] != 0; y = T::rule_lhs[T::unfold_rule[y]])
        f(int{T::unfold_state[y]}, int{T::unfold_rule[y]});
}

template <class T>
void lookahead(int code, int symbol)
{
    if (code == 0)
        std::fputs("Now at end of input.\n", stderr);
    else
        std::fprintf(stderr, "Next token is %d (%s)\n", code, T::symbol_name[symbol]);
}

} // namespace trace_detail

// Parses until the input is accepted, rejected or the stack is exhausted.
// p must have been started (see start()).
template <class T, class Hooks, bool trace>
int parse(parse_state& p, Hooks& hooks)
{
    namespace tr = trace_detail;
    constexpr int none = -1;   // symbol while no look-ahead is held
    constexpr bool observes = observes_steps<Hooks>;

    entry* bottom = p.stack;
    entry* sp = bottom + p.depth - 1;          // the top entry
    entry* full = bottom + p.capacity - 1;     // the top entry when the stack is full
    int state = sp->state;
    int la = p.lookahead;
    int symbol = la == no_token ? none : p.symbol;
    int lval = p.lval;
    [[maybe_unused]] int errstatus = 0;        // tokens to shift before errors are reported again
    [[maybe_unused]] int entered_by = T::accessing_symbol[state];   // the symbol the top state was entered by

    // The record gets the locals before a hook runs and when the parse
    // ends, and they come back after a hook.  (Plain statements rather than
    // lambdas that capture the locals: those would keep the locals out of
    // registers.)
#define TRL_ENGINE_SAVE()                                                                   \
    (p.stack = bottom, p.depth = static_cast<int>(sp - bottom) + 1,                         \
     p.lookahead = symbol == none ? no_token : la, p.symbol = symbol == none ? 0 : symbol, \
     p.lval = lval)
#define TRL_ENGINE_LOAD()                                                                   \
    (bottom = p.stack, sp = bottom + p.depth - 1, full = bottom + p.capacity - 1,           \
     state = sp->state, la = p.lookahead, symbol = la == no_token ? none : p.symbol, lval = p.lval)

    // The observer's unit reductions folded into the push of the top
    // entry, which was entered through `symbol` (the traced instance tells
    // them where it retraces them).
    // (`chain`: whether the chain from `symbol` may hold an observed rule.)
    auto unfolded = [&](int symbol, bool chain) {
        if constexpr (observes && !trace) {
            if (chain && symbol != T::accessing_symbol[state])
                tr::unfold<T>(symbol, state, [&](int, int rule) {
                    if (observe_detail::observed<T, Hooks>::rule[static_cast<std::size_t>(rule)])
                        hooks.reduced(rule, sp, sp->value);
                });
        }
    };
    // Tells the observer of a reduction by `rule`.
    auto observe = [&](int rule, entry* rhs, int& value) {
        if constexpr (observes) {
            if (observe_detail::observed<T, Hooks>::rule[static_cast<std::size_t>(rule)])
                hooks.reduced(rule, rhs, value);
        }
    };

    // Takes reduction x (see the encoding): $$ starts as $1, the action may
    // use $1..$n; then the goto, from the step when it is known there.  The
    // goto is found before the action runs and the new entry written after
    // it: the action sees $1..$n in place, and little has to live across
    // its call.
    auto reduce = [&](int x) {
        const int rule = x & T::rule_mask;
        const auto r = T::rules[rule];
        entry* const vp = sp;
        int yyval = vp[r.first].value;
        if constexpr (trace)
            tr::reduction<T>(rule);
        sp -= r.length;
        if constexpr (trace)
            tr::stack<T>("state stack now", bottom, sp);
        if (const int known = x >> T::target_shift; known && !trace)
            state = known;
        else
            state = T::go[r.goto_row + sp->state];
        if constexpr (Hooks::run_actions) {
            if (r.has_action)
                T::reduce_action(rule, vp, yyval);
        }
        observe(rule, vp + 1 - r.length, yyval);
        if constexpr (trace)
            entered_by = T::rule_lhs[rule];
        ++sp;
        if constexpr (Hooks::watches_reads)
            hooks.overwrite(static_cast<int>(sp - bottom), *sp);
        *sp = entry{state, yyval};
        if constexpr (observes)
            unfolded(T::rule_lhs[rule], observe_detail::observed<T, Hooks>::chain_after[static_cast<std::size_t>(rule)]);
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
                observe(rule, sp, sp->value);
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
            symbol = none;   // only the final state shifts the end of input
            ++sp;
            *sp = entry{act, lval};
            if constexpr (T::uses_error) {
                if (errstatus)
                    --errstatus;
            }
            state = act;
            if constexpr (observes) {
                hooks.shifted();
                unfolded(shifted, observe_detail::observed<T, Hooks>::chain[static_cast<std::size_t>(shifted)]);
            }
            continue;
        }
        if (act == 0) [[unlikely]]
            goto syntax_error;
        if (-act & T::fused_bit) {
            // The empty rule of the last symbol of a rule, then that rule.
            const int rule = -act & T::rule_mask;
            if (trace || sp + 1 >= full) [[unlikely]] {
                // One step at a time: the empty rule's reduction, so that
                // the stack grows (or overflows) where it would without the
                // fusion.
                const int empty = T::rule_rhs[T::rule_rhs_begin[rule] + T::rules[rule].length - 1];
                act = -T::empty_rule[empty - T::num_terminals];
                goto dispatch;
            }
            ++sp;   // the empty symbol's state is never looked at
            sp->value = sp[-1].value;
            if constexpr (observes) {
                if (const int e = observe_detail::observed<T, Hooks>::fused_empty[static_cast<std::size_t>(rule)])
                    hooks.reduced(e, sp + 1, sp->value);
            }
        }
        reduce(-act & ~T::fused_bit);
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
                unfolded(T::error_terminal, observe_detail::observed<T, Hooks>::chain[T::error_terminal]);
            }
        }
    }
#undef TRL_ENGINE_SAVE
#undef TRL_ENGINE_LOAD
}

} // namespace trl_engine
