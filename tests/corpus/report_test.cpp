// The HTML report read by a real browser: headless Chromium renders the
// page to a PNG and gives its DOM, whose text the test reads.  The page
// must need nothing from outside: no script, no style sheet or image
// fetched.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "acceptance.h"
#include "process.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;

constexpr const char* chromium = "/usr/bin/chromium";

// Chromium without a profile, updates or network of its own.
test_support::run_result run_chromium(const temp_dir& dir, std::vector<std::string> args)
{
    std::vector<std::string> all = {"--headless",
                                    "--no-sandbox",
                                    "--disable-gpu",
                                    "--disable-quic",
                                    "--no-first-run",
                                    "--disable-background-networking",
                                    "--disable-component-update",
                                    "--disable-sync",
                                    "--user-data-dir=" + (dir / "profile").string()};
    all.insert(all.end(), args.begin(), args.end());
    test_support::run_options o;
    o.timeout_seconds = 120;
    return test_support::run(chromium, all, o);
}

// The text of the markup: what is between the tags, entities as they are.
std::string text_of(const std::string& dom)
{
    std::string t;
    bool in_tag = false;
    for (const char c : dom) {
        if (c == '<')
            in_tag = true;
        else if (c == '>') {
            in_tag = false;
            t += ' ';
        } else if (!in_tag)
            t += c;
    }
    std::string squeezed;
    for (const char c : t)
        if (!(c == ' ' || c == '\n') || (!squeezed.empty() && squeezed.back() != ' '))
            squeezed += c == '\n' ? ' ' : c;
    for (const auto& [entity, c] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                    {"&#39;", "'"}, {"&amp;", "&"}})
        for (std::size_t at; (at = squeezed.find(entity)) != std::string::npos;)
            squeezed.replace(at, entity.size(), c);
    return squeezed;
}

TEST(CorpusReport, ReadInABrowser)
{
    const temp_dir dir;
    const std::string page = (dir / "report.html").string();
    const auto r = run_corpus({"report", std::string(TRL_EXAMPLES) + "/dialog.trl",
                               std::string(TRL_EXAMPLES) + "/errors.trl", "--audio",
                               std::string(TRL_EXAMPLES) + "/audio", "-o", page});
    EXPECT_EQ(r.status, 1);   // errors.trl is left out
    const std::string html = read_file(page);
    ASSERT_TRUE(html.starts_with("<!DOCTYPE html>"));
    // Self-contained: nothing to run, nothing to fetch.
    for (const char* outside : {"<script", "<link", "<img", "<iframe", "src=", "href=", "url(", "@import"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_EQ(html.find("http"), html.find("http://www.w3.org/2000/svg"));   // the SVG namespace alone

    if (!fs::exists(chromium)) {
        if (test_support::under_ci())
            FAIL() << "no " << chromium << " (CI=true: it must be there)";
        GTEST_SKIP() << "no " << chromium;
    }
    const std::string url = "file://" + page;
    const auto dom = run_chromium(dir, {"--dump-dom", url});
    ASSERT_EQ(dom.status, 0) << dom.err;
    const std::string text = text_of(dom.out);
    // The numbers of the example: 6 turns of 2 speakers, 40 words, 5 of the
    // 6 recordings paired (turn 6 has none; g071ach1_007_ABC no turn).
    for (const char* shown : {"Corpus report", "1 file read", "1 file with errors, left out", "6 turns", "40 words",
                              "35 distinct words", "2 speakers", "6 recordings", "2.016 s recorded", "5 turns paired",
                              "2 pairing problems", "ABC 0.014", "Turns per speaker", "Words per speaker",
                              "Recorded minutes per speaker", "The 30 most frequent words", "M\xC3\xBCller 2",
                              "<P> (pause) 3", "speaker ABC 3 22 21", "T009", "missing blank", "T002",
                              "turn-without-recording g071ach1_006_XYZ", "recording-without-turn g071ach1_007_ABC"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
    // Rendered: a PNG of the window's size, and more than a blank page.
    const std::string png = (dir / "report.png").string();
    const auto shot = run_chromium(dir, {"--screenshot=" + png, "--window-size=1200,1800", "--hide-scrollbars", url});
    ASSERT_EQ(shot.status, 0) << shot.err;
    const std::string image = read_file(png);
    ASSERT_GT(image.size(), 24u);
    EXPECT_EQ(image.substr(1, 3), "PNG");
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(image[at]) << 24) | (static_cast<unsigned char>(image[at + 1]) << 16) |
               (static_cast<unsigned char>(image[at + 2]) << 8) | static_cast<unsigned char>(image[at + 3]);
    };
    EXPECT_EQ(be32(16), 1200u);
    EXPECT_EQ(be32(20), 1800u);
    EXPECT_GT(image.size(), 40000u);
    if (const char* keep = std::getenv("QUENDA_REPORT_PNG"))   // to look at it
        fs::copy_file(png, keep, fs::copy_options::overwrite_existing);
}

} // namespace
