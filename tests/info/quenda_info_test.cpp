// quenda-info run on hand-laid files: the text view and the JSON lines (read
// back by a strict parser) against data files, the texts alone, files that
// are no Quenda files, usage errors and output that cannot be written.
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"
#include "common/version.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace quenda_maker;
using test_support::json;
using test_support::read_file;
using test_support::run_result;

// Version 1 with every carried field set, 300 of 768 announced samples (a
// block missing), an odd byte and no usable rate.
std::string v1_file()
{
    std::string b = fixed_header(3, 1, 1, 0);
    for (const auto& [offset, v, n] : {std::tuple{at::swdh, -3, 2},
                                       {at::ifld1, 1, 4},
                                       {at::ifld1 + 4, -2, 4},
                                       {at::ifld1 + 8, 3, 4},
                                       {at::flagtype, 7, 4},
                                       {at::flaginit, -1, 4},
                                       {at::day, 24, 1},
                                       {at::month, 12, 1},
                                       {at::year, 1996, 2},
                                       {at::adc_bits, 12, 2},
                                       {at::words, 5, 2},
                                       {at::wdh, -300, 2},
                                       {at::abs_ampl, 32767, 2}})
        put(b, offset, v, n);
    for (const auto& [offset, s] : {std::pair{at::sprk, "DE"},
                                    {at::kenn1, "k1"},
                                    {at::kenn4, "k4"},
                                    {at::ifl, "speaker.ifl"},
                                    {at::sex, "m"},
                                    {at::not_usedb, "nb"}})
        put_text(b, offset, s);
    return b + sample_data(300) + "\x7f";
}

// Version 2 with a Latin-1 orthographic text holding a tab, the announced
// 256 samples at 22050 Hz.
std::string v2_file()
{
    std::string b = fixed_header(1, 2, 2, 22050);
    put_text(b, at::sprk, "de");
    put_text(b, at::sex, "f");
    return b +
           dynamic_part("Gr\xfc\xdf"
                        "e\tdort",
                        "g r y: s @", 2) +
           sample_data(256);
}

// The program run as "quenda-info" in a temporary folder that holds the
// two hand-laid files and the bundled example.
class QuendaInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        write("v1.qnd", v1_file());
        write("v2.qnd", v2_file());
        write("dialog.qnd", read_file(EXAMPLES_DIR "/dialog.qnd"));
    }
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& bytes) const { dir_.write(name, bytes); }

    // Standard output: captured, or as run_options::out_to says.
    run_result info(const std::vector<std::string>& args, const std::string& stdout_to = "") const
    {
        test_support::run_options o;
        o.cwd = dir_.path();
        o.argv0 = "quenda-info";
        o.out_to = stdout_to;
        o.timeout_seconds = 60; // a program waiting on a FIFO fails the test instead of stalling it
        return test_support::run(QUENDA_INFO_PATH, args, o);
    }

    test_support::temp_dir dir_;
};

TEST_F(QuendaInfo, TextViewShowsDumpTextsAndChecks)
{
    const run_result r = info({"v1.qnd", "v2.qnd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, read_file(INFO_DATA_DIR "/text.expected"));
}

TEST_F(QuendaInfo, JsonLinesReadBackAsExpected)
{
    const run_result r = info({"--format", "json", "v1.qnd", "v2.qnd", "dialog.qnd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(info({"v1.qnd", "--format=json", "v2.qnd", "dialog.qnd"}).out, r.out);
    std::istringstream got(r.out);
    std::istringstream want(read_file(INFO_DATA_DIR "/json.expected"));
    std::string line;
    std::string expected;
    int objects = 0;
    while (std::getline(want, expected)) {
        ASSERT_TRUE(std::getline(got, line)) << "missing: " << expected;
        EXPECT_TRUE(json::parse(line) == json::parse(expected)) << line;
        ++objects;
    }
    EXPECT_FALSE(std::getline(got, line)) << "more output: " << line;
    EXPECT_EQ(objects, 3);
}

TEST_F(QuendaInfo, FileNamesInJsonAreUtf8)
{
    // Bytes that are no well-formed UTF-8 (a Latin-1 letter, a surrogate's
    // encoding) as \xHH inside the string; the parser refuses invalid UTF-8.
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xc3\xa9.qnd", "caf\xc3\xa9.qnd"},
        {"caf\xe9.qnd", "caf\\xE9.qnd"},
        {"\xed\xa0\x80.qnd", "\\xED\\xA0\\x80.qnd"},
    };
    for (const auto& [name, shown] : cases) {
        write(name, v2_file());
        const std::string missing = "no-" + name;
        const auto lines = test_support::parse_json_lines(info({"--format=json", name, missing}).out);
        ASSERT_EQ(lines.size(), 2u) << shown;
        EXPECT_EQ(lines[0]["file"], shown);
        EXPECT_EQ(lines[1],
                  (json{{"type", "file_error"}, {"file", "no-" + shown}, {"message", "No such file or directory"}}));
    }
}

TEST_F(QuendaInfo, TextsAloneOneLinePerFile)
{
    EXPECT_EQ(info({"--text=ort", "v2.qnd", "v1.qnd"}).out, "v2.qnd\tGr\xc3\xbc\xc3\x9f"
                                                            "e\\tdort\nv1.qnd\t\n");
    EXPECT_EQ(info({"--format=json", "--text", "kan", "v2.qnd"}).out, "v2.qnd\tg r y: s @\n");
}

// Whatever bytes the header, the texts and the file name hold, each stays on
// its line, escaped, in the text view and in the texts alone; JSON keeps them.
TEST_F(QuendaInfo, ControlBytesAreShownEscaped)
{
    std::string b = fixed_header(0, 2, 2, 16000);
    put_text(b, at::ifl, "a\nb\x1b[31m");
    put_text(b, at::sprk, "\x01\\");
    b[at::sex] = '\0';
    const std::string name = "we\nird\t.qnd";
    write(name, b + dynamic_part("x\ry\xe9", "\x85", 2));

    const run_result text_view = info({name});
    EXPECT_EQ(text_view.status, 0);
    for (const char* line :
         {"==> we\\nird\\t.qnd <==\n", "\nifl[32]:            a\\nb\\x1B[31m\n", "\nsprk:               \\x01\\\\\n",
          "\nsex:                \\0\n", "\nort:                x\\ry\xc3\xa9\n", "\nkan:                \\x85\n"})
        EXPECT_NE(text_view.out.find(line), std::string::npos) << line;
    for (const char c : text_view.out)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << static_cast<int>(c);

    EXPECT_EQ(info({"--text=ort", name}).out, "we\\nird\\t.qnd\tx\\ry\xc3\xa9\n");
    EXPECT_EQ(info({"--text=kan", name}).out, "we\\nird\\t.qnd\t\\x85\n");
    EXPECT_EQ(info({"missing\x1b.qnd"}).err, "quenda-info: missing\\x1B.qnd: No such file or directory\n");

    const json j = json::parse(info({"--format=json", name}).out);
    EXPECT_EQ(j["file"], name);
    EXPECT_EQ(j["fields"]["ifl"], "a\nb\x1b[31m");
    EXPECT_EQ(j["fields"]["sprk"], "\x01\\");
    EXPECT_EQ(j["fields"]["sex"], "");
    EXPECT_EQ(j["ort"], "x\ry\xc3\xa9");
    EXPECT_EQ(j["kan"], "\xc2\x85");
}

// The plausible rates' bounds, on files that are exactly their header.
TEST_F(QuendaInfo, RateBoundsAndFilesWithoutSamples)
{
    const struct {
        int version;
        std::int32_t isf;
        bool plausible;
    } cases[] = {{1, 999, false}, {1, 1000, true}, {1, 384000, true}, {1, 384001, false}, {2, 22050, true}};
    for (const auto& c : cases) {
        const std::string bytes = c.version == 1 ? version1(0, "", c.isf) : version2(0, 2, "o", "k", "", c.isf);
        write("bare.qnd", bytes);
        const std::string isf = std::to_string(c.isf);
        const run_result r = info({"--format=json", "bare.qnd"});
        EXPECT_EQ(r.status, 0) << isf;
        const json j = json::parse(r.out);
        EXPECT_EQ(j["header_bytes"], bytes.size());
        EXPECT_EQ(j["samples"], 0);
        // A file without samples is never without problems.
        const std::string rate_problem = "isf " + isf + " is not a plausible sample rate (1000 to 384000)";
        json problems = json::array({"no samples after the header"});
        if (!c.plausible)
            problems.push_back(rate_problem);
        EXPECT_EQ(j["problems"], problems);
        const std::string text_view = info({"bare.qnd"}).out;
        EXPECT_NE(text_view.find(c.plausible ? "\nduration:           0.000 s (0 samples at " + isf + " Hz)\n"
                                             : "\nduration:           unknown\n"),
                  std::string::npos)
            << isf;
    }
}

// "problems: none" only for a recording the checks find nothing wrong
// with; each problem on a line of its own, in text and JSON alike.
TEST_F(QuendaInfo, ProblemsNoneOnlyWhenThereAreNone)
{
    const std::string tone = samples_of({2000, -2000}, 128); // a block of a quiet tone
    const struct {
        std::string file;
        std::vector<std::string> problems;
    } cases[] = {
        {version1(1, tone), {}},
        {version1(2, tone + tone.substr(0, 88)), {}}, // 300 samples: a short last block
        {version1(0, ""), {"no samples after the header"}},
        {version1(64, sample_data(8192)), {"8192 samples in the file, 16384 announced (nspbk 64)"}},
        {version1(1, samples_of({32767}, 3) + tone.substr(6)),
         {"clipped: 3 samples in a row at full scale (3 or more are clipping)"}},
        {version1(1, samples_of({3, -3}, 128)), {"silent: no sample louder than 16 (of 32767)"}},
        {version1(1, samples_of({3000, 1000}, 128)), {"a DC offset of 2000.0 (the mean sample; beyond 1024 is large)"}},
    };
    for (const auto& c : cases) {
        write("rec.qnd", c.file);
        const run_result text = info({"rec.qnd"});
        EXPECT_EQ(text.status, 0);
        std::string lines;
        for (const std::string& p : c.problems)
            lines += "problem:            " + p + "\n";
        EXPECT_TRUE(text.out.ends_with(c.problems.empty() ? "\nproblems:           none\n" : "\n" + lines)) << text.out;
        EXPECT_EQ(json::parse(info({"--format=json", "rec.qnd"}).out)["problems"], json(c.problems));
    }
}

// One line per file, for a folder at a glance; a path that gives no
// Quenda file is reported on standard error, as in the text view.
TEST_F(QuendaInfo, LineViewHasOneLinePerFile)
{
    write("tree/v1.qnd", v1_file());
    write("tree/v2.qnd", v2_file());
    write("tree/bad.qnd", "RIFF");
    const run_result r = info({"--format=line", "dialog.qnd", "tree"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "dialog.qnd: version 2, 4096 samples, 0.256 s at 16000 Hz, problems: none\n"
                     "tree/v1.qnd: version 1, 300 samples, no plausible rate (isf 0), problems: 300 samples in the "
                     "file, 768 announced (nspbk 3); an odd byte after the last sample; isf 0 is not a plausible "
                     "sample rate (1000 to 384000)\n"
                     "tree/v2.qnd: version 2, 256 samples, 0.012 s at 22050 Hz, problems: none\n");
    EXPECT_EQ(r.err, "quenda-info: tree/bad.qnd: not a Quenda file: too short for a header (4 bytes)\n");
}

// A folder is searched for *.qnd files in any letter case, its subfolders
// too, sorted by path; the paths on the command line keep their order.
TEST_F(QuendaInfo, FoldersAreSearched)
{
    write("tree/b.qnd", v2_file());
    write("tree/a/c.QND", v2_file());
    write("tree/a/notes.txt", "not a recording");
    std::filesystem::create_directories(path("tree/a/empty"));
    std::filesystem::create_directories(path("empty"));

    run_result r = info({"--text=kan", "v2.qnd", "tree"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "v2.qnd\tg r y: s @\ntree/a/c.QND\tg r y: s @\ntree/b.qnd\tg r y: s @\n");

    const std::string why = "no files ending in '.qnd' in this folder";
    r = info({"--text=kan", "empty", "v2.qnd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenda-info: empty: " + why + "\n");
    EXPECT_EQ(r.out, "v2.qnd\tg r y: s @\n");
    r = info({"--format=json", "empty"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(json::parse(r.out), (json{{"type", "file_error"}, {"file", "empty"}, {"message", why}}));
}

TEST_F(QuendaInfo, FilesThatAreNoQuendaFilesAreReportedAndTheOthersShown)
{
    std::string no_blocks = v1_file();
    put(no_blocks, at::anz_header, 0, 4);
    write("short.qnd", "RIFF....WAVE");
    write("no_blocks.qnd", no_blocks);
    write("truncated.qnd", v2_file().substr(0, 1000));
    std::filesystem::create_directory(path("folder.qnd"));
    ASSERT_EQ(mkfifo(path("fifo.qnd").c_str(), 0600), 0);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"short.qnd", "not a Quenda file: too short for a header (12 bytes)"},
        {"no_blocks.qnd", "not a Quenda file: anz_header is 0, below 1"},
        {"truncated.qnd", "not a Quenda file: header larger than the file (anz_header 2 is 1024 bytes, the file 1000)"},
        {"missing.qnd", "No such file or directory"},
        {"folder.qnd", "no files ending in '.qnd' in this folder"},
        {"fifo.qnd", "not a regular file"},
    };
    for (const auto& [file, why] : cases) {
        const run_result r = info({"--text=kan", file, "v2.qnd"});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.err, "quenda-info: " + file + ": " + why + "\n");
        EXPECT_EQ(r.out, "v2.qnd\tg r y: s @\n") << file;

        // In JSON a record of its own on standard output, in its place.
        const run_result j = info({"--format=json", file, "v2.qnd"});
        EXPECT_EQ(j.status, 1) << file;
        EXPECT_EQ(j.err, "") << file;
        const auto lines = test_support::parse_json_lines(j.out);
        ASSERT_EQ(lines.size(), 2u) << file;
        EXPECT_EQ(lines[0], (json{{"type", "file_error"}, {"file", file}, {"message", why}}));
        EXPECT_EQ(lines[1]["file"], "v2.qnd");
    }
}

TEST_F(QuendaInfo, UsageErrorsHelpAndVersion)
{
    const std::string usage = "usage: quenda-info [--format=text|json|line] [--text=ort|kan] FILE...\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out_start; // all of it when there is no error message
        std::string err;
    } cases[] = {
        {{}, 2, "", "quenda-info: no file given\n" + usage},
        {{"--verbose", "v1.qnd"}, 2, "", "quenda-info: unknown option '--verbose'\n" + usage},
        {{"--format=xml", "v1.qnd"}, 2, "", "quenda-info: unknown format 'xml' (text, json or line)\n" + usage},
        {{"v1.qnd", "--text=all"}, 2, "", "quenda-info: unknown text 'all' (ort or kan)\n" + usage},
        {{"v1.qnd", "--format"}, 2, "", "quenda-info: option '--format' needs a value\n" + usage},
        {{"--help", "v1.qnd"}, 0, usage + "Shows the header", ""},
        {{"-h"}, 0, usage, ""},
        {{"--version"}, 0, "quenda-info (quenda tools) " QUENDA_TOOLS_VERSION "\n", ""},
        {{"--text=ort", "--", "-x.qnd"}, 1, "", "quenda-info: -x.qnd: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const run_result r = info(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(c.err.empty() || r.out.empty()) << r.out;
    }
}

TEST_F(QuendaInfo, OutputThatCannotBeWrittenIsAnError)
{
    // "-": started with standard output closed.
    for (const auto& [to, reason] : {std::pair{"/dev/full", "No space left on device"}, {"-", "Bad file descriptor"}}) {
        const run_result r = info({"v1.qnd", "v2.qnd"}, to);
        EXPECT_EQ(r.status, 2) << to;
        EXPECT_EQ(r.err, std::string("quenda-info: cannot write standard output: ") + reason + "\n");
        EXPECT_EQ(info({"--version"}, to).status, 2) << to;
    }
}

} // namespace
