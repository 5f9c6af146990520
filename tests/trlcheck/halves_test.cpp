// A text checked by two parses at once (trl::checker::check_in_halves)
// against the same text checked by one: the reports are the same, field
// for field, wherever the second parse begins.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "language/check.h"
#include "tests/support/acceptance.h"
#include "tests/support/process.h"
#include "tests/support/running_text.h"
#include "tests/support/trl_check.h"

namespace {

using trl::check_options;
using trl::file_report;

// Everything a report holds, one line a field.
std::string everything(const file_report& r)
{
    std::ostringstream os;
    os << "turns " << r.turns << " errors " << r.errors << " warnings " << r.warnings << " stopped " << r.stopped
       << '\n';
    for (const trl::turn_start& t : r.turn_starts)
        os << "turn at " << t.offset << " velmar " << t.velmar_line << '\n';
    for (const trl::turn_identification& t : r.identifications)
        os << "identification at " << t.offset << ' ' << t.line << ':' << t.column << " velmar " << t.velmar_line
           << '\n';
    for (const trl::diagnostic& d : r.diagnostics) {
        os << static_cast<int>(d.kind) << (d.warning ? " warning" : " error") << " at " << d.offset << '+' << d.length
           << ' ' << d.line << ':' << d.column << '-' << d.end_line << ':' << d.end_column << " line_start "
           << d.line_start << " velmar " << d.velmar_line << " span " << d.span_begin << '-' << d.span_end
           << (d.velmar_stops ? " stops" : "") << " found '" << d.found << "' " << d.message << " context '"
           << d.context << "' suggestion '" << d.suggestion << "' related " << d.related.file << ':' << d.related.line
           << ':' << d.related.column << " expected";
        for (const int t : d.expected_terminals)
            os << ' ' << t;
        for (const std::string& h : d.hints)
            os << " hint " << h;
        os << '\n';
    }
    return os.str();
}

// The places a second parse may begin at in `text`: up to `most` line
// beginnings spread over it, and a few places inside lines.
std::vector<std::size_t> places(const std::string& text, std::size_t most)
{
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\n')
            lines.push_back(i + 1);
    std::vector<std::size_t> chosen;
    const std::size_t step = std::max<std::size_t>(1, lines.size() / most);
    for (std::size_t i = 0; i < lines.size(); i += step)
        chosen.push_back(lines[i]);
    for (const std::size_t part : {3u, 5u, 7u})
        if (text.size() > part)
            chosen.push_back(text.size() / part);
    return chosen;
}

// The same report from check_in_halves at each of the places as from
// check, for each error limit; returns how many of them the second parse
// took over at.
int expect_same_reports(const std::string& name, const std::string& text, std::size_t most)
{
    trl::checker one;
    trl::checker two;
    int joined = 0;
    for (const int max_errors : {0, 2}) {
        check_options options;
        options.max_errors = max_errors;
        options.keep_identifications = true;
        const std::string whole = everything(one.check(text, options));
        for (const std::size_t at : places(text, most)) {
            const std::string halves = everything(two.check_in_halves(text, options, at));
            EXPECT_EQ(halves, whole) << name << ", second parse from " << at << ", error limit " << max_errors;
            if (halves != whole)
                return joined;
            joined += two.halves_joined_at() != 0;
        }
    }
    return joined;
}

// Each check in halves starts a thread, which the sanitizers make slow:
// their builds take fewer places in each case.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t line_places = 3;
#else
constexpr std::size_t line_places = 8;
#endif

TEST(TrlCheckHalves, SameReportAsOneParseOnEveryAcceptanceCase)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    int texts = 0;
    int joined = 0;
    for (const std::filesystem::path& file : test_support::case_files(cases)) {
        ++texts;
        joined += expect_same_reports(file.filename().string(), test_support::read_file(file), line_places);
        if (HasFailure())
            return;
    }
    EXPECT_GT(texts, 1000);
    // Most places are in a turn or between turns of texts that have more
    // than one: the second parse takes over at many of them.
    EXPECT_GT(joined, texts);
}

// Long texts of many turns, with errors of the grammar, the stack
// warning, turns out of order and comments here and there: taken over at
// the place check() chooses, and at others.
TEST(TrlCheckHalves, LongTextsTakenOverWhereOneParseWouldBe)
{
    std::string text;
    for (int i = 1; i <= 3000; ++i) {
        std::string words = test_support::running_text(12 + i % 9, static_cast<std::size_t>(i));
        if (i % 97 == 0)
            words += " ja%%"; // an error inside the turn
        if (i % 211 == 0)
            words = "<; a comment of the turn > " + words;
        if (i == 2000 || i == 2900) // deeper than velmar's stack: W001
            for (int w = 0; w < 5000; ++w)
                words += " a";
        std::string number = std::to_string(1000 + (i % 53 == 0 ? i - 7 : i)).substr(1);
        text += (i % 101 == 0 ? "; a comment line\n" : "") + turn(number + "_ABC", words + " .");
    }
    ASSERT_GT(text.size(), 256u * 1024);

    trl::checker c;
    check_options options;
    options.max_errors = 0;
    const std::string alone = everything(c.check(text, options));
    EXPECT_EQ(c.halves_joined_at(), 0u);
    options.threads = 2;
    EXPECT_EQ(everything(c.check(text, options)), alone);
    const std::size_t joined = c.halves_joined_at();
    EXPECT_GT(joined, text.size() / 2);
    EXPECT_LT(joined, text.size() / 2 + 2000);
    EXPECT_EQ(text.compare(joined - 2, 2, "\n\n"), 0) << "joined at " << joined;
    expect_same_reports("the long text", text, 40);
}

// Where no place after the middle is one the second parse passed in the
// same state, the first parse reads the text alone; so it does where the
// errors of both would reach the limit.
TEST(TrlCheckHalves, ReadAloneWhereTheHalvesDoNotMeet)
{
    // A comment opened in the first turn and closed in the last holds
    // every turn between: the second parse, from one of those, reads turns
    // that are not there.
    std::string text = turn("001_ABC", "ja <; open");
    for (int i = 2; i < 40; ++i)
        text += turn(std::to_string(1000 + i).substr(1) + "_ABC", "so .");
    text += turn("040_ABC", "> ja .");
    trl::checker c;
    const std::string alone = everything(c.check(text));
    EXPECT_EQ(everything(c.check_in_halves(text, {}, text.find("020_ABC") - 9)), alone);
    EXPECT_EQ(c.halves_joined_at(), 0u);

    // A comment line that the second parse begins in: to it, the "<;" of
    // the line opens a comment that holds turns up to a "> ".  The turns
    // it passes then are not the first parse's, and those after the
    // comment are.
    std::string line_first = turn("001_ABC", "ja .") + "; x <; y\n";
    for (int i = 2; i < 40; ++i)
        line_first += turn(std::to_string(1000 + i).substr(1) + "_ABC", i == 30 ? "so > ja ." : "so .");
    const std::size_t in_line = line_first.find("<; y");
    EXPECT_EQ(everything(c.check_in_halves(line_first, {}, in_line)), everything(c.check(line_first)));
    EXPECT_GT(c.halves_joined_at(), line_first.find("> ja"));

    // One error in each half, two allowed: the limit is reached in the
    // second half as one parse reaches it.
    std::string errors;
    for (int i = 1; i < 40; ++i)
        errors += turn(std::to_string(1000 + i).substr(1) + "_ABC", i == 5 || i == 30 ? "so ja%% ." : "so .");
    check_options two_errors;
    two_errors.max_errors = 2;
    const file_report expected = c.check(errors, two_errors);
    EXPECT_EQ(expected.errors, 2);
    const std::size_t middle = errors.find("020_ABC") - 9;
    EXPECT_EQ(everything(c.check_in_halves(errors, two_errors, middle)), everything(expected));
    EXPECT_EQ(c.halves_joined_at(), 0u);
    check_options three_errors;
    three_errors.max_errors = 3;
    EXPECT_EQ(everything(c.check_in_halves(errors, three_errors, middle)), everything(c.check(errors, three_errors)));
    EXPECT_NE(c.halves_joined_at(), 0u);
}

// A comment open across the middle for longer than the turns the second
// parse records each of: it records one in so many after them, and the
// first parse joins at the first of those after the comment.
TEST(TrlCheckHalves, JoinedFurtherOnAtATurnTheSecondParseRecorded)
{
    std::string text = turn("001_ABC", "ja <; open");
    for (int i = 2; i < 900; ++i)
        text += turn(std::to_string(1000 + i).substr(1) + "_ABC", i == 500 ? "so > ja ." : "so .");
    trl::checker c;
    const std::string alone = everything(c.check(text));
    EXPECT_EQ(everything(c.check_in_halves(text, {}, text.find("020_ABC") - 9)), alone);
    const std::size_t closed = text.find("> ja");
    EXPECT_GT(c.halves_joined_at(), closed);
    // No later than 64 turns after the comment (one recorded in 64).
    EXPECT_LT(c.halves_joined_at(), text.find("566_ABC"));
}

} // namespace
