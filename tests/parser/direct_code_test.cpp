// velmar's direct-coded parse against the engine's loop over the tables
// (the loop runs when the trace is on; the trace goes to standard error):
// the same status and the same echo and message on every acceptance case,
// on the same cases with bytes dropped, doubled or swapped, and on a turn
// deep enough to grow the stack.  (The trace prints the stack at each step:
// the texts are kept small.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "acceptance.h"
#include "parse_support.h"
#include "process.h"

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
    const parse_run direct = parse_text(text, false);
    const parse_run tables = parse_text(text, true);
    EXPECT_EQ(direct.status, tables.status) << what;
    EXPECT_EQ(direct.out, tables.out) << what;
}

TEST(DirectCode, SameParseAsTheTables)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    const buffered_stderr buffered;
    std::mt19937 random(20261209);
    int texts = 0;
    for (const auto& e : std::filesystem::directory_iterator(cases)) {
        if (e.path().extension() != ".trl" || e.file_size() > 16 * 1024)
            continue;
        const std::string text = test_support::read_file(e.path().string());
        const std::string name = e.path().filename().string();
        expect_same_parse(text, name);
        ++texts;
        if (text.size() < 2)
            continue;
        for (int i = 0; i < 3; ++i) {
            std::string changed = text;
            const std::size_t at = random() % (changed.size() - 1);
            switch (i) {
            case 0: changed.erase(at, 1); break;
            case 1: changed.insert(at, 1, changed[at]); break;
            default: std::swap(changed[at], changed[at + 1]); break;
            }
            expect_same_parse(changed, name + " changed at " + std::to_string(at));
        }
        if (HasFailure())
            return;
    }
    EXPECT_GT(texts, 1000);
    std::string words;
    for (int i = 0; i < 300; ++i)   // beyond the first stack
        words += "ja ";
    expect_same_parse(turn("001_ABC", words + "."), "300 words");
}

} // namespace
