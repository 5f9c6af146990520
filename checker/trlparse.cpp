// The table-driven LALR(1) parse engine running the grammar of velmar.y
// over the tokens of trllex.
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

constexpr int initial_depth = 200;
constexpr int max_depth = 10000;
constexpr int no_token = -2;
constexpr int end_symbol = 0;
constexpr int error_symbol = 1;

// The two parallel stacks.  They start in trlparse's frame and move to the
// heap when they grow; the heap storage is released when trlparse returns.
struct parse_stacks {
    state_type* states;
    int* values;
    int capacity;
    std::unique_ptr<state_type[]> grown_states;
    std::unique_ptr<int[]> grown_values;
};

// Doubles the capacity, at most to max_depth, keeping the top + 1 entries.
// Returns false when the stacks are already at the limit.
bool grow(parse_stacks& s, int top)
{
    if (s.capacity >= max_depth)
        return false;
    const int capacity = s.capacity * 2 < max_depth ? s.capacity * 2 : max_depth;
    auto states = std::make_unique<state_type[]>(static_cast<std::size_t>(capacity));
    auto values = std::make_unique<int[]>(static_cast<std::size_t>(capacity));
    std::memcpy(states.get(), s.states, sizeof(state_type) * static_cast<std::size_t>(top + 1));
    std::memcpy(values.get(), s.values, sizeof(int) * static_cast<std::size_t>(top + 1));
    s.grown_states = std::move(states);
    s.grown_values = std::move(values);
    s.states = s.grown_states.get();
    s.values = s.grown_values.get();
    s.capacity = capacity;
    return true;
}

void trace_stack(const char* title, const state_type* states, int top)
{
    std::fputs(title, stderr);
    for (int i = 0; i <= top; ++i)
        std::fprintf(stderr, " %d", states[i]);
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

} // namespace

int trlparse()
{
    state_type initial_states[initial_depth];
    int initial_values[initial_depth];
    parse_stacks stack{initial_states, initial_values, initial_depth, nullptr, nullptr};

    int top = 0;             // index of the top entry of both stacks
    int state = 0;
    int symbol = end_symbol; // the look-ahead as a grammar symbol
    int errstatus = 0;       // tokens still to shift before errors are reported again
    int yyval = 0;

    trlnerrs = 0;
    trlchar = no_token;
    if (trldebug)
        std::fputs("Starting parse\n", stderr);
    stack.states[0] = 0;
    stack.values[0] = 0;

    for (;;) {
        // A state has just been pushed at stack.states[top].
        if (top + 1 >= stack.capacity) {
            if (!grow(stack, top)) {
                trlerror("parser stack overflow");
                return 2;
            }
            if (trldebug)
                std::fprintf(stderr, "Stack size increased to %d\n", stack.capacity);
        }
        if (trldebug)
            std::fprintf(stderr, "Entering state %d\n", state);

        int rule;
        if (!tab::reads_lookahead(state)) {
            rule = tab::default_reduction(state);
        } else {
            if (trlchar == no_token) {
                if (trldebug)
                    std::fputs("Reading a token: ", stderr);
                trlchar = trllex();
            }
            if (trlchar <= 0) {
                trlchar = 0;
                symbol = end_symbol;
                if (trldebug)
                    std::fputs("Now at end of input.\n", stderr);
            } else {
                symbol = tab::translate(trlchar);
                if (trldebug)
                    std::fprintf(stderr, "Next token is %d (%s)\n", trlchar, tab::symbol_name[symbol]);
            }

            const int act = tab::action(state, symbol);
            if (act > 0) {
                if (act == tab::final_state)
                    return 0;
                if (trldebug)
                    std::fprintf(stderr, "Shifting token %d (%s), ", trlchar, tab::symbol_name[symbol]);
                if (trlchar != 0)
                    trlchar = no_token;
                ++top;
                stack.states[top] = static_cast<state_type>(act);
                stack.values[top] = trllval;
                if (errstatus)
                    --errstatus;
                state = act;
                continue;
            }
            rule = act < 0 ? -act : tab::default_reduction(state);

            if (rule == 0) {
                // Syntax error.  Report it unless a recovery is still
                // counting, then unwind to a state that can shift `error`.
                if (!errstatus) {
                    ++trlnerrs;
                    trlerror("parse error");
                } else if (errstatus == 3) {
                    if (trlchar == 0)
                        return 1;
                    if (trldebug)
                        std::fprintf(stderr, "Discarding token %d (%s).\n", trlchar, tab::symbol_name[symbol]);
                    trlchar = no_token;
                }
                errstatus = 3;
                int error_act;
                for (;;) {
                    error_act = tab::action(state, error_symbol);
                    if (error_act != 0)
                        break;
                    if (top == 0)
                        return 1;
                    state = stack.states[--top];
                    if (trldebug)
                        trace_stack("Error: state stack now", stack.states, top);
                }
                if (error_act < 0) {
                    rule = -error_act;
                } else {
                    if (error_act == tab::final_state)
                        return 0;
                    if (trldebug)
                        std::fputs("Shifting error token, ", stderr);
                    ++top;
                    stack.states[top] = static_cast<state_type>(error_act);
                    stack.values[top] = trllval;
                    state = error_act;
                    continue;
                }
            }
        }

        // Reduce by `rule`: $$ starts as $1, the action may use $1..$n.
        const int length = tab::rule_length[rule];
        if (length > 0)
            yyval = stack.values[top + 1 - length];
        if (trldebug)
            trace_reduction(rule);
        tab::reduce_action(rule, stack.values + top, yyval);
        top -= length;
        if (trldebug)
            trace_stack("state stack now", stack.states, top);
        state = tab::goto_state(stack.states[top], tab::rule_lhs[rule]);
        ++top;
        stack.states[top] = static_cast<state_type>(state);
        stack.values[top] = yyval;
    }
}
