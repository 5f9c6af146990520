// The trl-check program: command line, exit statuses, reports in both
// formats, order, unusable paths and failed output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/json.h"
#include "tests/support/trl_check.h"
#include "common/version.h"

namespace {

using test_support::json;
using test_support::parse_json_lines;
using test_support::read_file;
using test_support::run_result;
using test_support::run_shell;
using test_support::shell_line;
using test_support::temp_dir;

const std::string good = turn("001_ABC", "hi .") + turn("002_ABC", "ja , <P> so ?");
// Other turn numbers than good's: files of both in one run name no turn twice.
const std::string bad = turn("003_ABC", "hi.") + turn("004_ABC", "ja  so .");

TEST(TrlCheckProgram, ExitStatuses)
{
    const temp_dir dir;
    const std::string ok = dir.write("ok.trl", good);
    const std::string wrong = dir.write("bad.trl", bad);
    const std::string warned = dir.write("long.trl", turn("001_ABC", [] {
                                             std::string s;
                                             for (int i = 0; i < 5000; ++i)
                                                 s += "ja ";
                                             return s + ".";
                                         }()));
    const std::string d = dir.path().string();
    std::filesystem::create_directories(dir / "empty/sub");
    dir.write("empty/notes.txt", "x");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err; // a part of standard error; empty: none at all
    } cases[] = {
        {{ok}, 0, ""},
        {{warned}, 0, ""},
        {{wrong}, 1, ""},
        {{ok, wrong}, 1, ""},
        {{ok, d + "/missing.trl"}, 2, "trl-check: " + d + "/missing.trl: No such file or directory"},
        {{d + "/empty"}, 2, "trl-check: " + d + "/empty: no files ending in '.trl' in this folder\n"},
        {{"--ext=.txt", d + "/empty"}, 1, ""},
        {{"-j4096", ok}, 0, ""},
        {{"-j4097", ok}, 2, "invalid number of jobs '4097' (a whole number from 1 to 4096)"},
        {{"--jobs=100000", ok}, 2, "invalid number of jobs '100000' (a whole number from 1 to 4096)"},
        {{}, 2, "trl-check: no PATH given"},
        {{"--frobnicate", ok}, 2, "trl-check: unknown option '--frobnicate'\nTry 'trl-check --help'"},
        {{"-x", ok}, 2, "unknown option '-x'"},
        {{"-j0", ok}, 2, "invalid number of jobs '0'"},
        {{"--jobs=two", ok}, 2, "invalid number of jobs 'two'"},
        {{"-j"}, 2, "option '-j' needs a value"},
        {{"--format=xml", ok}, 2, "invalid format 'xml' (human, text or json)"},
        {{"--max-errors=-1", ok}, 2, "invalid --max-errors"},
        {{"--color=sometimes", ok}, 2, "invalid --color"},
        {{"--quiet=yes", ok}, 2, "takes no value"},
        {{"--explain", "T999"}, 2, "unknown code 'T999' (known: T001 T002"},
        {{"--lsp", ok}, 2, "trl-check: --lsp takes no PATH"},
        {{"--unsafe-fixes", ok}, 2, "--unsafe-fixes goes with --fix or --diff"},
    };
    for (const auto& c : cases) {
        const run_result r = run_trl_check(c.args);
        EXPECT_EQ(r.status, c.status) << shell_line(c.args) << "\n" << r.err;
        if (c.err.empty())
            EXPECT_EQ(r.err, "") << shell_line(c.args);
        else
            EXPECT_NE(r.err.find(c.err), std::string::npos) << shell_line(c.args) << "\n" << r.err;
    }
}

TEST(TrlCheckProgram, ReadErrorIsReportedAndTheRestChecked)
{
    // Reading /proc/self/mem from its start fails (EIO).
    if (access("/proc/self/mem", R_OK) != 0)
        GTEST_SKIP() << "no /proc/self/mem";
    const temp_dir dir;
    const std::string wrong = dir.write("bad.trl", bad);
    const run_result r = run_trl_check({"/proc/self/mem", wrong});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("trl-check: /proc/self/mem: Input/output error"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("bad.trl:1:28: error[T009]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 file checked, 2 turns: 1 file with errors, 2 errors, 0 warnings, 1 path not readable"),
              std::string::npos)
        << r.out;
}

TEST(TrlCheckProgram, HelpVersionExplain)
{
    run_result r = run_trl_check({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: trl-check [OPTION]... PATH...\n", 0), 0u);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(run_trl_check({"-h"}).out, r.out);
    r = run_trl_check({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "trl-check (quenda tools) " QUENDA_TOOLS_VERSION "\n");
    r = run_trl_check({"--explain", "t009"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("T009 (error): missing blank\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Incorrect:\n    g012abc3_001_ABC_000000: ja.\n"), std::string::npos) << r.out;
    EXPECT_EQ(run_trl_check({"--explain=T009"}).out, r.out);
}

// The option forms of GNU programs give the same run.
TEST(TrlCheckProgram, OptionForms)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", bad);
    const std::string dash = dir.write("-b.trl", good);
    const run_result base = run_trl_check({"-j", "2", "-q", a});
    EXPECT_EQ(base.status, 1);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"-j2", "-q", a},
                                                                                      {"--jobs=2", "--quiet", a},
                                                                                      {"--jobs", "2", "-q", a},
                                                                                      {"-qj2", a},
                                                                                      {"-qj", "2", a},
                                                                                      {"-q", "--", a}}) {
        const run_result r = run_trl_check(args);
        EXPECT_EQ(r.status, base.status) << shell_line(args);
        EXPECT_EQ(without_time(r.out), without_time(base.out)) << shell_line(args);
    }
    // After "--", a name beginning with '-' is a path.
    const run_result r = run_trl_check({"-q", "--", dash});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(TrlCheckProgram, FoldersAreSearchedAndReportedInPathOrder)
{
    const temp_dir dir;
    dir.write("c/z.trl", bad);
    dir.write("a.trl", bad);
    dir.write("b/y.trl", bad);
    dir.write("b/x/w.trl", bad);
    dir.write("b/notes.txt", bad);
    std::vector<std::string> order;
    const std::string d = dir.path().string();
    const run_result r = run_trl_check({"--format=json", d + "/c", d + "/b", d + "/a.trl"});
    for (const json& v : parse_json_lines(r.out))
        if (v.at("type") == "diagnostic" && (order.empty() || order.back() != v.at("file")))
            order.push_back(v.at("file"));
    EXPECT_EQ(order, (std::vector<std::string>{d + "/a.trl", d + "/b/x/w.trl", d + "/b/y.trl", d + "/c/z.trl"}));
    // The same file named twice is checked once.
    const run_result twice = run_trl_check({"-q", d + "/a.trl", d + "/a.trl"});
    EXPECT_NE(twice.out.find("1 file checked"), std::string::npos) << twice.out;
}

// Files are found by their suffix in any case of its letters; a folder
// without one is reported as such, in the summary and in JSON, apart from
// paths that could not be read.
TEST(TrlCheckProgram, SuffixInAnyCaseAndFoldersWithoutFiles)
{
    const temp_dir dir;
    const std::string d = dir.path().string();
    dir.write("corpus/A.TRL", bad);
    dir.write("corpus/b.Trl", good);
    dir.write("corpus/c.trl.txt", bad);
    dir.write("notes/readme.txt", "x");
    std::filesystem::create_directories(dir / "none");

    run_result r = run_trl_check({"-q", d + "/corpus"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_time(r.out), "2 files checked, 4 turns: 1 file with errors, 2 errors, 0 warnings; 2 of 2 errors "
                                   "may be fixed with --fix --unsafe-fixes\n");

    r = run_trl_check({"-q", d + "/corpus", d + "/notes", d + "/none", d + "/missing"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(without_time(r.out), "2 files checked, 4 turns: 1 file with errors, 2 errors, 0 warnings, 1 path not "
                                   "readable, 2 folders without files to check; 2 of 2 errors may be fixed with --fix "
                                   "--unsafe-fixes\n");
    EXPECT_EQ(r.err, "trl-check: " + d + "/missing: No such file or directory\n" + "trl-check: " + d +
                         "/none: no files ending in '.trl' in this folder\n" + "trl-check: " + d +
                         "/notes: no files ending in '.trl' in this folder\n");

    r = run_trl_check({"--format=json", d + "/none", d + "/missing"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "");
    const std::vector<json> lines = parse_json_lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0],
              json({{"type", "file_error"}, {"file", d + "/missing"}, {"message", "No such file or directory"}}));
    EXPECT_EQ(lines[1], json({{"type", "empty_folder"},
                              {"file", d + "/none"},
                              {"message", "no files ending in '.trl' in this folder"}}));
    EXPECT_EQ(lines[2].at("file_errors"), 1);
    EXPECT_EQ(lines[2].at("empty_folders"), 1);
    EXPECT_EQ(lines[2].at("files"), 0);
}

// --format=text is another name for the report for people.
TEST(TrlCheckProgram, TextIsHuman)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", bad);
    const run_result human = run_trl_check({"--format=human", a});
    const run_result text = run_trl_check({"--format=text", a});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(human.out.find("error[T009]"), std::string::npos) << human.out;
    EXPECT_EQ(without_time(text.out), without_time(human.out));
    EXPECT_EQ(without_time(run_trl_check({a}).out), without_time(human.out));
}

TEST(TrlCheckProgram, StandardInput)
{
    const run_result r = run_trl_check({"-"}, bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("<stdin>:1:28: error[T009]: missing blank: found '.' in the word\n", 0), 0u) << r.out;
}

// A large file read at once by its size, and the same text through a pipe
// in pieces: the same report either way.
TEST(TrlCheckProgram, LargeFileAndPipeAlike)
{
    const temp_dir dir;
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += turn("001_ABC", "hi .");
    text += turn("002_ABC", "ja.");
    ASSERT_GT(text.size(), 1u << 20);
    const std::string big = dir.write("big.trl", text);
    const run_result whole = run_trl_check({big});
    test_support::run_options through_pipe;
    through_pipe.in = text;
    through_pipe.in_is_pipe = true;
    const run_result piped = test_support::run(TRL_CHECK_PATH, {"-"}, through_pipe);
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.out.find(big + ":80001:28: error[T009]"), std::string::npos) << whole.out.substr(0, 200);
    // The same turn identification 40000 times: a warning names the file too.
    std::string as_piped = without_time(whole.out);
    for (std::size_t at; (at = as_piped.find(big)) != std::string::npos;)
        as_piped.replace(at, big.size(), "<stdin>");
    EXPECT_EQ(without_time(piped.out), as_piped);
}

// A file that changes while it is checked is checked as it was read: the
// run goes on, and the reports of the other files are whole.  (A helper
// cuts the file to half its size and writes it again, over and over; a
// mapped file would end most runs with SIGBUS.)
TEST(TrlCheckProgram, FileChangingWhileCheckedEndsNoRun)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", bad);
    const std::string z = dir.write("z.trl", bad);
    std::string text;
    for (int i = 0; i < 60000; ++i)
        text += turn("001_ABC", "ja , so ist das .");
    const std::string big = dir.write("big.trl", text);
    // A file's report is all but the summary of a run on it alone.
    auto report_alone = [](const std::string& path) {
        const std::string out = run_trl_check({path}).out;
        return out.substr(0, out.rfind("1 file checked"));
    };
    const std::string report_of_a = report_alone(a);
    const std::string report_of_z = report_alone(z);
    ASSERT_NE(report_of_z.find("error[T010]"), std::string::npos) << report_of_z;

    std::atomic<bool> stop{false};
    std::thread changer([&] {
        while (!stop.load()) {
            std::filesystem::resize_file(big, text.size() / 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            test_support::write_file(big, text);
        }
    });
    for (int run = 0; run < 10; ++run) {
        const run_result r = run_trl_check({"-j1", "--color=never", a, big, z});
        EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << "\n" << r.err;
        EXPECT_NE(r.out.find(report_of_a), std::string::npos);
        EXPECT_NE(r.out.find(report_of_z), std::string::npos);
        EXPECT_NE(r.out.find("3 files checked"), std::string::npos) << r.out.substr(0, 2000);
    }
    stop.store(true);
    changer.join();
}

// A file too large for the memory there is (a sparse file of 2 GiB, the
// address space limited to 300 MB) is reported, in JSON as a file_error,
// and the others are checked.  Sanitizers reserve more address space than
// that, so their builds leave this out.
TEST(TrlCheckProgram, FileTooLargeForMemoryIsReported)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address space limit is too small for the sanitizers";
#endif
    const temp_dir dir;
    const std::string a = dir.write("a.trl", bad);
    const std::string huge = dir.write("huge.trl", "");
    std::filesystem::resize_file(huge, std::uintmax_t{2} << 30);
    const std::string limited = "ulimit -v 300000; exec " + shell_line({TRL_CHECK_PATH, "-j1"});
    run_result r = run_shell(limited + " " + shell_line({a, huge}));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "trl-check: " + huge + ": not enough memory to check it\n");
    EXPECT_NE(without_time(r.out).find("1 file checked, 2 turns: 1 file with errors, 2 errors, 0 warnings, 1 path "
                                       "not readable; 2 of 2 errors may be fixed with --fix --unsafe-fixes\n"),
              std::string::npos)
        << r.out;
    r = run_shell(limited + " --format=json " + shell_line({a, huge}));
    const std::vector<json> lines = parse_json_lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[lines.size() - 2],
              json({{"type", "file_error"}, {"file", huge}, {"message", "not enough memory to check it"}}));
    EXPECT_EQ(r.err, "");
}

// Every line of the JSON output is a JSON object of its kind, with the
// fields a tool reads.
TEST(TrlCheckProgram, JsonLinesParseBack)
{
    const temp_dir dir;
    // A name that is not UTF-8, and a text with bytes that are not either.
    const std::string odd = dir.write("\xFF\xFE.trl", "g012abc3_001_ABC_000000: gr\xFC\x00"
                                                      "e .\n\n");
    dir.write("b.trl", bad);
    const std::string d = dir.path().string();
    const run_result r = run_trl_check({"--format=json", d, d + "/missing"});
    EXPECT_EQ(r.status, 2);
    const std::vector<json> lines = parse_json_lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    int diagnostics = 0;
    for (const json& v : lines) {
        ASSERT_TRUE(v.is_object());
        const std::string type = v.at("type");
        if (type == "diagnostic") {
            ++diagnostics;
            for (const char* key : {"line", "column", "velmar_line"})
                EXPECT_TRUE(v.at(key).is_number_integer()) << key;
            for (const char* key : {"file", "severity", "code", "message", "found", "context"})
                EXPECT_TRUE(v.at(key).is_string()) << key;
            EXPECT_TRUE(v.at("expected").is_array());
            for (const json& e : v.at("expected"))
                EXPECT_TRUE(e.is_string());
            EXPECT_TRUE(v.at("hints").is_array());
            EXPECT_EQ(v.at("severity"), "error");
        } else if (type == "file_error") {
            EXPECT_EQ(v.at("file"), d + "/missing");
            EXPECT_EQ(v.at("message"), "No such file or directory");
        } else {
            EXPECT_EQ(type, "summary");
            for (const char* key : {"files", "turns", "files_with_errors", "errors", "warnings", "seconds"})
                EXPECT_TRUE(v.at(key).is_number()) << key;
            EXPECT_EQ(v.at("files"), 2);
            EXPECT_EQ(v.at("errors"), 3);
            EXPECT_EQ(v.at("files_with_errors"), 2);
        }
    }
    EXPECT_EQ(diagnostics, 3);
    // In byte order of the paths: b.trl, missing, then the odd name,
    // whose bytes come out escaped, as do those of the text.
    EXPECT_EQ(lines[2].at("type"), "file_error");
    const json& odd_file = lines[3];
    EXPECT_EQ(odd_file.at("file"), d + "/\\xFF\\xFE.trl");
    EXPECT_EQ(odd_file.at("found"), "\\xFC");
    EXPECT_EQ(odd_file.at("code"), "T005");
    EXPECT_EQ(odd_file.at("line"), 1);
    EXPECT_EQ(odd_file.at("column"), 28);
    EXPECT_EQ(odd_file.at("context"), "word");
}

// A report on the bundled example, in both formats, as the data files
// have it.
TEST(TrlCheckProgram, ReportsOfTheExample)
{
    test_support::run_options in_examples;
    in_examples.cwd = TRL_CHECK_EXAMPLES;
    const std::string data = TRL_CHECK_DATA;
    run_result r = test_support::run(TRL_CHECK_PATH, {"errors.trl"}, in_examples);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_time(r.out), without_time(read_file(data + "/errors.human")));
    r = test_support::run(TRL_CHECK_PATH, {"--format=json", "errors.trl"}, in_examples);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_time(r.out), without_time(read_file(data + "/errors.json")));
    // Quiet: the summary alone.
    r = test_support::run(TRL_CHECK_PATH, {"-q", "errors.trl"}, in_examples);
    EXPECT_EQ(without_time(r.out), "1 file checked, 7 turns: 1 file with errors, 4 errors, 0 warnings; 1 of 4 errors "
                                   "can be fixed with --fix, 1 more may be with --unsafe-fixes\n");
}

// A turn identification in two files of a run: a warning at the second,
// naming the first file's turn; with --strict an error.  -l names the
// files with errors; --statistics counts the diagnostics by code.
TEST(TrlCheckProgram, CorpusWarningsNamesAndStatistics)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", turn("001_ABC", "ja .") + turn("002_ABC", "so."));
    const std::string b = dir.write("b.trl", turn("002_ABC", "hm .") + turn("003_ABC", "ja ."));
    const std::string c = dir.write("c.trl", turn("004_ABC", "ja .") + turn("004_ABC", "ja ."));
    const std::string d = dir.path().string();

    run_result r = run_trl_check({"--format=json", d});
    EXPECT_EQ(r.status, 1);
    std::vector<json> across;
    for (const json& v : parse_json_lines(r.out))
        if (v.at("type") == "diagnostic" && v.at("code") == "W002")
            across.push_back(v);
    ASSERT_EQ(across.size(), 2u) << r.out;
    EXPECT_EQ(across[0].at("file"), b);
    EXPECT_EQ(across[0].at("line"), 1);
    EXPECT_EQ(across[0].at("severity"), "warning");
    EXPECT_EQ(across[0].at("related"), json({{"file", a}, {"line", 3}, {"column", 1}}));
    EXPECT_EQ(across[1].at("file"), c); // within the file: the place is its own
    EXPECT_EQ(across[1].at("related"), json({{"file", c}, {"line", 1}, {"column", 1}}));

    r = run_trl_check({"-l", d});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, a + "\n");
    r = run_trl_check({"-l", "--strict", d});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, a + "\n" + b + "\n" + c + "\n");
    r = run_trl_check({"--files-with-errors", "--strict", b}); // alone, b names no turn twice
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");

    r = run_trl_check({"--statistics", "-q", d});
    EXPECT_EQ(without_time(r.out), "code   count  what\n"
                                   "W002       2  turn identification used twice\n"
                                   "T009       1  missing blank\n"
                                   "W003       1  turn numbers not increasing\n"
                                   "3 files checked, 6 turns: 1 file with errors, 1 error, 3 warnings; 1 of 1 error "
                                   "may be fixed with --fix --unsafe-fixes\n");
    r = run_trl_check({"--statistics", "--format=json", "--strict", d});
    const std::vector<json> lines = parse_json_lines(r.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              json({{"type", "statistics"},
                    {"codes",
                     {{{"code", "W002"}, {"count", 2}, {"title", "turn identification used twice"}},
                      {{"code", "T009"}, {"count", 1}, {"title", "missing blank"}},
                      {{"code", "W003"}, {"count", 1}, {"title", "turn numbers not increasing"}}}}}));
    EXPECT_EQ(lines.back().at("errors"), 4);
}

TEST(TrlCheckProgram, ErrorLimitAndColors)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", bad);
    run_result r = run_trl_check({"--max-errors=1", a});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(a + ": note: stopped after 1 error (--max-errors)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("error[T010]"), std::string::npos);

    r = run_trl_check({"--color=always", a});
    EXPECT_NE(r.out.find("\033[1;31merror[T009]: \033[0m"), std::string::npos) << r.out;
    for (const char* when : {"--color=never", "--color=auto"}) {
        r = run_trl_check({when, a}); // auto: standard output is not a terminal
        EXPECT_EQ(r.out.find('\033'), std::string::npos) << when;
    }
}

// Output that cannot be written is an error of its own (status 2, a
// message), never a silent success; a reader that has gone (trl-check ... |
// head) had all it wanted, and the run ends with status 2 but quietly.
TEST(TrlCheckProgram, FailedOutputIsReported)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", good);
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += turn("001_ABC", "hi.");
    const std::string b = dir.write("corpus/b.trl", many);
    dir.write("corpus/c.trl", many);
    const std::string program = shell_line({TRL_CHECK_PATH});
    const std::string corpus = shell_line({(dir / "corpus").string()});
    const struct {
        std::string command;
        std::string err; // all of standard error
    } cases[] = {
        {program + " " + shell_line({a}) + " > /dev/full",
         "trl-check: write error on standard output: No space left on device\n"},
        {program + " --format=json " + corpus + " > /dev/full",
         "trl-check: write error on standard output: No space left on device\n"},
        {program + " " + shell_line({a}) + " >&-", "trl-check: write error on standard output: Bad file descriptor\n"},
        {program + " --help > /dev/full", "trl-check: write error on standard output: No space left on device\n"},
        {program + " --max-errors=0 " + shell_line({b}) + " | head -c 10 > /dev/null; exit ${PIPESTATUS[0]}", ""},
        {program + " " + corpus + " | head -1 > /dev/null; exit ${PIPESTATUS[0]}", ""},
        {program + " -j1 --format=json " + corpus + " | head -1 > /dev/null; exit ${PIPESTATUS[0]}", ""},
    };
    for (const auto& c : cases) {
        const run_result r = run_shell(c.command);
        EXPECT_EQ(r.status, 2) << c.command;
        EXPECT_EQ(r.err, c.err) << c.command;
    }
}

} // namespace
