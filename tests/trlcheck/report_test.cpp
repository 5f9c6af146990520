// The human report: the caret under the offending byte however the bytes
// before it and the byte itself are shown, and paths with control bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "language/check.h"
#include "tests/support/json.h"
#include "checker/trl-check/report.h"
#include "tests/support/trl_check.h"

namespace {

std::vector<std::string> lines_of(const std::string& s)
{
    std::vector<std::string> v;
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t nl = s.find('\n', at);
        v.push_back(s.substr(at, nl - at));
        at = nl == std::string::npos ? s.size() : nl + 1;
    }
    return v;
}

// The source line and the caret line of the first diagnostic, each without
// its gutter (" 1 | ").
TEST(TrlCheckReport, CaretStandsUnderTheEscapedByte)
{
    const struct {
        std::string text;
        std::string shown_before; // the line up to the offending byte, as shown
        std::string shown_token;  // the offending token, as shown
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja\tso .\n\n", "g012abc3_001_ABC_000000: ja", R"(\t)"},
        {"g012abc3_001_ABC_000000: ja .\r\n\r\n", "g012abc3_001_ABC_000000: ja .", R"(\r)"},
        {std::string("g012abc3_001_ABC_000000: j\0a .\n\n", 33), "g012abc3_001_ABC_000000: j", R"(\0)"},
        {"g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n", "g012abc3_001_ABC_000000: sch", R"(\xC3)"},
        // Escaped bytes before it on the line, in a bracketed comment.
        {"g012abc3_001_ABC_000000: ja <;\t\x01\xC3\\\r> so\tja .\n\n",
         R"(g012abc3_001_ABC_000000: ja <;\t\x01\xC3\\\r> so)", R"(\t)"},
        // A token of several bytes.
        {"g012abc3_001_ABC_000000: ja <;\t> <Husten>x .\n\n", R"(g012abc3_001_ABC_000000: ja <;\t> <Husten>)", "x"},
        {"g012abc3_001_ABC_000000: ja\t<Husten> .\n\n", "g012abc3_001_ABC_000000: ja", R"(\t)"},
    };
    for (const auto& c : cases) {
        trl::checker checker;
        const trl::file_report r = checker.check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        trl::file_report first = r;
        first.diagnostics.resize(1);
        std::string out;
        trl::cli::format_human(out, "f.trl", c.text, first, false);
        const std::vector<std::string> lines = lines_of(out);
        ASSERT_GE(lines.size(), 3u) << out;
        const std::string gutter = " 1 | ";
        ASSERT_EQ(lines[1].substr(0, gutter.size()), gutter) << out;
        ASSERT_EQ(lines[2].substr(0, gutter.size()), "   | ") << out;
        const std::string source = lines[1].substr(gutter.size());
        const std::string caret = lines[2].substr(gutter.size());
        EXPECT_EQ(source.substr(0, c.shown_before.size() + c.shown_token.size()), c.shown_before + c.shown_token)
            << out;
        EXPECT_EQ(caret, std::string(c.shown_before.size(), ' ') + "^" + std::string(c.shown_token.size() - 1, '~'))
            << out;
    }
}

// A tag's diagnostic stands at its '<', whichever of its bytes the parse
// stopped at: the line and column (JSON's too), the caret of the report
// and the start of the offending text (an editor's range).  Tags whose
// first bytes the grammar takes, or which begin like a known tag, after a
// blank, at the start of a turn, of a line or after a comment, and right
// after a word.
TEST(TrlCheckReport, TagsStandAtTheirAngle)
{
    const struct {
        std::string written;
        std::string tag; // the offending text
    } tags[] = {
        {"<Hust>", "<Hust>"},       {"<p>", "<p>"},         {"<\"x>", "<\"x>"},
        {"<\"ahx>", "<\"ahx>"},     {"<#x>", "<#x>"},       {"<#Klopfn>", "<#Klopfn>"},
        {"<Laut>", "<Laut>"},       {"<Lx>", "<Lx>"},       {"<Px>", "<Px>"},
        {"<Ax>", "<Ax>"},           {"<T_x>", "<T_x>"},     {"<_Tx>", "<_Tx>"},
        {"<hmm>", "<hmm>"},         {"<ahx>", "<ahx>"},     {"<%x>", "<%x>"},
        {"<Quatsch>", "<Quatsch>"}, {"<Lachen", "<Lachen"}, {"<a", "<a"},
        {"<PP>x", "<PP>"},
    };
    const std::string before[] = {"ja ", "", "ja", "ja\n", "ja <;c> ", "ja <;\n> "};
    trl::checker checker;
    int n = 0;
    for (const auto& t : tags)
        for (const std::string& b : before) {
            const std::string text = "g012abc3_001_ABC_000000: " + b + t.written + " so .\n\n";
            SCOPED_TRACE(text);
            trl::file_report r = checker.check(text);
            ASSERT_FALSE(r.diagnostics.empty());
            r.diagnostics.resize(1);
            const trl::diagnostic& d = r.diagnostics[0];
            const std::size_t angle = text.find(t.tag, 25);
            EXPECT_EQ(text.substr(d.span_begin, d.span_end - d.span_begin), t.tag);
            const std::size_t line_start = text.rfind('\n', angle) + 1; // npos + 1: the first line
            const long line = 1 + static_cast<long>(std::count(text.begin(), text.begin() + angle, '\n'));
            const long column = static_cast<long>(angle - line_start) + 1;
            EXPECT_EQ(d.line, line);
            EXPECT_EQ(d.column, column);

            std::string json;
            trl::cli::format_json(json, "f.trl", r);
            const std::vector<test_support::json> records = test_support::parse_json_lines(json);
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].at("line"), line);
            EXPECT_EQ(records[0].at("column"), column);

            std::string out;
            trl::cli::format_human(out, "f.trl", text, r, false);
            const std::vector<std::string> lines = lines_of(out);
            ASSERT_GE(lines.size(), 3u) << out;
            const std::string gutter = std::string(" ").append(std::to_string(line)).append(" | ");
            ASSERT_EQ(lines[1].substr(0, gutter.size()), gutter) << out;
            EXPECT_EQ(lines[2].find('^'), gutter.size() + static_cast<std::size_t>(column) - 1) << out;
            EXPECT_EQ(lines[0].rfind("f.trl:" + std::to_string(line) + ":" + std::to_string(column) + ": ", 0), 0u)
                << out;
            ++n;
        }
    EXPECT_EQ(n, static_cast<int>(std::size(tags) * std::size(before)));
}

// A path is shown with its control bytes escaped, so that a report line is
// one line; other UTF-8 is kept.
TEST(TrlCheckReport, PathsShownPrintable)
{
    trl::checker checker;
    const std::string text = turn("001_ABC", "ja.");
    const trl::file_report r = checker.check(text);
    std::string out;
    trl::cli::format_human(out,
                           "a\nb\x1B\xFF"
                           "\xC3\xB6.trl",
                           text, r, false);
    EXPECT_EQ(out.rfind("a\\nb\\x1B\\xFF\xC3\xB6.trl:1:28: error[T009]", 0), 0u) << out;
    out.clear();
    trl::cli::format_path_human(out, "a\tb", "No such file or directory");
    EXPECT_EQ(out, "trl-check: a\\tb: No such file or directory\n");
}

// What could have come: at most five items in a person's words, the
// likeliest first; all of them in the grammar's words in JSON.
TEST(TrlCheckReport, ExpectedInPlainWords)
{
    const struct {
        std::string text;
        std::string shown; // the "expected" line without its gutter
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja.\n\n",
         "= expected: a blank, a letter, a length mark (<L> or <Z>), a speaker mark (such as @1 or 1@), a mark of the "
         "word (such as '--' or '=') or 3 more (--format=json lists them all)"},
        {"g012abc3_001_ABC_000000: ja .x\n\n", "= expected: a blank or the end of the turn (an empty line)"},
        {"g012abc3_001_ABC_00000: ja .\n\n", "= expected: a digit"},
        {"g012abc3_001_AB_000000: ja .\n\n", "= expected: a digit or a capital letter"},
        {"g012abc3_001_ABC_000000: ja <!1 ja>.\n\n", "= expected: a blank"},
    };
    for (const auto& c : cases) {
        trl::checker checker;
        trl::file_report r = checker.check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        r.diagnostics.resize(1);
        std::string out;
        trl::cli::format_human(out, "f.trl", c.text, r, false);
        const std::size_t at = out.find("= expected: ");
        ASSERT_NE(at, std::string::npos) << out;
        EXPECT_EQ(out.substr(at, out.find('\n', at) - at), c.shown) << c.text;
        std::string json;
        trl::cli::format_json(json, "f.trl", r);
        EXPECT_NE(json.find("\"expected\":[\""), std::string::npos);
        EXPECT_GE(r.diagnostics[0].expected.size(), r.diagnostics[0].expected_plain.size());
    }
}

} // namespace
