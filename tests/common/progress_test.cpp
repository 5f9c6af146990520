// The progress line: when it is drawn (after half a second, at most ten
// times a second, only when the count changed or after a clear), and that
// it is never drawn when standard error is no terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/progress.h"

namespace {

using progress::line;
using std::chrono::milliseconds;

std::string written(std::FILE* f)
{
    std::fflush(f);
    std::string s(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    s.resize(std::fread(s.data(), 1, s.size(), f));
    std::rewind(f);
    return s;
}

TEST(Progress, DrawnLateRarelyAndOnlyOnATerminal)
{
    const line::clock::time_point t0{};
    const struct {
        int at_ms;
        int done; // -1: clear
        const char* drawn;
    } steps[] = {
        {100, 1, ""}, // too early
        {499, 2, ""},
        {500, 3, "\r\033[Kq: 3 of 10 files read"},
        {550, 4, ""}, // within a tenth of a second
        {600, 4, "\r\033[Kq: 4 of 10 files read"},
        {900, 4, ""}, // the same count
        {910, -1, "\r\033[K"},
        {920, 4, "\r\033[Kq: 4 of 10 files read"}, // cleared: drawn again, the same count
        {950, 5, ""},                              // within a tenth of a second
        {1030, 5, "\r\033[Kq: 5 of 10 files read"},
        {1031, -1, "\r\033[K"},
        {1032, -1, ""}, // nothing to clear
    };
    for (const bool terminal : {true, false}) {
        std::FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        line p("q", "files read", 10, t0, f, terminal);
        for (const auto& s : steps) {
            if (s.done < 0)
                p.clear();
            else
                p.show(static_cast<std::size_t>(s.done), t0 + milliseconds(s.at_ms));
            EXPECT_EQ(written(f), terminal ? s.drawn : "") << s.at_ms << " ms";
        }
        std::fclose(f);
    }
}

} // namespace
