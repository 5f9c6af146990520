// quenda-info run on hand-laid files: the text view against a data file, the
// JSON lines parsed back, the texts alone, files that are no Quenda files,
// usage errors and a standard output that cannot be written.
#include "json.h"
#include "programs.h"

#include <sstream>

namespace {

using namespace e2e;

// Version 1 with every carried field set, 300 of 512 announced samples, an
// odd byte and no usable rate.
std::string v1_file()
{
    std::string b = fixed_header(2, 1, 1, 0);
    put_text(b, 48, "DE");
    put_le(b, 50, -3, 2);    // swdh
    put_le(b, 52, 1, 4);     // ifld1
    put_le(b, 56, -2, 4);
    put_le(b, 60, 3, 4);
    put_text(b, 88, "k1");
    put_text(b, 100, "k4");
    put_le(b, 248, 7, 4);    // flagtype
    put_le(b, 252, -1, 4);   // flaginit
    put_text(b, 256, "speaker.ifl");
    b[288] = 24;
    b[289] = 12;
    put_le(b, 290, 1996, 2);
    b[292] = 'm';
    put_le(b, 294, 12, 2);   // adc_bits
    put_le(b, 296, 5, 2);    // words
    put_le(b, 498, -300, 2); // wdh
    put_le(b, 500, 32767, 2);
    put_text(b, 502, "nb");
    return b + sample_data(300) + "\x7f";
}

// Version 2 with Latin-1 texts (a tab in one), the announced 256 samples
// at 22050 Hz.
const std::string ort_latin1 = "Gr\xfc\xdf" "e\tdort";
const std::string ort_utf8 = "Gr\xc3\xbc\xc3\x9f" "e\tdort";
std::string v2_file()
{
    std::string b = fixed_header(1, 2, 2, 22050);
    put_text(b, 48, "de");
    b[292] = 'f';
    return b + dynamic_part(ort_latin1, "g r y: s @", 2) + sample_data(256);
}

class QuendaInfo : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        write("v1.qnd", v1_file());
        write("v2.qnd", v2_file());
    }
    Result info(const std::vector<std::string>& args, const std::string& stdout_to = "") const
    {
        return run(QUENDA_INFO_PATH, "quenda-info", args, stdout_to);
    }
};

std::vector<json::Value> json_lines(const std::string& out)
{
    std::vector<json::Value> objects;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        objects.push_back(json::parse(line));
    return objects;
}

TEST_F(QuendaInfo, TextViewShowsDumpTextsAndChecks)
{
    const Result r = info({"v1.qnd", "v2.qnd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, read_file(INFO_DATA_DIR "/text.expected"));
}

TEST_F(QuendaInfo, JsonLinesParseBackWithEveryField)
{
    const Result r = info({"--format", "json", "v1.qnd", "v2.qnd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(info({"v1.qnd", "--format=json", "v2.qnd"}).out, r.out);
    const std::vector<json::Value> objects = json_lines(r.out);
    ASSERT_EQ(objects.size(), 2u);
    const json::Value& v1 = objects[0];
    const json::Value& v2 = objects[1];

    EXPECT_EQ(v1["file"].s, "v1.qnd");
    EXPECT_EQ(v1["version"].n, 1);
    EXPECT_EQ(v1["header_bytes"].n, 512);
    EXPECT_EQ(v1["samples"].n, 300);
    EXPECT_EQ(v1["announced_samples"].n, 512);
    EXPECT_EQ(v1["ort"].type, json::Value::null);
    EXPECT_EQ(v1["kan"].type, json::Value::null);
    std::vector<std::string> problems;
    for (const json::Value& p : v1["problems"].items)
        problems.push_back(p.s);
    EXPECT_EQ(problems, (std::vector<std::string>{"300 samples in the file, 512 announced (nspbk 2)",
                                                  "an odd byte after the last sample",
                                                  "isf 0 is not a plausible sample rate (1000 to 384000)"}));

    const json::Value& f = v1["fields"];
    std::vector<std::string> names;
    for (const auto& [name, value] : f.members)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"abs_ampl", "adc_bits", "anz_header", "day", "flaginit", "flagtype",
                                               "ifl", "ifld1", "isf", "kenn1", "kenn2", "kenn3", "kenn4", "month",
                                               "not_usedb", "nspbk", "sex", "sprk", "swdh", "version", "wdh",
                                               "words", "year"}));
    const std::vector<std::pair<std::string, long long>> numbers = {
        {"nspbk", 2},  {"anz_header", 1}, {"swdh", -3},   {"isf", 0},       {"flagtype", 7},   {"flaginit", -1},
        {"day", 24},   {"month", 12},     {"year", 1996}, {"version", 1},   {"adc_bits", 12},  {"words", 5},
        {"wdh", -300}, {"abs_ampl", 32767}};
    for (const auto& [name, value] : numbers) {
        EXPECT_EQ(f[name].type, json::Value::integer) << name;
        EXPECT_EQ(f[name].n, value) << name;
    }
    ASSERT_EQ(f["ifld1"].items.size(), 3u);
    EXPECT_EQ(f["ifld1"].items[1].n, -2);
    EXPECT_EQ(f["ifld1"].items[2].n, 3);
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"sprk", "DE"}, {"kenn1", "k1"}, {"kenn2", ""}, {"kenn4", "k4"}, {"ifl", "speaker.ifl"}, {"sex", "m"},
             {"not_usedb", "nb"}})
        EXPECT_EQ(f[name].s, text) << name;

    // Latin-1 as UTF-8, the tab escaped and read back.
    EXPECT_EQ(v2["version"].n, 2);
    EXPECT_EQ(v2["header_bytes"].n, 1024);
    EXPECT_EQ(v2["samples"].n, 256);
    EXPECT_EQ(v2["ort"].s, ort_utf8);
    EXPECT_EQ(v2["kan"].s, "g r y: s @");
    EXPECT_EQ(v2["fields"]["isf"].n, 22050);
    EXPECT_TRUE(v2["problems"].items.empty());
    EXPECT_EQ(v2["problems"].type, json::Value::array);
}

TEST_F(QuendaInfo, BundledExampleIsASoundFile)
{
    const Result r = info({"--format=json", EXAMPLES_DIR "/dialog.qnd"});
    EXPECT_EQ(r.status, 0);
    const json::Value v = json::parse(r.out);
    EXPECT_EQ(v["samples"].n, 4096);
    EXPECT_EQ(v["announced_samples"].n, 4096);
    EXPECT_EQ(v["fields"]["isf"].n, 16000);
    EXPECT_EQ(v["ort"].s, "good morning, I would like a ticket to the coast");
    EXPECT_TRUE(v["problems"].items.empty());
}

TEST_F(QuendaInfo, TextsAloneOneLinePerFile)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--text=ort", "v2.qnd", "v1.qnd"}, "v2.qnd\tGr\xc3\xbc\xc3\x9f" "e dort\nv1.qnd\t\n"},
        {{"--format=json", "--text", "kan", "v2.qnd"}, "v2.qnd\tg r y: s @\n"},
    };
    for (const auto& [args, out] : cases) {
        const Result r = info(args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out, out) << args[0];
    }
}

TEST_F(QuendaInfo, FilesThatAreNoQuendaFilesAreReportedAndTheOthersShown)
{
    std::string no_blocks = v1_file();
    put_le(no_blocks, 24, 0, 4);
    std::string truncated = v2_file().substr(0, 1000);
    write("short.qnd", "RIFF....WAVE");
    write("no_blocks.qnd", no_blocks);
    write("truncated.qnd", truncated);
    std::filesystem::create_directory(path("folder.qnd"));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"short.qnd", "not a Quenda file: too short for a header (12 bytes)"},
        {"no_blocks.qnd", "not a Quenda file: anz_header is 0, below 1"},
        {"truncated.qnd", "not a Quenda file: header larger than the file (anz_header 2 is 1024 bytes, the file 1000)"},
        {"missing.qnd", "No such file or directory"},
        {"folder.qnd", "not a regular file"},
    };
    for (const auto& [file, why] : cases) {
        const Result r = info({"--text=kan", file, "v2.qnd"});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.err, "quenda-info: " + file + ": " + why + "\n");
        EXPECT_EQ(r.out, "v2.qnd\tg r y: s @\n") << file;
    }
}

TEST_F(QuendaInfo, UsageErrorsHelpAndVersion)
{
    const std::string usage = "usage: quenda-info [--format=text|json] [--text=ort|kan] FILE...\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out_start;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, 2, "", "quenda-info: no file given\n" + usage},
        {{"--verbose", "v1.qnd"}, 2, "", "quenda-info: unknown option '--verbose'\n" + usage},
        {{"--format=xml", "v1.qnd"}, 2, "", "quenda-info: unknown format 'xml' (text or json)\n" + usage},
        {{"v1.qnd", "--text=all"}, 2, "", "quenda-info: unknown text 'all' (ort or kan)\n" + usage},
        {{"v1.qnd", "--format"}, 2, "", "quenda-info: option --format needs a value\n" + usage},
        {{"--help", "v1.qnd"}, 0, usage + "Shows the header", ""},
        {{"-h"}, 0, usage, ""},
        {{"--version"}, 0, "quenda-info (quenda tools) 1.0\n", ""},
        {{"--text=ort", "--", "-x.qnd"}, 1, "", "quenda-info: -x.qnd: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const Result r = info(c.args);
        const std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start) << what;
        if (c.out_start.empty()) {
            EXPECT_EQ(r.out, "") << what;
        }
        EXPECT_EQ(r.err, c.err) << what;
    }
}

TEST_F(QuendaInfo, OutputThatCannotBeWrittenIsAnError)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dev/full", "No space left on device"},
        {"-", "Bad file descriptor"},  // started with standard output closed
    };
    for (const auto& [to, reason] : cases) {
        if (to == "/dev/full" && !std::filesystem::exists(to))
            continue;
        const Result r = info({"v1.qnd", "v2.qnd"}, to);
        EXPECT_EQ(r.status, 2) << to;
        EXPECT_EQ(r.err, "quenda-info: cannot write standard output: " + reason + "\n") << to;
        EXPECT_EQ(info({"--version"}, to).status, 2) << to;
    }
}

}  // namespace
