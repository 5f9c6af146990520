// The direct-coded parser: the steps of the tables as code, each state a
// label (see "Direct code" in runtime/parse_engine.h).
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tools/lalrgen/lalrgen.h"

namespace lalrgen {

namespace {

// The parse written back to p, where a hook may look at it or the parse
// ends, and taken up again from p after a hook.
const std::string save_parse = "        p.depth = static_cast<int>(sp - p.stack) + 1;\n"
                               "        if (symbol < 0)\n"
                               "            p.lookahead = trl_engine::no_token;\n"
                               "        p.symbol = symbol < 0 ? 0 : symbol;\n"
                               "        p.lval = lval;\n";
const std::string load_parse = "        sp = p.stack + p.depth - 1;\n"
                               "        full = p.stack + p.capacity - 1;\n"
                               "        symbol = p.lookahead == trl_engine::no_token ? -1 : p.symbol;\n"
                               "        lval = p.lval;\n";

// A place in the code: a state entered with no look-ahead held ('s'), with
// one held ('h'), its default step ('d'), or its step on a look-ahead known
// where the code is written ('t').
struct place {
    char kind;
    int state;
    int terminal = 0;
    auto operator<=>(const place&) const = default;
};

class direct_writer {
public:
    direct_writer(const automaton& a, const run_tables& t) : a_(a), g_(*a.g), t_(t)
    {
        // A state's default step: the one most of its row holds.
        common_.assign(static_cast<std::size_t>(t.num_states), 0);
        for (int s = 0; s < t.num_states; ++s) {
            std::map<int, int> count;
            for (int c = 0; c < t.num_terminals; ++c)
                ++count[t.step_at(s, c)];
            int best = 0;
            for (const auto& [v, n] : count)
                if (n > best) {
                    best = n;
                    common_[static_cast<std::size_t>(s)] = v;
                }
        }
    }

    std::string code()
    {
        out_ += "\n    // The direct-coded parser: the same parse as the engine's loop over the\n"
                "    // tables above, each state's steps as code (see the engine).  The parse\n"
                "    // is in locals; p gets it when a hook is called and when it ends.\n"
                "    static constexpr bool direct_code = true;\n"
                "    template <class Hooks>\n"
                "    [[gnu::always_inline]] static int direct_parse(trl_engine::parse_state& p, Hooks& hooks)\n"
                "    {\n"
                "        using trl_engine::entry;\n"
                "        // The token held is in p.lookahead (as the hooks see it), its\n"
                "        // terminal in `symbol`.\n"
                "        entry* sp = p.stack + p.depth - 1;           // the top entry\n"
                "        entry* full = p.stack + p.capacity - 1;      // the top entry when the stack is full\n"
                "        int symbol = p.lookahead == trl_engine::no_token ? -1 : p.symbol;   // -1: none held\n"
                "        int lval = p.lval;\n"
                "        entry* vsp;\n"
                "        int yyval;\n"

                "        // A state has just been pushed: the stack may need room, then the\n"
                "        // state's code goes on, with or without a look-ahead.\n"
                "        if (sp >= full)\n"
                "            goto grow;\n"
                "    resume:\n"
                "        if (symbol < 0) {\n"
                "            switch (sp->state) {\n";
        for (int s = 0; s < t_.num_states; ++s)
            out_ += "            case " + std::to_string(s) + ": goto " + need({'s', s}) + ";\n";
        out_ += "            default: break;\n"
                "            }\n"
                "        } else {\n"
                "            switch (sp->state) {\n";
        for (int s = 0; s < t_.num_states; ++s)
            out_ += "            case " + std::to_string(s) + ": goto " + need({'h', s}) + ";\n";
        out_ += "            default: break;\n"
                "            }\n"
                "        }\n" +
                save_parse +
                "        return trl_engine::rejected;   // not a state of these tables\n"
                "    grow:\n" +
                save_parse +
                "        if (!hooks.grow(p))\n"
                "            return trl_engine::stack_exhausted;\n" +
                load_parse +
                "        goto resume;\n"
                "    error:\n"
                "        ++p.nerrs;\n" +
                save_parse +
                "        if (hooks.syntax_error(p) != trl_engine::error_outcome::recovered)\n"
                "            return trl_engine::rejected;\n" +
                load_parse +
                "        if (sp >= full)\n"
                "            goto grow;\n"
                "        goto resume;\n"
                "    accept:\n" +
                save_parse + "        return trl_engine::accepted;\n";
        while (!work_.empty()) {
            const place at = work_.back();
            work_.pop_back();
            block(at);
        }
        out_ += "    }\n";
        return out_;
    }

private:
    static std::string name(const place& at)
    {
        std::string n(1, at.kind);
        n += std::to_string(at.state);
        if (at.kind == 't') {
            n += '_';
            n += std::to_string(at.terminal);
        }
        return n;
    }

    std::string need(const place& at)
    {
        if (done_.insert(at).second)
            work_.push_back(at);
        return name(at);
    }

    // Where the parse goes on after pushing state g, as `then` says: with
    // no look-ahead, with one held, or with `terminal` held.
    struct continuation {
        char kind; // 's', 'h' or 't'
        int terminal = 0;
    };
    place after(int g, const continuation& then) const { return {then.kind, g, then.terminal}; }

    void block(const place& at)
    {
        out_ += "    " + name(at) + ":\n";
        const int s = at.state;
        const int free = t_.lookahead_free[static_cast<std::size_t>(s)];
        switch (at.kind) {
        case 's':
            if (free)
                reduction(s, free, {'s'});
            else
                out_ += "        {\n"
                        "            const int code = hooks.lex(lval);\n"
                        "            p.lookahead = code > 0 ? code : 0;\n"
                        "            symbol = translate(p.lookahead);\n"
                        "        }\n"
                        "        goto " +
                        need({'h', s}) + ";\n";
            break;
        case 'h':
            if (free) {
                reduction(s, free, {'h'});
                break;
            }
            out_ += "        switch (symbol) {\n";
            for (int c = 0; c < t_.num_terminals; ++c)
                if (t_.step_at(s, c) != common_[static_cast<std::size_t>(s)])
                    out_ += "        case " + std::to_string(c) + ": goto " + need({'t', s, c}) + ";\n";
            out_ += "        default: goto " + need({'d', s}) + ";\n        }\n";
            break;
        case 'd':
            step(s, common_[static_cast<std::size_t>(s)], {'h'});
            break;
        case 't':
            if (free)
                reduction(s, free, {'t', at.terminal});
            else
                step(s, t_.step_at(s, at.terminal), {'t', at.terminal});
            break;
        }
    }

    void step(int s, int v, const continuation& then)
    {
        if (v > 0) {
            if (v == a_.final_state) {
                out_ += "        goto accept;\n";
                return;
            }
            // Only the final state shifts the end of input.  The terminal
            // shifted is known here, or held in `symbol` until then.
            const std::string terminal = then.kind == 't' ? std::to_string(then.terminal) : "shifted";
            out_ += "        {\n";
            if (then.kind != 't')
                out_ += "            [[maybe_unused]] const int shifted = symbol;\n";
            out_ += "        symbol = -1;\n"
                    "        *++sp = entry{" +
                    std::to_string(v) + ", lval};\n" +
                    observer("shifted", terminal + ", " + std::to_string(v) + ", sp") + room() + "        goto " +
                    need({'s', v}) + ";\n        }\n";
        } else if (v == 0) {
            out_ += "        goto error;\n";
        } else {
            reduction(s, -v, then);
        }
    }

    static std::string room() { return "        if (sp >= full) [[unlikely]]\n            goto grow;\n"; }

    // What an observer of the steps is told here (see the engine).
    static std::string observer(const std::string& what, const std::string& arguments)
    {
        return "        trl_engine::observe_detail::" + what + "<tables>(hooks, " + arguments + ");\n";
    }

    // Reduction x (as step holds it) in state s.
    void reduction(int s, int x, const continuation& then)
    {
        const int rule = x & run_tables::rule_mask;
        const int known = x >> run_tables::target_shift;
        const rule_info& r = g_.rules[static_cast<std::size_t>(rule)];
        const int length = static_cast<int>(r.rhs.size());
        if (x & run_tables::fused_bit) {
            // The empty rule first, with the value of its entry; when that
            // entry would fill the stack, its reduction comes alone.
            const int empty_symbol = r.rhs.back();
            const int empty = t_.empty_rule[static_cast<std::size_t>(empty_symbol - g_.num_terminals)];
            out_ += "        if (sp + 1 >= full) [[unlikely]] {\n";
            reduce(s, empty, 0, t_.go_at(empty_symbol, s), then);
            out_ += "        }\n        ++sp;\n        sp->value = sp[-1].value;\n" +
                    observer("fused", std::to_string(rule) + ", sp");
            reduce(s, rule, length - 1, known, then);
        } else {
            reduce(s, rule, length, known, then);
        }
    }

    // Pops the rule's entries (`depth` of them states of the stack below s),
    // runs its action and pushes the goto, `known` or looked up.
    void reduce(int s, int rule, int depth, int known, const continuation& then)
    {
        const rule_info& r = g_.rules[static_cast<std::size_t>(rule)];
        const int length = static_cast<int>(r.rhs.size());
        out_ += "        {\n"
                "            vsp = sp;\n"
                "            yyval = vsp[" +
                std::to_string(length > 0 ? 1 - length : 0) + "].value;\n";
        if (length > 0)
            out_ += "            sp -= " + std::to_string(length) + ";\n";
        if (!known)
            out_ += "            const int to = goto_after(rules[" + std::to_string(rule) + "], sp->state);\n";
        if (r.has_action)
            out_ += "            if constexpr (Hooks::run_actions)\n"
                    "                action_" +
                    std::to_string(rule) + "(vsp, yyval);\n";
        out_ += observer("reduced", std::to_string(rule) + ", vsp + " + std::to_string(1 - length) + ", yyval");
        const std::string lhs = std::to_string(r.lhs);
        if (known) {
            out_ += "            *++sp = entry{" + std::to_string(known) + ", yyval};\n" +
                    observer("pushed", lhs + ", " + std::to_string(known) + ", sp") + room() + "            goto " +
                    need(after(known, then)) + ";\n";
        } else {
            std::set<int> targets;
            for (const int u : states_below(t_, s, depth))
                if (const int to = t_.go_at(r.lhs, u))
                    targets.insert(to);
            out_ += "            *++sp = entry{to, yyval};\n" + observer("pushed", lhs + ", to, sp") + room() +
                    "            switch (to) {\n";
            for (const int to : targets)
                out_ += "            case " + std::to_string(to) + ": goto " + need(after(to, then)) + ";\n";
            out_ += "            default: goto resume;\n            }\n";
        }
        out_ += "        }\n";
    }

    const automaton& a_;
    const grammar& g_;
    const run_tables& t_;
    std::vector<int> common_;
    std::set<place> done_;
    std::vector<place> work_;
    std::string out_;
};

} // namespace

std::string emit_direct(const automaton& a, const run_tables& t)
{
    return direct_writer(a, t).code();
}

} // namespace lalrgen
