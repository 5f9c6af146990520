// The table-driven LALR(1) parse engine running the grammar of velmar.y
// over the tokens of trllex.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "lex.trl.h"
#include "velmar.h"
#include "velmar.tab.h"

int trlchar = -2;
int trlnerrs = 0;
int trldebug = 0;

namespace {

namespace tab = trl_lalr;

using state_type = std::int16_t;
static_assert(tab::num_states <= INT16_MAX, "state numbers must fit the 16-bit state stack");
static_assert(tab::num_rules <= INT16_MAX, "rule numbers must fit the action table");

constexpr int initial_depth = 200;
constexpr int max_depth = 10000;
constexpr int no_token = -2;
constexpr int end_symbol = 0;
constexpr int error_symbol = 1;

// The generated tables are compressed; the engine looks its actions up in
// plain arrays derived from them at compile time, so that an action or a
// goto costs one load and no range or check comparisons.
//
// step[s][t]: > 0 shift to that state, < 0 reduce by that rule (the state's
// default reduction filled in wherever the state has no explicit action),
// 0 syntax error.  Two kinds of steps are taken in advance:
//
// - A reduction without look-ahead by a rule of one symbol and without an
//   action (small_letter: L) only replaces the state on top by the goto from
//   the state below it, with the same value.  Wherever a shift or a goto
//   leads to such a state, the tables lead to where its reductions end.
// - A reduction by an empty rule without an action (length_sound, nothing
//   before a word) pushes the goto from the current state on its left side.
//   step holds it as -(num_rules + that state), so the engine pushes the
//   state at once.
//
// The trace shows every step, so it reads the generated tables instead.
//
// lookahead_free[s]: the rule that state s reduces by without reading a
// token, 0 if it reads one.  go[n][s]: the state after nonterminal n (counted
// from the first nonterminal) in state s; a rule finds its column at once.
//
// For each rule: its length, where its $1 is relative to the top of the
// stack (the top itself for an empty rule, whose value nothing reads), its
// left side as the column of go, and whether reduce_action has a case for it.
struct rule_entry {
    std::int8_t length;
    std::int8_t first;
    std::uint8_t lhs;
    std::uint8_t has_action;
};

struct engine_tables {
    std::array<std::array<std::int16_t, tab::num_terminals>, tab::num_states> step{};
    std::array<std::int16_t, tab::num_states> lookahead_free{};
    std::array<std::array<std::int16_t, tab::num_states>, tab::num_nonterminals> go{};
    std::array<rule_entry, tab::num_rules> rules{};
};

// The action of the generated tables, default reduction included.
constexpr int table_step(int state, int symbol)
{
    const int a = tab::action(state, symbol);
    return a != 0 ? a : -tab::default_reduction(state);
}

// True when state s reduces without look-ahead by a rule of one symbol that
// has no action.
constexpr bool unit_reduction(int s)
{
    const int r = tab::reads_lookahead(s) ? 0 : tab::default_reduction(s);
    return r != 0 && tab::rule_length[r] == 1 && !tab::rule_has_action[r];
}

// Where the unit reductions of state `top`, pushed above state `below`,
// lead.  Entering the final state accepts, so a step into it stays.
constexpr int after_unit_reductions(int below, int top)
{
    for (int n = 0; n < tab::num_states && top != tab::final_state && unit_reduction(top); ++n) {
        const int next = tab::goto_state(below, tab::rule_lhs[tab::default_reduction(top)]);
        if (next == tab::final_state)
            break;
        top = next;
    }
    return top;
}

constexpr engine_tables make_engine_tables()
{
    engine_tables t;
    for (int s = 0; s < tab::num_states; ++s) {
        for (int n = 0; n < tab::num_nonterminals; ++n)
            t.go[n][s] = static_cast<std::int16_t>(after_unit_reductions(s, tab::goto_state(s, tab::num_terminals + n)));
        for (int sym = 0; sym < tab::num_terminals; ++sym) {
            int a = table_step(s, sym);
            if (a > 0) {
                a = after_unit_reductions(s, a);
            } else if (a < 0 && tab::rule_length[-a] == 0 && !tab::rule_has_action[-a]) {
                a = -(tab::num_rules + t.go[tab::rule_lhs[-a] - tab::num_terminals][s]);
            }
            t.step[s][sym] = static_cast<std::int16_t>(a);
        }
        t.lookahead_free[s] = static_cast<std::int16_t>(tab::reads_lookahead(s) ? 0 : tab::default_reduction(s));
    }
    for (int r = 0; r < tab::num_rules; ++r) {
        const int length = tab::rule_length[r];
        t.rules[r] = rule_entry{static_cast<std::int8_t>(length),
                                static_cast<std::int8_t>(length > 0 ? 1 - length : 0),
                                static_cast<std::uint8_t>(tab::rule_lhs[r] - tab::num_terminals),
                                static_cast<std::uint8_t>(tab::rule_has_action[r])};
    }
    return t;
}

static_assert(tab::num_rules + tab::num_states <= INT16_MAX, "pushes after empty rules must fit the step table");
constexpr engine_tables tables = make_engine_tables();
static_assert([] {
    for (int r = 0; r < tab::num_rules; ++r)
        if (tab::rule_length[r] > INT8_MAX || tab::rule_lhs[r] - tab::num_terminals > UINT8_MAX)
            return false;
    return true;
}(), "rule lengths and left sides must fit the rule table");

// The two parallel stacks: they start in trlparse's frame and move to the
// heap when they grow; the heap storage is released when trlparse returns.
struct grown_stacks {
    std::unique_ptr<state_type[]> states;
    std::unique_ptr<int[]> values;
};

// Doubles the capacity, at most to max_depth, keeping `depth` entries and
// moving `ss` and `vs` to the new storage.  Returns false when the stacks are
// already at the limit.
bool grow(grown_stacks& heap, state_type*& ss, int*& vs, int& capacity, int depth)
{
    if (capacity >= max_depth)
        return false;
    const int size = capacity * 2 < max_depth ? capacity * 2 : max_depth;
    auto states = std::make_unique<state_type[]>(static_cast<std::size_t>(size));
    auto values = std::make_unique<int[]>(static_cast<std::size_t>(size));
    std::memcpy(states.get(), ss, sizeof(state_type) * static_cast<std::size_t>(depth));
    std::memcpy(values.get(), vs, sizeof(int) * static_cast<std::size_t>(depth));
    heap.states = std::move(states);
    heap.values = std::move(values);
    ss = heap.states.get();
    vs = heap.values.get();
    capacity = size;
    return true;
}

void trace_stack(const char* title, const state_type* ss, const state_type* top)
{
    std::fputs(title, stderr);
    for (const state_type* p = ss; p <= top; ++p)
        std::fprintf(stderr, " %d", *p);
    std::fputc('\n', stderr);
}

void trace_reduction(int rule)
{
    std::fprintf(stderr, "Reducing via rule %d (line %d), ", rule, tab::rule_line[rule]);
    const int begin = tab::rule_rhs_begin[rule];
    for (int i = 0; i < tab::rule_length[rule]; ++i)
        std::fprintf(stderr, "%s ", tab::symbol_name[tab::rule_rhs[begin + i]]);
    std::fprintf(stderr, " -> %s\n", tab::symbol_name[tab::rule_lhs[rule]]);
}

// The parse, with or without the trace on standard error.
template <bool trace>
int parse()
{
    state_type initial_states[initial_depth];
    int initial_values[initial_depth];
    grown_stacks heap;
    state_type* ss = initial_states;   // bottom of the state stack
    int* vs = initial_values;          // bottom of the value stack
    int capacity = initial_depth;
    state_type* sp = ss;               // top entries
    int* vp = vs;
    state_type* full = ss + capacity - 1; // the top entry when the stacks are full

    int state = 0;
    int symbol = end_symbol;           // the look-ahead as a grammar symbol, while trlchar holds one
    int errstatus = 0;                 // tokens to shift before errors are reported again

    trlnerrs = 0;
    trlchar = no_token;
    if constexpr (trace)
        std::fputs("Starting parse\n", stderr);
    *sp = 0;
    *vp = 0;

    for (;;) {
        // A state has just been pushed at *sp.
        if (sp >= full) [[unlikely]] {
            const int depth = static_cast<int>(sp - ss) + 1;
            if (!grow(heap, ss, vs, capacity, depth)) {
                trlerror("parser stack overflow");
                return 2;
            }
            sp = ss + depth - 1;
            vp = vs + depth - 1;
            full = ss + capacity - 1;
            if constexpr (trace)
                std::fprintf(stderr, "Stack size increased to %d\n", capacity);
        }
        if constexpr (trace)
            std::fprintf(stderr, "Entering state %d\n", state);

        int act;
        int rule = tables.lookahead_free[state];
        if (rule == 0) {
            if (trlchar == no_token) {
                if constexpr (trace)
                    std::fputs("Reading a token: ", stderr);
                const int token = trllex();
                if (token <= 0) {
                    trlchar = 0;
                    symbol = end_symbol;
                } else {
                    trlchar = token;
                    symbol = tab::translate(token);
                }
            }
            if constexpr (trace) {
                if (trlchar == 0)
                    std::fputs("Now at end of input.\n", stderr);
                else
                    std::fprintf(stderr, "Next token is %d (%s)\n", trlchar, tab::symbol_name[symbol]);
            }

            if constexpr (trace)
                act = table_step(state, symbol);
            else
                act = tables.step[state][symbol];
        have_action:
            if (act > 0) [[likely]] {
                if (act == tab::final_state)
                    return 0;
                if constexpr (trace)
                    std::fprintf(stderr, "Shifting token %d (%s), ", trlchar, tab::symbol_name[symbol]);
                if (trlchar != 0)
                    trlchar = no_token;
                *++sp = static_cast<state_type>(act);
                *++vp = trllval;
                if (errstatus) [[unlikely]]
                    --errstatus;
                state = act;
                continue;
            }
            rule = -act;
            if constexpr (!trace) {
                if (rule >= tab::num_rules) {
                    // An empty rule without an action: push its goto.
                    state = rule - tab::num_rules;
                    *++sp = static_cast<state_type>(state);
                    ++vp;
                    vp[0] = vp[-1];
                    if (sp < full) {
                        act = tables.step[state][symbol];
                        goto have_action;
                    }
                    continue;
                }
            }

            if (rule == 0) [[unlikely]] {
                // Syntax error.  Report it unless a recovery is still
                // counting, then unwind to a state that can shift `error`.
                if (!errstatus) {
                    ++trlnerrs;
                    trlerror("parse error");
                } else if (errstatus == 3) {
                    if (trlchar == 0)
                        return 1;
                    if constexpr (trace)
                        std::fprintf(stderr, "Discarding token %d (%s).\n", trlchar, tab::symbol_name[symbol]);
                    trlchar = no_token;
                }
                errstatus = 3;
                int error_act;
                for (;;) {
                    error_act = tab::action(state, error_symbol);
                    if (error_act != 0)
                        break;
                    if (sp == ss)
                        return 1;
                    --vp;
                    state = *--sp;
                    if constexpr (trace)
                        trace_stack("Error: state stack now", ss, sp);
                }
                if (error_act < 0) {
                    rule = -error_act;
                } else {
                    if (error_act == tab::final_state)
                        return 0;
                    if constexpr (trace)
                        std::fputs("Shifting error token, ", stderr);
                    *++sp = static_cast<state_type>(error_act);
                    *++vp = trllval;
                    state = error_act;
                    continue;
                }
            }
        }

        // Reduce by `rule`: $$ starts as $1, the action may use $1..$n.
        const rule_entry r = tables.rules[rule];
        int yyval = vp[r.first];
        if constexpr (trace)
            trace_reduction(rule);
        if (r.has_action)
            tab::reduce_action(rule, vp, yyval);
        sp -= r.length;
        vp -= r.length;
        if constexpr (trace)
            trace_stack("state stack now", ss, sp);
        if constexpr (trace)
            state = tab::goto_state(*sp, tab::rule_lhs[rule]);
        else
            state = tables.go[r.lhs][*sp];
        *++sp = static_cast<state_type>(state);
        *++vp = yyval;

        // Go on with the look-ahead still held.  Its step is right for a
        // state that reduces without one as well, as that state's default
        // reduction fills its row; only the trace must tell them apart.
        if (!trace && trlchar != no_token && sp < full) {
            act = tables.step[state][symbol];
            goto have_action;
        }
    }
}

} // namespace

int trlparse()
{
    return trldebug ? parse<true>() : parse<false>();
}
