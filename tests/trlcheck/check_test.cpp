// The checker of trl-check on texts in memory: recovery, positions,
// expected tokens, codes and hints, the stack warning.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "language/catalogue.h"
#include "language/check.h"
#include "language/consistency.h"
#include "language/text_scanner.h"
#include "tests/support/trl_check.h"
#include "velmar.tab.h"
#include "language/wording.h"

namespace {

using trl::check_options;
using trl::diagnostic;
using trl::file_report;

file_report check(std::string_view text, int max_errors = 100)
{
    trl::checker c;
    check_options options;
    options.max_errors = max_errors;
    return c.check(text, options);
}

// A diagnostic as the tests compare it.
struct seen {
    long line;
    long column;
    long long velmar_line;
    std::string code;
    bool operator==(const seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const seen& s)
{
    return os << s.line << ':' << s.column << " velmar " << s.velmar_line << ' ' << s.code;
}

std::vector<seen> seen_in(const file_report& r)
{
    std::vector<seen> v;
    for (const diagnostic& d : r.diagnostics)
        v.push_back({d.line, d.column, d.velmar_line, trl::info(d.kind).id});
    return v;
}

const std::string ok1 = turn("001_ABC", "hi .");
const std::string ok2 = turn("002_ABC", "ja , <P> so ?");

TEST(TrlCheckRecovery, FindsTheErrorOfEveryTurn)
{
    const struct {
        std::string text;
        std::vector<seen> expected;
        long turns;
    } cases[] = {
        // Errors in the first and the third turn; the second is fine.
        {turn("001_ABC", "hi.") + ok2 + turn("003_ABC", "ja  so ."), {{1, 28, 0, "T009"}, {5, 29, 2, "T010"}}, 3},
        // Every error of a turn, where it stands.
        {turn("001_ABC", "ja. so. hm.") + ok2, {{1, 28, 0, "T009"}, {1, 32, 0, "T009"}, {1, 36, 0, "T009"}}, 2},
        // The offending token is the empty line itself: it ends the turn.
        {turn("001_ABC", "ja") + ok2 + turn("003_ABC", "ja"), {{2, 1, 1, "T008"}, {6, 1, 3, "T008"}}, 3},
        // A stray empty line between turns, and one before the first.
        {"\n" + ok1 + "\n" + ok2, {{1, 1, 0, "T008"}, {4, 1, 1, "T008"}}, 2},
        // The last turn has an error and no empty line: nothing after it.
        {ok1 + "g012abc3_002_ABC_000000: hi.\n", {{3, 28, 1, "T009"}}, 2},
        // A good text.
        {ok1 + ok2, {}, 2},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        EXPECT_EQ(seen_in(r), c.expected) << c.text;
        EXPECT_EQ(r.turns, c.turns) << c.text;
        EXPECT_EQ(r.errors, static_cast<int>(c.expected.size()));
        EXPECT_FALSE(r.stopped);
    }
}

// After an error the check goes on where the text can go on, and what the
// error broke is not reported again.
TEST(TrlCheckRecovery, NoCascades)
{
    const struct {
        std::string text;
        std::vector<std::string> codes;
    } cases[] = {
        {turn("001_ABC", "+/ja & so/+ hm ."), {"T004"}},
        {turn("001_ABC", "ja <Hust> <P> so ."), {"T011"}},
        {turn("001_ABC", "<:<Husten> & ja:> ."), {"T004"}},
        {turn("001_ABC", "ja , , so . hm ."), {"T001"}},
        {turn("001_ABC", "<ah>  <:<Husten> ja:> so ."), {"T001"}},
        {turn("001_ABC", "ja <!1 ja & so> ."), {"T004"}},
        {turn("001_ABC", "ja\tso , ha"
                         "llo.") +
             turn("002_ABC", "ja ."),
         {"T006", "T009"}},
        // CR LF line ends: each turn's carriage return, once.
        {"g012abc3_001_ABC_000000: ja .\r\n\r\ng012abc3_002_ABC_000000: so .\r\n\r\n", {"T006", "T006"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const diagnostic& d : check(c.text, 0).diagnostics)
            got.push_back(trl::info(d.kind).id);
        EXPECT_EQ(got, c.codes) << c.text;
    }
}

// Recovery takes time in proportion to the text, however many errors a
// turn of any length has (well under a second here; begun again from the
// turn's start at each error, it would take minutes).
TEST(TrlCheckRecovery, LinearInTurnsFullOfErrors)
{
    std::string one_turn = "g012abc3_001_ABC_000000: ";
    for (int i = 0; i < 20000; ++i)
        one_turn += "ja& so "; // two words and an error, 7 bytes
    one_turn += ".\n\n";
    std::string crlf;
    for (int i = 0; i < 4000; ++i)
        crlf += "g012abc3_001_ABC_000000: ja so .\r\n\r\n";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(check(one_turn, 0).errors, 20000);
    EXPECT_EQ(check(crlf, 0).errors, 4000);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

TEST(TrlCheckRecovery, StopsAtTheErrorLimit)
{
    std::string text;
    for (int i = 1; i <= 5; ++i)
        text += turn("00" + std::to_string(i) + "_ABC", "hi.");
    file_report r = check(text, 2);
    EXPECT_EQ(r.errors, 2);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.diagnostics.size(), 2u);
    r = check(text, 0); // no limit
    EXPECT_EQ(r.errors, 5);
    EXPECT_FALSE(r.stopped);
    r = check(text, 5); // the limit reached with the last turn: nothing was left out
    EXPECT_EQ(r.errors, 5);
    EXPECT_FALSE(r.stopped);
}

// A turn identification at the start of a line after a complete turn
// without its empty line: a missing empty line, and the new turn read as a
// turn (its errors found, its identification compared with the others).
// A line that does not begin a turn, or a turn before it that is not
// complete, is no such case.
TEST(TrlCheckRecovery, AMissingEmptyLineBeginsTheNextTurn)
{
    const std::string id1 = "g012abc3_001_ABC_000000: ";
    const std::string id2 = "g012abc3_002_ABC_000000: ";
    const std::string id3 = "g012abc3_003_ABC_000000: ";
    const struct {
        std::string text;
        std::vector<seen> expected;
        long turns;
    } cases[] = {
        {id1 + "ja .\n" + id2 + "so  ja .\n\n", {{2, 1, 1, "T013"}, {2, 29, 1, "T010"}}, 2},
        {id1 + "ja .\n; note\n" + id2 + "so .\n\n", {{3, 1, 2, "T013"}}, 2},
        {id1 + "ja .\n" + id2 + "so .\n" + id3 + "ja<P> .\n\n",
         {{2, 1, 1, "T013"}, {3, 1, 2, "T013"}, {3, 28, 2, "T009"}},
         3},
        {id2 + "ja .\n" + id1 + "so .\n\n", {{2, 1, 1, "T013"}, {2, 1, 1, "W003"}}, 2},
        {id1 + "ja .\n" + id1 + "so .\n\n", {{2, 1, 1, "T013"}, {2, 1, 1, "W002"}, {2, 1, 1, "W003"}}, 2},
        // No turn begins: a word at the start of the line, a turn glued to
        // the line before, a turn before that is not complete.
        {id1 + "ja .\nso .\n\n", {{2, 1, 1, "T009"}}, 1},
        {id1 + "ja ." + id2 + "so .\n\n", {{1, 30, 0, "T009"}}, 1},
        {id1 + "ja\n" + id2 + "so .\n\n", {{2, 2, 1, "T001"}}, 1},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        EXPECT_EQ(seen_in(r), c.expected) << c.text;
        EXPECT_EQ(r.turns, c.turns) << c.text;
    }
}

// After the error at a byte order mark the text is read as if the mark
// were not there: its other diagnostics are those of the text without it,
// three bytes later on the first line, with velmar's lines.  The error
// limit counts the mark's error.
TEST(TrlCheckRecovery, TextReadOnAfterAByteOrderMark)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string texts[] = {
        "; comment 0 here\n" + ok1,                     // a comment line: no tokens
        ";\xC3\xB6\r\n" + ok1,                          // its bytes are no errors either
        ok1 + ok2,                                      // a correct text
        turn("001_ABC", "ja.") + ok2,                   // an error on the first line
        "; note\n" + ok1 + turn("002_ABC", "ja  so ."), // and on a later one
        "\n" + ok1,                                     // an empty line before the first turn
        "",                                             // nothing else
        "; note\n",                                     // a comment alone
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const file_report alone = check(text);
        const file_report marked = check(bom + text);
        ASSERT_FALSE(marked.diagnostics.empty());
        const diagnostic& first = marked.diagnostics[0];
        EXPECT_EQ(seen_in(marked)[0], (seen{1, 1, 0, "T005"}));
        EXPECT_TRUE(first.velmar_stops);
        std::vector<seen> rest = seen_in(marked);
        rest.erase(rest.begin());
        std::vector<seen> expected = seen_in(alone);
        for (seen& e : expected)
            e.column += e.line == 1 ? 3 : 0;
        ASSERT_EQ(rest, expected);
        for (std::size_t i = 1; i < marked.diagnostics.size(); ++i) {
            EXPECT_EQ(marked.diagnostics[i].message, alone.diagnostics[i - 1].message);
            EXPECT_FALSE(marked.diagnostics[i].velmar_stops);
        }
        EXPECT_EQ(marked.errors, alone.errors + 1);
        EXPECT_EQ(marked.turns, alone.turns);
    }
    const file_report stopped = check(bom + turn("001_ABC", "ja."), 1);
    EXPECT_EQ(stopped.diagnostics.size(), 1u);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(check(bom, 1).stopped);
    EXPECT_EQ(check(bom + turn("001_ABC", "ja."), 2).errors, 2);
}

TEST(TrlCheckPositions, PhysicalLinesAndByteColumns)
{
    const struct {
        std::string text;
        seen expected;
    } cases[] = {
        // A bracketed comment over three lines: velmar does not count
        // its line breaks, an editor does.
        {"g012abc3_001_ABC_000000: ja <; one\ntwo\nthree > so.\n\n", {3, 11, 0, "T009"}},
        // Comment lines are counted by both.
        {";one\n;two\n" + turn("001_ABC", "ja."), {3, 28, 2, "T009"}},
        // Empty lines: physical lines, not velmar's.
        {ok1 + ok2 + turn("003_ABC", "ja."), {5, 28, 2, "T009"}},
        // Columns count bytes: a tab is one, a capital umlaut two.
        {"g012abc3_001_ABC_000000: \"Arger ja\tso .\n\n", {1, 35, 0, "T006"}},
        // The end of the input after a final line end: the next line.
        {"g012abc3_001_ABC_000000: ja .\n", {2, 1, 1, "T002"}},
        // Without a final line end: just past the last byte.
        {"g012abc3_001_ABC_000000: ja .", {1, 30, 0, "T002"}},
        // The empty input.
        {"", {1, 1, 0, "T003"}},
        // CR LF line ends: the CR is found where the line ends.
        {"g012abc3_001_ABC_000000: ja .\r\n\r\n", {1, 30, 0, "T006"}},
        // A text broken over lines: a line break inside a turn is skipped.
        {"g012abc3_001_ABC_000000: ja\n so\n ja\n so.\n\n", {4, 4, 3, "T009"}},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        EXPECT_EQ(seen_in(r)[0], c.expected) << c.text;
    }
}

TEST(TrlCheckPositions, TokenTextAndLineStart)
{
    const std::string text = ok1 + "g012abc3_002_ABC_000000: ja<Husten> .\n\n";
    const file_report r = check(text);
    ASSERT_EQ(r.diagnostics.size(), 1u);
    const diagnostic& d = r.diagnostics[0];
    EXPECT_EQ(text.substr(d.offset, d.length), "<Husten>");
    EXPECT_EQ(d.found, "<Husten>");
    EXPECT_EQ(d.line_start, ok1.size());
    EXPECT_EQ(d.column, static_cast<long>(d.offset - d.line_start) + 1);
}

std::vector<std::string> expected_words(std::string_view text)
{
    const file_report r = check(text);
    std::vector<std::string> v;
    if (!r.diagnostics.empty())
        for (const std::string_view w : r.diagnostics[0].expected)
            v.emplace_back(w);
    return v;
}

TEST(TrlCheckExpected, TokensThatCouldHaveFollowed)
{
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"", {"a small letter"}},
        // Between turns: the end or another turn, as it was when the token
        // was read (the default reduction to a whole dialog leaves only
        // the end).
        {ok1 + "X", {"the end of the text", "a small letter"}},
        {"g012abc3_001_ABC_00000: ja .\n\n", {"a digit 1-9", "'0'"}},
        {"g012abc3_001_ABC_000000 ja .\n\n", {"':'"}},
        {"g012abc3_001_ABC_000000: ja .x\n\n", {"a blank", "an empty line ending the turn"}},
        {"g012abc3_001_ABC_000000: ja <!1ja> .\n\n", {"a blank"}},
        {"g012abc3_001_ABC_000000: ja , <P>1@ so .\n\n", {"'>'"}},
        {"g012abc3_001_ABC_000000: ja <*T>tx\n\n", {"a blank", "an empty line ending the turn"}},
        // Tokens the scanner never makes are not offered (a line break,
        // although the grammar has one in `space`).
        {"g012abc3_001_ABC_000000: <%>.\n\n",
         {"a speaker mark after a word (such as 1@)", "a blank", "'<*T>t'", "an empty line ending the turn"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expected_words(c.text), c.expected) << c.text;
}

// Texts that the scanner makes one token of, for every kind of token it
// makes: each byte from 0x01 to 0x7E on its own, the named tokens, and an
// empty line (after a line end, which the scanner skips inside a line).
std::vector<std::string> one_token_texts()
{
    std::vector<std::string> v;
    for (int b = 1; b < 0x7F; ++b)
        v.emplace_back(1, static_cast<char>(b));
    for (const char* s :
         {"--",  "<*",  "1@", "@1", "\"A", "\"a", "<ah>", "<Laugh>", "<#>", "<!",  "<*tGER> ", "<*T>", "<*T>t",
          "<A>", "<%>", ":>", "<:", "+/",  "/+",  "-/",   "/-",      "<P>", "<L>", "<T_>",     "<_T>", "\n\n"})
        v.emplace_back(s);
    return v;
}

// The expected list of a diagnostic against a model: the kinds of token
// that, put where the offending one stands, the parse takes (the first
// diagnostic moves past them), and the end of the text if the text up to
// there is accepted.  Only the scanner and the position of the first
// error are used, not the checker's own search for what was expected.
TEST(TrlCheckExpected, EverythingThatWouldHaveBeenTakenAndNothingElse)
{
    const std::string cases[] = {
        // The first element of a turn, of a later turn, after a language
        // marker.
        "g012abc3_001_ABC_000000: , ja .\n\n",
        ok1 + "g012abc3_002_ABC_000000: & ja .\n\n",
        "g012abc3_001_ABC_000000: <*tGER> , ja .\n\n",
        // Before the first turn, between turns, in the identification.
        "X",
        ok1 + "X",
        "g012abc3_001_ABC_00000: ja .\n\n",
        "g012abc3_001_ABC_000000 ja .\n\n",
        // Inside a turn: after a blank, after a word, after final
        // punctuation, in a repair, a noise bracket, a pronunciation
        // comment.
        "g012abc3_001_ABC_000000: ja & so .\n\n",
        "g012abc3_001_ABC_000000: ja& so .\n\n",
        "g012abc3_001_ABC_000000: ja .x\n\n",
        "g012abc3_001_ABC_000000: +/ja & so .\n\n",
        "g012abc3_001_ABC_000000: <:<Husten> & so .\n\n",
        "g012abc3_001_ABC_000000: ja <!1 & so .\n\n",
    };
    trl::checker checker;
    for (const std::string& text : cases) {
        const file_report r = checker.check(text);
        ASSERT_FALSE(r.diagnostics.empty()) << text;
        const diagnostic& d = r.diagnostics[0];
        const std::string before = text.substr(0, d.offset);
        std::set<std::string> model;
        if (checker.check(before).diagnostics.empty())
            model.insert(std::string(trl::terminal_words(0)));
        for (const std::string& sample : one_token_texts()) {
            const std::string tried = before + sample + "\x01";
            // The first token from the offset must end where the sample
            // ends.
            trl_text_scanner scan;
            trl_text_scanner_start(scan, tried.data(), tried.size());
            int code;
            do
                code = trl_text_scan(scan);
            while (code != 0 && scan.token < tried.data() + d.offset);
            if (code == 0 || scan.token + scan.length != tried.data() + before.size() + sample.size())
                continue;
            const file_report t = checker.check(tried);
            if (t.diagnostics.empty() || t.diagnostics[0].offset >= before.size() + sample.size())
                model.insert(std::string(trl::terminal_words(trl_lalr::tables::translate(code))));
        }
        const std::set<std::string> listed(d.expected.begin(), d.expected.end());
        EXPECT_EQ(listed.size(), d.expected.size()) << "listed twice: " << text;
        EXPECT_EQ(listed, model) << text;
    }
}

TEST(TrlCheckExpected, ConstructBeingRead)
{
    const struct {
        std::string text;
        std::string context;
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja <!1 so .\n\n", "pronunciation comment"},
        // The identification is complete: the first word is the turn's.
        {"g012abc3_001_ABC_000000: , ja .\n\n", "turn"},
        {"g012abc3_001_ABC_000000: <*tGER> , ja .\n\n", "turn"},
        {"g012abc3_001_ABC_000000:ja .\n\n", "turn identification"},
        {"g012abc3_001_ABC_000000: +/ja so .\n\n", "repair"},
        {"g012abc3_001_ABC_000000: -/ja so .\n\n", "false start"},
        {"g012abc3_001_ABC_000000: <:<Husten> .\n\n", "noise bracket"},
        {"g012abc3_01_ABC_000000: ja .\n\n", "turn number"},
        {"g12abc3_001_ABC_000000: ja .\n\n", "dialog name"},
        {"g012abc3_001_ABC_000000: $a .\n\n", "spelled letter"},
        {"g012abc3_001_ABC_000000: ja , , so .\n\n", "turn"},
        {"g012abc3_001_ABC_000000: ja_ <A> so .\n\n", "disconnected word"},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        EXPECT_EQ(r.diagnostics[0].context, c.context) << c.text;
    }
}

TEST(TrlCheckCodes, CodesAndHints)
{
    const struct {
        std::string text;
        std::string code;
        std::string hint; // a part of one of the hints; empty: no hint
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja .\r\n\r\n", "T006", "Windows line ends"},
        {"g012abc3_001_ABC_000000: ja\r .\n\n", "T006", "a carriage return"},
        // The text's last bytes: CR LF is a Windows line end, a CR alone is not.
        {"g012abc3_001_ABC_000000: ja .\r\n", "T006", "Windows line ends"},
        {"g012abc3_001_ABC_000000: ja .\r", "T006", "a carriage return: the conventions"},
        {"g012abc3_001_ABC_000000: ja\tso .\n\n", "T006", "a tab"},
        {std::string("g012abc3_001_ABC_000000: j\0a .\n\n", 33), "T006", "NUL byte"},
        {"g012abc3_001_ABC_000000: \x01 .\n\n", "T006", ""},
        {"g012abc3_001_ABC_000000: gr\xC3\xBC\xC3\x9F"
         "e .\n\n",
         "T005", "letter \xC3\xBC in UTF-8; the conventions write \"u"},
        {"g012abc3_001_ABC_000000: \xC3\x84rger .\n\n", "T005", "write \"A"},
        {"g012abc3_001_ABC_000000: gro\xDF .\n\n", "T005", "letter \xC3\x9F in Latin-1; the conventions write \"s"},
        {"g012abc3_001_ABC_000000: ja \xE2\x82\xAC .\n\n", "T005", "U+20AC in UTF-8"},
        {"\xEF\xBB\xBF" + ok1, "T005", "UTF-8 byte order mark"},
        {"\xFF\xFEg\0", "T005", "UTF-16 byte order mark"},
        {"g012abc3_001_ABC_000000: ja .\n", "T002", "does not end its last turn with an empty line"},
        {"g012abc3_001_ABC_000000: ja .", "T002", "no line end"},
        {"g012abc3_001_ABC_000000: ja", "T002", "middle of a line"},
        {"", "T003", "empty"},
        {";just a note\n", "T003", "nothing but comments"},
        {"g012abc3_001_ABC_000000: ja & so .\n\n", "T004", ""},
        {"g012abc3_001_ABC_000000: ja <; open .\n\n", "T004", "bracketed comment"},
        {"g012abc3_001_ABC_000000: ja ;so .\n\n", "T004", "comment line only at the beginning"},
        {"g012abc3_001_ABC_000000: ja <;x>so .\n\n", "T004", "bracketed comment"},
        {"G012abc3_001_ABC_000000: ja .\n\n", "T007", ""},
        {ok1 + "x\n\n", "T007", ""},
        {"g012abc3_001_AB_000000: ja .\n\n", "T007", ""},
        {"g012abc3_001\n\n", "T007", ""},
        {ok1 + "\n", "T008", "exactly one empty line"},
        {"g012abc3_001_ABC_000000: ja\n\n", "T008", "a turn ends with a blank and '.' or '?'"},
        {"g012abc3_001_ABC_000000: ja.\n\n", "T009", "punctuation is separated"},
        {"g012abc3_001_ABC_000000: ja .\n" + ok2, "T013", "each turn ends with an empty line"},
        {"g012abc3_001_ABC_000000: ja <A>so .\n\n", "T009", ""},
        {"g012abc3_001_ABC_000000: ja <A> .\n\n", "T001", ""},
        {"g012abc3_001_ABC_000000: , ja .\n\n", "T001", ""},
        {"g012abc3_001_ABC_000000: ja  so .\n\n", "T010", "two blanks in a row"},
        {ok1 + " \n" + ok2, "T010", "nothing but blanks"},
        {"g012abc3_001_ABC_000000: ja , , so .\n\n", "T001", ""},
        {"g012abc3_001_ABC_000000: ja /+ .\n\n", "T001", ""},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        const diagnostic& d = r.diagnostics[0];
        EXPECT_EQ(trl::info(d.kind).id, c.code) << c.text << "\n" << d.message;
        bool found = c.hint.empty() ? d.hints.empty() : false;
        for (const std::string& h : d.hints)
            found = found || h.find(c.hint) != std::string::npos;
        EXPECT_TRUE(found) << c.text << "\nhints: " << (d.hints.empty() ? "" : d.hints[0]);
        EXPECT_EQ(d.message.rfind(trl::info(d.kind).title, 0), 0u) << d.message;
    }
}

// What a transcriber reads names characters, elements and the text, never
// the parser's tokens or its input: checked on texts made at random from
// pieces of turns, right and wrong, and on every explanation.
TEST(TrlCheckCodes, WordsForTranscribers)
{
    auto plain = [](std::string_view words) {
        return words.find("token") == std::string_view::npos && words.find("input") == std::string_view::npos;
    };
    const std::string pieces[] = {"g012abc3_001_ABC_000000: ",
                                  "ja ",
                                  "so",
                                  " ",
                                  ".",
                                  "?",
                                  ",",
                                  "\n",
                                  "\n\n",
                                  "<Husten> ",
                                  "<Hust> ",
                                  "<Lachen ",
                                  "<P> ",
                                  "+/",
                                  "/+ ",
                                  "-/",
                                  "/- ",
                                  "<:",
                                  ":> ",
                                  "<!1 ",
                                  "1@",
                                  "@1",
                                  "<*tGER> ",
                                  "<*T>t",
                                  "\t",
                                  "\r",
                                  "\xC3\xB6",
                                  "\xFC",
                                  "&",
                                  ";",
                                  "<;x> ",
                                  "0",
                                  "_",
                                  "--",
                                  "\"a",
                                  "$A ",
                                  "'",
                                  "~",
                                  "<A> ",
                                  "<L>",
                                  "=",
                                  "%",
                                  std::string(1, '\0')};
    std::mt19937 random(515);
    trl::checker checker;
    std::set<std::string> codes;
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        for (int n = static_cast<int>(random() % 12); n > 0; --n)
            text += pieces[random() % std::size(pieces)];
        for (const diagnostic& d : checker.check(text).diagnostics) {
            codes.insert(trl::info(d.kind).id);
            EXPECT_TRUE(plain(d.message)) << d.message;
            EXPECT_TRUE(plain(d.context)) << d.context;
            for (const std::string_view w : d.expected)
                EXPECT_TRUE(plain(w)) << w;
            for (const std::string& h : d.hints)
                EXPECT_TRUE(plain(h)) << h;
        }
    }
    EXPECT_GE(codes.size(), 11u); // the random texts meet most kinds of error
    for (const trl::code_info& e : trl::catalogue())
        EXPECT_TRUE(plain(trl::explain(e))) << trl::explain(e);
}

// Each code's --explain examples: the incorrect one gets the code first,
// the correct one nothing.
// Every error has examples; a warning, whose example would be too long,
// says so in words.  The figures an explanation names are filled in.
TEST(TrlCheckCodes, CatalogueExamplesHold)
{
    for (const trl::code_info& e : trl::catalogue()) {
        const std::string explanation = trl::explain(e);
        EXPECT_EQ(explanation.rfind(std::string(e.id) + " (", 0), 0u);
        EXPECT_EQ(trl::find_code(e.id), &e);
        EXPECT_EQ(explanation.find('{'), std::string::npos) << explanation;
        if (!*e.incorrect) {
            EXPECT_TRUE(e.warning) << e.id;
            EXPECT_NE(std::string(e.example_note), "") << e.id;
            continue;
        }
        trl::checker checker;
        check_options in_file;
        in_file.file_name = e.example_file;
        const file_report bad = checker.check(e.incorrect, in_file);
        ASSERT_FALSE(bad.diagnostics.empty()) << e.id;
        EXPECT_STREQ(trl::info(bad.diagnostics[0].kind).id, e.id) << e.incorrect;
        EXPECT_TRUE(checker.check(e.correct, in_file).diagnostics.empty()) << e.id << ": " << e.correct;
        EXPECT_NE(explanation.find("\nIncorrect"), std::string::npos);
    }
    const std::string stack = trl::explain(trl::info(trl::code::velmar_stack));
    EXPECT_NE(stack.find("reaches 10000 entries: a turn of about 5000 words"), std::string::npos) << stack;
    EXPECT_EQ(trl::find_code("t004"), &trl::info(trl::code::foreign_character));
    EXPECT_EQ(trl::find_code("T0"), nullptr);
    EXPECT_EQ(trl::find_code("X001"), nullptr);
}

// The messages about tags, identifications and characters, and the
// offending text each names: its bytes are the span an editor marks.
TEST(TrlCheckCodes, MessagesSayWhatIsWrong)
{
    const struct {
        std::string text;
        std::string code;
        std::string message; // the whole message, or a part of it when it ends with "..."
        std::string span;    // the offending text
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja <Hust> so .\n\n", "T011", "unknown tag <Hust>: did you mean <Husten>?", "<Hust>"},
        {"g012abc3_001_ABC_000000: ja <p> so .\n\n", "T011", "unknown tag <p>: did you mean <P>?", "<p>"},
        {"g012abc3_001_ABC_000000: ja <Quatsch> so .\n\n", "T011", "unknown tag <Quatsch>", "<Quatsch>"},
        {"g012abc3_001_ABC_000000: ja <#Klopfn> so .\n\n", "T011", "unknown tag <#Klopfn>: did you mean <#Klopfen>?",
         "<#Klopfn>"},
        {"g012abc3_001_ABC_000000: <Lachen so .\n\n", "T012", "unclosed tag: the tag <Lachen is not closed with '>'",
         "<Lachen"},
        {"g012abc3_001_ABC_000000: ja <Lachen\n\n", "T012", "unclosed tag: the tag <Lachen is not closed with '>'",
         "<Lachen"},
        {"g012abc3_001_ABC_000000: ja<PP>x .\n\n", "T009", "missing blank: the tag <PP> is followed by a blank",
         "<PP>"},
        {"g012abc3_001_ABC_000000: ja .\n; note\ng012abc3_002_ABC_000000: so .\n\n", "T013",
         "missing empty line: the turn before this line has no end (the empty line that ends a turn is missing)", "g"},
        {"g012abc3_001_ABC_000000: ja \"x so .\n\n", "T004",
         "character outside the conventions' alphabet: a double quote writes an umlaut only before a, o, u, s, A, O "
         "or U: found '\"x' in the turn",
         "\""},
        {"g012abc3_001_ABC_000000: ja~so .\n\n", "T004",
         "character outside the conventions' alphabet: found '~' in the word", "~"},
        {"g012abc3_001_ABC_000000: ja} so .\n\n", "T004",
         "character outside the conventions' alphabet: found '}' in the word", "}"},
        {"g012abc3_001_abc_000000: ja .\n\n", "T007",
         "malformed turn identification: the speaker code is three capital letters (or two and a digit): found 'a'",
         "a"},
        {"g012abc3_01_ABC_000000: ja .\n\n", "T007",
         "malformed turn identification: the turn number is three digits (such as 001): found '_'", "_"},
        {"g12abc3_001_ABC_000000: ja .\n\n", "T007", "malformed turn identification: the dialog name is ...", "a"},
        {"g012abc3_001_ABC_00000: ja .\n\n", "T007",
         "malformed turn identification: the CD-ROM number is six digits: found ':'", ":"},
        {"g012abc3_001_ABC_0000000: ja .\n\n", "T007",
         "malformed turn identification: ':' follows the six digits of the CD-ROM number: found '0'", "0"},
        {"g012abc3_001_ABC_000000:ja .\n\n", "T007",
         "malformed turn identification: one blank follows the ':': "
         "found 'j'",
         "j"},
        {"g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_ABC_00000: ja .\n\n", "T007",
         "malformed turn identification: the CD-ROM number is six digits: found ':'", ":"},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        const diagnostic& d = r.diagnostics.front();
        EXPECT_STREQ(trl::info(d.kind).id, c.code.c_str()) << c.text << "\n" << d.message;
        if (c.message.ends_with("..."))
            EXPECT_EQ(d.message.rfind(c.message.substr(0, c.message.size() - 3), 0), 0u) << d.message;
        else
            EXPECT_EQ(d.message, c.message);
        EXPECT_EQ(c.text.substr(d.span_begin, d.span_end - d.span_begin), c.span) << c.text;
        EXPECT_LE(d.span_begin, d.offset);
        EXPECT_GE(d.span_end, d.offset + d.length);
    }
}

// For every diagnostic of random texts: its end is the position just after
// the offending text (a line and a 1-based byte column, counted here
// afresh), and the text covers the token.
TEST(TrlCheckPositions, EndJustAfterTheOffendingText)
{
    const std::string pieces[] = {"g012abc3_001_ABC_000000: ",
                                  "ja ",
                                  "so",
                                  " ",
                                  ".",
                                  "\n",
                                  "\n\n",
                                  "<Husten> ",
                                  "<Hust> ",
                                  "<Lachen ",
                                  "<P> ",
                                  "+/",
                                  "/+ ",
                                  "<!1 ",
                                  "\t",
                                  "\r",
                                  "\xC3\xB6",
                                  "&",
                                  "<;x> ",
                                  "\"x",
                                  "~",
                                  "<:",
                                  ":> ",
                                  std::string(1, '\0')};
    std::mt19937 random(77);
    trl::checker checker;
    int spans = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        for (int n = static_cast<int>(random() % 14); n > 0; --n)
            text += pieces[random() % std::size(pieces)];
        for (const diagnostic& d : checker.check(text).diagnostics) {
            ASSERT_LE(d.span_end, text.size()) << text;
            long line = 1;
            std::size_t line_start = 0;
            for (std::size_t k = 0; k < d.span_end; ++k)
                if (text[k] == '\n')
                    ++line, line_start = k + 1;
            EXPECT_EQ(d.end_line, line) << text;
            EXPECT_EQ(d.end_column, static_cast<long>(d.span_end - line_start) + 1) << text;
            EXPECT_LE(d.span_begin, d.offset) << text;
            EXPECT_GE(d.span_end, d.offset + d.length) << text;
            spans += d.span_end - d.span_begin > d.length;
        }
    }
    EXPECT_GT(spans, 50); // tags wider than their token were among them
}

std::string words(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "a ";
    return s;
}

// velmar's stack holds a turn of 4997 words, not one of 4998; trl-check
// warns at the token where velmar stops, once for each such turn, and
// goes on checking.
TEST(TrlCheckStack, WarnsWhereVelmarsStackOverflows)
{
    EXPECT_TRUE(check(turn("001_ABC", words(4997) + ".")).diagnostics.empty());

    const std::string long_turn = turn("001_ABC", words(4998) + ".");
    file_report r = check(long_turn);
    ASSERT_EQ(r.diagnostics.size(), 1u);
    EXPECT_EQ(r.warnings, 1);
    EXPECT_EQ(r.errors, 0);
    const diagnostic& w = r.diagnostics[0];
    EXPECT_STREQ(trl::info(w.kind).id, "W001");
    EXPECT_EQ(w.offset, 25u + 2 * 4997 + 1); // the blank after the last word
    EXPECT_EQ(long_turn.substr(w.offset, w.length), " ");
    EXPECT_EQ(w.velmar_line, 0);
    EXPECT_EQ(w.message, "turn too long for velmar: velmar's parser stack (10000 entries) overflows at a blank; "
                         "velmar stops here, trl-check checks on");

    // Twice, and an error after the warning in the second turn.  Between
    // turns the stack holds one entry more (the turns so far), so a later
    // turn reaches the limit one token earlier.
    r = check(long_turn + ok2 + turn("003_ABC", words(6000) + "x."));
    EXPECT_EQ(seen_in(r), (std::vector<seen>{{1, 25 + 2 * 4997 + 2, 0, "W001"},
                                             {5, 25 + 2 * 4997 + 1, 2, "W001"},
                                             {5, 25 + 2 * 6000 + 2, 2, "T009"}}));
    // A line break inside the turn: velmar's count at the overflow.
    r = check(turn("001_ABC", words(2000) + "\n" + words(2998) + "."));
    ASSERT_EQ(r.diagnostics.size(), 1u);
    EXPECT_EQ(r.diagnostics[0].velmar_line, 1);
    EXPECT_EQ(r.diagnostics[0].line, 2);
}

// Where the limit falls inside a word, the warning stands at the letter
// where velmar stops, whether the word's letters come as a run (taken in
// one step, see the parse engine's "Fused runs") or as umlauts, which take
// the same steps one at a time.
TEST(TrlCheckStack, WarnsInsideARunOfLettersWhereItWouldLetterByLetter)
{
    const long length = 12;
    int inside = 0;
    // In a later turn the stack holds one entry more: both parities of the
    // depth at which the word begins.
    for (const std::string lead : {"", "g012abc3_001_ABC_000000: ja .\n\n"})
        for (int before = 4985; before <= 4998; ++before) {
            const std::string prefix = lead + "g012abc3_002_ABC_000000: " + words(before);
            std::string plain;
            std::string umlauts;
            for (int i = 0; i < length; ++i) {
                plain += 'a';
                umlauts += "\"a";
            }
            const file_report runs = check(prefix + plain + " .\n\n");
            const file_report steps = check(prefix + umlauts + " .\n\n");
            ASSERT_EQ(runs.diagnostics.size(), steps.diagnostics.size()) << before;
            for (std::size_t i = 0; i < runs.diagnostics.size(); ++i) {
                // The place in the word, in letters, or before or after it.
                const auto letter = [&](const diagnostic& d, long width) {
                    const long at = static_cast<long>(d.offset) - static_cast<long>(prefix.size());
                    return at < 0 ? at : at < length * width ? at / width : at - length * width + length;
                };
                EXPECT_STREQ(trl::info(runs.diagnostics[i].kind).id, trl::info(steps.diagnostics[i].kind).id);
                EXPECT_EQ(letter(runs.diagnostics[i], 1), letter(steps.diagnostics[i], 2)) << before;
                inside += runs.diagnostics[i].offset > prefix.size() &&
                          runs.diagnostics[i].offset < prefix.size() + length - 1;
            }
        }
    // The limit fell on the word's letters, where its run begins, not only
    // around it.
    EXPECT_GE(inside, 2);
}

// The watch on velmar's limit follows the parse from mode to mode: it is
// set again for the turn after one with several errors (read in the
// watched mode) and after a turn ended by a missing empty line; a turn
// with an error before the limit gets no warning (velmar stops at the
// error); and when the empty line's own push fills the stack, the warning
// stands at the empty line, with the next turn or at the end of the text.
TEST(TrlCheckStack, WatchSetAgainInEveryMode)
{
    const std::string long_turn = turn("002_ABC", words(4998) + ".");
    const long limit_column = 25 + 2 * 4997 + 1; // a later turn's warning: the blank after word 4997
    const struct {
        std::string text;
        std::vector<seen> expected;
        long turns;
    } cases[] = {
        {turn("001_ABC", "ja. so. hm.") + long_turn,
         {{1, 28, 0, "T009"}, {1, 32, 0, "T009"}, {1, 36, 0, "T009"}, {3, limit_column, 1, "W001"}},
         2},
        {turn("001_ABC", "ja.") + long_turn + turn("003_ABC", words(4998) + "."),
         {{1, 28, 0, "T009"}, {3, limit_column, 1, "W001"}, {5, limit_column, 2, "W001"}},
         3},
        {turn("001_ABC", words(10) + "x." + words(6000) + "."), {{1, 25 + 20 + 2, 0, "T009"}}, 1},
        {"g012abc3_001_ABC_000000: ja .\n" + long_turn, {{2, 1, 1, "T013"}, {2, limit_column, 1, "W001"}}, 2},
        {ok1 + turn("002_ABC", words(4997) + "<Lachen>"), {{4, 1, 2, "W001"}}, 2},
        {ok1 + turn("002_ABC", words(4997) + "<Lachen>") + turn("003_ABC", "ja."),
         {{4, 1, 2, "W001"}, {5, 28, 2, "T009"}},
         3},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        EXPECT_EQ(seen_in(r), c.expected) << c.text.substr(0, 60);
        EXPECT_EQ(r.turns, c.turns) << c.text.substr(0, 60);
    }
}

// Skipping to the end of a turn stops where scanning token by token would,
// with the scanner in the same state.
// After an error the rest of the turn is skipped in linear time, however
// the scanner would back up.
TEST(TrlCheckSkip, LinearOverDigitRunsAndUnclosedComments)
{
    const std::string digits = turn("001_ABC", "ja " + std::string(300000, '1') + " .");
    std::string comments = "g012abc3_001_ABC_000000: ja ";
    for (int i = 0; i < 200000; ++i)
        comments += "<;";
    comments += ">x\n\n" + turn("002_ABC", "ja.");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(check(digits).errors, 1);
    EXPECT_EQ(check(comments).errors, 2);
    // Token by token each takes a minute.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

// What was found is shown by the one escaping rule (upper-case hex), in
// the found text and in the message.
TEST(TrlCheckText, FoundBytesEscaped)
{
    const struct {
        std::string text;
        std::string found;
        std::string message_part;
    } cases[] = {
        {"g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n", "\\xC3", "found byte 0xC3 in the word"},
        {"g012abc3_001_ABC_000000: ja\tso .\n\n", "\\t", "found a tab in the word"},
        {"g012abc3_001_ABC_000000: ja \x7F .\n\n", "\\x7F", "found control character 0x7F in the turn"},
        {"g012abc3_001_ABC_000000: ja \\ .\n\n", "\\\\", "found a backslash in the turn"},
        {"g012abc3_001_ABC_000000: ja<Husten> .\n\n", "<Husten>", "found '<Husten>' in the word"},
    };
    for (const auto& c : cases) {
        const file_report r = check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        EXPECT_EQ(r.diagnostics[0].found, c.found) << c.text;
        EXPECT_NE(r.diagnostics[0].message.find(c.message_part), std::string::npos) << r.diagnostics[0].message;
    }
}

// The identifications of a file's turns compared: each warning where it
// stands, with the place it names.
TEST(TrlCheckConsistency, WarningsAboutTheTurnsOfAFile)
{
    auto t = [](const char* identification) { return std::string(identification) + ": ja .\n\n"; };
    struct warning {
        std::string code;
        long line;
        long related_line; // 0: none
        bool operator==(const warning&) const = default;
    };
    const struct {
        std::string text;
        std::string file;
        std::vector<warning> expected;
    } cases[] = {
        {t("g012abc3_001_ABC_000000") + t("g012abc3_002_XYZ_000000") + t("g012abc3_010_ABC_000000"), "", {}},
        // The same identification twice: used twice, and not increasing.
        {t("g012abc3_001_ABC_000000") + t("g012abc3_001_ABC_000000"), "", {{"W002", 3, 1}, {"W003", 3, 1}}},
        // Out of order once, and used again later: each warned about once.
        {t("g012abc3_001_ABC_000000") + t("g012abc3_003_ABC_000000") + t("g012abc3_002_XYZ_000000") +
             t("g012abc3_001_ABC_000000") + t("g012abc3_001_ABC_000000"),
         "",
         {{"W003", 5, 3}, {"W002", 7, 1}}},
        // The same number by another speaker or on another CD-ROM is no
        // repetition, but no increase either.
        {t("g012abc3_001_ABC_000000") + t("g012abc3_001_ABC_000001"), "", {{"W003", 3, 1}}},
        // Two dialogs: once; each numbered on its own.
        {t("g012abc3_005_ABC_000000") + t("h013abc4_001_ABC_000000") + t("g012abc3_006_ABC_000000") +
             t("k014abc5_001_ABC_000000"),
         "",
         {{"W004", 3, 1}}},
        // A file named for a dialog.
        {t("g012abc3_001_ABC_000000"), "corpus/g012abd3.trl", {{"W005", 1, 0}}},
        {t("g012abc3_001_ABC_000000"), "corpus/g012abc3.TRL", {}},
        {t("g012abc3_001_ABC_000000"), "corpus/notes.trl", {}},
        {t("g012abc3_001_ABC_000000") + t("h013abc4_002_ABC_000000"), "g012abc3.trl", {{"W004", 3, 1}, {"W005", 3, 0}}},
        // A turn whose identification has an error takes no part.
        {t("g012abc3_002_ABC_000000") + t("g012abc3_001_abc_000000") + t("g012abc3_001_ABC_00000"), "", {}},
        // Comments before a turn, an error after an identification.
        {"; notes\n" + t("g012abc3_002_ABC_000000") + "g012abc3_001_ABC_000000: ja.\n\n", "", {{"W003", 4, 2}}},
        // Warned about after a turn that takes no part.
        {t("g012abc3_002_ABC_000000") + t("g012abc3_001_abc_000000") + t("g012abc3_001_ABC_000000"),
         "",
         {{"W003", 5, 1}}},
    };
    // A turn's velmar line, where the parse began it.
    const auto velmar_line_of_turn_at = [](const file_report& r, std::size_t offset) {
        for (const trl::turn_start& s : r.turn_starts)
            if (s.offset == offset)
                return s.velmar_line;
        return -1LL;
    };
    for (const auto& c : cases) {
        trl::checker checker;
        check_options o;
        o.file_name = c.file;
        o.keep_identifications = true;
        const file_report r = checker.check(c.text, o);
        for (const trl::turn_identification& ti : r.identifications)
            EXPECT_EQ(ti.velmar_line, velmar_line_of_turn_at(r, ti.offset)) << c.text;
        std::vector<warning> got;
        for (const diagnostic& d : r.diagnostics)
            if (trl::info(d.kind).consistency) {
                got.push_back({trl::info(d.kind).id, d.line, d.related.line});
                EXPECT_EQ(d.velmar_line, velmar_line_of_turn_at(r, d.offset)) << c.text;
                EXPECT_TRUE(d.warning);
                EXPECT_EQ(c.text.substr(d.span_begin, d.span_end - d.span_begin), c.text.substr(d.offset, 23));
            }
        EXPECT_EQ(got.size(), c.expected.size()) << c.text;
        EXPECT_TRUE(got == c.expected) << c.text << (got.empty() ? "" : got[0].code);
        // With --strict they are errors.
        o.strict = true;
        const file_report strict = checker.check(c.text, o);
        EXPECT_EQ(strict.errors, r.errors + static_cast<int>(c.expected.size())) << c.text;
    }
}

// The files of a run compared: a turn whose identification an earlier file
// has is warned about at its first use in its own file (the language of a
// turn's marker is no part of its identification), naming the first file's
// turn.
TEST(TrlCheckConsistency, TurnsOfEarlierFiles)
{
    const std::string ja = "g012abc3_001_ABC_000000: ja .\n\n";
    const std::string ja_in_german = "g012abc3_001_ABC_000000: <*tGER> ja .\n\n";
    const std::string so = "g012abc3_002_ABC_000000: so .\n\n";
    const struct {
        std::vector<std::string> files;
        std::vector<std::pair<std::size_t, long>> expected; // file and line of each W002 across files
    } cases[] = {
        {{ja + so, so + ja}, {{1, 1}, {1, 3}}},
        {{ja, ja_in_german}, {{1, 1}}},
        {{ja_in_german, so, ja}, {{2, 1}}},
        {{ja, so}, {}},
        {{ja, so + ja + ja}, {{1, 3}}}, // once; the third use is the second file's own
        {{"g012abc3_001_ABC_000001: ja .\n\n", ja}, {}},
    };
    for (const auto& c : cases) {
        trl::checker checker;
        check_options o;
        o.keep_identifications = true;
        trl::corpus_identifications corpus;
        std::vector<std::pair<std::size_t, long>> got;
        for (std::size_t f = 0; f < c.files.size(); ++f) {
            const file_report r = checker.check(c.files[f], o);
            const std::string path = std::to_string(f) + ".trl";
            for (const diagnostic& d : corpus.add(path, r.identifications, false)) {
                got.emplace_back(f, d.line);
                EXPECT_EQ(d.kind, trl::code::repeated_turn);
                EXPECT_EQ(d.found, c.files[f].substr(d.offset, 23));
                EXPECT_NE(d.related.file, path);
            }
        }
        EXPECT_EQ(got, c.expected) << c.files[0] << c.files[1];
    }
}

// The order of a dialog's turns: the warning stands where the order
// breaks, or at a turn that alone stands out of an order that holds
// without it, once, naming the turn it is compared with; the other breaks
// are counted.
TEST(TrlCheckConsistency, TurnOrderWarnedWhereItBreaks)
{
    const struct {
        std::vector<int> numbers; // of the turns, one after the other (turn k on line 2k - 1)
        long line;                // of the warning
        std::string message;
    } cases[] = {
        {{1, 2, 3, 40, 5, 6},
         7,
         "turn 040 of dialog g012abc3 is out of order: it stands between turns 003 and 005 (line 9)"},
        {{1, 2, 3, 40, 5},
         7,
         "turn 040 of dialog g012abc3 is out of order: it stands between turns 003 and 005 (line 9)"},
        {{1, 2, 10, 4, 11},
         5,
         "turn 010 of dialog g012abc3 is out of order: it stands between turns 002 and 004 (line 7)"},
        {{40, 1, 2, 3}, 1, "turn 040 of dialog g012abc3 is out of order: turn 001 follows it (line 3)"},
        {{1, 2, 3, 1, 5}, 7, "turn 001 of dialog g012abc3 comes after turn 003 (line 5)"},
        {{2, 1}, 3, "turn 001 of dialog g012abc3 comes after turn 002 (line 1)"},
        // Two turns out of an order: no one turn stands out.
        {{1, 2, 3, 40, 41, 5, 6}, 11, "turn 005 of dialog g012abc3 comes after turn 041 (line 9)"},
        {{1, 2, 3, 4, 3, 4, 5}, 9, "turn 003 of dialog g012abc3 comes after turn 004 (line 7)"},
        {{5, 4, 3, 2, 1},
         3,
         "turn 004 of dialog g012abc3 comes after turn 005 (line 1); 3 more turns of the file come after a turn of "
         "their dialog with a number as high or higher"},
        {{1, 2, 30, 4, 5, 2, 6},
         5,
         "turn 030 of dialog g012abc3 is out of order: it stands between turns 002 and 004 (line 7); 1 more turn "
         "of the file comes after a turn of their dialog with a number as high or higher"},
    };
    for (const auto& c : cases) {
        std::string text;
        for (const int n : c.numbers) {
            char id[32];
            std::snprintf(id, sizeof id, "g012abc3_%03d_ABC_000000: ja .\n\n", n);
            text += id;
        }
        const file_report r = check(text);
        std::vector<const diagnostic*> order;
        for (const diagnostic& d : r.diagnostics)
            if (d.kind == trl::code::turn_order)
                order.push_back(&d);
        ASSERT_EQ(order.size(), 1u) << text;
        EXPECT_EQ(order[0]->line, c.line) << text;
        EXPECT_EQ(order[0]->message, "turn numbers not increasing: " + c.message) << text;
    }
}

// One checker for many texts, as a worker thread uses it.
TEST(TrlCheckText, CheckerIsReusable)
{
    trl::checker c;
    const file_report first = c.check(turn("001_ABC", words(6000) + "."));
    const file_report second = c.check(turn("001_ABC", "ja."));
    const file_report third = c.check(ok1);
    EXPECT_EQ(first.warnings, 1);
    EXPECT_EQ(seen_in(second), (std::vector<seen>{{1, 28, 0, "T009"}}));
    EXPECT_TRUE(third.diagnostics.empty());
}

} // namespace
