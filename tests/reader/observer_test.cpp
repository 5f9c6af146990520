// The engine's observer against its trace: the observing instance, which
// takes the direct code's folded and fused steps, tells exactly the
// reductions that the traced instance writes as "Reducing via rule N", in
// their order, and parses as the plain instance does; and it tells them
// with the same right sides and values as the tables' loop.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/acceptance.h"
#include "language/text_scanner.h"
#include "parse_engine.h"
#include "tests/support/process.h"
#include "velmar.tab.h"

namespace {

namespace fs = std::filesystem;
using tables = trl_lalr::tables;
using trl_engine::entry;

// Parses over the text scanner, with a stack that grows without limit.
struct scanning_hooks {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = false;
    trl_text_scanner scan;
    std::vector<entry> storage = std::vector<entry>(64);

    explicit scanning_hooks(const std::string& text) { trl_text_scanner_start(scan, text.data(), text.size()); }
    int lex(int& value)
    {
        const int code = trl_text_scan(scan);
        value = scan.value;
        return code;
    }
    bool grow(trl_engine::parse_state& p)
    {
        storage.resize(storage.size() * 2);
        p.stack = storage.data();
        p.capacity = static_cast<int>(storage.size());
        return true;
    }
    static trl_engine::error_outcome syntax_error(trl_engine::parse_state&)
    {
        return trl_engine::error_outcome::not_recovered;
    }
};

struct observing_hooks : scanning_hooks {
    static constexpr bool observes_steps = true;
    static constexpr bool observes(int) { return true; }
    using scanning_hooks::scanning_hooks;
    std::vector<int> rules;
    long shifts = 0;
    // Each reduction's right side (its depth on the stack) and value.
    std::vector<std::pair<std::ptrdiff_t, int>> places;
    void shifted() { ++shifts; }
    void reduced(int rule, entry* rhs, int& value)
    {
        rules.push_back(rule);
        places.emplace_back(rhs - storage.data(), value);
    }
};

// With `direct` false, the tables' loop runs even where the direct code
// would.
template <class Hooks, bool trace, bool direct = true> int parse(Hooks& hooks)
{
    trl_engine::parse_state p;
    p.stack = hooks.storage.data();
    p.capacity = static_cast<int>(hooks.storage.size());
    trl_engine::start(p);
    if constexpr (direct)
        return trl_engine::parse<tables, Hooks, trace>(p, hooks);
    else
        return trl_engine::parse_tables<tables, Hooks, trace>(p, hooks);
}

// The rules of the trace's "Reducing via rule N" lines, and its shifts.
std::vector<int> traced_rules(const std::string& text, int& result, long& shifts)
{
    std::FILE* err = std::tmpfile();
    std::fflush(stderr);
    std::FILE* const saved = stderr;
    stderr = err;
    scanning_hooks hooks(text);
    result = parse<scanning_hooks, true>(hooks);
    stderr = saved;
    std::rewind(err);
    std::string trace;
    char buf[1 << 16];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;)
        trace.append(buf, n);
    std::fclose(err);
    std::vector<int> rules;
    shifts = 0;
    const std::string reducing = "Reducing via rule ";
    for (std::size_t at = 0; (at = trace.find(reducing, at)) != std::string::npos; at += reducing.size())
        rules.push_back(std::stoi(trace.substr(at + reducing.size(), 8)));
    for (std::size_t at = 0; (at = trace.find("Shifting token ", at)) != std::string::npos; ++at)
        ++shifts;
    return rules;
}

TEST(Observer, TellsTheTracesReductionsOnTheAcceptanceCases)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    long compared = 0;
    for (const fs::path& file : test_support::case_files(dir)) {
        if (fs::file_size(file) > 4000)
            continue;
        const std::string text = test_support::read_file(file);
        int traced_result = 0;
        long traced_shifts = 0;
        const std::vector<int> traced = traced_rules(text, traced_result, traced_shifts);
        observing_hooks observer(text);
        observing_hooks looped(text);
        scanning_hooks plain(text);
        EXPECT_EQ((parse<observing_hooks, false>(observer)), traced_result) << file;
        EXPECT_EQ((parse<observing_hooks, false, false>(looped)), traced_result) << file;
        EXPECT_EQ((parse<scanning_hooks, false>(plain)), traced_result) << file;
        EXPECT_EQ(observer.shifts, traced_shifts) << file;
        ASSERT_EQ(observer.rules, traced) << file;
        ASSERT_EQ(observer.places, looped.places) << file;
        ++compared;
    }
    EXPECT_GT(compared, 1000);
}

// Hooks that observe a few rules are told of those alone, in the same
// order as of all.
struct choosy_hooks : observing_hooks {
    static constexpr bool observes(int rule) { return rule % 3 == 0; }
    using observing_hooks::observing_hooks;
};

TEST(Observer, ToldOfTheRulesObservedAlone)
{
    const std::string text = "g071ach1_001_ABC_004711: <*tGER> ich wollte +/einen/+ einen Termin aus_ <A> _machen , "
                             "wegen <!1 Maier> dem Projekt $B-$Ks <Husten> <P> geht's n\"achste Woche ?\n\n";
    observing_hooks all(text);
    choosy_hooks some(text);
    ASSERT_EQ((parse<observing_hooks, false>(all)), trl_engine::accepted);
    ASSERT_EQ((parse<choosy_hooks, false>(some)), trl_engine::accepted);
    std::vector<int> expected;
    for (const int r : all.rules)
        if (r % 3 == 0)
            expected.push_back(r);
    EXPECT_EQ(some.rules, expected);
    EXPECT_GT(expected.size(), 20u);
}

} // namespace
