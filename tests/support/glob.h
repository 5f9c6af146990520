// Text matched against a pattern in which '*' stands for any run of
// characters (line ends included) and every other character for itself:
// for messages whose numbers or paths a test does not pin.
#pragma once

#include <string_view>

namespace test_support {

constexpr bool glob_match(std::string_view text, std::string_view pattern)
{
    constexpr std::size_t none = std::string_view::npos;
    std::size_t t = 0, p = 0;
    std::size_t star = none, resume = 0; // the last '*' and where its run ends so far
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != none) { // the last '*' takes one character more
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

static_assert(glob_match("", "") && glob_match("", "*") && !glob_match("", "a") && !glob_match("a", ""));
static_assert(glob_match("state 12: x\n", "state *: x\n") && !glob_match("state 12: y\n", "state *: x\n"));
static_assert(glob_match("a1b2b3", "a*b3") && glob_match("a1b2b3", "*b*") && !glob_match("a1b2b3", "a*b2"));
static_assert(glob_match("one\ntwo\n", "one\n*") && !glob_match("one\n", "one\n?"));

} // namespace test_support
