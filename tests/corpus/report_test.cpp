// The HTML report read by a real browser: headless Chromium renders the
// page to a PNG and gives its DOM, whose text the test reads.  The page
// must need nothing from outside: no script, no style sheet or image
// fetched.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "tests/support/process.h"
#include "tests/support/corpus.h"
#include "common/version.h"

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
    for (const auto& [entity, c] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                    {"&gt;", ">"},
                                    {"&quot;", "\""},
                                    {"&#39;", "'"},
                                    {"&amp;", "&"}})
        for (std::size_t at; (at = squeezed.find(entity)) != std::string::npos;)
            squeezed.replace(at, entity.size(), c);
    return squeezed;
}

TEST(CorpusReport, ReadInABrowser)
{
    const temp_dir dir;
    const std::string page = (dir / "report.html").string();
    const auto r =
        run_corpus({"report", std::string(TRL_EXAMPLES) + "/dialog.trl", std::string(TRL_EXAMPLES) + "/errors.trl",
                    "--audio", std::string(TRL_EXAMPLES) + "/audio", "-o", page});
    EXPECT_EQ(r.status, 1); // errors.trl is left out
    const std::string html = read_file(page);
    ASSERT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find(" &middot; quenda-corpus " QUENDA_TOOLS_VERSION "</p>"), std::string::npos);
    // Self-contained: nothing to run, nothing to fetch.
    for (const char* outside : {"<script", "<link", "<img", "<iframe", "src=", "href=", "url(", "@import"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_EQ(html.find("http"), html.find("http://www.w3.org/2000/svg")); // the SVG namespace alone

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
    for (const char* shown : {"Corpus report",
                              "1 file read",
                              "1 file with errors, left out",
                              "6 turns",
                              "40 words",
                              "35 distinct words",
                              "2 speakers",
                              "6 recordings",
                              "2.016 s recorded",
                              "5 turns paired",
                              "2 pairing problems",
                              "ABC 0.014",
                              "Turns per speaker",
                              "Words per speaker",
                              "Recorded minutes per speaker",
                              "The 30 most frequent words",
                              "M\xC3\xBCller 2",
                              "<P> (pause) 3",
                              "speaker ABC 3 22 21",
                              "T009",
                              "missing blank",
                              "T002",
                              "turn-without-recording g071ach1_006_XYZ",
                              "recording-without-turn g071ach1_007_ABC"})
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
    if (const char* keep = std::getenv("QUENDA_REPORT_PNG")) // to look at it
        fs::copy_file(png, keep, fs::copy_options::overwrite_existing);
}

// Reads a page with Python's HTML parser: the attributes each element may
// have, no quote or angle bracket unescaped in the text (outside the
// style), and the text with its references resolved after a line "--".
constexpr const char* html_checker = R"(
import html, html.parser, sys
allowed = {"lang", "charset", "name", "content", "class", "xmlns", "role", "width", "height", "viewbox",
           "aria-label", "x", "y", "text-anchor", "rx"}
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=False)
        self.in_style = False
        self.text = []
    def handle_starttag(self, tag, attrs):
        self.in_style = tag == "style"
        for name, value in attrs:
            if name not in allowed or value is None:
                print("attribute %r=%r in <%s>" % (name, value, tag))
    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        self.in_style = False
    def handle_endtag(self, tag):
        self.in_style = False
    def handle_data(self, data):
        if self.in_style:
            return
        for c in "\"'<>":
            if c in data:
                print("%r unescaped in %r" % (c, data[:80]))
        self.text.append(data)
    def handle_entityref(self, name):
        self.text.append(html.unescape("&%s;" % name))
    def handle_charref(self, name):
        self.text.append(html.unescape("&#%s;" % name))
page = Page()
page.feed(open(sys.argv[1], encoding="utf-8").read())
page.close()
print("--")
print(" ".join("".join(page.text).split()))
)";

// Names and texts with quotes and markup (a folder, a file with errors,
// a hesitation tag written with a quote) are escaped everywhere on the
// page: an HTML parser finds only the page's own attributes and markup,
// and reads the names back as they are.
TEST(CorpusReport, NamesAndTextsAreEscaped)
{
    constexpr const char* python = "/usr/bin/python3";
    if (!fs::exists(python)) {
        if (test_support::under_ci())
            FAIL() << "no " << python << " (CI=true: it must be there)";
        GTEST_SKIP() << "no " << python;
    }
    const temp_dir dir;
    const std::string folder = "it's <b>\"bold\" & 'more'";
    dir.write(folder + "/a.trl",
              read_file(std::string(TRL_EXAMPLES) + "/dialog.trl") + "g071ach1_009_X\"Y_004711: ja .\n\n");
    dir.write(folder + "/b.trl", "g071ach1_010_XYZ_004711: <\"ah> \"Ahnlich , <\"ahm> so .\n\n");
    dir.write(folder + "/bad \"one\" 'x' <i>.trl", read_file(std::string(TRL_EXAMPLES) + "/errors.trl"));
    const std::string page = (dir / "report.html").string();
    const auto r = run_corpus({"report", (dir / folder).string(), "-o", page});
    EXPECT_EQ(r.status, 1) << r.err; // a.trl has an error (a quote in the speaker code); bad ... .trl four
    const auto checked = test_support::run(python, {"-c", html_checker, page});
    ASSERT_EQ(checked.status, 0) << checked.err;
    const std::size_t rule = checked.out.find("--\n");
    ASSERT_NE(rule, std::string::npos) << checked.out;
    EXPECT_EQ(checked.out.substr(0, rule), ""); // nothing out of place
    const std::string text = checked.out.substr(rule + 3);
    for (const std::string& shown :
         {folder, folder + "/bad \"one\" 'x' <i>.trl", folder + "/a.trl", std::string("<\"ah> (hesitation)"),
          std::string("<\"ahm> (hesitation)"), std::string("\xC3\x84hnlich")})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
}

// A page that cannot be written whole leaves the page before it as it
// was, and no temporary file.
TEST(CorpusReport, AFailedWriteKeepsTheOldPage)
{
    const temp_dir dir;
    const std::string page = dir.write("report.html", "the old page\n");
    test_support::run_options limited;
    limited.file_limit = 4096; // less than a page
    const auto r = run_corpus({"report", std::string(TRL_EXAMPLES) + "/dialog.trl", "-o", page}, limited);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quenda-corpus: " + page + ": File too large\n");
    EXPECT_EQ(read_file(page), "the old page\n");
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir.path()))
        files.push_back(e.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"report.html"});
}

} // namespace
