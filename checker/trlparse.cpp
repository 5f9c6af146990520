// trlparse: the checker's front door to the parse engine.  It runs the
// grammar of velmar.y with its echo actions over the tokens of trllex, with
// a stack (states and values side by side) that starts in its own frame and
// doubles up to the limit of stack_limit.h, and reports through trlerror.
#include <algorithm>
#include <memory>

#include "lex.trl.h"
#include "parse_engine.h"
#include "stack_limit.h"
#include "velmar.h"
#include "velmar.tab.h"

int trlchar = trl_engine::no_token;
int trlnerrs = 0;
int trldebug = 0;

namespace {

using trl_engine::entry;
using trl_engine::parse_state;
using tables = trl_lalr::tables;

struct velmar_hooks {
    static constexpr bool run_actions = true;
    static constexpr bool watches_reads = false;

    // Storage of the stack once it has outgrown trlparse's frame; it lives
    // until trlparse returns.
    std::unique_ptr<entry[]> grown;

    static int lex(int& value)
    {
        const int code = trllex();
        value = trllval;
        return code;
    }

    // Doubles the stack, at most to the limit.
    bool grow(parse_state& p)
    {
        if (p.capacity >= velmar_stack_limit)
            return false;
        const int size = std::min(p.capacity * 2, velmar_stack_limit);
        auto stack = std::make_unique<entry[]>(static_cast<std::size_t>(size));
        std::copy(p.stack, p.stack + p.depth, stack.get());
        grown = std::move(stack);
        p.stack = grown.get();
        p.capacity = size;
        return true;
    }

    static trl_engine::error_outcome syntax_error(parse_state&)
    {
        trlerror("parse error");
        return trl_engine::error_outcome::not_recovered;
    }
};

} // namespace

int trlparse()
{
    entry initial[velmar_initial_stack];
    parse_state p;
    p.stack = initial;
    p.capacity = velmar_initial_stack;
    trl_engine::start(p);
    trlchar = p.lookahead;
    trlnerrs = p.nerrs;

    velmar_hooks hooks;
    const int result = trldebug ? trl_engine::parse<tables, velmar_hooks, true>(p, hooks)
                                : trl_engine::parse<tables, velmar_hooks, false>(p, hooks);
    trlchar = p.lookahead;
    trlnerrs = p.nerrs;
    if (result == trl_engine::stack_exhausted)
        trlerror("parser stack overflow");
    return result;
}
