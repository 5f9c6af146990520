// The scanner's own rule file: the automaton against a backtracking matcher,
// the token examples, and the generated header and actions.
#include "tests/support/matchers.h"
#include "tests/support/process.h"

#include "real_tables.h"
#include "scan_engine.h"
#include "velmar.tokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

using namespace lexgen_test;

namespace {

const built& real()
{
    static const built b = [] {
        std::ifstream in(RULE_FILE, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return build(text.str());
    }();
    return b;
}

// Splits a whole input into matches the way the scanner does: the line-start
// flag begins set and afterwards says whether the last match ended in '\n'.
// Returns rule:length pairs; a 0 rule stops the scan.
std::string scan(std::string_view s)
{
    std::string out;
    bool line_start = true;
    for (std::size_t pos = 0; pos < s.size();) {
        match m = dfa_match(real().dfa, s, pos, line_start);
        if (!out.empty())
            out += ' ';
        out += std::to_string(m.rule) + ":" + std::to_string(m.length);
        if (m.rule == 0 || m.length == 0)
            break;
        pos += m.length;
        line_start = s[pos - 1] == '\n';
    }
    return out;
}

// A random text of the language of n.
void sample(const lexgen::node& n, std::mt19937& rng, std::string& out)
{
    using lexgen::node;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    switch (n.kind) {
    case node::byte_set: {
        std::vector<int> bytes;
        for (int b = 0; b < 256; ++b)
            if (n.set[b])
                bytes.push_back(b);
        out += static_cast<char>(bytes[pick(0, static_cast<int>(bytes.size()) - 1)]);
        return;
    }
    case node::empty:
        return;
    case node::concat:
        for (const auto& k : n.kids)
            sample(*k, rng, out);
        return;
    case node::alt:
        sample(*n.kids[pick(0, static_cast<int>(n.kids.size()) - 1)], rng, out);
        return;
    case node::star:
    case node::plus:
    case node::opt: {
        int lo = n.kind == node::plus ? 1 : 0;
        int hi = n.kind == node::opt ? 1 : 3;
        for (int i = pick(lo, hi); i > 0; --i)
            sample(*n.kids[0], rng, out);
        return;
    }
    }
}

void collect_bytes(const lexgen::node& n, std::set<unsigned char>& bytes)
{
    if (n.kind == lexgen::node::byte_set && n.set.count() <= 40)
        for (int b = 0; b < 256; ++b)
            if (n.set[b])
                bytes.insert(static_cast<unsigned char>(b));
    for (const auto& k : n.kids)
        collect_bytes(*k, bytes);
}

} // namespace

// What the reader made of each rule, against the rule's line in the file:
// '^' at its start makes it a line-start rule, a trailing "/\n" a one-byte
// trailing context.
TEST(RealRules, LineStartAndTrailingContextAsWritten)
{
    std::vector<std::string> lines;
    std::istringstream text(test_support::read_file(RULE_FILE));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    const auto& rules = real().rules.rules;
    ASSERT_FALSE(rules.empty());
    int line_start = 0, tails = 0;
    for (const auto& r : rules) {
        ASSERT_LE(r.line, static_cast<int>(lines.size()));
        const std::string& line = lines[static_cast<std::size_t>(r.line - 1)];
        const std::string pattern = line.substr(0, line.find_first_of(" \t"));
        EXPECT_EQ(r.line_start, pattern.starts_with("^")) << line;
        EXPECT_EQ(r.tail_length, pattern.ends_with("/\\n") ? 1 : 0) << line;
        line_start += r.line_start;
        tails += r.tail != nullptr;
    }
    // The comment line and the empty line.
    EXPECT_EQ(line_start, 2);
    EXPECT_EQ(tails, 1);
}

TEST(RealRules, AutomatonAgreesWithBacktrackingMatcher)
{
    const built& b = real();
    std::set<unsigned char> alphabet;
    for (const auto& r : b.rules.rules) {
        collect_bytes(*r.pattern, alphabet);
        if (r.tail)
            collect_bytes(*r.tail, alphabet);
    }
    for (unsigned char extra : {'\n', '\0', '\xe4', '\t', '\r', '0', '$', '\x7f', '\xff', '~'})
        alphabet.insert(extra);
    const std::vector<unsigned char> letters(alphabet.begin(), alphabet.end());

    std::mt19937 rng(20261208);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::set<int> winners;
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        // Texts of random rules mixed with random bytes, then damaged a little,
        // so that matches are often cut short and must back up.
        std::string s;
        for (int piece = pick(1, 6); piece > 0; --piece) {
            if (pick(0, 2) > 0) {
                const auto& r = b.rules.rules[pick(0, static_cast<int>(b.rules.rules.size()) - 1)];
                sample(*r.pattern, rng, s);
                if (r.tail)
                    sample(*r.tail, rng, s);
            } else {
                for (int k = pick(1, 3); k > 0; --k)
                    s += static_cast<char>(letters[pick(0, static_cast<int>(letters.size()) - 1)]);
            }
        }
        for (int hurt = pick(0, 2); hurt > 0 && !s.empty(); --hurt) {
            std::size_t at = pick(0, static_cast<int>(s.size()) - 1);
            if (pick(0, 1))
                s.erase(at, 1);
            else
                s[at] = static_cast<char>(letters[pick(0, static_cast<int>(letters.size()) - 1)]);
        }
        for (std::size_t pos = 0; pos < s.size(); ++pos)
            for (bool line_start : {false, true}) {
                match expect = reference_match(b.rules, s, pos, line_start);
                match got = dfa_match(b.dfa, s, pos, line_start);
                ++compared;
                winners.insert(expect.rule);
                ASSERT_EQ(got, expect) << "input " << testing::PrintToString(s) << " at " << pos
                                       << (line_start ? " (line start)" : "");
            }
    }
    EXPECT_GT(compared, 20000);
    // Every rule won somewhere, so every rule was compared.
    for (const auto& r : b.rules.rules)
        EXPECT_TRUE(winners.count(r.number)) << "rule " << r.number << " never matched";
}

TEST(RealRules, TokenExamples)
{
    // tags and their near misses
    EXPECT_EQ(scan("<*T>t"), "26:5");
    EXPECT_EQ(scan("<*T>x"), "10:4 7:1");
    EXPECT_EQ(scan("<*tEN"), "25:2 7:1 5:1 5:1");
    EXPECT_EQ(scan("<*tENG> "), "4:8");
    EXPECT_EQ(scan("<*tJAP>"), "25:2 7:1 5:1 5:1 5:1 35:1");
    EXPECT_EQ(scan("<#Klopfen>"), "30:10");
    EXPECT_EQ(scan("<#Klo "), "35:1 35:1 5:1 7:1 7:1 34:1");
    EXPECT_EQ(scan("<\"ah>"), "28:5");
    EXPECT_EQ(scan("<\"ah "), "35:1 8:2 7:1 34:1");
    EXPECT_EQ(scan("<R\"auspern><Smack>"), "29:11 29:7");
    EXPECT_EQ(scan("<PP> "), "3:5");
    EXPECT_EQ(scan("<PP>x"), "35:1 5:1 5:1 35:1 7:1");
    // digits
    EXPECT_EQ(scan("12@"), "24:3");
    EXPECT_EQ(scan("12 "), "33:1 33:1 34:1");
    EXPECT_EQ(scan("0"), "35:1");
    EXPECT_EQ(scan("@0"), "35:1 35:1");
    EXPECT_EQ(scan("@34"), "23:3");
    // the short ones
    EXPECT_EQ(scan("<!<A><B><%>:><:+//+-//-<P><L><Z><T_><_T><*--"),
              "9:2 11:3 11:3 12:3 13:2 14:2 15:2 16:2 17:2 18:2 19:3 20:3 20:3 21:4 22:4 25:2 27:2");
    EXPECT_EQ(scan("\"A\"O\"s\"x"), "6:2 6:2 8:2 35:1 7:1");
    // comments
    EXPECT_EQ(scan(";abc\n"), "1:4 32:1");
    EXPECT_EQ(scan("x;abc\n"), "7:1 35:1 7:1 7:1 7:1 32:1");
    EXPECT_EQ(scan(";ab"), "35:1 7:1 7:1");
    EXPECT_EQ(scan(std::string(";\0\xe4<\n", 5)), "1:4 32:1");
    EXPECT_EQ(scan("<;a\nb>\n c"), "2:8 7:1");
    EXPECT_EQ(scan("<;ab> c"), "2:6 7:1");
    EXPECT_EQ(scan("<;ab>c"), "35:1 35:1 7:1 7:1 35:1 7:1");
    EXPECT_EQ(scan("<;ab"), "35:1 35:1 7:1 7:1");
    // lines
    EXPECT_EQ(scan("ab\n\ncd\n"), "7:1 7:1 32:1 31:1 7:1 7:1 32:1");
    EXPECT_EQ(scan("\nab"), "31:1 7:1 7:1");
    EXPECT_EQ(scan(" \n"), "34:1 32:1");
    // bytes that only rule 35 takes
    EXPECT_EQ(scan(std::string("\r\t\0\xe4", 4)), "35:1 35:1 35:1 35:1");
}

TEST(RealRules, OneClassForTheBytesOnlyRule35Takes)
{
    const lexgen::automaton& d = real().dfa;
    const int other = d.byte_class[1];
    for (int c = 1; c < 256; ++c) {
        bool lone = c < 32 ? c != '\n'
                           : c >= 0x7f || std::string_view("$&'(),.=?[\\]^`{|}~").find(static_cast<char>(c)) !=
                                              std::string_view::npos;
        EXPECT_EQ(d.byte_class[c] == other, lone) << c;
    }
    EXPECT_NE(d.byte_class[0], other);
}

// The tokens of a run of letters, as the runtime reads them, against the
// backtracking matcher: at every place that does not start a line, a byte
// that the matcher takes alone as a token of the codes asked for.
TEST(RealRules, RunTokensAreTheOneByteTokensOfTheirCodes)
{
    using tables = real_dfa::tables;
    const built& b = real();
    std::mt19937 rng(20261210);
    const std::string alphabet = "abzAZ\"ou<>LZ:-/ \n\x01\xe4@9_";
    // The code the matcher gives the byte at pos when it is a token of
    // `codes` on its own, else 0.
    auto alone = [&](const std::string& s, std::size_t pos, std::initializer_list<int> codes) {
        const match m = reference_match(b.rules, s, pos, false);
        const int code = tables::rule_token[m.rule];
        const bool in = m.length == 1 && s[pos] != '\n' && std::find(codes.begin(), codes.end(), code) != codes.end();
        return in ? code : 0;
    };
    std::set<int> seen;
    for (int round = 0; round < 300; ++round) {
        std::string s;
        for (int k = std::uniform_int_distribution<int>(0, 40)(rng); k > 0; --k)
            s += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
        for (std::size_t pos = 0; pos < s.size(); ++pos) {
            if (pos > 0 && s[pos - 1] == '\n')
                continue;
            constexpr int untouched = -1000;
            const int letter = alone(s, pos, {L, MC});
            int value = untouched;
            ASSERT_EQ((scan_engine::run_token<tables, L, MC>(s.c_str() + pos, value)), letter)
                << testing::PrintToString(s) << " at " << pos;
            // A run's token is its own value, as the parser takes it; a
            // byte that is not one leaves the value as it was.
            if (letter) {
                ASSERT_TRUE(tables::rule_value[reference_match(b.rules, s, pos, false).rule]);
                ASSERT_EQ(value, static_cast<signed char>(s[pos]));
            } else {
                ASSERT_EQ(value, untouched);
            }
            value = untouched;
            ASSERT_EQ((scan_engine::run_token<tables, L>(s.c_str() + pos, value)), alone(s, pos, {L}))
                << testing::PrintToString(s) << " at " << pos;
            seen.insert(letter);
        }
    }
    EXPECT_EQ(seen, (std::set<int>{0, L, MC}));
    int value = 0;
    EXPECT_EQ((scan_engine::run_token<tables, L, MC>("", value)), 0); // the NUL that ends the bytes at hand
}

// The header that the build generates from the same file.
TEST(RealRules, GeneratedHeaderHoldsTheAutomaton)
{
    using T = real_dfa::tables;
    const lexgen::automaton& d = real().dfa;
    ASSERT_EQ(T::num_rules, static_cast<int>(real().rules.rules.size()));
    static_assert(T::next_state(T::next_state(T::start_state, '-'), '-') != 0);
    static_assert(T::format == scan_engine::table_format);
    static_assert(sizeof(T::state_t) == 1 || T::num_states > 255);
    static_assert((T::row_size & (T::row_size - 1)) == 0 && T::row_size >= T::num_classes);
    static_assert(T::nul_token == TRL_UNDEFINED_TOKEN);
    ASSERT_EQ(T::num_states, d.num_states);
    ASSERT_EQ(T::num_classes, d.num_classes);
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(T::byte_class[c], d.byte_class[c]);
    for (int r = 0; r <= T::num_rules; ++r)
        EXPECT_EQ(T::tail_length[r], d.tail_length[r]);
    for (int s = 0; s < d.num_states; ++s) {
        EXPECT_EQ(T::accept[s], d.accept[s]);
        bool goes_on = false;
        for (int c = 0; c < d.num_classes; ++c) {
            ASSERT_EQ(T::next[s][c], d.next[s * d.num_classes + c]) << s << ' ' << c;
            goes_on = goes_on || d.next[s * d.num_classes + c] != 0;
        }
        std::vector<int> exits;
        for (int b = 0; b < 256; ++b)
            if (d.step(s, static_cast<unsigned char>(b)) != s)
                exits.push_back(b);
        const bool loops = s != 0 && exits.size() == 1;
        EXPECT_EQ(T::stop[s], (d.accept[s] == 0 ? 0 : goes_on ? 1 : 2) | (loops ? scan_engine::loop_bit : 0)) << s;
        if (loops) {
            EXPECT_EQ(T::loop_exit[s], exits[0]) << s;
        }
    }
    // One byte is a whole token exactly where the automaton stops after it;
    // never a NUL, which a buffer's end-of-buffer mark is made of.
    for (int at_line_start : {0, 1})
        for (int b = 0; b < 256; ++b) {
            const auto& one = T::one_byte[at_line_start][b];
            const int s = d.step(at_line_start ? d.start_line : d.start, static_cast<unsigned char>(b));
            const bool whole = b != 0 && s != 0 && T::stop[s] == 2 && d.tail_length[d.accept[s]] == 0;
            EXPECT_EQ(one.rule, whole ? d.accept[s] : 0) << at_line_start << ' ' << b;
            EXPECT_EQ(one.state, s) << at_line_start << ' ' << b;
            if (whole) {
                const int token = T::rule_token[one.rule];
                EXPECT_EQ(one.code, token == -1 ? b : token) << b;
                EXPECT_EQ(one.value, T::rule_value[one.rule]) << b;
            }
        }
    // The rules written as tokens, with and without a value.
    EXPECT_EQ(T::rule_token[5], MC);
    EXPECT_EQ(T::rule_value[5], 1);
    EXPECT_EQ(T::rule_token[34], WS);
    EXPECT_EQ(T::rule_value[34], 0);
    EXPECT_EQ(T::rule_token[35], -1); // the byte itself
    EXPECT_EQ(T::rule_value[35], 1);
    for (int r : {1, 2, 3, 32})
        EXPECT_EQ(T::rule_token[r], 0) << r;
    // The memo of failures records the three loops that accept nothing: a
    // run of digits before its '@', a comment line before its newline, a
    // bracketed comment before its '>'.
    EXPECT_EQ(T::num_memo_planes, 3);
    const auto state_after = [](int start, std::string_view text) {
        int s = start;
        for (const char c : text)
            s = T::next_state(s, static_cast<unsigned char>(c));
        return s;
    };
    std::set<int> planes;
    for (const auto& [start, text] : std::vector<std::pair<int, std::string_view>>{
             {T::start_state, "12"}, {T::start_state_at_line_start, ";x"}, {T::start_state, "<;x"}}) {
        const int s = state_after(start, text);
        ASSERT_NE(s, 0) << text;
        EXPECT_NE(T::memo_plane[s], 0) << text;
        planes.insert(T::memo_plane[s]);
    }
    EXPECT_EQ(planes.size(), 3u);
    // The comments' bodies are skipped to their ends.
    EXPECT_EQ(T::stop[state_after(T::start_state, "<;x")], scan_engine::loop_bit);
    EXPECT_EQ(T::loop_exit[state_after(T::start_state, "<;x")], '>');
    EXPECT_EQ(T::stop[state_after(T::start_state_at_line_start, ";x")], scan_engine::loop_bit);
    EXPECT_EQ(T::loop_exit[state_after(T::start_state_at_line_start, ";x")], '\n');
    int recorded = 0;
    for (int s = 0; s < T::num_states; ++s)
        recorded += T::memo_plane[s] != 0;
    EXPECT_EQ(recorded, 3);
}

// The rules whose action is code; the others are tokens (see above).  An
// action sees the scanner through its argument alone.
TEST(RealRules, GeneratedActions)
{
    struct match {
        const char* text;
        std::ptrdiff_t length;
        long long lineno;
        int value;
    };
    const auto run = [](int rule, std::string_view text, match& m) {
        m.text = text.data();
        m.length = static_cast<std::ptrdiff_t>(text.size());
        return real_dfa::tables::action(rule, m);
    };
    match m{nullptr, 0, 4, 7};
    EXPECT_EQ(run(1, ";x", m), scan_engine::skip);
    EXPECT_EQ(run(2, "<;x> ", m), scan_engine::skip);
    EXPECT_EQ(run(3, "<PP> ", m), scan_engine::skip);
    EXPECT_EQ(m.lineno, 4);
    EXPECT_EQ(run(32, "\n", m), scan_engine::skip);
    EXPECT_EQ(m.lineno, 5);
    EXPECT_EQ(m.value, 7);
}
