// The header that trl-lalrgen writes for grammars/calc.y, compiled and run
// by a small engine that follows the table interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc_tables.h"

namespace {

struct tok {
    int code;
    int value;
};

constexpr int NUM = 300;

// The tables are usable in constant expressions.
static_assert(trl_lalr::translate(0) == 0);
static_assert(trl_lalr::translate('+') > trl_lalr::undefined_terminal);
static_assert(trl_lalr::translate(256) == trl_lalr::undefined_terminal);
static_assert(trl_lalr::translate(302) == trl_lalr::undefined_terminal);
static_assert(trl_lalr::num_symbols == trl_lalr::num_terminals + trl_lalr::num_nonterminals);

std::vector<int> reduced;

bool parse(const std::vector<tok>& in) {
    using namespace trl_lalr;
    reduced.clear();
    calc::log.clear();
    std::vector<int> states{0}, values{0};
    std::size_t next = 0;
    int la = -1, lval = 0;
    for (;;) {
        const int s = states.back();
        int rule = 0;
        if (!reads_lookahead(s)) {
            rule = default_reduction(s);
        } else {
            if (la < 0) {
                la = next < in.size() ? translate(in[next].code) : 0;
                lval = next < in.size() ? in[next].value : 0;
                ++next;
            }
            const int act = action(s, la);
            if (act > 0) {
                if (act == final_state) return true;
                states.push_back(act);
                values.push_back(lval);
                la = -1;
                continue;
            }
            rule = act < 0 ? -act : default_reduction(s);
            if (rule == 0) return false;
        }
        const int len = rule_length[rule];
        int yyval = len > 0 ? values[values.size() - static_cast<std::size_t>(len)] : 0;
        reduce_action(rule, values.data() + values.size() - 1, yyval);
        reduced.push_back(rule);
        states.resize(states.size() - static_cast<std::size_t>(len));
        values.resize(values.size() - static_cast<std::size_t>(len));
        states.push_back(goto_state(states.back(), rule_lhs[rule]));
        values.push_back(yyval);
    }
}

std::vector<tok> lex(const std::string& text) {
    std::vector<tok> v;
    for (char c : text)
        if (c >= '0' && c <= '9') v.push_back({NUM, c - '0'});
        else if (c != ' ') v.push_back({static_cast<unsigned char>(c), c});
    return v;
}

std::string rule_text(int r) {
    std::string s = std::string(trl_lalr::symbol_name[trl_lalr::rule_lhs[r]]) + ":";
    for (int k = 0; k < trl_lalr::rule_length[r]; ++k)
        s += std::string(" ") + trl_lalr::symbol_name[trl_lalr::rule_rhs[trl_lalr::rule_rhs_begin[r] + k]];
    return s;
}

TEST(GeneratedHeader, ActionsComputeValues) {
    ASSERT_TRUE(parse(lex("2 + 3 * 4")));
    EXPECT_EQ(calc::result, 14);
    ASSERT_TRUE(parse(lex("(2 - '3) * 2 - 1")));
    EXPECT_EQ(calc::result, 9);
    ASSERT_TRUE(parse(lex("7")));
    EXPECT_EQ(calc::result, 7);
}

TEST(GeneratedHeader, EmbeddedActionSeesSymbolsBeforeIt) {
    // [ e1 {mid} , e2 ]: the embedded action's value (7) is $3 of the rule.
    ASSERT_TRUE(parse(lex("[1 + 1, 5]")));
    EXPECT_EQ(calc::result, 2 * 100 + 7 + 5);
    EXPECT_EQ(calc::log, (std::vector<std::string>{"mid 91 2", "end 5 93"}));
    ASSERT_TRUE(parse(lex("[[1,2],3]*2")));
    EXPECT_EQ(calc::result, ((1 * 100 + 7 + 2) * 100 + 7 + 3) * 2);
    EXPECT_EQ(calc::log, (std::vector<std::string>{"mid 91 1", "end 2 93", "mid 91 109", "end 3 93"}));
}

TEST(GeneratedHeader, RejectsWhatTheGrammarDoesNot) {
    EXPECT_FALSE(parse(lex("2 +")));
    EXPECT_FALSE(parse(lex("[1 5]")));
    EXPECT_FALSE(parse(lex("")));
    EXPECT_FALSE(parse(lex("(1))")));
    EXPECT_FALSE(parse({{NUM, 1}, {'+', 0}, {301, 0}}));   // declared, used by no rule
    EXPECT_FALSE(parse({{NUM, 1}, {'+', 0}, {257, 0}}));
    EXPECT_FALSE(parse(lex("1 2")));
    // The midrule was reduced before the error after it was found.
    EXPECT_FALSE(parse(lex("[1 ; 2]")));
    EXPECT_EQ(calc::log, (std::vector<std::string>{"mid 91 1"}));
}

TEST(GeneratedHeader, RuleAndSymbolInfo) {
    using namespace trl_lalr;
    EXPECT_STREQ(symbol_name[0], "$");
    EXPECT_STREQ(symbol_name[1], "error");
    EXPECT_STREQ(symbol_name[2], "$undefined.");
    EXPECT_STREQ(symbol_name[translate('\'')], "'\\''");
    EXPECT_STREQ(symbol_name[translate(NUM)], "NUM");
    EXPECT_STREQ(symbol_name[num_terminals], "$accept");
    EXPECT_EQ(num_rules, 12);
    EXPECT_EQ(rule_text(0), "$accept: input $");
    EXPECT_EQ(rule_text(9), "$@1:");
    EXPECT_EQ(rule_text(10), "factor: '[' expr $@1 ',' expr ']'");
    EXPECT_EQ(int{rule_line[1]}, 18);
    EXPECT_EQ(int{rule_line[8]}, 31);
    EXPECT_EQ(int{rule_line[9]}, 32);    // the embedded action's brace
    EXPECT_EQ(int{rule_line[10]}, 32);
    EXPECT_EQ(int{rule_line[11]}, 35);
    EXPECT_EQ(calc::epilogue_seen, 1);
    // The accepting state is entered by $end only.
    for (int s = 0; s < num_states; ++s)
        for (int t = 1; t < num_terminals; ++t) EXPECT_NE(action(s, t), final_state);
    // A number is reduced without looking further.
    ASSERT_TRUE(parse(lex("5")));
    EXPECT_EQ(rule_text(reduced.front()), "factor: NUM");
}

}  // namespace
