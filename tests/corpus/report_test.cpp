// The HTML report read by a real browser: headless Chromium renders the
// page to a PNG and gives its DOM, whose text the test reads.  The page
// must need nothing from outside: no script, no style sheet or image
// fetched.  Its numbers, read back from the markup, are those of the
// other subcommands and of trl-check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/corpus.h"
#include "tests/support/quenda_maker.h"
#include "common/version.h"
#include "common/text.h"
#include "corpus/survey.h"
#include "language/catalogue.h"

namespace {

namespace fs = std::filesystem;
using test_support::json;
using test_support::parse_json_lines;
using test_support::read_file;
using test_support::temp_dir;
using ordered_json = nlohmann::ordered_json;

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

// Text of the markup with its references resolved (those the page uses).
std::string unescaped(std::string s)
{
    for (const auto& [entity, c] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                    {"&gt;", ">"},
                                    {"&quot;", "\""},
                                    {"&#39;", "'"},
                                    {"&middot;", "\xC2\xB7"},
                                    {"&hellip;", "\xE2\x80\xA6"},
                                    {"&amp;", "&"}})
        for (std::size_t at = 0; (at = s.find(entity, at)) != std::string::npos; at += c.size())
            s.replace(at, entity.size(), c);
    return s;
}

// The text of the markup: what is between the tags, references resolved.
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
    return unescaped(squeezed);
}

// Where npm installed axe-core and puppeteer-core (.ci/run does).
std::string node_modules()
{
    if (const char* d = std::getenv("QT_NODE_MODULES"))
        return d;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.cache/quenda-tools/node/node_modules";
}

// Two dialogs and their recordings: the turns of one out of order in its
// file (W003) and one without a recording, a silent recording that keeps
// its turn out.
struct dialogs_with_recordings {
    temp_dir dir;
    std::map<std::string, std::size_t> samples; // of each recording that pairs, by key
    dialogs_with_recordings()
    {
        dir.write("trl/g100abc1.trl", turn("g100abc1_003_ABC", "<ah> so") + turn("g100abc1_001_ABC", "ja") +
                                          turn("g100abc1_002_XYZ", "M\"uller , bitte") +
                                          turn("g100abc1_005_XYZ", "nein"));
        dir.write("trl/g200xyz2.trl", turn("g200xyz2_001_DEF", "eins") + turn("g200xyz2_002_ABC", "zwei"));
        samples = {{"g100abc1_001_ABC", 512},
                   {"g100abc1_002_XYZ", 768},
                   {"g100abc1_003_ABC", 1024},
                   {"g200xyz2_001_DEF", 1280}};
        for (const auto& [key, n] : samples)
            dir.write("audio/" + key + ".qnd", recording(n));
        dir.write("audio/g200xyz2_002_ABC.qnd", quenda_maker::version1(4, std::string(2048, '\0'), 16000));
    }
    fs::path out() const { return dir / "out"; }
    test_support::run_result report(std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args = {
            "report", (dir / "trl").string(),         "--audio", (dir / "audio").string(), "--dialogs",
            "-o",     (out() / "index.html").string()};
        args.insert(args.end(), more.begin(), more.end());
        return run_corpus(args);
    }
};

// What axe_check.cjs finds on a page.
json axe_check(const std::string& page)
{
    test_support::run_options o;
    o.env = {"NODE_PATH=" + node_modules()};
    const auto r = test_support::run("/usr/bin/node", {AXE_CHECK_SCRIPT, chromium, page}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? json::parse(r.out) : json::object();
}

// Whether node, Chromium, axe-core and puppeteer-core are there; under CI
// they must be.
#define REQUIRE_AXE_CHECK()                                                                                            \
    for (const std::string& needed : {std::string("/usr/bin/node"), std::string(chromium),                             \
                                      node_modules() + "/axe-core", node_modules() + "/puppeteer-core"})               \
        if (!fs::exists(needed)) {                                                                                     \
            if (test_support::under_ci())                                                                              \
                FAIL() << "no " << needed << " (CI=true: it must be there)";                                           \
            GTEST_SKIP() << "no " << needed;                                                                           \
        }

// axe-core finds nothing wrong with the report and the dialog pages, and
// nothing on them scrolls sideways in a window of 1280 pixels (the counts
// table has 17 columns).  Each player of a dialog page loads its recording
// and has its duration.
TEST(CorpusReport, AccessibleAndReadableAt1280Pixels)
{
    REQUIRE_AXE_CHECK();
    const temp_dir dir;
    const std::string page = (dir / "report.html").string();
    // Every part of the page: a file left out, recordings and their pairing.
    run_corpus({"report", std::string(TRL_EXAMPLES), "--audio", std::string(TRL_EXAMPLES) + "/audio", "-o", page});
    const dialogs_with_recordings c;
    ASSERT_EQ(c.report().status, 0);
    for (const fs::path& p :
         {fs::path(page), c.out() / "index.html", c.out() / "dialog/g100abc1.html", c.out() / "dialog/g200xyz2.html"}) {
        const json found = axe_check(p.string());
        EXPECT_EQ(found["violations"], json::array()) << p << found;
        EXPECT_EQ(found["sideways"], json::array()) << p << found;
        EXPECT_EQ(found["page_wider"], false) << p << found;
    }
    std::map<std::string, double> durations;
    for (const std::string name : {"g100abc1", "g200xyz2"}) {
        const json found = axe_check((c.out() / "dialog" / (name + ".html")).string());
        for (const json& a : found["audio"]) {
            EXPECT_TRUE(a["error"].is_null()) << a;
            durations[fs::path(a["src"].get<std::string>()).stem().string()] = a["duration"];
        }
    }
    ASSERT_EQ(durations.size(), c.samples.size());
    for (const auto& [key, n] : c.samples)
        EXPECT_NEAR(durations[key], n / 16000.0, 1e-6) << key;
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
           "aria-label", "tabindex", "x", "y", "text-anchor", "rx"}
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

// What a page shows, read back: its cards (key and value), its tables (by
// their header, the rows under it) and its bar charts (by caption, the
// label and value of each bar).
struct page_content {
    std::map<std::string, std::string> cards;
    std::map<std::string, std::vector<std::vector<std::string>>> tables;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> charts;
};

// Reads the report's markup: the elements whose text is a value hold no
// other element, so the text up to the next tag is theirs.
page_content read_page(std::string_view html)
{
    page_content p;
    std::string collecting; // what the text being gathered is, or nothing
    std::string gathered;
    std::string card_value, caption, label;
    std::vector<std::string> row;
    std::vector<std::vector<std::string>> table;
    const auto deliver = [&](const std::string& what, const std::string& text) {
        if (what == "v")
            card_value = text;
        else if (what == "k")
            p.cards[text] = card_value;
        else if (what == "th" || what == "td")
            row.push_back(text);
        else if (what == "figcaption")
            caption = text;
        else if (what == "label")
            label = text;
        else if (what == "value")
            p.charts[caption].emplace_back(label, text);
    };
    for (std::size_t at = 0; at < html.size();) {
        if (html[at] != '<') {
            const std::size_t next = std::min(html.find('<', at), html.size());
            if (!collecting.empty())
                gathered += html.substr(at, next - at);
            at = next;
            continue;
        }
        const std::size_t end = html.find('>', at);
        const std::string_view tag = html.substr(at + 1, end - at - 1);
        at = end + 1;
        const bool closing = tag.starts_with('/');
        const std::string_view name = tag.substr(closing, tag.find_first_of(" />", closing) - closing);
        if (name == "style" && !closing) {
            at = html.find("</style>", at);
            continue;
        }
        if (closing) {
            if (!collecting.empty())
                deliver(collecting, unescaped(gathered));
            collecting.clear();
            if (name == "tr")
                table.push_back(row);
            else if (name == "table" && !table.empty()) {
                std::string header;
                for (const std::string& h : table[0])
                    header += (header.empty() ? "" : "|") + h;
                p.tables[header].assign(table.begin() + 1, table.end());
            }
            continue;
        }
        const std::size_t class_at = tag.find("class=\"");
        const std::string_view cls = class_at == std::string_view::npos
                                         ? ""
                                         : tag.substr(class_at + 7, tag.find('"', class_at + 7) - class_at - 7);
        if (name == "tr")
            row.clear();
        else if (name == "table")
            table.clear();
        if (name == "th" || name == "td" || name == "figcaption")
            collecting = name;
        else if (cls == "v" || cls == "k" || cls == "label" || cls == "value")
            collecting = cls;
        gathered.clear();
    }
    return p;
}

// A value of a JSON record as the page writes it in a cell: numbers and
// strings as they are, a list joined by ", ".
std::string cell_of(const ordered_json& v)
{
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_array()) {
        std::string s;
        for (const ordered_json& item : v)
            s += (s.empty() ? "" : ", ") + cell_of(item);
        return s;
    }
    return v.dump();
}

// The numbers on the page of a corpus of many files (the examples with
// their recordings and the acceptance cases) are those that stats, pair,
// words and trl-check give for it: the cards, every row of the counts, the
// speakers' charts, the most frequent words and tags, the files left out
// with their first errors and the errors by code, and the pairing problems.
TEST(CorpusReport, TheNumbersAreThoseOfTheOtherCommands)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    const temp_dir dir;
    const std::string examples = TRL_EXAMPLES;
    const std::string audio = examples + "/audio";
    const std::string html = (dir / "report.html").string();
    const auto report = run_corpus({"report", examples, cases.string(), "--audio", audio, "-o", html});
    ASSERT_EQ(report.status, 1) << report.err;
    const page_content page = read_page(read_file(html));
    const auto records = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--format=json", examples, cases.string()});
        return parse_json_lines<ordered_json>(run_corpus(args).out);
    };
    const auto of_type = [](const std::vector<ordered_json>& all, std::string_view type) {
        std::vector<ordered_json> found;
        for (const ordered_json& j : all)
            if (j["type"] == type)
                found.push_back(j);
        return found;
    };
    const std::vector<ordered_json> stats_out = records({"stats", "--audio", audio});
    const std::vector<ordered_json> stats = of_type(stats_out, "stats");
    const std::vector<ordered_json> left_out = of_type(stats_out, "left_out");
    ASSERT_GT(stats.size(), 100u);
    ASSERT_GT(left_out.size(), 100u);

    // The counts: a row for each record of stats, its cells in the order of
    // the record's fields, under the same headers.
    std::vector<std::string> header;
    for (const auto& [name, value] : stats[0].items()) {
        if (name == "type")
            continue;
        std::string shown = name;
        for (const corpus::tally_column& c : corpus::tally_columns)
            if (c.name == name)
                shown = c.header;
        header.push_back(shown);
    }
    std::string header_key;
    for (const std::string& h : header)
        header_key += (header_key.empty() ? "" : "|") + h;
    ASSERT_EQ(page.tables.count(header_key), 1u) << header_key;
    const auto& counts = page.tables.at(header_key);
    ASSERT_EQ(counts.size(), stats.size());
    std::map<std::string, long> parts;
    for (std::size_t i = 0; i < stats.size(); ++i) {
        std::vector<std::string> cells;
        for (const auto& [name, value] : stats[i].items())
            if (name != "type")
                cells.push_back(cell_of(value));
        EXPECT_EQ(counts[i], cells) << i;
        ++parts[stats[i]["part"]];
    }

    // The cards.
    const ordered_json& corpus = stats[0];
    ASSERT_EQ(corpus["part"], "corpus");
    long files = 0;
    for (const std::string& folder : {examples, cases.string()})
        files += static_cast<long>(test_support::case_files(folder).size());
    const ordered_json pairing = of_type(records({"pair", "--audio", audio}), "summary").at(0);
    const std::map<std::string, std::string> cards = {
        {"files read", std::to_string(files - static_cast<long>(left_out.size()))},
        {"files with errors, left out", std::to_string(left_out.size())},
        {"turns", cell_of(corpus["turns"])},
        {"words", cell_of(corpus["words"])},
        {"distinct words", cell_of(corpus["distinct"])},
        {"dialogs", std::to_string(parts["dialog"])},
        {"speakers", std::to_string(parts["speaker"])},
        {"recordings", cell_of(corpus["recordings"])},
        {"recorded", cell_of(corpus["seconds"]) + " s"},
        {"turns paired", cell_of(pairing["paired"])},
        {"pairing problems", cell_of(pairing["problems"])},
    };
    EXPECT_EQ(page.cards, cards);

    // The speakers' charts: a bar for each speaker, in the order of the rows.
    std::vector<std::pair<std::string, std::string>> turns, words;
    std::vector<std::pair<std::string, double>> minutes;
    for (const ordered_json& r : stats)
        if (r["part"] == "speaker") {
            turns.emplace_back(r["name"], cell_of(r["turns"]));
            words.emplace_back(r["name"], cell_of(r["words"]));
            minutes.emplace_back(r["name"], r["seconds"].get<double>() / 60);
        }
    EXPECT_EQ(page.charts.at("Turns per speaker"), turns);
    EXPECT_EQ(page.charts.at("Words per speaker"), words);
    const auto& shown_minutes = page.charts.at("Recorded minutes per speaker");
    ASSERT_EQ(shown_minutes.size(), minutes.size());
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        EXPECT_EQ(shown_minutes[i].first, minutes[i].first);
        EXPECT_NEAR(std::stod(shown_minutes[i].second), minutes[i].second, 0.0005) << minutes[i].first;
    }

    // The 30 most frequent words and tags, as words lists them.
    const auto first_30 = [&](std::vector<std::string> args, auto label) {
        std::vector<std::pair<std::string, std::string>> bars;
        for (const ordered_json& w : records(std::move(args)))
            if (bars.size() < 30 && w["type"] != "left_out")
                bars.emplace_back(label(w), cell_of(w["count"]));
        return bars;
    };
    EXPECT_EQ(page.charts.at("The 30 most frequent words"),
              first_30({"words", "--form=utf8"}, [](const ordered_json& w) { return cell_of(w["word"]); }));
    EXPECT_EQ(page.charts.at("The tags, most frequent first"),
              first_30({"words", "--kinds=hesitation,speaker-noise,technical-noise,breathing,event,pause,silence"},
                       [](const ordered_json& w) { return cell_of(w["tag"]) + " (" + cell_of(w["kind"]) + ")"; }));

    // The files left out, with their first errors, shown by the escaping
    // rule.
    std::vector<std::vector<std::string>> first_errors;
    for (const ordered_json& f : left_out)
        first_errors.push_back({text::printable(f["file"].get<std::string>()),
                                cell_of(f["line"]) + ":" + cell_of(f["column"]), f["code"],
                                text::printable(f["message"].get<std::string>())});
    const auto& shown_errors = page.tables.at("file|line:column|code|first error");
    ASSERT_EQ(shown_errors.size(), first_errors.size());
    for (std::size_t i = 0; i < first_errors.size(); ++i)
        ASSERT_EQ(shown_errors[i], first_errors[i]) << i;

    // Their errors by code, as trl-check finds them in each (the warnings
    // it gives about another file aside).
    std::map<std::string, std::vector<json>> diagnostics;
    for (const json& d :
         parse_json_lines(test_support::run(TRL_CHECK_PATH, {"--format=json", "-j1", examples, cases.string()}).out))
        if (d["type"] == "diagnostic")
            diagnostics[d["file"]].push_back(d);
    std::map<std::string, long> codes;
    for (const ordered_json& f : left_out)
        for (const json& d : diagnostics[f["file"]])
            if (d["related"].is_null() || d["related"]["file"] == d["file"])
                ++codes[d["code"]];
    std::vector<std::vector<std::string>> by_code;
    for (const auto& [code, n] : codes)
        by_code.push_back({code, trl::find_code(code)->title, std::to_string(n)});
    EXPECT_EQ(page.tables.at("code|what|count"), by_code);

    // The pairing problems: counted by kind, and the first 200 as pair
    // lists them.
    const std::vector<ordered_json> problems = of_type(records({"pair", "--audio", audio}), "problem");
    const std::vector<std::string> problem_lines = [&] {
        std::vector<std::string> lines;
        std::istringstream text(run_corpus({"pair", "--audio", audio, examples, cases.string()}).out);
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }();
    ASSERT_GT(problems.size(), 200u);
    ASSERT_GT(problem_lines.size(), problems.size()); // and the summary
    std::map<std::string, std::string> kinds;
    std::vector<std::vector<std::string>> first_problems;
    for (std::size_t i = 0; i < problems.size(); ++i) {
        const std::string kind = problems[i]["problem"];
        kinds[kind] = std::to_string(kinds.count(kind) ? std::stol(kinds[kind]) + 1 : 1);
        if (i < 200)
            first_problems.push_back({kind, problems[i]["key"], problem_lines[i]});
    }
    std::map<std::string, std::string> shown_kinds;
    for (const auto& r : page.tables.at("problem|count"))
        shown_kinds[r.at(0)] = r.at(1);
    EXPECT_EQ(shown_kinds, kinds);
    EXPECT_EQ(page.tables.at("problem|key|what quenda-corpus pair says"), first_problems);
    EXPECT_NE(read_file(html).find("&hellip; and " + std::to_string(problems.size() - 200) + " more"),
              std::string::npos);

    // The warnings of the corpus's consistency (W002-W005): those that
    // trl-check gives for the files read, as one run of them (a file left
    // out takes no part), counted by code; the first 200 listed.
    std::set<std::string> left_out_files;
    for (const ordered_json& f : left_out)
        left_out_files.insert(f["file"].get<std::string>());
    std::vector<std::string> check_args = {"--format=json", "-j1"};
    for (const std::string& folder : {examples, cases.string()}) {
        for (const fs::path& file : test_support::case_files(folder)) {
            const std::string path = folder + "/" + file.filename().string();
            if (!left_out_files.contains(path))
                check_args.push_back(path);
        }
    }
    std::multiset<std::vector<std::string>> warnings;
    std::map<std::string, long> warning_codes;
    for (const json& d : parse_json_lines(test_support::run(TRL_CHECK_PATH, check_args).out))
        if (d["type"] == "diagnostic" && d["severity"] == "warning" && d["code"] != "W001") {
            warnings.insert({text::printable(d["file"].get<std::string>()),
                             std::to_string(d["line"].get<long>()) + ":" + std::to_string(d["column"].get<long>()),
                             d["code"], text::printable(d["message"].get<std::string>())});
            ++warning_codes[d["code"]];
        }
    ASSERT_GT(warnings.size(), 200u);
    std::vector<std::pair<std::string, std::string>> warning_bars;
    for (const auto& [code, n] : warning_codes)
        warning_bars.emplace_back(code + " " + trl::find_code(code)->title, std::to_string(n));
    EXPECT_EQ(page.charts.at("Warnings by code"), warning_bars);
    const auto& shown_warnings = page.tables.at("file|line:column|code|warning");
    EXPECT_EQ(shown_warnings.size(), 200u);
    for (const std::vector<std::string>& w : shown_warnings) {
        const auto it = warnings.find(w);
        ASSERT_NE(it, warnings.end()) << w[0] << " " << w[1] << " " << w[3];
        warnings.erase(it);
    }
}

// The relative links and sources of a page's markup (href=, src=).
std::vector<std::string> links_of(const std::string& html)
{
    std::vector<std::string> links;
    for (const std::string attribute : {" href=\"", " src=\""})
        for (std::size_t at = 0; (at = html.find(attribute, at)) != std::string::npos;) {
            at += attribute.size();
            links.push_back(unescaped(html.substr(at, html.find('"', at) - at)));
        }
    return links;
}

// With --dialogs the folder holds a page for each dialog, linked from the
// report, and the recording of each paired turn beside it, as quenda2wav
// converts it: nothing else, and nothing the pages name is outside it.  A
// page's turns are in turn order with the words and durations that the
// export gives them, and what pair and trl-check find at them.
TEST(CorpusReport, DialogPagesHoldTheirTurnsAndRecordings)
{
    const dialogs_with_recordings c;
    const auto r = c.report();
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> files;
    for (const auto& [name, bytes] : contents(c.out()))
        files.push_back(name);
    std::vector<std::string> expected = {"dialog/",          "dialog/g100abc1.html",
                                         "dialog/g100abc1/", "dialog/g200xyz2.html",
                                         "dialog/g200xyz2/", "index.html"};
    for (const auto& [key, n] : c.samples)
        expected.push_back("dialog/" + key.substr(0, 8) + "/" + key + ".wav");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    for (const auto& [key, n] : c.samples) {
        const std::string wav = (c.dir / (key + ".wav")).string();
        ASSERT_EQ(test_support::run(QUENDA2WAV_PATH,
                                    {"quendafile=" + (c.dir / "audio" / (key + ".qnd")).string(), "wavfile=" + wav})
                      .status,
                  0);
        EXPECT_EQ(read_file(c.out() / "dialog" / key.substr(0, 8) / (key + ".wav")), read_file(wav)) << key;
    }
    for (const auto& [name, bytes] : contents(c.out())) {
        if (!name.ends_with(".html"))
            continue;
        const fs::path folder = (c.out() / name).parent_path();
        for (const std::string& link : links_of(bytes)) {
            const fs::path target = (folder / link).lexically_normal();
            EXPECT_TRUE(fs::is_regular_file(target)) << name << ": " << link;
            EXPECT_TRUE(target.string().starts_with(c.out().string() + "/")) << name << ": " << link;
        }
    }
    const std::vector<std::string> report_links = links_of(read_file(c.out() / "index.html"));
    EXPECT_EQ(report_links, (std::vector<std::string>{"dialog/g100abc1.html", "dialog/g200xyz2.html"}));

    // The export's words (with the tags heard) and durations of the paired
    // turns; pair's lines of the others.
    const fs::path exported = c.dir / "export";
    ASSERT_EQ(run_corpus({"export", "--to=jsonl", "--tags=keep", "--no-write-wav", "--keep-going", exported.string(),
                          (c.dir / "trl").string(), "--audio", (c.dir / "audio").string()})
                  .status,
              0);
    std::map<std::string, std::pair<std::string, std::string>> spoken; // key: words, duration
    for (const json& u : parse_json_lines(read_file(exported / "manifest.jsonl")))
        spoken[fs::path(u["audio_filepath"].get<std::string>()).stem().string()] = {u["text"],
                                                                                    u["duration"].dump() + " s"};
    const std::string pair_says =
        run_corpus({"pair", (c.dir / "trl").string(), "--audio", (c.dir / "audio").string()}).out;
    const auto pair_line = [&](const std::string& key) {
        const std::size_t at = pair_says.find(key);
        const std::size_t begin = pair_says.rfind('\n', at) + 1;
        return unescaped(pair_says.substr(begin, pair_says.find('\n', at) - begin));
    };
    const struct {
        std::string dialog;
        std::vector<std::vector<std::string>> rows; // turn, speaker, key, words when unpaired, what is found
    } pages[] = {
        {"g100abc1",
         {{"001", "ABC", "g100abc1_001_ABC", "", ""},
          {"002", "XYZ", "g100abc1_002_XYZ", "", ""},
          {"003", "ABC", "g100abc1_003_ABC", "", "W003 turn numbers not increasing"},
          {"005", "XYZ", "g100abc1_005_XYZ", "nein", "turn without recording"}}},
        {"g200xyz2",
         {{"001", "DEF", "g200xyz2_001_DEF", "", ""}, {"002", "ABC", "g200xyz2_002_ABC", "zwei", "silent"}}},
    };
    for (const auto& pg : pages) {
        const std::string html = read_file(c.out() / "dialog" / (pg.dialog + ".html"));
        const page_content read = read_page(html);
        const auto& shown = read.tables.at("turn|speaker|words|duration|recording|found");
        ASSERT_EQ(shown.size(), pg.rows.size()) << pg.dialog;
        const auto paired = std::count_if(pg.rows.begin(), pg.rows.end(),
                                          [&](const std::vector<std::string>& row) { return spoken.contains(row[2]); });
        EXPECT_NE(html.find(">" + std::to_string(paired) + " of " + std::to_string(pg.rows.size()) + " paired<"),
                  std::string::npos);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const std::vector<std::string>& want = pg.rows[i];
            const std::string& key = want[2];
            SCOPED_TRACE(key);
            ASSERT_EQ(shown[i].size(), 6u);
            EXPECT_EQ(shown[i].at(0), want[0]);
            EXPECT_EQ(shown[i].at(1), want[1]);
            if (spoken.contains(key)) {
                EXPECT_EQ(shown[i].at(2), spoken[key].first);
                EXPECT_EQ(shown[i].at(3), spoken[key].second);
                EXPECT_NE(html.find("src=\"" + pg.dialog + "/" + key + ".wav\""), std::string::npos);
            } else {
                EXPECT_EQ(shown[i].at(2), want[3]);
                EXPECT_EQ(shown[i].at(3), "");
                EXPECT_NE(shown[i].at(5).find(pair_line(key)), std::string::npos) << shown[i].at(5) << "\n"
                                                                                  << pair_says;
            }
            EXPECT_NE(shown[i].at(5).find(want[4]), std::string::npos) << shown[i].at(5);
            EXPECT_EQ(shown[i].at(5).empty(), want[4].empty()) << shown[i].at(5);
        }
    }

    // The report's chart of durations: each speaker's median of the
    // exported durations and their count.
    std::map<std::string, std::vector<double>> by_speaker;
    for (const json& u : parse_json_lines(read_file(exported / "manifest.jsonl")))
        by_speaker[u["speaker"]].push_back(u["duration"]);
    std::vector<std::pair<std::string, std::string>> medians;
    for (auto& [speaker, d] : by_speaker) {
        std::sort(d.begin(), d.end());
        const double m = d.size() % 2 ? d[d.size() / 2] : (d[d.size() / 2 - 1] + d[d.size() / 2]) / 2;
        char shown[64];
        std::snprintf(shown, sizeof shown, "median %.3g s of %zu", m, d.size());
        medians.emplace_back(speaker, shown);
    }
    EXPECT_EQ(read_page(read_file(c.out() / "index.html")).charts.at("Turn durations per speaker (paired turns)"),
              medians);
}

// A folder that cannot take the pages leaves the report before them as it
// was, and nothing else.
TEST(CorpusReport, DialogPagesWrittenWithTheReportOrNotAtAll)
{
    const dialogs_with_recordings c;
    c.dir.write("out/index.html", "the old page\n");
    c.dir.write("out/dialog", "a file where the folder of the pages goes\n");
    const auto r = c.report();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
    EXPECT_EQ(contents(c.out()),
              (std::map<std::string, std::string>{{"dialog", "a file where the folder of the pages goes\n"},
                                                  {"index.html", "the old page\n"}}));
}

} // namespace
