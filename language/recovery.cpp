#include "language/recovery.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "language/read_log.h"

namespace trl {

namespace {

using grammar::tables;
using trl_engine::entry;
using trl_engine::error_outcome;
using trl_engine::parse_state;

// The tokens a configuration is tried on after the blank.
constexpr std::size_t horizon = 16;
// The popped configurations tried, the least popped first: far more than
// the constructs a turn nests, and a bound on the work of a recovery in a
// turn of any length.
constexpr int most_pops = 64;

// The configurations right after a turn identification (its ':' and blank
// read, the turn's segments to come), at the start of the text and between
// turns, and the terminals that can begin a turn's segments.
struct fresh_configurations {
    std::vector<entry> after_identification[2]; // [0]: the first turn, [1]: a later one
    std::array<bool, tables::num_terminals> starts_segments{};
};

// Runs the parse over given tokens and keeps the stack as it was when the
// token after them was read (before the reductions that token led to).
struct identification_probe : read_log {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = true;

    std::vector<int> codes;
    std::size_t next = 0;
    std::vector<entry> at_error;

    int lex(int& value)
    {
        value = 0;
        // After the tokens, one that no state takes stops the parse.
        return next < codes.size() ? codes[next++] : (++next, TRL_UNDEFINED_TOKEN);
    }
    static bool grow(parse_state&) { return false; }
    error_outcome syntax_error(parse_state& p)
    {
        restore(p.stack);
        at_error.assign(p.stack, p.stack + read_depth);
        return error_outcome::not_recovered;
    }
};

fresh_configurations make_fresh()
{
    // The tokens of an identification, as the scanner makes them.
    static constexpr std::string_view identification = "g012abc3_001_ABC_000000: ";
    std::vector<int> codes;
    trl_text_scanner s;
    trl_text_scanner_start(s, identification.data(), identification.size());
    for (int code; (code = trl_text_scan(s)) != 0;)
        codes.push_back(code);

    fresh_configurations f;
    for (int later = 0; later < 2; ++later) {
        std::vector<entry> storage(256);
        identification_probe probe;
        probe.codes = codes;
        parse_state p;
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size()) - 1;
        trl_engine::start(p);
        if (later) {
            p.stack[1] = entry{grammar::between_turns_state, 0};
            p.depth = 2;
        }
        trl_engine::parse<tables, identification_probe, false>(p, probe);
        f.after_identification[later] = probe.at_error;
    }
    for (int t = 0; t < tables::num_terminals; ++t) {
        const std::vector<entry>& after = f.after_identification[0];
        virtual_stack v(after.data(), static_cast<int>(after.size()));
        f.starts_segments[static_cast<std::size_t>(t)] =
            t != tables::error_terminal && t != tables::undefined_terminal && v.take(t);
    }
    return f;
}

const fresh_configurations& fresh()
{
    static const fresh_configurations f = make_fresh();
    return f;
}

} // namespace

bool virtual_stack::push(int state)
{
    if (added_ == room)
        return false;
    above_[static_cast<std::size_t>(added_++)] = state;
    return true;
}

bool virtual_stack::take(int terminal)
{
    // The steps of trl_engine::takes, with the shift kept.
    for (int steps = 0; steps < 100000; ++steps) {
        if (kept_ + added_ == 0)
            return false;
        const int state = top();
        int x = tables::lookahead_free[state];
        if (x == 0) {
            const int act = tables::step[state][terminal];
            if (act > 0)
                return push(act); // the final state: the text is accepted
            if (act == 0)
                return false;
            x = -act;
            if ((x & trl_engine::fused_bit) && !push(0)) // the empty rule's entry, then the rule
                return false;
        }
        const auto& rule = tables::rules[x & trl_engine::rule_mask];
        const int n = rule.length;
        const int from_added = n < added_ ? n : added_;
        added_ -= from_added;
        kept_ -= n - from_added;
        if (kept_ + added_ <= 0)
            return false;
        if (!push(tables::goto_after(rule, top())))
            return false;
    }
    return false;
}

int taken(virtual_stack& v, const std::vector<int>& terminals)
{
    int n = 0;
    for (const int t : terminals) {
        if (!v.take(t))
            break;
        ++n;
    }
    return n;
}

resume find_resume(const entry* stack, int depth, int code, int value, const trl_text_scanner& after, bool may_stay)
{
    struct token {
        int code;
        int terminal;
        int value;
        trl_text_scanner after; // the scanner after the token
    };
    // The tokens from the offending one on, as far as they are looked at.
    // The search below only moves forward and drops the tokens behind it,
    // so a turn of a million tokens without a place to go on holds a few.
    class window {
    public:
        explicit window(token first) { kept_.push_back(std::move(first)); }
        std::size_t size() const { return dropped_ + kept_.size(); }
        token& operator[](std::size_t j) { return kept_[j - dropped_]; }
        token& back() { return kept_.back(); }
        void push_back(token t) { kept_.push_back(std::move(t)); }
        void drop_before(std::size_t j)
        {
            for (; dropped_ < j && kept_.size() > 1; ++dropped_)
                kept_.pop_front();
        }

    private:
        std::deque<token> kept_;
        std::size_t dropped_ = 0;
    };
    window ahead(token{code, tables::translate(code), value, after});
    trl_text_scanner s = after;
    auto fill = [&](std::size_t n) {
        while (ahead.size() < n && ahead.back().code != 0) {
            const int c = trl_text_scan(s);
            ahead.push_back({c, tables::translate(c), s.value, s});
        }
    };

    const fresh_configurations& f = fresh();
    const int base = depth >= 2 && stack[1].state == grammar::between_turns_state ? 2 : 1;
    const std::vector<entry>& new_turn = f.after_identification[base - 1];
    const int blank = grammar::blank_terminal;
    // What the text skipped may have stood for.
    enum class variant { as_is, as_word, as_event, without_blank };
    static constexpr variant variants[] = {variant::as_is, variant::as_word, variant::as_event, variant::without_blank};
    static constexpr int word = tables::translate(L);
    static constexpr int event = tables::translate(MGER); // an event, or a noise in a noise bracket

    // The best configuration to take the tokens from ahead[from] on (the
    // first of them a blank unless `at_token`): its score (the tokens it
    // takes), and the resume it makes.
    auto weigh = [&](std::size_t from, bool at_token, resume& r) {
        fill(from + 1 + horizon);
        std::vector<int> rest;
        for (std::size_t j = from; j < ahead.size() && rest.size() < horizon; ++j) {
            rest.push_back(ahead[j].terminal);
            if (ahead[j].code == END || ahead[j].code == 0)
                break;
        }
        const std::vector<int> after_blank(rest.begin() + (at_token ? 0 : 1), rest.end());
        const int all = static_cast<int>(rest.size());
        int best = 0;
        // A configuration whose top state one less popped had is passed
        // over: over a short stretch the two go alike, and ties go to the
        // less popped (a long turn holds many such).
        std::vector<int> tried;
        for (int k = depth; k > base && k > depth - most_pops && best < all; --k) {
            const int top = stack[k - 1].state;
            if (std::find(tried.begin(), tried.end(), top) != tried.end())
                continue;
            tried.push_back(top);
            for (const variant how : variants) {
                if (at_token && how != variant::without_blank)
                    continue;
                const int first = how == variant::as_word    ? word
                                  : how == variant::as_event ? event
                                  : how == variant::as_is    ? blank
                                  : after_blank.empty()      ? -1
                                                             : after_blank.front();
                if (first < 0 || !trl_engine::takes<tables>(stack, k, first))
                    continue;
                virtual_stack v(stack, k);
                if ((how == variant::as_word && !v.take(word)) || (how == variant::as_event && !v.take(event)))
                    continue;
                const int kept = v.kept();
                std::vector<int> above = v.above();
                const bool keeps_blank = how != variant::without_blank;
                if (keeps_blank && !v.take(blank))
                    continue;
                const int score = (at_token ? 0 : 1) + taken(v, after_blank);
                if (score > best) {
                    best = score;
                    r.depth = kept;
                    r.above = std::move(above);
                    const token& look = ahead[keeps_blank ? from : from + (at_token ? 0 : 1)];
                    r.lookahead = look.code;
                    r.value = look.value;
                    r.scanner = look.after;
                }
            }
        }
        if (!at_token && f.starts_segments[static_cast<std::size_t>(ahead[from + 1].terminal)]) {
            virtual_stack v(new_turn.data(), static_cast<int>(new_turn.size()));
            const int score = 1 + taken(v, after_blank);
            if (score > best) {
                best = score;
                r.depth = 0;
                r.above.clear();
                for (const entry& e : new_turn)
                    r.above.push_back(e.state);
                const token& look = ahead[from + 1];
                r.lookahead = look.code;
                r.value = look.value;
                r.scanner = look.after;
            }
        }
        return best;
    };

    for (std::size_t i = may_stay ? 0 : 1;; ++i) {
        ahead.drop_before(i);
        fill(i + 2);
        if (i >= ahead.size() || ahead[i].code == 0)
            return {};
        if (ahead[i].code == END && i > 0) {
            resume r;
            r.what = resume::kind::next_turn;
            r.scanner = ahead[i].after;
            return r;
        }
        resume r;
        r.what = resume::kind::in_turn;
        // At the offending token itself when it begins an element (a blank
        // before it), or at a blank: it and what follows it taken
        if (i == 0 && ahead[0].code != WS && ahead[0].code != END) {
            // (and the blank after it, and more: a token taken only by a
            // configuration that fails at the next is no place to go on).
            if (after.token == after.text || after.token[-1] != ' ')
                continue;
            if (weigh(0, true, r) >= 3)
                return r;
            continue;
        }
        // (at least the blank and the token after it).
        if (ahead[i].code == WS && i + 1 < ahead.size() && weigh(i, false, r) >= 2)
            return r;
    }
}

} // namespace trl
