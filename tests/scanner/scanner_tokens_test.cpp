// The token stream: rules, priorities, longest match, line start, trailing
// context, comments, line counting and token values, each example scanned
// from memory, from a file and from a pipe.
#include <string>
#include <vector>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/acceptance.h"
#include "tests/support/process.h"
#include "tests/support/scan.h"

using namespace std::string_literals;

namespace {

struct Example {
    std::string text;
    std::vector<int> codes;
    int lines = 0; // lineno at the end
};

// Scans from memory, file and pipe; the three must agree to the byte.
std::vector<Tok> scan_everywhere(const std::string& text)
{
    std::vector<Tok> mem = scan_memory(text);
    EXPECT_EQ(scan_file(text), mem) << "file: " << text;
    EXPECT_EQ(scan_pipe(text), mem) << "pipe: " << text;
    return mem;
}

void check(const std::vector<Example>& examples)
{
    for (const Example& e : examples) {
        std::vector<Tok> toks = scan_everywhere(e.text);
        EXPECT_EQ(codes(toks), e.codes) << "text: " << e.text;
        EXPECT_EQ(toks.back().line, e.lines) << "text: " << e.text;
    }
}

TEST(Tokens, SingleTokenRules)
{
    check({
        {"<*tENG> ", {MRKA}},
        {"<*tGER> ", {MRKA}},
        {"<*tJAP> ", {MRKA}},
        {"A", {MC}},
        {"Z", {MC}},
        {"a", {L}},
        {"z", {L}},
        {"9", {N}},
        {"1", {N}},
        {" ", {WS}},
        {"\"A", {UML_MC}},
        {"\"O", {UML_MC}},
        {"\"U", {UML_MC}},
        {"\"a", {UML_L}},
        {"\"o", {UML_L}},
        {"\"s", {UML_L}},
        {"\"u", {UML_L}},
        {"\"e", {'"', L}},
        {"<!", {AKA}},
        {"<*T>", {TAB}},
        {"<A>", {ATM}},
        {"<B>", {ATM}},
        {"<%>", {UVS}},
        {":>", {KLE}},
        {"<:", {KLA}},
        {"+/", {WHA}},
        {"/+", {WHE}},
        {"-/", {NSA}},
        {"/-", {NSE}},
        {"<P>", {PAU}},
        {"<L>", {ZOG}},
        {"<Z>", {ZOG}},
        {"<T_>", {TAA}},
        {"<_T>", {TAE}},
        {"@1", {SPA}},
        {"9@", {SPP}},
        {"<*", {FS}},
        {"<*T>t", {TABT}},
        {"--", {KOM}},
        {":_0.?,>*#~$'-=%<", {':', '_', '0', '.', '?', ',', '>', '*', '#', '~', '$', '\'', '-', '=', '%', '<'}},
    });
}

TEST(Tokens, LongestMatchAndPriority)
{
    check({
        {"<*T>x", {TAB, L}},
        {"<*T>A", {TAB, MC}},
        {"<*tEN", {FS, L, MC, MC}},
        {"<*tENG>", {FS, L, MC, MC, MC, '>'}},
        {"12@", {SPP}},
        {"12 ", {N, N, WS}},
        {"100@1", {SPP, N}},
        {"0", {'0'}},
        {"0@", {'0', '@'}},
        {"@0", {'@', '0'}},
        {"@34", {SPA}},
        {"@340@", {SPA, '@'}},
        {"<#Klopfen>", {TGER}},
        {"<#Klo ", {'<', '#', MC, L, L, WS}},
        {"<\"ah ", {'<', UML_L, L, WS}},
        {"a<PP> b", {L, L}},
        {"<PP>x", {'<', MC, MC, '>', L}},
        {"<PP>", {'<', MC, MC, '>'}},
    });
}

TEST(Tokens, TagGroups)
{
    const std::vector<std::pair<int, std::vector<std::string>>> groups = {
        {HSALL,
         {"<\"ah>", "<\"ahm>", "<ah>", "<ahm>", "<ano>", "<e>", "<eeto>", "<eto>", "<h\"as>", "<hes>", "<hm>", "<ma>",
          "<uh>", "<uhm>"}},
        {MGER,
         {"<Cough>", "<Ger\"ausch>", "<Husten>", "<Lachen>", "<Laugh>", "<Noise>", "<R\"auspern>", "<Schlucken>",
          "<Schmatzen>", "<Smack>", "<Swallow>", "<Throat>"}},
        {TGER,
         {"<#>", "<#Klicken>", "<#Klingeln>", "<#Klopfen>", "<#Knock>", "<#Mikrobe>", "<#Mikrowind>", "<#Quietschen>",
          "<#Rascheln>", "<#Rustle>", "<#Squeak>"}},
    };
    for (const auto& [token, tags] : groups) {
        for (const std::string& tag : tags) {
            std::vector<Tok> whole = scan_memory(tag);
            ASSERT_EQ(whole.size(), 2u) << tag;
            EXPECT_EQ(whole[0].code, token) << tag;
            EXPECT_EQ(whole[0].text, tag);
            // Cut short, a tag is no tag: its "<" comes back alone.
            std::vector<Tok> cut = scan_memory(tag.substr(0, tag.size() - 1) + " ");
            EXPECT_EQ(cut[0].code, '<') << tag;
            // Letter case counts.
            std::string upper = tag;
            for (char& c : upper)
                c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            if (upper != tag) {
                EXPECT_EQ(scan_memory(upper)[0].code, '<') << upper;
            }
        }
    }
}

TEST(Tokens, CommentsAndLineStart)
{
    check({
        {";abc\n", {}, 1},
        {"a;b\n", {L, ';', L}, 1},
        {";ab", {';', L, L}},
        {"a\n;x <P>\nb", {L, L}, 2},
        {";\n\n", {END}, 1},
        {"<;x y\nz> a", {L}},
        {"<;c>\n a", {L}},
        {"<;c>a", {'<', ';', L, '>', L}},
        {"<;c>\na", {'<', ';', L, '>', L}, 1},
        {"<;abc", {'<', ';', L, L, L}},
        {"<;a\n\nb>\n \n", {}, 1},
        {"ab\n\ncd\n", {L, L, END, L, L}, 2},
        {"\nab", {END, L, L}},
        {" \n", {WS}, 1},
        {"\n\n\n", {END, END, END}},
        {"a\n<;x\ny\n> b\n", {L, L}, 2},
    });
}

TEST(Tokens, LineNumberAtEachToken)
{
    std::vector<Tok> toks = scan_everywhere(";c\na\n\nb <;\n\n> c\n");
    std::vector<std::pair<int, int>> seen;
    for (const Tok& t : toks)
        seen.push_back({t.code, t.line});
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{L, 1}, {END, 2}, {L, 2}, {WS, 2}, {L, 2}, {0, 3}}));
}

// Bytes outside ASCII come back as 128-255, a NUL as the parser's undefined
// token; inside comments they are comment text.
TEST(Tokens, ControlHighAndNulBytes)
{
    check({
        {"\r\t", {13, 9}},
        {"\xE4", {228}},
        {"\xFF\x80\x7F", {255, 128, 127}},
        {"\0"s, {TRL_UNDEFINED_TOKEN}},
        {"a\0b"s, {L, TRL_UNDEFINED_TOKEN, L}},
        {"\0\0\n\0"s, {TRL_UNDEFINED_TOKEN, TRL_UNDEFINED_TOKEN, TRL_UNDEFINED_TOKEN}, 1},
        {"<;\xE4\0\xFF\n> a"s, {L}},
        {";\0\xE4\n"s, {}, 1},
        {"<\0"s, {'<', TRL_UNDEFINED_TOKEN}},
    });
    std::vector<Tok> toks = scan_memory("\xE4\0\xFF"s);
    EXPECT_EQ(toks[0].val, -28);
    EXPECT_EQ(toks[1].val, 0);
    EXPECT_EQ(toks[1].leng, 1);
    EXPECT_EQ(toks[2].val, -1);
}

TEST(Tokens, ValuesAndUntouchedValues)
{
    std::vector<Tok> toks = scan_everywhere("Ab\"a12@@3<*tGER> <*T>t\n \n<hm><Cough><#>\n\n");
    ASSERT_EQ(codes(toks), (std::vector<int>{MC, L, UML_L, SPP, SPA, MRKA, TABT, WS, HSALL, MGER, TGER, END}));
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(toks[i].val, static_cast<signed char>(toks[i].text[0])) << toks[i];
    // WS, HSALL, MGER, TGER and END keep the value of TABT.
    for (std::size_t i = 7; i < toks.size(); ++i)
        EXPECT_EQ(toks[i].val, '<') << toks[i];

    trl_buffer* b = trl_scan_string(" \n\n<ah>");
    trllval = 4711;
    EXPECT_EQ(trllex(), WS);
    EXPECT_EQ(trllex(), END);
    EXPECT_EQ(trllex(), HSALL);
    EXPECT_EQ(trllval, 4711);
    trl_delete_buffer(b);
}

TEST(Tokens, TextAndLengthStayInTheBuffer)
{
    trl_buffer* b = trl_scan_string("<Schlucken>xy");
    EXPECT_EQ(trllex(), MGER);
    EXPECT_STREQ(trltext, "<Schlucken>"); // terminated in place
    EXPECT_EQ(trlleng, 11);
    EXPECT_EQ(trltext, b->chars);
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(trltext, b->chars + 11);
    EXPECT_STREQ(b->chars, "<Schlucken>x"); // the terminator moved on
    trl_delete_buffer(b);
}

} // namespace

// Both scanners give the tokens of the plain longest match on every case of
// the shared acceptance corpus (required under CI).
TEST(TextScanner, AgreesWithTrllexOnTheAcceptanceCases)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    int cases = 0;
    for (const std::filesystem::path& file : test_support::case_files(dir)) {
        const std::string text = test_support::read_file(file);
        const std::vector<Tok> plain = scan_plain(text);
        ASSERT_EQ(scan_text(text), plain) << file;
        ASSERT_EQ(scan_memory(text), plain) << file;
        ASSERT_EQ(scan_inline(text), without_text(plain)) << file;
        ++cases;
    }
    EXPECT_GT(cases, 1000);
}

// The parse loop's inline token path, which finds longer tokens inline within
// the bytes at hand, against trllex: tags and speaker marks across every
// place of a refill's boundary, and after a run that leaves a memo of
// failures (when trllex finds the longer tokens).
TEST(InlineTokenPath, AgreesWithTrllexAcrossRefills)
{
    const std::string tokens = "<Husten> 12@ @34 <*tGER> <P> <;x y> <#Klopfen> 1234 \"a <*T>t\n";
    std::string text;
    for (int k = 0; k < 40; ++k)
        text += std::string(static_cast<std::size_t>(TRL_READ_MAX - 20 + k), 'x') + tokens;
    text += std::string(300, '7') + " " + tokens + "<;" + std::string(200, 'c') + tokens;
    EXPECT_EQ(scan_inline(text), without_text(scan_file(text)));
}
