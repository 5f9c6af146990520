// Headers that lalrgen writes, compiled and run by the parse engine:
// grammars/calc.y (actions, embedded actions, $ references, folded unit
// rules, its token header) and grammars/recover.y (recovery through
// `error`).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "calc_tables.h"
#include "calc_tokens.h"
#include "parse_engine.h"
#include "recover_tables.h"

namespace {

struct tok {
    int code;
    int value;
};

// The engine over a list of tokens, with an unbounded stack.
struct list_hooks {
    static constexpr bool run_actions = true;
    static constexpr bool watches_reads = false;
    const std::vector<tok>& in;
    std::size_t next = 0;
    std::vector<trl_engine::entry> storage = std::vector<trl_engine::entry>(4);
    int errors = 0;

    int lex(int& value)
    {
        if (next >= in.size())
            return 0;
        value = in[next].value;
        return in[next++].code;
    }
    bool grow(trl_engine::parse_state& p)
    {
        storage.assign(p.stack, p.stack + p.depth);
        storage.resize(static_cast<std::size_t>(p.capacity) * 2);
        p.stack = storage.data();
        p.capacity *= 2;
        return true;
    }
    trl_engine::error_outcome syntax_error(trl_engine::parse_state&)
    {
        ++errors;
        return trl_engine::error_outcome::not_recovered;
    }
};

template <class T, bool trace = false> int parse(const std::vector<tok>& in, int* errors = nullptr)
{
    list_hooks hooks{in};
    trl_engine::parse_state p;
    p.stack = hooks.storage.data();
    p.capacity = static_cast<int>(hooks.storage.size());
    trl_engine::start(p);
    const int result = trl_engine::parse<T, list_hooks, trace>(p, hooks);
    if (errors)
        *errors = hooks.errors;
    EXPECT_EQ(p.nerrs, hooks.errors);
    return result;
}

std::vector<tok> lex(const std::string& text)
{
    std::vector<tok> v;
    for (char c : text)
        if (c >= '0' && c <= '9')
            v.push_back({NUM, c - '0'});
        else if (c != ' ')
            v.push_back({static_cast<unsigned char>(c), c});
    return v;
}

using calc_tables = calc_lalr::tables;

// The tables are usable in constant expressions.
static_assert(calc_tables::translate(0) == 0);
static_assert(calc_tables::translate('+') > calc_tables::undefined_terminal);
static_assert(calc_tables::translate(256) == calc_tables::undefined_terminal);
static_assert(calc_tables::translate(302) == calc_tables::undefined_terminal);
static_assert(calc_tables::num_symbols == calc_tables::num_terminals + calc_tables::num_nonterminals);
static_assert(!calc_tables::uses_error && recover_lalr::tables::uses_error);

// The token header: the codes of the %token lines, the parser's own codes
// and the largest, under the prefix given.
static_assert(NUM == 300 && UNUSED == 301);
static_assert(CALC_ERROR_TOKEN == 256 && CALC_UNDEFINED_TOKEN == 257 && CALC_MAX_TOKEN == UNUSED);
static_assert(std::is_same_v<std::underlying_type_t<calc_token>, int>);
static_assert(calc_tables::translate(NUM) > calc_tables::undefined_terminal);
static_assert(calc_tables::translate(CALC_UNDEFINED_TOKEN) == calc_tables::undefined_terminal);

TEST(GeneratedHeader, ActionsComputeValues)
{
    for (const auto& [text, value] : std::vector<std::pair<std::string, int>>{
             {"2 + 3 * 4", 14}, {"(2 - '3) * 2 - 1", 9}, {"7", 7}, {"((((((((1))))))))+1", 2}}) {
        ASSERT_EQ(parse<calc_tables>(lex(text)), trl_engine::accepted) << text;
        EXPECT_EQ(calc::result, value) << text;
    }
}

TEST(GeneratedHeader, EmbeddedActionSeesSymbolsBeforeIt)
{
    // [ e1 {mid} , e2 ]: the embedded action's value (7) is $3 of the rule.
    calc::log.clear();
    ASSERT_EQ(parse<calc_tables>(lex("[1 + 1, 5]")), trl_engine::accepted);
    EXPECT_EQ(calc::result, 2 * 100 + 7 + 5);
    EXPECT_EQ(calc::log, (std::vector<std::string>{"mid 91 2", "end 5 93"}));
    calc::log.clear();
    ASSERT_EQ(parse<calc_tables>(lex("[[1,2],3]*2")), trl_engine::accepted);
    EXPECT_EQ(calc::result, ((1 * 100 + 7 + 2) * 100 + 7 + 3) * 2);
    EXPECT_EQ(calc::log, (std::vector<std::string>{"mid 91 1", "end 2 93", "mid 91 109", "end 3 93"}));
}

TEST(GeneratedHeader, RejectsWhatTheGrammarDoesNot)
{
    for (const auto& in : std::vector<std::vector<tok>>{lex("2 +"),
                                                        lex("[1 5]"),
                                                        lex(""),
                                                        lex("(1))"),
                                                        lex("1 2"),
                                                        {{NUM, 1}, {'+', 0}, {301, 0}}, // declared, used by no rule
                                                        {{NUM, 1}, {'+', 0}, {257, 0}}}) {
        int errors = 0;
        EXPECT_EQ(parse<calc_tables>(in, &errors), trl_engine::rejected);
        EXPECT_EQ(errors, 1);
    }
    // The midrule was reduced before the error after it was found.
    calc::log.clear();
    EXPECT_EQ(parse<calc_tables>(lex("[1 ; 2]")), trl_engine::rejected);
    EXPECT_EQ(calc::log, (std::vector<std::string>{"mid 91 1"}));
}

// The traced instance shows every reduction of the grammar, the folded
// unit reductions (term: factor, expr: term) included, in the order of the
// untraced one.
TEST(GeneratedHeader, TraceShowsFoldedReductions)
{
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    std::fflush(stderr);
    std::FILE* saved = stderr;
    stderr = err;
    const int result = parse<calc_tables, true>(lex("2+3"));
    stderr = saved;
    EXPECT_EQ(result, trl_engine::accepted);
    std::rewind(err);
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;)
        text.append(buf, n);
    std::fclose(err);
    std::vector<std::string> reductions;
    for (std::size_t at = text.find(", "); (at = text.find("Reducing via rule ", at)) != std::string::npos; ++at)
        reductions.push_back(text.substr(text.find(',', at) + 2, text.find('\n', at) - text.find(',', at) - 2));
    EXPECT_EQ(reductions,
              (std::vector<std::string>{"NUM  -> factor", "factor  -> term", "term  -> expr", "NUM  -> factor",
                                        "factor  -> term", "expr '+' term  -> expr", "expr  -> input"}));
    EXPECT_EQ(text.rfind("Starting parse\nEntering state 0\nReading a token: Next token is 300 (NUM)\n", 0), 0u)
        << text;
}

TEST(GeneratedHeader, StackGrows)
{
    std::string text(300, '(');
    text += "1" + std::string(300, ')');
    ASSERT_EQ(parse<calc_tables>(lex(text)), trl_engine::accepted);
    EXPECT_EQ(calc::result, 1);
}

// A bad statement is reported once, skipped to its ';', and parsing goes on.
TEST(GeneratedHeader, RecoveryThroughError)
{
    using recover_tables = recover_lalr::tables;
    recover::log.clear();
    int errors = 0;
    EXPECT_EQ(parse<recover_tables>(lex("1+2; 3 3 + 4; 5; ++; 6;"), &errors), trl_engine::accepted);
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(recover::log, (std::vector<std::string>{"= 3", "error", "= 5", "error", "= 6"}));
    // An error with no ';' after it cannot recover.
    recover::log.clear();
    EXPECT_EQ(parse<recover_tables>(lex("1; 2 2"), &errors), trl_engine::rejected);
    EXPECT_EQ(recover::log, (std::vector<std::string>{"= 1"}));
}

// At a syntax error, the stack as it was when the offending token was read
// (before the default reductions it led to) and the terminals that parse
// could have gone on with.
struct expecting_hooks : list_hooks {
    static constexpr bool run_actions = false;
    static constexpr bool watches_reads = true;
    int read_depth = 0;
    std::vector<std::pair<int, trl_engine::entry>> undo;
    std::vector<std::string> expected;

    void read(int depth)
    {
        read_depth = depth;
        undo.clear();
    }
    void overwrite(int index, trl_engine::entry old)
    {
        if (index < read_depth)
            undo.push_back({index, old});
    }
    trl_engine::error_outcome syntax_error(trl_engine::parse_state& p)
    {
        std::vector<trl_engine::entry> then(p.stack, p.stack + std::max(p.depth, read_depth));
        for (auto it = undo.rbegin(); it != undo.rend(); ++it)
            then[static_cast<std::size_t>(it->first)] = it->second;
        for (int t = 0; t < calc_tables::num_terminals; ++t)
            if (t != calc_tables::error_terminal && trl_engine::takes<calc_tables>(then.data(), read_depth, t))
                expected.push_back(calc_tables::symbol_name[t]);
        return trl_engine::error_outcome::not_recovered;
    }
};

TEST(GeneratedHeader, ExpectedTerminalsBeforeTheDefaultReductions)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        // After a number, the reductions to expr on ')' would leave only
        // what follows a whole expression; before them '*' goes on too.
        {"2 )", {"$", "'+'", "'-'", "'*'"}},
        {"2 + )", {"NUM", "'('", "'['", "'\\''"}},
        {"[1 2", {"'+'", "'-'", "'*'", "','"}},
    };
    for (const auto& [text, expected] : cases) {
        const std::vector<tok> in = lex(text);
        expecting_hooks hooks{{in}, 0, {}, {}};
        trl_engine::parse_state p;
        p.stack = hooks.storage.data();
        p.capacity = static_cast<int>(hooks.storage.size());
        trl_engine::start(p);
        EXPECT_EQ((trl_engine::parse<calc_tables, expecting_hooks, false>(p, hooks)), trl_engine::rejected) << text;
        EXPECT_EQ(hooks.expected, expected) << text;
    }
}

} // namespace
