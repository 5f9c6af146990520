// The grammar file, the tables generated from it, and the engine's trace.
#include <gtest/gtest.h>

#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/parse.h"
#include "tests/support/process.h"
#include "checker/lex.trl.h"
#include "parse_engine.h"
#include "checker/stack_limit.h"
#include "checker/velmar.h"
#include "velmar.tab.h"

namespace {

const std::string grammar_path = VELMAR_GRAMMAR_PATH;

// The scanner returns the codes of the generated token header; each named
// token it produces reaches the parser as the terminal of the same name.
TEST(Grammar, ScannerTokensAreTheGrammarsTerminals)
{
    using tables = trl_lalr::tables;
    const std::vector<std::pair<std::string, std::string>> examples = {
        {"--", "KOM"},     {"<*", "FS"},        {"12@", "SPP"},    {"@3", "SPA"},   {"7", "N"},
        {" ", "WS"},       {"Q", "MC"},         {"\"O", "UML_MC"}, {"q", "L"},      {"\"s", "UML_L"},
        {"<hm>", "HSALL"}, {"<Laugh>", "MGER"}, {"<#>", "TGER"},   {"<!", "AKA"},   {"<*tJAP> ", "MRKA"},
        {"<*T>", "TAB"},   {"<*T>t", "TABT"},   {"<B>", "ATM"},    {"<%>", "UVS"},  {":>", "KLE"},
        {"<:", "KLA"},     {"+/", "WHA"},       {"/+", "WHE"},     {"-/", "NSA"},   {"/-", "NSE"},
        {"<P>", "PAU"},    {"<Z>", "ZOG"},      {"<T_>", "TAA"},   {"<_T>", "TAE"}, {"\n", "END"},
        {"_", "'_'"},      {"'", "'\\''"}};
    for (const auto& [text, name] : examples) {
        velmar_reset();
        trl_buffer* b = trl_scan_string(text.c_str());
        const int code = trllex();
        EXPECT_EQ(trlleng, static_cast<int>(text.size())) << name;
        EXPECT_STREQ(tables::symbol_name[tables::translate(code)], name.c_str()) << text;
        trl_delete_buffer(b);
    }
    // The three named tokens the scanner never produces are declared all the same.
    for (const int code : {ZCMT, LCMT, PP})
        EXPECT_GT(tables::translate(code), tables::undefined_terminal) << code;
    EXPECT_EQ(TRL_MAX_TOKEN, END);
    for (const int code : std::initializer_list<int>{1, 9, 13, 59, 'a', 'A', 0x7f, 0x80, 0xe4, 0xff, TRL_ERROR_TOKEN,
                                                     TRL_UNDEFINED_TOKEN, TRL_MAX_TOKEN + 1, 100000})
        EXPECT_STREQ(tables::symbol_name[tables::translate(code)], "$undefined.") << code;
    EXPECT_STREQ(tables::symbol_name[tables::translate(0)], "$");
}

// Every symbol of the tables is found by its name, and a name that is no
// symbol's is not (code that looks at constructs finds them so).
TEST(Grammar, SymbolsFoundByName)
{
    using tables = trl_lalr::tables;
    for (int s = 0; s < tables::num_symbols; ++s)
        EXPECT_EQ(trl_engine::symbol_named<tables>(tables::symbol_name[s]), s) << tables::symbol_name[s];
    for (const char* name : {"", "tur", "turns", "Turn", "'-'x"})
        EXPECT_EQ(trl_engine::symbol_named<tables>(name), -1) << name;
    static_assert(trl_engine::symbol_named<tables>("turn") >= tables::num_terminals);
}

// The left side that a line of velmar.y begins with ("name   :"), or "".
std::string rule_head(const std::string& line)
{
    std::size_t n = 0;
    while (n < line.size() && ((line[n] >= 'a' && line[n] <= 'z') || line[n] == '_'))
        ++n;
    const std::size_t colon = line.find_first_not_of(' ', n);
    return n > 0 && colon > n && colon != std::string::npos && line[colon] == ':' ? line.substr(0, n) : "";
}

// Whether the line begins an alternative: a rule's first, or one after '|'.
bool begins_alternative(const std::string& line)
{
    const std::size_t first = line.find_first_not_of(' ');
    return !rule_head(line).empty() || (first != std::string::npos && first > 0 && line[first] == '|');
}

// The words of an alternative as velmar.y writes it: what follows its ':'
// or '|', without actions (which may go on over the next lines) and
// comments.
std::vector<std::string> written_symbols(const std::string& line)
{
    const std::string_view rest = std::string_view(line).substr(line.find_first_of(":|") + 1);
    std::string text;
    for (std::size_t i = 0; i < rest.size();) {
        if (rest[i] == '{' || rest.substr(i, 2) == "/*") {
            const std::string_view close = rest[i] == '{' ? "}" : "*/";
            const std::size_t end = rest.find(close, i);
            i = end == std::string_view::npos ? rest.size() : end + close.size();
            text += ' ';
        } else {
            text += rest[i++];
        }
    }
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// Every rule of the tables, the trace's line of it included, is the
// alternative written on that line of velmar.y: its left side heads the
// line (or the last line that names one before a '|'), its right side is
// what the line holds.  An embedded action is a rule of its own, with the
// line of the rule that holds it.
TEST(Grammar, TablesHoldTheRulesAsWritten)
{
    using tables = trl_lalr::tables;
    std::vector<std::string> lines;
    std::istringstream file(test_support::read_file(grammar_path));
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    const auto alternatives = std::count_if(lines.begin(), lines.end(), begins_alternative);
    EXPECT_GT(alternatives, 0);

    int embedded = 0;
    for (int r = 1; r < tables::num_rules; ++r) {
        const int at = tables::rule_line[r];
        ASSERT_GT(at, 0);
        ASSERT_LE(at, static_cast<int>(lines.size()));
        const std::string& line = lines[static_cast<std::size_t>(at - 1)];
        const std::string lhs = tables::symbol_name[tables::rule_lhs[r]];
        std::vector<std::string> rhs;
        for (int i = 0; i < tables::rules[r].length; ++i)
            rhs.push_back(tables::symbol_name[tables::rule_rhs[tables::rule_rhs_begin[r] + i]]);
        if (lhs.starts_with("$@")) {
            ++embedded;
            EXPECT_EQ(rhs.size(), 0u) << r;
            EXPECT_NE(line.find('{'), std::string::npos) << r << ": " << line;
            continue;
        }
        EXPECT_TRUE(begins_alternative(line)) << r << ": " << line;
        std::string head;
        for (int i = at - 1; i >= 0 && head.empty(); --i)
            head = rule_head(lines[static_cast<std::size_t>(i)]);
        EXPECT_EQ(head, lhs) << r << ": " << line;
        std::erase_if(rhs, [](const std::string& name) { return name.starts_with("$@"); });
        EXPECT_EQ(written_symbols(line), rhs) << r << ": " << line;
    }
    // Every alternative of the file is a rule; the accepting rule 0 is the
    // generator's own.
    EXPECT_EQ(tables::num_rules - 1 - embedded, alternatives);
}

// States beyond the automaton's are copies made so that more gotos are
// known: each does what its original does, the known gotos aside.
TEST(Grammar, CopiedStatesActLikeTheirOriginals)
{
    using tables = trl_lalr::tables;
    EXPECT_GT(tables::num_states, tables::num_lr_states);
    const auto bare = [](int v) { return v < 0 ? -(-v & (trl_engine::rule_mask | trl_engine::fused_bit)) : v; };
    for (int s = 0; s < tables::num_states; ++s) {
        const int o = tables::original_state[s];
        ASSERT_LT(o, tables::num_lr_states);
        if (s < tables::num_lr_states) {
            EXPECT_EQ(o, s);
            continue;
        }
        EXPECT_EQ(tables::accessing_symbol[s], tables::accessing_symbol[o]) << s;
        EXPECT_EQ(bare(-tables::lookahead_free[s]), bare(-tables::lookahead_free[o])) << s;
        for (int t = 0; t < tables::num_terminals; ++t) {
            // A shift may lead to a copy of the state its original leads to.
            const int mine = bare(tables::step[s][t]), theirs = bare(tables::step[o][t]);
            EXPECT_EQ(mine > 0 ? int{tables::original_state[mine]} : mine,
                      theirs > 0 ? int{tables::original_state[theirs]} : theirs)
                << s << ' ' << t;
        }
    }
}

// The line of velmar.y holding the alternative `text`.
int grammar_line(std::string_view text)
{
    const auto lines = lines_containing(grammar_path, text);
    EXPECT_EQ(lines.size(), 1u) << text;
    return lines.empty() ? 0 : lines.front();
}

TEST(Trace, IsOffByDefault)
{
    EXPECT_EQ(trldebug, 0);
    const parse_run r = parse_text(turn("001_ABC", "hi ."));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST(Trace, FollowsTheEngineStepByStep)
{
    // "g0": L is the first symbol in symbol order that state 0 can take, so
    // its shift leads to state 1; '0' then leads to the next new state.
    // Every reading state reports the token it holds; the reduction of '0'
    // to z needs no look-ahead.  At the end of input state 1 has no action:
    // one error, the stack is unwound without finding a state for `error`.
    const parse_run r = parse_text("g0", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "parse error in line 0\n");

    const int z_line = grammar_line("z                        : '0'");
    const std::string expected_start = "Starting parse\n"
                                       "Entering state 0\n"
                                       "Reading a token: Next token is 268 (L)\n"
                                       "Shifting token 268 (L), Entering state 1\n"
                                       "Reading a token: Next token is 48 ('0')\n"
                                       "Shifting token 48 ('0'), Entering state ";
    ASSERT_EQ(r.err.substr(0, expected_start.size()), expected_start);
    const std::string expected_reduce = "\nReducing via rule 12 (line " + std::to_string(z_line) +
                                        "), '0'  -> z\n"
                                        "state stack now 0 1\n";
    EXPECT_NE(r.err.find(expected_reduce), std::string::npos) << r.err;
    const std::string expected_end = "Reading a token: Now at end of input.\n"
                                     "Error: state stack now 0 1\n"
                                     "Error: state stack now 0\n";
    ASSERT_GE(r.err.size(), expected_end.size());
    EXPECT_EQ(r.err.substr(r.err.size() - expected_end.size()), expected_end) << r.err;
}

TEST(Trace, ReductionsNameTheEmbeddedActionsAndTheirLines)
{
    const parse_run r = parse_text(turn("001_ABC", "hi ."), true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n001_ABC\nhi\n");
    // The embedded actions are empty rules of their own, numbered just before
    // the rule that holds them, with the line of that rule.
    const int turn_line = grammar_line("turn                     :");
    const int ident_line = grammar_line("turn_identification      :");
    EXPECT_NE(r.err.find("Reducing via rule 4 (line " + std::to_string(turn_line) + "),  -> $@1\n"), std::string::npos);
    EXPECT_NE(r.err.find("Reducing via rule 6 (line " + std::to_string(ident_line) + "),  -> $@2\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("Reducing via rule 7 (line " + std::to_string(ident_line) +
                         "), dialog_name turn_number $@2 cdrom_number ':' WS turn_language  -> turn_identification\n"),
              std::string::npos);
    // The header is out before the first cdrom digit is read: $@2 is reduced
    // right after the shift of the turn number's '_' and its reduction.
    const auto header = r.err.find(" -> $@2\n");
    const auto digit = r.err.find("Next token is 48 ('0')", r.err.find(" -> turn_number\n"));
    EXPECT_LT(header, digit);
    // END is shifted, and the end of input accepts without a further shift.
    EXPECT_NE(r.err.find("Shifting token 291 (END), "), std::string::npos);
    // The end of input is read once, when the last turn's END is shifted,
    // and held from then on.
    const auto end_read = r.err.find("Reading a token: Now at end of input.\n");
    ASSERT_NE(end_read, std::string::npos);
    EXPECT_EQ(r.err.find("Reading a token:", end_read + 1), std::string::npos);
    EXPECT_TRUE(r.err.ends_with("Now at end of input.\n"));
    EXPECT_EQ(r.err.find("Stack size increased"), std::string::npos);
}

// The sizes the trace reports for a turn of `words` words.
std::string stack_sizes(int words)
{
    std::string text;
    for (int i = 0; i < words; ++i)
        text += "ja ";
    const parse_run r = parse_text(turn("001_ABC", text + "."), true);
    std::string sizes;
    const std::string grown = "Stack size increased to ";
    for (auto at = r.err.find(grown); at != std::string::npos; at = r.err.find(grown, at + 1)) {
        const auto end = r.err.find('\n', at);
        sizes += r.err.substr(at + grown.size(), end - at - grown.size()) + " ";
        // Each growth comes after the push that fills the stack and before
        // the new state is entered.
        EXPECT_EQ(r.err.substr(end + 1, 15), "Entering state ");
    }
    return sizes;
}

TEST(Trace, ReportsTheStackGrowth)
{
    // About two entries per word: a few words more than the initial size
    // need more than twice its entries, so the stack doubles twice.  (The
    // trace shows the whole stack at every reduction: a turn long enough for
    // the limit would take long; Stack.ATurnOfAbout5000WordsOverflows finds
    // the limit.)
    const int initial = velmar_initial_stack;
    EXPECT_EQ(stack_sizes(initial + 10), std::to_string(2 * initial) + " " + std::to_string(4 * initial) + " ");
}

} // namespace
