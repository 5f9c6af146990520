#include "language/recovery.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

namespace {

// How many tokens a configuration must take for the parse to resume at a
// place (see the note in recovery.h).  At a blank: the blank and the token
// after it.
constexpr int enough_at_blank = 2;
// At the offending token itself: it, the blank after it and the token
// after that; a token taken only by a configuration that fails at the next
// is no place to go on.
constexpr int enough_at_token = 3;

// Where a scanner stands: all of it but the text, which the window's
// scanner holds, and the record of failed matches, which its copies
// share.  (The window keeps one for each token it reads: copying the
// shared record's pointer for each cost more than reading the token, on a
// line of a million tokens after an error.)
struct scanner_place {
    const char* pos;
    bool at_line_start;
    long long lineno;
    int value;
    const char* token;
    std::ptrdiff_t length;

    explicit scanner_place(const trl_text_scanner& s)
        : pos(s.pos), at_line_start(s.at_line_start), lineno(s.lineno), value(s.value), token(s.token), length(s.length)
    {}
    // `s` moved here.
    trl_text_scanner in(trl_text_scanner s) const
    {
        s.pos = pos;
        s.at_line_start = at_line_start;
        s.lineno = lineno;
        s.value = value;
        s.token = token;
        s.length = length;
        return s;
    }
};

// A token read ahead of the error.
struct token {
    int code;
    int terminal;
    int value;
    scanner_place after; // where the scanner stands after the token
};

// The tokens from the offending one on, read as far as they are looked at.
// The search only moves forward and drops the tokens behind it, so a turn
// of a million tokens without a place to go on holds a few.
class token_window {
public:
    token_window(int code, int value, const trl_text_scanner& after) : scanner_(after)
    {
        kept_.push_back({code, tables::translate(code), value, scanner_place(after)});
    }
    // The tokens [0, size()) have been read: ahead[j] for j from the first
    // kept one.
    std::size_t size() const { return dropped_ + (kept_.size() - first_); }
    const token& operator[](std::size_t j) const { return kept_[first_ + (j - dropped_)]; }
    // The scanner after ahead[j].
    trl_text_scanner after(std::size_t j) const { return (*this)[j].after.in(scanner_); }
    // Reads on until there are n tokens, or up to the end of the text.
    void fill(std::size_t n)
    {
        while (size() < n && kept_.back().code != 0) {
            const int c = trl_text_scan<true>(scanner_);
            kept_.push_back({c, tables::translate(c), scanner_.value, scanner_place(scanner_)});
        }
    }
    // Drops the tokens before ahead[j], but never the last one read.
    void drop_before(std::size_t j)
    {
        if (j <= dropped_)
            return;
        const std::size_t n = std::min(j - dropped_, kept_.size() - first_ - 1);
        first_ += n;
        dropped_ += n;
        if (first_ >= 64 && 2 * first_ >= kept_.size()) {
            kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(first_));
            first_ = 0;
        }
    }

private:
    std::vector<token> kept_; // the tokens from kept_[first_] on are ahead[dropped_] on
    std::size_t first_ = 0;
    std::size_t dropped_ = 0;
    trl_text_scanner scanner_;
};

// The search for the place where the parse resumes after an error, and
// for the configuration it resumes in there.
class resume_search {
public:
    resume_search(const entry* stack, int depth, int code, int value, const trl_text_scanner& after)
        : stack_(stack), depth_(depth), after_(after), ahead_(code, value, after),
          base_(depth >= 2 && stack[1].state == grammar::between_turns_state ? 2 : 1),
          new_turn_(fresh().after_identification[base_ - 1])
    {}

    // The first place, from the offending token on (or from the token after
    // it, without `may_stay`), that a configuration takes enough of.
    resume find(bool may_stay)
    {
        for (std::size_t i = may_stay ? 0 : 1;; ++i) {
            ahead_.drop_before(i);
            ahead_.fill(i + 2);
            if (i >= ahead_.size() || ahead_[i].code == 0)
                return {};
            if (ahead_[i].code == END && i > 0) {
                resume r;
                r.what = resume::kind::next_turn;
                r.scanner = ahead_.after(i);
                return r;
            }
            // A blank with a token after it, or the offending token itself
            // when it begins an element (a blank before it).
            const bool at_token = i == 0 && ahead_[0].code != WS && ahead_[0].code != END;
            if (at_token ? !begins_element() : ahead_[i].code != WS || i + 1 >= ahead_.size())
                continue;
            resume r;
            r.what = resume::kind::in_turn;
            if (weigh(i, at_token, r) >= (at_token ? enough_at_token : enough_at_blank))
                return r;
        }
    }

private:
    // What the text skipped may have stood for.
    enum class variant { as_is, as_word, as_event, without_blank };
    static constexpr variant variants[] = {variant::as_is, variant::as_word, variant::as_event, variant::without_blank};
    static constexpr int word = tables::translate(L);
    static constexpr int event = tables::translate(MGER); // an event, or a noise in a noise bracket
    static constexpr int blank = grammar::blank_terminal;

    bool begins_element() const { return after_.token != after_.text && after_.token[-1] == ' '; }

    // The best configuration to take the tokens from ahead[from] on (the
    // first of them a blank unless `at_token`), put in `r`: its score, the
    // tokens it takes (0: none).
    int weigh(std::size_t from, bool at_token, resume& r)
    {
        ahead_.fill(from + 1 + horizon);
        std::vector<int> rest;
        for (std::size_t j = from; j < ahead_.size() && rest.size() < horizon; ++j) {
            rest.push_back(ahead_[j].terminal);
            if (ahead_[j].code == END || ahead_[j].code == 0)
                break;
        }
        const std::vector<int> after_blank(rest.begin() + (at_token ? 0 : 1), rest.end());
        int best = weigh_popped(from, at_token, after_blank, static_cast<int>(rest.size()), r);
        if (!at_token)
            best = std::max(best, weigh_new_turn(from, after_blank, best, r));
        return best;
    }

    // The stack popped by 0, 1, 2, ... entries, in each variant, the least
    // popped first; a better one replaces r.  A configuration whose top
    // state one less popped had is passed over: over a short stretch the
    // two go alike, and ties go to the less popped (a long turn holds many
    // such).  The search stops once one takes all `all` tokens.
    int weigh_popped(std::size_t from, bool at_token, const std::vector<int>& after_blank, int all, resume& r)
    {
        int best = 0;
        std::vector<int> tried;
        for (int k = depth_; k > base_ && k > depth_ - most_pops && best < all; --k) {
            const int top = stack_[k - 1].state;
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
                if (first < 0 || !trl_engine::takes<tables>(stack_, k, first))
                    continue;
                virtual_stack v(stack_, k);
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
                    resume_at(r, keeps_blank ? from : from + (at_token ? 0 : 1), kept, std::move(above));
                }
            }
        }
        return best;
    }

    // A fresh configuration, as right after a turn identification, for the
    // tokens after the blank at ahead[from] when they can begin a turn's
    // segments; it replaces r if it does better than `best`.
    int weigh_new_turn(std::size_t from, const std::vector<int>& after_blank, int best, resume& r)
    {
        if (!fresh().starts_segments[static_cast<std::size_t>(ahead_[from + 1].terminal)])
            return 0;
        virtual_stack v(new_turn_.data(), static_cast<int>(new_turn_.size()));
        const int score = 1 + taken(v, after_blank);
        if (score > best) {
            std::vector<int> above;
            for (const entry& e : new_turn_)
                above.push_back(e.state);
            resume_at(r, from + 1, 0, std::move(above));
        }
        return score;
    }

    // The parse resumes with ahead[look] as its look-ahead, on the first
    // `depth` entries of the stack and the states `above`.
    void resume_at(resume& r, std::size_t look, int depth, std::vector<int> above)
    {
        const token& t = ahead_[look];
        r.depth = depth;
        r.above = std::move(above);
        r.lookahead = t.code;
        r.value = t.value;
        r.scanner = ahead_.after(look);
    }

    const entry* stack_;
    int depth_;
    trl_text_scanner after_;
    token_window ahead_;
    int base_; // the entries no configuration pops: [0], or [0, between_turns_state]
    const std::vector<entry>& new_turn_;
};

} // namespace

resume find_resume(const entry* stack, int depth, int code, int value, const trl_text_scanner& after, bool may_stay)
{
    return resume_search(stack, depth, code, value, after).find(may_stay);
}

} // namespace trl
