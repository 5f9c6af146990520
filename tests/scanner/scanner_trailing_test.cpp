// The scanner runtime over one-byte rules with trailing context
// (trailing.trl.l): a byte that its context makes a token, or that makes a
// longer match without it, comes out as the rules say through every
// shortcut (the table of one-byte matches, the matches that two bytes
// decide, the inline token path's inline match loop) as through longest_match,
// the automaton alone and the backtracking matcher.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scan.h"

namespace {

// Every scanner over `text`, against the backtracking matcher.
void expect_rules_tokens(const std::string& text)
{
    const std::vector<Tok> expected = scan_backtracking(TRL_RULE_FILE, text);
    EXPECT_EQ(scan_plain(text), expected) << "automaton: " << testing::PrintToString(text);
    EXPECT_EQ(scan_memory(text), expected) << "memory: " << testing::PrintToString(text);
    EXPECT_EQ(scan_text(text), expected) << "text scanner: " << testing::PrintToString(text);
    // Refills of one byte and of two put the context in the next refill.
    for (const int size : {2, 3, int{TRL_BUF_SIZE}})
        EXPECT_EQ(scan_file(text, size), expected) << "file, buffer " << size << ": " << testing::PrintToString(text);
    EXPECT_EQ(scan_inline(text), without_text(expected)) << "inline token path: " << testing::PrintToString(text);
}

TEST(TrailingContext, OneByteRulesGiveTheRulesTokens)
{
    const struct {
        std::string text;
        std::vector<int> codes;
    } examples[] = {
        {"ab", {L, 'b'}},     // "a" before "b", which is not the token
        {"ax", {MC, 'x'}},    // without its context: the other rule
        {"a", {MC}},          // the text ends before the context
        {"abb", {L, N, 'b'}}, // the context starts the next token
        {"bbb", {N, N, 'b'}}, // a byte that is its own rule's context
        {"c\n", {WS}},        // a rule written as code; the newline after it is counted
        {"cc\n", {'c', WS}},
        {"dx", {SPA, 'x'}}, // at the beginning of a line only
        {"xdx", {'x', 'd', 'x'}},
        {"de", {SPA, 'e'}}, // as long as "d" before "e": the earlier rule wins
        {"xde", {'x', SPP, 'e'}},
        {"ddde", {SPP, 'e'}}, // a longer match with the context
        {"ffg", {KOM, 'g'}},
        {"ff", {UML_L, UML_L}},
        {"fg", {UML_L, 'g'}},
    };
    for (const auto& e : examples) {
        EXPECT_EQ(codes(scan_backtracking(TRL_RULE_FILE, e.text)), e.codes) << testing::PrintToString(e.text);
        expect_rules_tokens(e.text);
    }
}

TEST(TrailingContext, RandomTextsGiveTheRulesTokens)
{
    std::mt19937 rng(20270214);
    const std::string alphabet = "aabbcddeffgx\n";
    for (int i = 0; i < 1500 && !HasFailure(); ++i) {
        std::string text;
        for (std::size_t n = 1 + rng() % 24; n > 0; --n)
            text += alphabet[rng() % alphabet.size()];
        expect_rules_tokens(text);
    }
}

} // namespace
