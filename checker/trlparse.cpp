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

// The generated tables are compressed; the engine looks its actions up in a
// plain array derived from them at compile time (34 KB), so that the action
// for a look-ahead costs one load and no range or check comparisons.
//
// step[s][t]: > 0 shift to that state, < 0 reduce by that rule (the state's
// default reduction filled in wherever the state has no explicit action),
// 0 syntax error.  lookahead_free[s]: the rule that state s reduces by
// without reading a token, 0 if it reads one.
//
// For each rule: its length, and where its $1 is relative to the top of the
// stack (the top itself for an empty rule, whose value nothing reads).
struct engine_tables {
    std::array<std::array<std::int16_t, tab::num_terminals>, tab::num_states> step{};
    std::array<std::int16_t, tab::num_states> lookahead_free{};
    std::array<std::int8_t, tab::num_rules> length{};
    std::array<std::int8_t, tab::num_rules> first{};
};

constexpr engine_tables make_engine_tables()
{
    engine_tables t;
    for (int s = 0; s < tab::num_states; ++s) {
        const int fallback = -tab::default_reduction(s);
        for (int sym = 0; sym < tab::num_terminals; ++sym) {
            const int a = tab::action(s, sym);
            t.step[s][sym] = static_cast<std::int16_t>(a != 0 ? a : fallback);
        }
        t.lookahead_free[s] = static_cast<std::int16_t>(tab::reads_lookahead(s) ? 0 : tab::default_reduction(s));
    }
    for (int r = 0; r < tab::num_rules; ++r) {
        t.length[r] = static_cast<std::int8_t>(tab::rule_length[r]);
        t.first[r] = static_cast<std::int8_t>(tab::rule_length[r] > 0 ? 1 - tab::rule_length[r] : 0);
    }
    return t;
}

constexpr engine_tables tables = make_engine_tables();
static_assert([] {
    for (int r = 0; r < tab::num_rules; ++r)
        if (tab::rule_length[r] > INT8_MAX)
            return false;
    return true;
}(), "rule lengths must fit the length table");

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
    int symbol = end_symbol;           // the look-ahead as a grammar symbol
    int errstatus = 0;                 // tokens to shift before errors are reported again
    int yyval = 0;

    trlnerrs = 0;
    trlchar = no_token;
    if constexpr (trace)
        std::fputs("Starting parse\n", stderr);
    *sp = 0;
    *vp = 0;

    for (;;) {
        // A state has just been pushed at *sp.
        if (sp >= full) {
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

        int rule = tables.lookahead_free[state];
        if (rule == 0) {
            if (trlchar == no_token) {
                if constexpr (trace)
                    std::fputs("Reading a token: ", stderr);
                trlchar = trllex();
            }
            if (trlchar <= 0) {
                trlchar = 0;
                symbol = end_symbol;
                if constexpr (trace)
                    std::fputs("Now at end of input.\n", stderr);
            } else {
                symbol = tab::translate(trlchar);
                if constexpr (trace)
                    std::fprintf(stderr, "Next token is %d (%s)\n", trlchar, tab::symbol_name[symbol]);
            }

            const int act = tables.step[state][symbol];
            if (act > 0) {
                if (act == tab::final_state)
                    return 0;
                if constexpr (trace)
                    std::fprintf(stderr, "Shifting token %d (%s), ", trlchar, tab::symbol_name[symbol]);
                if (trlchar != 0)
                    trlchar = no_token;
                *++sp = static_cast<state_type>(act);
                *++vp = trllval;
                if (errstatus)
                    --errstatus;
                state = act;
                continue;
            }
            rule = -act;

            if (rule == 0) {
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
        yyval = vp[tables.first[rule]];
        if constexpr (trace)
            trace_reduction(rule);
        tab::reduce_action(rule, vp, yyval);
        const int length = tables.length[rule];
        sp -= length;
        vp -= length;
        if constexpr (trace)
            trace_stack("state stack now", ss, sp);
        state = tab::goto_state(*sp, tab::rule_lhs[rule]);
        *++sp = static_cast<state_type>(state);
        *++vp = yyval;
    }
}

} // namespace

int trlparse()
{
    return trldebug ? parse<true>() : parse<false>();
}
