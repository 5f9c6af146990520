// Runs taken in one step by the direct code (grammars/runs.y): the same
// parse as the direct code's steps one at a time and as the loop over the
// tables, on words, numbers and noise at random: the same result, actions
// in the same order, the same observer calls, the stack grown at the same
// steps (it starts small and grows by one entry, up to a limit) and the
// parse left in the same place.
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "parse_engine.h"
#include "runs_tables.h"

namespace {

using tables = runs_lalr::tables;
using trl_engine::entry;
using trl_engine::parse_state;

constexpr int digit = 300; // DIGIT in runs.y

// What a parse did, beyond the actions' log.
struct outcome {
    int result = 0;
    std::string log;
    std::vector<std::string> events; // growths, syntax errors, observer calls
    int depth = 0;
    int lookahead = 0;
    std::size_t read = 0; // bytes read
    bool operator==(const outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const outcome& o)
{
    out << "{result " << o.result << ", log \"" << o.log << "\", depth " << o.depth << ", look-ahead " << o.lookahead
        << ", read " << o.read << ", events:";
    for (const std::string& e : o.events)
        out << "\n  " << e;
    return out << '}';
}

// The engine over the bytes of a text, a token a byte.  `runs`: with
// lex_in_run; `loop`: watching the reads, which runs the loop over the tables;
// `observe`: observing the steps.
template <bool runs, bool loop, bool observe> struct text_hooks {
    static constexpr bool run_actions = true;
    static constexpr bool watches_reads = loop;
    static constexpr bool observes_steps = observe;
    static constexpr int limit = 40;

    std::string_view text;
    std::size_t next = 0;
    std::vector<entry> storage = std::vector<entry>(3);
    std::vector<std::string> events{};
    int run_tokens = 0;

    static int code_of(char c) { return c >= '0' && c <= '9' ? digit : static_cast<unsigned char>(c); }

    int lex(int& value)
    {
        if (next == text.size())
            return 0;
        const char c = text[next++];
        value = static_cast<signed char>(c);
        return code_of(c);
    }
    template <int... codes> int lex_in_run(int& value, const entry*) requires runs
    {
        if (next == text.size() || ((code_of(text[next]) != codes) && ...))
            return 0;
        ++run_tokens;
        return lex(value);
    }

    void read(int) {}
    void overwrite(int, entry) {}
    // (Not where the scanner stands: a run is read before its steps are
    // told.)
    void shifted() { events.push_back("shift"); }
    void reduced(int rule, entry*, int& value)
    {
        events.push_back("rule " + std::to_string(rule) + " = " + std::to_string(value));
    }
    static constexpr bool observes(int) { return true; }

    bool grow(parse_state& p)
    {
        events.push_back("grow at depth " + std::to_string(p.depth) + ", look-ahead " + std::to_string(p.lookahead) +
                         ", read " + std::to_string(next));
        if (p.capacity >= limit)
            return false;
        storage.assign(p.stack, p.stack + p.depth);
        storage.resize(static_cast<std::size_t>(p.capacity) + 1);
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size());
        return true;
    }
    trl_engine::error_outcome syntax_error(parse_state& p)
    {
        events.push_back("error at " + std::to_string(next) + ", look-ahead " + std::to_string(p.lookahead));
        return trl_engine::error_outcome::not_recovered;
    }
};
static_assert(trl_engine::reads_runs<text_hooks<true, false, false>, 'a', digit>);
static_assert(!trl_engine::reads_runs<text_hooks<false, false, false>, 'a', digit>);
static_assert(trl_engine::runs_direct_code<tables, text_hooks<true, false, true>, false>());
static_assert(!trl_engine::runs_direct_code<tables, text_hooks<false, true, false>, false>());

template <bool runs, bool loop, bool observe> outcome parse(std::string_view text, int* run_tokens = nullptr)
{
    using hooks_type = text_hooks<runs, loop, observe>;
    hooks_type hooks{.text = text};
    parse_state p;
    p.stack = hooks.storage.data();
    p.capacity = static_cast<int>(hooks.storage.size());
    trl_engine::start(p);
    runs::log.clear();
    outcome o;
    o.result = trl_engine::parse<tables, hooks_type, false>(p, hooks);
    o.log = runs::log;
    o.events = hooks.events;
    o.depth = p.depth;
    o.lookahead = p.lookahead;
    o.read = hooks.next;
    if (run_tokens)
        *run_tokens += hooks.run_tokens;
    return o;
}

template <bool observe> void expect_same_parse(const std::string& text, int& run_tokens)
{
    const outcome fused = parse<true, false, observe>(text, &run_tokens);
    EXPECT_EQ(fused, (parse<false, false, observe>(text))) << '"' << text << "\" against the steps one at a time";
    EXPECT_EQ(fused, (parse<false, true, observe>(text))) << '"' << text << "\" against the tables";
}

TEST(FusedRuns, SameParseAsTheStepsOneAtATime)
{
    std::vector<std::string> texts = {
        "",
        "abc ",
        "aAbB!c 12345 ",
        "a!!b ",                                                  // a mark after a mark
        "ab1 ",                                                   // a run ended by a token no cycle takes
        "ab c",                                                   // the text ends in a run
        "123 45x ",                                               // a number's run, then a token no state takes
        std::string(100, 'b') + " " + std::string(60, '7') + " ", // runs beyond the stack's first room
    };
    std::mt19937 random(20261210);
    const std::string alphabet = "abcAB!0123 x";
    for (int i = 0; i < 400; ++i) {
        std::string text;
        const std::size_t length = random() % 80;
        for (std::size_t j = 0; j < length; ++j)
            text += alphabet[random() % (alphabet.size() - (j % 7 == 0 ? 0 : 1))]; // noise now and then
        texts.push_back(text);
    }
    int run_tokens = 0;
    for (const std::string& text : texts) {
        expect_same_parse<false>(text, run_tokens);
        expect_same_parse<true>(text, run_tokens);
        if (HasFailure())
            return;
    }
    EXPECT_GT(run_tokens, 300);
    // The runs are taken: every letter of a word but its first two (the
    // first is no cycle, the second is held when the run is read), every
    // digit of a number but its first two; the stack, where it grows, cuts
    // a run in two.
    int long_runs = 0;
    parse<true, false, false>("abcAB 12345 " + std::string(300, 'a') + " ", &long_runs);
    EXPECT_GE(long_runs, 3 + 3 + 290);
    EXPECT_LE(long_runs, 3 + 3 + 298);
    // And the parse means what it says: a mark's action before its
    // letter's, a number's value.
    EXPECT_EQ((parse<true, false, false>("aB!c 042 ").log), "a!Bc ##=42 ");
}

} // namespace
