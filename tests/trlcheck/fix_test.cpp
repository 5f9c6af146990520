// The fixes: safe fixes undo exactly the faults of writing put into
// correct texts; fixing twice changes nothing; the table's fixes for each
// kind; the suggestions for misspelled tags.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "language/check.h"
#include "language/fix.h"
#include "tests/support/json.h"
#include "language/text_scanner.h"
#include "tests/support/trl_check.h"
#include "language/tags.h"
#include "language/umlauts.h"

namespace {

using trl::check_options;
using trl::code;
using trl::file_report;

std::vector<std::string> acceptance_texts(const std::filesystem::path& dir, bool accepted_only)
{
    std::vector<std::string> texts;
    for (const std::filesystem::path& file : test_support::case_files(dir))
        if (!accepted_only || test_support::case_status(file) == 0)
            texts.push_back(test_support::read_file(file));
    return texts;
}

long total(const trl::code_counts& c)
{
    long n = 0;
    for (const long x : c)
        n += x;
    return n;
}

trl::fix_outcome fixed(const std::string& text, bool unsafe)
{
    trl::checker ck;
    check_options o;
    o.max_errors = 0;
    return trl::fix_text(text, unsafe, ck, o);
}

// Correct texts (in ASCII: bytes in comments would decide how umlauts are
// read), written the wrong ways that the safe fixes mend: a byte order
// mark, CR LF line ends (in comments too), umlauts as UTF-8 or as Latin-1
// letters outside comments (a byte in a comment is no error, and stays as
// it is), the last empty line or both last line ends missing.  Fixing
// gives back the text, with one fix for each fault.
TEST(TrlCheckFix, SafeFixesUndoFaultsOfWriting)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    std::mt19937 random(4242);
    int texts = 0;
    int with_comments = 0;
    for (const std::string& text : acceptance_texts(cases, true)) {
        // (A comment line last in the text is no comment once its line end
        // is cut off, and the end of the text is not put back then.)
        const std::size_t last_line = text.rfind('\n', text.size() - 3);
        if (!text.ends_with("\n\n") || text.find('\r') != std::string::npos ||
            std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) ||
            (last_line != std::string::npos && text[last_line + 1] == ';'))
            continue;
        ++texts;
        with_comments += text.find(';') != std::string::npos;
        const bool latin1 = random() % 2;
        std::string faulty;
        long faults = 0;
        if (!latin1 && random() % 3 == 0) {
            faulty = trl::utf8_byte_order_mark;
            ++faults;
        }
        // Umlauts are tokens of their own; line ends outside comments.
        trl_text_scanner s;
        trl_text_scanner_start(s, text.data(), text.size());
        const char* copied = text.data();
        for (int token; (token = trl_text_scan(s)) != 0;) {
            if ((token == UML_L || token == UML_MC) && random() % 2) {
                faulty.append(copied, s.token);
                const char letter = s.token[1];
                const trl::umlaut* u = nullptr;
                for (const trl::umlaut& candidate : trl::umlauts)
                    if (candidate.written[1] == letter)
                        u = &candidate;
                ASSERT_NE(u, nullptr);
                if (latin1)
                    faulty += static_cast<char>(u->code_point);
                else
                    faulty += u->utf8;
                copied = s.token + s.length;
                ++faults;
            }
        }
        faulty.append(copied, text.data() + text.size());
        if (const int dropped = static_cast<int>(random() % 3)) {
            faulty.resize(faulty.size() - static_cast<std::size_t>(dropped));
            ++faults; // the end of the text
        }
        // CR LF line ends, where an empty line ends a turn: a text whose
        // only line ends are in a comment has no error to mend.
        auto ends_a_turn = [](const std::string& t) {
            trl_text_scanner scan;
            trl_text_scanner_start(scan, t.data(), t.size());
            for (int token; (token = trl_text_scan(scan)) != 0;)
                if (token == END)
                    return true;
            return false;
        };
        if (random() % 2 && ends_a_turn(faulty)) {
            std::string crlf;
            for (const char c : faulty) {
                if (c == '\n') {
                    crlf += '\r';
                    ++faults;
                }
                crlf += c;
            }
            faulty = crlf;
        }
        const trl::fix_outcome f = fixed(faulty, false);
        ASSERT_EQ(f.text, text) << faulty;
        EXPECT_TRUE(f.settled);
        EXPECT_EQ(f.report.errors, 0) << faulty;
        EXPECT_EQ(total(f.applied), faults) << faulty;
    }
    EXPECT_GT(texts, 300);
    EXPECT_GT(with_comments, 10);
}

// Every acceptance text with faults of every kind put in: fixing settles,
// the errors left have no fix the table would apply, fixing again changes
// nothing, and the fixed text has no error that a check of the text before
// fixing did not find before the first place a fix changed.
TEST(TrlCheckFix, FixingTwiceChangesNothing)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    std::mt19937 random(99);
    const char* const faults[] = {"\r\n", "\xC3\xA4", "\xF6", "\t", "  ", ".", "<Hust> ", "<p> ", "\xEF\xBB\xBF"};
    int unsettled = 0;
    int n = 0;
    for (std::string text : acceptance_texts(cases, false)) {
        if (text.size() > 100000)
            continue; // the few huge ones: turns of thousands of words, a comment of megabytes
        ++n;
        for (int k = 0; k < 4 && !text.empty(); ++k) {
            const std::size_t at = random() % text.size();
            text.insert(at, faults[random() % std::size(faults)]);
        }
        for (const bool unsafe : {false, true}) {
            const trl::fix_outcome once = fixed(text, unsafe);
            if (!once.settled) {
                ++unsettled;
                continue;
            }
            const trl::fix_outcome twice = fixed(once.text, unsafe);
            EXPECT_EQ(twice.text, once.text) << text;
            EXPECT_EQ(total(twice.applied), 0) << text;
            // Nothing that a fix would apply is left.
            const trl::fixer fx(once.text);
            EXPECT_TRUE(fx.safe_fixes(once.report).empty()) << text;
            // Before the first byte a fix changed, the text and its errors
            // are as they were.
            const std::size_t same = static_cast<std::size_t>(
                std::mismatch(text.begin(), text.end(), once.text.begin(), once.text.end()).first - text.begin());
            trl::checker ck;
            check_options o;
            o.max_errors = 0;
            const file_report before = ck.check(text, o);
            for (const trl::diagnostic& d : once.report.diagnostics) {
                if (d.warning || d.span_end >= same)
                    break;
                EXPECT_TRUE(
                    std::any_of(before.diagnostics.begin(), before.diagnostics.end(),
                                [&](const trl::diagnostic& b) { return b.offset == d.offset && b.kind == d.kind; }))
                    << text;
            }
        }
    }
    EXPECT_GT(n, 1000);
    EXPECT_LT(unsettled, 10);
}

// Each fix of the table on a turn made for it, and the tier it has.
TEST(TrlCheckFix, TheFixOfEachKind)
{
    const struct {
        std::string text;
        std::string code;
        bool safe;
        std::string result; // the text with the fix of the first diagnostic applied
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja .\r\n\r\n", "T006", true, "g012abc3_001_ABC_000000: ja .\n\r\n"},
        {"g012abc3_001_ABC_000000: ja\tso .\n\n", "T006", false, "g012abc3_001_ABC_000000: ja so .\n\n"},
        {"\xEF\xBB\xBFg012abc3_001_ABC_000000: ja .\n\n", "T005", true, "g012abc3_001_ABC_000000: ja .\n\n"},
        {"g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n", "T005", true, "g012abc3_001_ABC_000000: sch\"on .\n\n"},
        // Not UTF-8 as a whole: Latin-1, where 0xC3 is no umlaut.
        {"g012abc3_001_ABC_000000: \xDC \xC3\x9C .\n\n", "T005", true, "g012abc3_001_ABC_000000: \"U \xC3\x9C .\n\n"},
        {"g012abc3_001_ABC_000000: gro\xDF .\n\n", "T005", true, "g012abc3_001_ABC_000000: gro\"s .\n\n"},
        {"g012abc3_001_ABC_000000: ja .", "T002", true, "g012abc3_001_ABC_000000: ja .\n\n"},
        {"g012abc3_001_ABC_000000: ja .\n", "T002", true, "g012abc3_001_ABC_000000: ja .\n\n"},
        {"g012abc3_001_ABC_000000: ja?\n\n", "T009", false, "g012abc3_001_ABC_000000: ja ?\n\n"},
        {"g012abc3_001_ABC_000000: ja  so .\n\n", "T010", false, "g012abc3_001_ABC_000000: ja so .\n\n"},
        {"g012abc3_001_ABC_000000: ja <Lachn> .\n\n", "T011", false, "g012abc3_001_ABC_000000: ja <Lachen> .\n\n"},
        {"g012abc3_001_ABC_000000: ja .\ng012abc3_002_ABC_000000: so .\n\n", "T013", false,
         "g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_ABC_000000: so .\n\n"},
    };
    for (const auto& c : cases) {
        trl::checker ck;
        const file_report r = ck.check(c.text);
        ASSERT_FALSE(r.diagnostics.empty()) << c.text;
        const trl::diagnostic& d = r.diagnostics.front();
        EXPECT_STREQ(trl::info(d.kind).id, c.code.c_str()) << c.text;
        const std::optional<trl::fix> f = trl::fixer(c.text).fix_for(d);
        ASSERT_TRUE(f) << c.text;
        EXPECT_EQ(f->tier == trl::fix_tier::safe, c.safe) << c.text;
        EXPECT_EQ(f->kind, d.kind);
        EXPECT_EQ(trl::apply_edits(c.text, f->edits), c.result) << f->title;
    }
    // No fix: a lone carriage return, a blank missing before a word, a
    // character outside the alphabet, a tag with no single nearest one.
    for (const std::string text : {"g012abc3_001_ABC_000000: ja\r .\n\n", "g012abc3_001_ABC_000000: ja .so .\n\n",
                                   "g012abc3_001_ABC_000000: ja & so .\n\n", "g012abc3_001_ABC_000000: <T> .\n\n"}) {
        trl::checker ck;
        const file_report r = ck.check(text);
        ASSERT_FALSE(r.diagnostics.empty()) << text;
        EXPECT_FALSE(trl::fixer(text).fix_for(r.diagnostics.front())) << text;
    }
}

// The byte order mark goes, and the text after it is read without it: a
// comment line after it stays as it is, umlauts and all.
TEST(TrlCheckFix, CommentAfterAByteOrderMarkStays)
{
    const std::string comment = "; sch\xC3\xB6n\n";
    const std::string text = "g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n";
    const trl::fix_outcome f = fixed("\xEF\xBB\xBF" + comment + text, false);
    EXPECT_EQ(f.text, comment + "g012abc3_001_ABC_000000: sch\"on .\n\n");
    EXPECT_EQ(f.applied[static_cast<std::size_t>(code::non_ascii_byte)], 2);
    EXPECT_EQ(total(f.applied), 2);
    EXPECT_EQ(f.report.errors, 0);
}

// Windows line ends are mended in the whole text, comments too, once a
// line outside a comment ends with CR LF: a fixed text has one kind of
// line end.  A lone CR is no line end; a text whose only CR LF are in
// comments has no error there, and keeps them.
TEST(TrlCheckFix, WindowsLineEndsMendedInTheWholeText)
{
    const std::string id = "g012abc3_001_ABC_000000: ";
    const struct {
        std::string text;
        std::string result;
        long line_ends; // the CRs taken out
    } cases[] = {
        {"; comment\r\n" + id + "ja .\r\n\r\n", "; comment\n" + id + "ja .\n\n", 3},
        {"\xEF\xBB\xBF; comment\r\n" + id + "ja .\r\n\r\n", "; comment\n" + id + "ja .\n\n", 3},
        {id + "ja <;one\r\ntwo> so .\r\n\r\n", id + "ja <;one\ntwo> so .\n\n", 3},
        {"; one\rtwo\r\n" + id + "ja .\r\n\r\n", "; one\rtwo\n" + id + "ja .\n\n", 3},
        {id + "ja .\r\r\n\r\n", id + "ja .\n\n", 3},
        {"; comment\r\n" + id + "ja .\n\n", "; comment\r\n" + id + "ja .\n\n", 0},
        {"; comment\r\n" + id + "sch\xC3\xB6n .\n\n", "; comment\r\n" + id + "sch\"on .\n\n", 0},
    };
    for (const auto& c : cases) {
        const trl::fix_outcome f = fixed(c.text, false);
        EXPECT_EQ(f.text, c.result) << c.text;
        EXPECT_EQ(f.applied[static_cast<std::size_t>(code::control_character)], c.line_ends) << c.text;
        EXPECT_EQ(f.report.errors, 0) << c.text;
    }
}

// An unsafe fix that would leave an error where it changed the turn, or
// at either edge of what it changed, is not applied (an error a byte away
// does not stop it); two that are only clean together are applied
// together.
TEST(TrlCheckFix, UnsafeFixesOnlyWhereTheTurnIsCleanAfterwards)
{
    const struct {
        std::string text;
        std::string result;
    } cases[] = {
        // A blank for the tab would make two blanks: the second begins
        // where the blank put in ends.
        {"g012abc3_001_ABC_000000: ja\t so .\n\n", "g012abc3_001_ABC_000000: ja\t so .\n\n"},
        // The blank after '-/' is an error that ends where the tag's fix
        // begins; the unclosed tag's error ends a blank before it.
        {"g012abc3_001_ABC_000000: -/ <Hust> .\n\n", "g012abc3_001_ABC_000000: -/ <Hust> .\n\n"},
        {"g012abc3_001_ABC_000000: <Lachen <Hust> .\n\n", "g012abc3_001_ABC_000000: <Lachen <Husten> .\n\n"},
        // A blank before '.': the '.' is right then, the next word's
        // missing blank lies beyond the blank put in.
        {"g012abc3_001_ABC_000000: ja.so .\n\n", "g012abc3_001_ABC_000000: ja .so .\n\n"},
        // Two tabs: a blank for either leaves the other beside it, and two
        // blanks for both are two blanks.
        {"g012abc3_001_ABC_000000: ja\t\tso .\n\n", "g012abc3_001_ABC_000000: ja\t\tso .\n\n"},
        // Two blanks before an unknown tag: both fixes, together.
        {"g012abc3_001_ABC_000000: ja  <Hust> so .\n\n", "g012abc3_001_ABC_000000: ja <Husten> so .\n\n"},
        // Every error of a turn, at once.
        {"g012abc3_001_ABC_000000: ja, so\tja  <Lachn> .\n\n", "g012abc3_001_ABC_000000: ja , so ja <Lachen> .\n\n"},
        // Empty lines missing after a turn and before a comment line: each
        // put in, and the new turns' own errors mended.
        {"g012abc3_001_ABC_000000: ja .\ng012abc3_002_ABC_000000: so  ja .\n; c\ng012abc3_003_ABC_000000: ja .\n\n",
         "g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_ABC_000000: so ja .\n; c\n\ng012abc3_003_ABC_000000: ja .\n\n"},
    };
    for (const auto& c : cases) {
        const trl::fix_outcome safe_only = fixed(c.text, false);
        EXPECT_EQ(safe_only.text, c.text);
        EXPECT_EQ(fixed(c.text, true).text, c.result) << c.text;
    }
}

TEST(TrlCheckFix, SuggestedTags)
{
    const struct {
        const char* written;
        const char* meant; // null: none
    } cases[] = {
        {"<Hust>", "<Husten>"},
        {"<Lachn>", "<Lachen>"},
        {"<#Klopfn>", "<#Klopfen>"},
        {"<p>", "<P>"},
        {"<laugh>", "<Laugh>"},
        {"<Gerausch>", "<Ger\"ausch>"},
        {"<Ger\xC3\xA4usch>", "<Ger\"ausch>"},
        {"<ahmm>", "<ahm>"},
        {"<ahh>", nullptr},     // <ah> and <ahm> are as near
        {"<T>", nullptr},       // <P>, <A>, <L>, ... are as near
        {"<Quatsch>", nullptr}, // nothing within two edits
        {"<tGER>", "<*tGER>"},  // a language marker without its blank
    };
    for (const auto& c : cases) {
        const trl::tag_info* t = trl::suggest_tag(c.written);
        if (!c.meant) {
            EXPECT_EQ(t, nullptr) << c.written << " -> " << (t ? t->text : "");
            continue;
        }
        ASSERT_NE(t, nullptr) << c.written;
        std::string text = t->text;
        if (text.ends_with(' '))
            text.pop_back();
        EXPECT_EQ(text, c.meant) << c.written;
    }
    // In a check: the message names it, and so does the JSON field.
    trl::checker ck;
    const file_report r = ck.check("g012abc3_001_ABC_000000: ja <Hust> so .\n\n");
    ASSERT_EQ(r.diagnostics.size(), 1u);
    EXPECT_EQ(r.diagnostics[0].suggestion, "<Husten>");
    EXPECT_EQ(r.diagnostics[0].message, "unknown tag <Hust>: did you mean <Husten>?");
}

// The files of a folder by name, with their bytes.
std::map<std::string, std::string> files_in(const std::filesystem::path& dir)
{
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        out[e.path().filename().string()] = test_support::read_file(e.path());
    return out;
}

const std::string windows = "\xEF\xBB\xBFg012abc3_001_ABC_000000: sch\xC3\xB6n , ja .\r\n\r\n"
                            "g012abc3_002_ABC_000000: gr\xC3\xBC\xC3\x9F dich  <Hust> so .\r\n";
const std::string windows_fixed = "g012abc3_001_ABC_000000: sch\"on , ja .\n\n"
                                  "g012abc3_002_ABC_000000: gr\"u\"s dich  <Hust> so .\n\n";
const std::string windows_fixed_unsafe = "g012abc3_001_ABC_000000: sch\"on , ja .\n\n"
                                         "g012abc3_002_ABC_000000: gr\"u\"s dich <Husten> so .\n\n";
const std::string correct = "g012abc3_003_ABC_000000: ja .\n\n";

// --fix writes the fixed text over the file, its mode kept, and leaves a
// correct file alone (its time too); the report is of what remains, the
// summary counts the fixes by code; a second run fixes nothing.
TEST(TrlCheckFixProgram, FixWritesFilesAndLeavesCorrectOnesAlone)
{
    const test_support::temp_dir dir;
    const std::string a = dir.write("g012abc3.trl", windows);
    const std::string b = dir.write("b.trl", correct);
    std::filesystem::permissions(a, std::filesystem::perms(0640));
    const auto old_time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    std::filesystem::last_write_time(b, old_time);

    test_support::run_result r = run_trl_check({"--fix", dir.path().string()});
    EXPECT_EQ(r.status, 1) << r.out << r.err; // the two blanks and the unknown tag are left
    EXPECT_EQ(test_support::read_file(a), windows_fixed);
    EXPECT_EQ(std::filesystem::status(a).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(std::filesystem::last_write_time(b), old_time);
    // The byte order mark and three umlauts, three carriage returns, the
    // end of the text.
    EXPECT_NE(r.out.find(a + ": note: 8 fixes written (T005 4, T006 3, T002 1)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(a + ":3:38: error[T010]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("8 fixes in 1 file (T005 4, T006 3, T002 1)"), std::string::npos) << r.out;
    EXPECT_EQ(files_in(dir.path()).size(), 2u); // nothing else left in the folder

    r = run_trl_check({"--fix", "--unsafe-fixes", "--format=json", dir.path().string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(test_support::read_file(a), windows_fixed_unsafe);
    const std::vector<test_support::json> lines = test_support::parse_json_lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(),
              test_support::json({{"type", "fixed"}, {"file", a}, {"fixes", {{"T010", 1}, {"T011", 1}}}}));
    EXPECT_EQ(lines.back().at("fixes"), test_support::json({{"T010", 1}, {"T011", 1}}));

    std::filesystem::last_write_time(a, old_time);
    r = run_trl_check({"--fix", "--unsafe-fixes", dir.path().string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("fix"), std::string::npos) << r.out;
    EXPECT_EQ(std::filesystem::last_write_time(a), old_time);
}

// The report says which errors the fixes would mend, each and in the
// summary (human and JSON), before --fix runs, and nothing of it after:
// what --fix leaves is the errors it did not count.
TEST(TrlCheckFixProgram, SummaryCountsWhatTheFixesWouldMend)
{
    const std::string text = "g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n"  // T005, --fix
                             "g012abc3_002_ABC_000000: ja.\n\n"             // T009, --unsafe-fixes
                             "g012abc3_003_ABC_000000: ja  so .\n\n"        // T010, --unsafe-fixes
                             "g012abc3_004_ABC_000000: ja & so .\n\n"       // T004, none
                             "g012abc3_005_ABC_000000: ja .\r\n\r\n"        // T006, --fix
                             "g012abc3_006_ABC_000000: ja <Quatsch> .\n\n"; // T011 without a suggestion, none
    const std::string summary =
        "1 file with errors, 6 errors, 0 warnings; 2 of 6 errors can be fixed with --fix, 2 more may be with "
        "--unsafe-fixes (";
    auto count = [](const std::string& out, const std::string& what) {
        long n = 0;
        for (std::size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1))
            ++n;
        return n;
    };
    const std::string safe_note = "= fix: trl-check --fix mends this\n";
    const std::string unsafe_note = "= fix: trl-check --fix --unsafe-fixes may mend this\n";
    test_support::run_result r = run_trl_check({"-"}, text);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
    EXPECT_EQ(count(r.out, safe_note), 2) << r.out;
    EXPECT_EQ(count(r.out, unsafe_note), 2) << r.out;
    // The notes stand at the errors they are about.
    EXPECT_LT(r.out.find("error[T005]"), r.out.find(safe_note));
    EXPECT_LT(r.out.find(safe_note), r.out.find("error[T009]"));
    EXPECT_GT(r.out.rfind(safe_note), r.out.find("error[T006]"));

    r = run_trl_check({"--format=json", "-"}, text);
    const std::vector<test_support::json> records = test_support::parse_json_lines(r.out);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().at("fixable"), 2);
    EXPECT_EQ(records.back().at("fixable_unsafe"), 2);

    // What --fix leaves: the four it did not count; with --unsafe-fixes,
    // the two none mends.  Nothing is said of fixes then.
    for (const bool unsafe : {false, true}) {
        std::vector<std::string> args = {"--fix", "-"};
        if (unsafe)
            args.insert(args.begin(), "--unsafe-fixes");
        r = run_trl_check(args, text);
        EXPECT_EQ(count(r.err, ": error["), unsafe ? 2 : 4) << r.err;
        EXPECT_EQ(r.err.find("= fix:"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("can be fixed"), std::string::npos) << r.err;
        args.insert(args.begin(), "--format=json");
        r = run_trl_check(args, text);
        const std::vector<test_support::json> after = test_support::parse_json_lines(r.err);
        ASSERT_FALSE(after.empty());
        EXPECT_TRUE(after.back().at("fixable").is_null()) << r.err;
        EXPECT_TRUE(after.back().at("fixable_unsafe").is_null()) << r.err;
    }

    // The other forms of the summary, and none without a fix.
    const struct {
        std::string text;
        std::string said; // the end of the summary before its time; empty: nothing of fixes
    } cases[] = {
        {"g012abc3_001_ABC_000000: ja .\n", "; 1 of 1 error can be fixed with --fix"},
        {"g012abc3_001_ABC_000000: ja.\n\n", "; 1 of 1 error may be fixed with --fix --unsafe-fixes"},
        {"g012abc3_001_ABC_000000: ja & so .\n\n", ""},
        {"g012abc3_001_ABC_000000: ja .\n\n", ""},
    };
    for (const auto& c : cases) {
        r = run_trl_check({"-q", "-"}, c.text);
        const std::size_t time = r.out.rfind(" (");
        ASSERT_NE(time, std::string::npos) << r.out;
        const std::string before_time = r.out.substr(0, time);
        if (c.said.empty())
            EXPECT_EQ(before_time.find(';'), std::string::npos) << r.out;
        else
            EXPECT_TRUE(before_time.ends_with(c.said)) << r.out;
    }
}

// --diff writes no file; what it prints, applied by patch, is what --fix
// writes.
TEST(TrlCheckFixProgram, DiffIsWhatFixWouldWrite)
{
    const test_support::temp_dir dir;
    const std::string a = dir.write("a.trl", windows);
    const std::string b = dir.write("b.trl", correct);
    for (const bool unsafe : {false, true}) {
        std::vector<std::string> args = {"--diff", a, b};
        if (unsafe)
            args.insert(args.begin(), "--unsafe-fixes");
        const test_support::run_result d = run_trl_check(args);
        EXPECT_EQ(d.status, unsafe ? 0 : 1) << d.err;
        EXPECT_EQ(d.out.rfind("--- " + a + "\n+++ " + a + "\n@@ -1,3 +1,4 @@\n", 0), 0u) << d.out;
        EXPECT_EQ(d.out.find(b), std::string::npos);
        EXPECT_EQ(test_support::read_file(a), windows);
        const std::string copy = dir.write("copy.trl", windows);
        const test_support::run_result patched =
            test_support::run_shell("patch -s " + test_support::shell_line({copy}), d.out.substr(d.out.find("@@")));
        if (patched.status == 127 && !test_support::under_ci())
            GTEST_SKIP() << "no patch program";
        EXPECT_EQ(patched.status, 0) << patched.err;
        EXPECT_EQ(test_support::read_file(copy), unsafe ? windows_fixed_unsafe : windows_fixed);
    }
}

// Standard input: the fixed text on standard output, the report on
// standard error.
TEST(TrlCheckFixProgram, StandardInputFixedToStandardOutput)
{
    test_support::run_result r = run_trl_check({"--fix", "-"}, windows);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, windows_fixed);
    EXPECT_NE(r.err.find("<stdin>: note: 8 fixes written"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("<stdin>:3:38: error[T010]"), std::string::npos) << r.err;
    r = run_trl_check({"--fix", "-"}, correct);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, correct);
}

// A file that cannot be written is reported (status 2) and left exactly as
// it was, with nothing beside it: in a folder it may not write to, and
// with the file size limited below the fixed text's (as a full disk).
TEST(TrlCheckFixProgram, UnwritableFilesAreLeftAsTheyWere)
{
    const test_support::temp_dir dir;
    const std::string a = dir.write("folder/a.trl", windows);
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    std::filesystem::permissions(dir / "folder", std::filesystem::perms(0555));
    std::filesystem::permissions(a, std::filesystem::perms(0644));
    // root may write anywhere: the program runs as nobody then, whose file
    // it is (only the folder is not nobody's to write).
    if (getuid() == 0) {
        ASSERT_EQ(chown(a.c_str(), 65534, 65534), 0);
    }
    const std::string as = getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    test_support::run_result r = test_support::run_shell(as + test_support::shell_line({TRL_CHECK_PATH, "--fix", a}));
    if (r.status == 127 && !test_support::under_ci())
        GTEST_SKIP() << "no setpriv";
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(
        r.err.find("trl-check: " + a + ": the fixes could not be written, the file is as it was: Permission denied"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("1 file not written"), std::string::npos) << r.out;
    // The report is of the file as it is.
    EXPECT_NE(r.out.find(a + ":1:1: error[T005]"), std::string::npos) << r.out;
    EXPECT_EQ(test_support::read_file(a), windows);
    EXPECT_EQ(files_in(dir / "folder").size(), 1u);

    std::filesystem::permissions(dir / "folder", std::filesystem::perms(0755));
    test_support::run_options small;
    small.file_limit = 60;
    r = test_support::run(TRL_CHECK_PATH, {"--fix", "--format=json", a}, small);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.out.find("\"type\":\"file_error\",\"file\":" + test_support::json(a).dump() +
                         ",\"message\":\"the fixes could not be written, the file is as it was: File too large\""),
              std::string::npos)
        << r.out;
    EXPECT_EQ(test_support::read_file(a), windows);
    EXPECT_EQ(files_in(dir / "folder").size(), 1u);
}

} // namespace
