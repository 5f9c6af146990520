// The reader as it runs, by the parser generator's code that takes the
// letters of a word as runs, against the same reading by the engine's loop
// over the tables: the same turns, element for element, and the same
// result, on every acceptance case and on long running texts, whole and in
// parts, stopping at the first error and reading on after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "language/reader.h"
#include "tests/support/acceptance.h"
#include "tests/support/process.h"
#include "tests/support/running_text.h"

namespace {

// Every field of every turn read, one line an element, and the result.
template <class Read> std::string everything(Read read, std::string_view text, const trl::read_options& options)
{
    std::ostringstream os;
    const auto piece = [&](const trl::turn& t, trl::piece p) { return '"' + std::string(t.text(p)) + "\" "; };
    const trl::read_result r = read(
        text,
        [&](const trl::turn& t) {
            os << "turn " << t.id.text() << ' ' << t.begin << '-' << t.end << ' ' << t.identification_end << ' '
               << t.complete << " part " << t.part << ' ' << t.last_part << '\n';
            for (const trl::element& e : t.elements)
                os << "  " << trl::kind_name(e.what) << ' ' << e.begin << '-' << e.end << " in " << e.parent << ' '
                   << piece(t, e.letters) << piece(t, e.echo) << piece(t, e.tag) << piece(t, e.init_mark)
                   << piece(t, e.final_mark) << piece(t, e.language) << piece(t, e.speaker_mark) << e.spelled << '\n';
        },
        options);
    os << "turns " << r.turns << " errors " << r.errors;
    if (r.first_error)
        os << " first " << r.first_error->offset << '+' << r.first_error->length << " line "
           << r.first_error->velmar_line;
    return os.str();
}

// The two readings of `text` alike with each of the options; false at the
// first difference, which is reported.
bool expect_same_readings(const std::string& name, std::string_view text)
{
    trl::reader runs;
    trl::reader tables;
    for (const bool recover : {false, true})
        for (const std::size_t per_part : {std::size_t{0}, std::size_t{3}}) {
            trl::read_options options;
            options.recover = recover;
            options.elements_per_part = per_part;
            const std::string fused = everything([&](auto&&... a) { return runs.read(a...); }, text, options);
            const std::string looped =
                everything([&](auto&&... a) { return tables.read_over_tables(a...); }, text, options);
            EXPECT_EQ(fused, looped) << name << ", recover " << recover << ", parts of " << per_part;
            if (fused != looped)
                return false;
        }
    return true;
}

TEST(ReaderRuns, SameReadingAsTheTablesOnEveryAcceptanceCase)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    int texts = 0;
    for (const std::filesystem::path& file : test_support::case_files(cases)) {
        ++texts;
        if (!expect_same_readings(file.filename().string(), test_support::read_file(file)))
            return;
    }
    EXPECT_GT(texts, 1000);
}

// Turns of every construct, words of every length among them, and an
// error in some, at the end of a word's letters or inside them.
TEST(ReaderRuns, SameReadingAsTheTablesOnLongTexts)
{
    std::string text;
    for (int i = 1; i <= 300; ++i) {
        std::string words = test_support::running_text(5 + i % 17, static_cast<std::size_t>(i));
        words += ' ' + std::string(static_cast<std::size_t>(i % 40 + 1), i % 2 ? 'a' : 'Z');
        if (i % 23 == 0)
            words += "%%";
        if (i % 29 == 0)
            words += " so\"";
        text += "g071ach1_" + std::to_string(1000 + i).substr(1) + "_ABC_004711: " + words + " .\n\n";
    }
    const trl::document d = trl::read_document(text);
    ASSERT_GT(d.turns.size(), 10u); // the texts hold what they are meant to
    expect_same_readings("the long text", text);
}

} // namespace
