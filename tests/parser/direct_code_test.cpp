// velmar's direct-coded parse against the engine's loop over the tables
// (trlparse_over_tables, the loop the trace takes, without the trace): the
// same status, echo and message on every acceptance case, on the same
// cases with bytes dropped, doubled or swapped, and on a turn deep enough
// to grow the stack; and the stack grown at the same steps as by the loop
// and by the traced loop, whatever its size.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/acceptance.h"
#include "language/text_scanner.h"
#include "parse_engine.h"
#include "tests/support/parse.h"
#include "tests/support/process.h"
#include "velmar.tab.h"

namespace {

// Standard error fully buffered while alive: the trace writes it a number
// at a time.
class buffered_stderr {
public:
    buffered_stderr() { std::setvbuf(stderr, buffer_, _IOFBF, sizeof buffer_); }
    ~buffered_stderr()
    {
        std::fflush(stderr);
        std::setvbuf(stderr, nullptr, _IONBF, 0);
    }

private:
    char buffer_[1 << 16];
};

void expect_same_parse(const std::string& text, const std::string& what)
{
    const parse_run direct = parse_text(text);
    const parse_run tables = parse_text_with(text, trlparse_over_tables);
    EXPECT_EQ(direct.status, tables.status) << what;
    EXPECT_EQ(direct.out, tables.out) << what;
    EXPECT_EQ(direct.err, tables.err) << what;
}

TEST(DirectCode, SameParseAsTheTables)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    std::mt19937 random(20261209);
    int texts = 0;
    for (const std::filesystem::path& file : test_support::case_files(cases)) {
        const std::string text = test_support::read_file(file);
        const std::string name = file.filename().string();
        expect_same_parse(text, name);
        ++texts;
        if (text.size() < 2)
            continue;
        for (int i = 0; i < 3; ++i) {
            std::string changed = text;
            const std::size_t at = random() % (changed.size() - 1);
            switch (i) {
            case 0:
                changed.erase(at, 1);
                break;
            case 1:
                changed.insert(at, 1, changed[at]);
                break;
            default:
                std::swap(changed[at], changed[at + 1]);
                break;
            }
            expect_same_parse(changed, name + " changed at " + std::to_string(at));
        }
        if (HasFailure())
            return;
    }
    EXPECT_GT(texts, 1000);
    std::string words;
    for (int i = 0; i < 300; ++i) // beyond the first stack
        words += "ja ";
    expect_same_parse(turn("001_ABC", words + "."), "300 words");
}

using trl_engine::entry;
using trl_engine::parse_state;
using tables = trl_lalr::tables;

// A call of grow: the stack as deep as it was full, the look-ahead held, and
// how far the scanner had read.
struct growth {
    int depth;
    int capacity;
    int lookahead;
    std::ptrdiff_t read;
    bool operator==(const growth&) const = default;
};

std::ostream& operator<<(std::ostream& out, const growth& g)
{
    return out << "{depth " << g.depth << ", capacity " << g.capacity << ", look-ahead " << g.lookahead << ", read "
               << g.read << '}';
}

// velmar's tables run over the tokens of a text, without the actions, on a
// stack that grows from `initial` entries by `step` (0: doubles) up to
// `limit`, noting every growth asked for.
struct growth_hooks {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;
    trl_text_scanner scanner;
    int step;
    int limit;
    std::vector<entry> storage;
    std::vector<growth> growths;

    int lex(int& value)
    {
        const int code = trl_text_scan(scanner);
        value = scanner.value;
        return code;
    }
    bool grow(parse_state& p)
    {
        growths.push_back({p.depth, p.capacity, p.lookahead, scanner.pos - scanner.text});
        if (p.capacity >= limit)
            return false;
        std::vector<entry> bigger(p.stack, p.stack + p.depth);
        bigger.resize(static_cast<std::size_t>(std::min(step ? p.capacity + step : 2 * p.capacity, limit)));
        storage = std::move(bigger);
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size());
        return true;
    }
    static trl_engine::error_outcome syntax_error(parse_state&) { return trl_engine::error_outcome::not_recovered; }
};
static_assert(trl_engine::runs_direct_code<tables, growth_hooks, false>());

// The shape of the hooks, as the engine requires it: each part that the
// hooks' flags call for, with the types the engine uses; hooks missing one
// are refused where they are handed to the engine.
namespace hooks_shape {
using trl_engine::error_outcome;
using trl_engine::parse_hooks;
struct reading {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;
    int lex(int&);
    bool grow(parse_state&);
    error_outcome syntax_error(parse_state&);
};
struct outcome_as_int : reading {
    int syntax_error(parse_state&);
};
struct actions_not_constant : reading {
    static inline bool run_actions = false;
};
struct watching_without_overwrite : reading {
    static constexpr bool watches_reads = true;
    void read(int);
};
struct watching : watching_without_overwrite {
    void overwrite(int, entry);
};
struct observing_without_observes : reading {
    static constexpr bool observes_steps = true;
    void shifted();
    void reduced(int, entry*, int&);
};
struct observing : observing_without_observes {
    static constexpr bool observes(int) { return true; }
};
static_assert(parse_hooks<reading> && parse_hooks<watching> && parse_hooks<observing>);
static_assert(parse_hooks<growth_hooks>);
static_assert(!parse_hooks<outcome_as_int>);
static_assert(!parse_hooks<actions_not_constant>);
static_assert(!parse_hooks<watching_without_overwrite>);
static_assert(!parse_hooks<observing_without_observes>);
} // namespace hooks_shape

// What a parse came to: its result, its growths and the stack it left.
struct grown_parse {
    int result;
    std::vector<growth> growths;
    std::vector<std::pair<int, int>> stack; // states and values
    int lookahead;
};

enum class engine { direct_code, loop, traced_loop };

grown_parse parse_growing(engine which, const std::string& text, int initial, int step, int limit)
{
    growth_hooks hooks{{}, step, limit, std::vector<entry>(static_cast<std::size_t>(initial)), {}};
    trl_text_scanner_start(hooks.scanner, text.data(), text.size());
    parse_state p;
    p.stack = hooks.storage.data();
    p.capacity = initial;
    trl_engine::start(p);
    int result;
    if (which == engine::direct_code) {
        result = trl_engine::parse<tables, growth_hooks, false>(p, hooks);
    } else if (which == engine::loop) {
        result = trl_engine::parse_tables<tables, growth_hooks, false>(p, hooks);
    } else {
        // The trace of every step, to nowhere.
        std::fflush(stderr);
        const int saved = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
        {
            const buffered_stderr buffered;
            result = trl_engine::parse_tables<tables, growth_hooks, true>(p, hooks);
        }
        dup2(saved, 2);
        close(saved);
    }
    std::vector<std::pair<int, int>> stack;
    for (const entry* e = p.stack; e != p.stack + p.depth; ++e)
        stack.emplace_back(e->state, e->value);
    return {result, hooks.growths, stack, p.lookahead};
}

// The direct code grows the stack where the tables' loop does, and where the
// traced loop does, which takes the grammar's steps one at a time (a fused
// empty rule, too, pushes its own entry there and grows the stack when it
// fills it): on every stack size, with the stack full at each of the
// parse's steps, and with a limit that ends the parse at each of them.
TEST(DirectCode, GrowsTheStackWhereTheTablesLoopDoes)
{
    std::string words;
    for (int i = 0; i < 12; ++i)
        words += "n\"achste Woche ja <hm> M\"uller ";
    const struct {
        std::string text;
        int result;
    } cases[] = {
        {test_support::read_file(TRL_EXAMPLES "/dialog.trl"), trl_engine::accepted},
        {turn("001_ABC", words + "."), trl_engine::accepted},
        {turn("001_ABC", words + "ja ja !"), trl_engine::rejected}, // an error deep in the stack
    };
    int deepest = 0;
    for (const auto& [text, result] : cases) {
        const grown_parse roomy = parse_growing(engine::loop, text, 10000, 1, 10000);
        ASSERT_TRUE(roomy.growths.empty());
        ASSERT_EQ(roomy.result, result);
        for (int initial = 1;; ++initial) {
            const grown_parse loop = parse_growing(engine::loop, text, initial, 1, 10000);
            if (loop.growths.empty())
                break; // the stack never filled
            deepest = std::max(deepest, loop.growths.back().depth);
            const grown_parse direct = parse_growing(engine::direct_code, text, initial, 1, 10000);
            const grown_parse traced = parse_growing(engine::traced_loop, text, initial, 1, 10000);
            EXPECT_EQ(direct.growths, loop.growths) << "from " << initial << " entries, one at a time";
            EXPECT_EQ(traced.growths, loop.growths) << "from " << initial << " entries, one at a time";
            EXPECT_EQ(direct.result, result);
            EXPECT_EQ(loop.result, result);
            EXPECT_TRUE(direct.stack == loop.stack && direct.lookahead == loop.lookahead) << initial;
            // Doubling from there; and a limit there.
            EXPECT_EQ(parse_growing(engine::direct_code, text, initial, 0, 10000).growths,
                      parse_growing(engine::loop, text, initial, 0, 10000).growths)
                << "from " << initial << " entries, doubled";
            const grown_parse loop_limited = parse_growing(engine::loop, text, 1, 1, initial);
            const grown_parse direct_limited = parse_growing(engine::direct_code, text, 1, 1, initial);
            EXPECT_EQ(loop_limited.result, trl_engine::stack_exhausted) << initial;
            EXPECT_EQ(direct_limited.result, trl_engine::stack_exhausted) << initial;
            EXPECT_EQ(direct_limited.growths, loop_limited.growths) << "limit " << initial;
            if (HasFailure())
                return;
        }
    }
    EXPECT_GT(deepest, 100);
}

} // namespace
