// The direct-coded parser: the steps of the tables as code, each state a
// label (see "Direct code" in runtime/parse_engine.h).  What is written
// here is the grammar's own part: the labels, the jumps between them and
// which step each takes; the steps themselves are the engine's direct_run.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/lalrgen/lalrgen.h"

namespace lalrgen {

namespace {

// The frame of the parse: where it starts, and the labels that every step
// may jump to (the engine's direct_run does the work).  `resume` goes on
// in the state on top of the stack, through the two dispatches written
// after it.
const char* const frame_start = R"(
    // The direct-coded parser: the same parse as the engine's loop over the
    // tables above, each state's steps as code (see "Direct code" in the
    // engine).  The parse is in `run`; p gets it when a hook is called and
    // when it ends.
    static constexpr bool direct_code = true;
    template <class Hooks>
    [[gnu::always_inline]] static int direct_parse(trl_engine::parse_state& p, Hooks& hooks)
    {
        using trl_engine::entry;
        trl_engine::direct_run<tables, Hooks> run(p, hooks);
        if (run.full())
            goto grow;
)";
const char* const frame_end = R"(        return run.finish(trl_engine::rejected); // not a state of these tables
    grow:
        if (!run.grow())
            return trl_engine::stack_exhausted;
        goto resume;
    error:
        if (!run.syntax_error())
            return trl_engine::rejected;
        if (run.full())
            goto grow;
        goto resume;
    accept:
        return run.finish(trl_engine::accepted);
)";

// Where a place's code stands in the parse of a state: entered with no
// look-ahead held, with one held, at its step on a look-ahead known where
// the code is written, or at its default step.
enum class place_kind { entered, held, on_terminal, default_step };

struct place {
    place(place_kind k, int s, int t = 0) : state(s), kind(k), terminal(t) {}
    // In this order, so that the places of a state come together.
    int state;
    place_kind kind;
    int terminal; // on_terminal
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
        std::string out = frame_start;
        std::string parse = "        if (!run.holds_token()) {\n";
        dispatch(parse, place_kind::entered);
        parse += "        } else {\n";
        dispatch(parse, place_kind::held);
        parse += "        }\n";
        parse += frame_end;
        while (!work_.empty()) {
            const place at = work_.back();
            work_.pop_back();
            block(at);
        }
        for (const auto& [state, alias] : runs_)
            out += alias;
        out += "    resume:\n";
        out += parse;
        // The places of each state together, under its items.
        int state = -1;
        for (const auto& [at, text] : blocks_) {
            if (at.state != state) {
                state = at.state;
                out += state_comment(state);
            }
            out += text;
        }
        out += "    }\n";
        return out;
    }

private:
    static char letter(place_kind kind)
    {
        switch (kind) {
        case place_kind::entered:
            return 's';
        case place_kind::held:
            return 'h';
        case place_kind::on_terminal:
            return 't';
        case place_kind::default_step:
            break;
        }
        return 'd';
    }

    static std::string name(const place& at)
    {
        std::string n(1, letter(at.kind));
        n += std::to_string(at.state);
        if (at.kind == place_kind::on_terminal) {
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

    // The terminal as the grammar writes it, for a comment.
    std::string terminal_name(int terminal) const { return g_.symbols[static_cast<std::size_t>(terminal)].name; }

    // A blank line and the state's number and kernel items (those of the
    // automaton's state that it copies), as the report shows them.
    std::string state_comment(int s) const
    {
        const int original = t_.original_state[static_cast<std::size_t>(s)];
        std::string c = "\n    // state " + std::to_string(s);
        if (original != s)
            c += " (a copy of state " + std::to_string(original) + ")";
        c += "\n";
        for (const int item : a_.states[static_cast<std::size_t>(original)].kernel)
            c += "    //     " + item_text(a_, item) + "\n";
        return c;
    }

    // The jump to the code of every state, entered as `kind` says.
    void dispatch(std::string& out, place_kind kind)
    {
        out += "            switch (run.top_state()) {\n";
        for (int s = 0; s < t_.num_states; ++s)
            out += "            case " + std::to_string(s) + ": goto " + need({kind, s}) + ";\n";
        out += "            default: break;\n"
               "            }\n";
    }

    // Where the parse goes on after pushing state g, as `then` says: with
    // no look-ahead, with one held, or with `terminal` held.
    struct continuation {
        place_kind kind; // entered, held or on_terminal
        int terminal = 0;
    };
    static place after(int g, const continuation& then) { return {then.kind, g, then.terminal}; }

    void block(const place& at)
    {
        std::string& out = blocks_[at];
        out += "    " + name(at) + ":";
        if (at.kind == place_kind::on_terminal)
            out += " // " + terminal_name(at.terminal);
        out += "\n";
        const int s = at.state;
        const int free = t_.lookahead_free[static_cast<std::size_t>(s)];
        const int common = common_[static_cast<std::size_t>(s)];
        switch (at.kind) {
        case place_kind::entered:
            if (free)
                reduction(out, s, free, {place_kind::entered});
            else
                out += "        run.read();\n"
                       "        goto " +
                       need({place_kind::held, s}) + ";\n";
            break;
        case place_kind::held:
            if (free) {
                reduction(out, s, free, {place_kind::held});
                break;
            }
            out += "        switch (run.terminal()) {\n";
            for (int c = 0; c < t_.num_terminals; ++c)
                if (t_.step_at(s, c) != common)
                    out += "        case " + std::to_string(c) + ": goto " + need({place_kind::on_terminal, s, c}) +
                           "; // " + terminal_name(c) + "\n";
            out += "        default: goto " + need({place_kind::default_step, s}) + ";\n        }\n";
            break;
        case place_kind::default_step:
            step(out, s, common, {place_kind::held});
            break;
        case place_kind::on_terminal:
            if (free)
                reduction(out, s, free, {place_kind::on_terminal, at.terminal});
            else {
                fused_run(out, s, at.terminal);
                step(out, s, t_.step_at(s, at.terminal), {place_kind::on_terminal, at.terminal});
            }
            break;
        }
    }

    // The cycle of `terminal` in state a (see "Fused runs" in the
    // engine): the reduction x (as step holds it) that the state it is
    // shifted into takes on it (or without a look-ahead: then its whole
    // row holds it), back to a; 0 when it has none.
    int cycle_of(int a, int terminal) const
    {
        const int b = t_.step_at(a, terminal);
        if (b <= 0 || b == a_.final_state)
            return 0;
        const int x = -t_.step_at(b, terminal);
        if (x <= 0 || x >> run_tables::target_shift != a)
            return 0;
        const rule_info& r = g_.rules[static_cast<std::size_t>(x & run_tables::rule_mask)];
        return static_cast<int>(r.rhs.size()) == ((x & run_tables::fused_bit) ? 3 : 2) ? x : 0;
    }

    // The terminals of a's cycles that a run may mix: those whose states
    // reduce alike on all of them.  Empty when a has no cycle.
    std::vector<int> run_terminals(int a) const
    {
        std::vector<int> run;
        for (int c = 0; c < t_.num_terminals; ++c)
            if (cycle_of(a, c))
                run.push_back(c);
        for (const int t : run)
            for (const int u : run)
                if (t_.step_at(t_.step_at(a, t), u) != t_.step_at(t_.step_at(a, t), t))
                    return {};
        return run;
    }

    // In state a holding `terminal`: when it is a terminal of a run, the
    // call that takes the run; then, as the run may end in another of its
    // terminals, the step is that terminal's.  The run's cycles are named
    // once for the state, at the top of the parse.
    void fused_run(std::string& out, int a, int terminal)
    {
        auto [known, fresh] = run_terminals_.try_emplace(a);
        if (fresh)
            known->second = run_terminals(a);
        const std::vector<int>& run = known->second;
        if (std::find(run.begin(), run.end(), terminal) == run.end())
            return;
        const std::string name = "run_" + std::to_string(a);
        if (!runs_.count(a)) {
            std::string& alias = runs_[a];
            alias = "        // the runs of state " + std::to_string(a) + "\n";
            alias += "        using " + name + " = trl_engine::run_of<";
            const char* separator = "\n";
            for (const int t : run) {
                const int x = cycle_of(a, t);
                const int rule = x & run_tables::rule_mask;
                alias += separator;
                separator = ",\n";
                alias += "            // " + terminal_name(t) + ": " + rule_text(g_, rule) + "\n";
                alias += "            trl_engine::cycle<" +
                         std::to_string(g_.symbols[static_cast<std::size_t>(t)].code) + ", " + std::to_string(t) +
                         ", " + std::to_string(t_.step_at(a, t)) + ", " + std::to_string(rule) + ", " +
                         ((x & run_tables::fused_bit) ? "true" : "false");
                if (g_.rules[static_cast<std::size_t>(rule)].has_action)
                    alias += ", &action_" + std::to_string(rule) + "<entry>";
                alias += ">";
            }
            alias += ">;\n";
        }
        out += "        run.template fused_run<" + name + ">();\n";
        out += "        if (run.terminal() != " + std::to_string(terminal) + ")\n            goto " +
               need({place_kind::held, a}) + ";\n";
    }

    // The step v (as step holds it) of state s.
    void step(std::string& out, int s, int v, const continuation& then)
    {
        if (v > 0) {
            if (v == a_.final_state) {
                out += "        goto accept;\n";
                return;
            }
            // The terminal shifted is known here, or held until then.
            out += "        if (run.shift(" + std::to_string(v);
            if (then.kind == place_kind::on_terminal)
                out +=
                    ", " + std::to_string(then.terminal) + ")) [[unlikely]] // " + terminal_name(then.terminal) + "\n";
            else
                out += ")) [[unlikely]]\n";
            out += "            goto grow;\n"
                   "        goto " +
                   need({place_kind::entered, v}) + ";\n";
        } else if (v == 0) {
            out += "        goto error;\n";
        } else {
            reduction(out, s, -v, then);
        }
    }

    // Reduction x (as step holds it) in state s.
    void reduction(std::string& out, int s, int x, const continuation& then)
    {
        const int rule = x & run_tables::rule_mask;
        const int known = x >> run_tables::target_shift;
        const int length = static_cast<int>(g_.rules[static_cast<std::size_t>(rule)].rhs.size());
        if (x & run_tables::fused_bit) {
            // The empty rule first, with the value of its entry; when that
            // entry would fill the stack, its reduction comes alone.
            const int empty_symbol = g_.rules[static_cast<std::size_t>(rule)].rhs.back();
            const int empty = t_.empty_rule[static_cast<std::size_t>(empty_symbol - g_.num_terminals)];
            out += "        if (run.fused_entry_fills()) [[unlikely]] {\n";
            reduce(out, "    ", s, empty, 0, t_.go_at(empty_symbol, s), then);
            out += "        }\n"
                   "        run.template push_fused_entry<" +
                   std::to_string(rule) + ">();\n";
            reduce(out, "", s, rule, length - 1, known, then);
        } else {
            reduce(out, "", s, rule, length, known, then);
        }
    }

    // Reduces by `rule`, popping `depth` states of the stack below s, and
    // pushes the goto, `known` or looked up, then goes on from there.
    void reduce(std::string& out, const std::string& indent, int s, int rule, int depth, int known,
                const continuation& then)
    {
        const rule_info& r = g_.rules[static_cast<std::size_t>(rule)];
        const std::string in = "        " + indent;
        out += in + "// " + rule_text(g_, rule) + "\n";
        out += in + "if (run.template reduce<" + std::to_string(rule) + ", " + std::to_string(known);
        if (r.has_action)
            out += ", &action_" + std::to_string(rule) + "<entry>";
        out += ">()) [[unlikely]]\n" + in + "    goto grow;\n";
        if (known) {
            out += in + "goto " + need(after(known, then)) + ";\n";
            return;
        }
        std::set<int> targets;
        for (const int u : states_below(t_, s, depth))
            if (const int to = t_.go_at(r.lhs, u))
                targets.insert(to);
        out += in + "switch (run.top_state()) {\n";
        for (const int to : targets)
            out += in + "case " + std::to_string(to) + ": goto " + need(after(to, then)) + ";\n";
        out += in + "default: goto resume;\n" + in + "}\n";
    }

    const automaton& a_;
    const grammar& g_;
    const run_tables& t_;
    std::vector<int> common_;
    std::set<place> done_;
    std::vector<place> work_;
    std::map<place, std::string> blocks_;
    std::map<int, std::string> runs_;               // the cycles of the states that have runs
    std::map<int, std::vector<int>> run_terminals_; // run_terminals of the states asked about
};

} // namespace

std::string emit_direct(const automaton& a, const run_tables& t)
{
    return direct_writer(a, t).code();
}

} // namespace lalrgen
