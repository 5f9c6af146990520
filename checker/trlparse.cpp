// trlparse: the checker's front door to the parse engine.  It runs the
// grammar of velmar.y with its echo actions over the tokens of trllex, with
// a stack (states and values side by side) that starts in its own frame and
// doubles up to the limit of stack_limit.h, and reports through trlerror.
#include <algorithm>
#include <memory>

#include "checker/lex.trl.h"
#include "checker/lex.trl.inline.h"
#include "parse_engine.h"
#include "checker/stack_limit.h"
#include "checker/velmar.h"
#include "velmar.tab.h"

int trlchar = trl_engine::no_token;
int trlnerrs = 0;
int trldebug = 0;

namespace {

using trl_engine::entry;
using trl_engine::parse_state;
using tables = trl_lalr::tables;

// Storage of the stack once it has outgrown trlparse's frame; it lives
// until trlparse returns.
std::unique_ptr<entry[]> grown_stack;

struct velmar_hooks {
    static constexpr bool run_actions = true;
    static constexpr bool watches_reads = false;

    // The scanner's place while the parse runs.  (All that the hooks hold:
    // the parse keeps it in registers.)
    trl_inline_scanner scanner;

    [[gnu::always_inline]] int lex(int& value) { return trl_read_token(scanner, value); }
    template <int... codes> [[gnu::always_inline]] int lex_in_run(int& value, const entry*)
    {
        return trl_read_in_run<codes...>(scanner, value);
    }

    // Doubles the stack, at most to the limit.
    static bool grow(parse_state& p)
    {
        if (p.capacity >= velmar_stack_limit)
            return false;
        const int size = std::min(p.capacity * 2, velmar_stack_limit);
        auto stack = std::make_unique<entry[]>(static_cast<std::size_t>(size));
        std::copy(p.stack, p.stack + p.depth, stack.get());
        grown_stack = std::move(stack);
        p.stack = grown_stack.get();
        p.capacity = size;
        return true;
    }

    static trl_engine::error_outcome syntax_error(parse_state&)
    {
        trlerror("parse error");
        return trl_engine::error_outcome::not_recovered;
    }
};

static_assert(trl_engine::reads_runs<velmar_hooks, L, MC>, "the letters of a word are read as runs");

// How a parse runs: the direct code (or the tables' loop when the tables
// have none), the tables' loop with its trace, or the tables' loop alone,
// which the direct code is checked against.
enum class engine { direct, traced, tables };

// One parse, with hooks of its own (so that the untraced parse, the one
// that counts, holds them in registers).
template <engine how> int parse(parse_state& p)
{
    velmar_hooks hooks{trl_inline_start()};
    int result;
    if constexpr (how == engine::tables)
        result = trl_engine::parse_tables<tables, velmar_hooks, false>(p, hooks);
    else
        result = trl_engine::parse<tables, velmar_hooks, how == engine::traced>(p, hooks);
    trl_inline_finish(hooks.scanner);
    return result;
}

template <engine how> int run()
{
    entry initial[velmar_initial_stack];
    parse_state p;
    p.stack = initial;
    p.capacity = velmar_initial_stack;
    trl_engine::start(p);
    trlchar = p.lookahead;
    trlnerrs = p.nerrs;

    p.lval = trllval;
    const int result = parse<how>(p);
    trllval = p.lval;
    grown_stack.reset();
    trlchar = p.lookahead;
    trlnerrs = p.nerrs;
    if (result == trl_engine::stack_exhausted)
        trlerror("parser stack overflow");
    velmar_flush_lines();
    return result;
}

} // namespace

int trlparse()
{
    return trldebug ? run<engine::traced>() : run<engine::direct>();
}

int trlparse_over_tables()
{
    return run<engine::tables>();
}
