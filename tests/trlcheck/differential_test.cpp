// trl-check against velmar on every acceptance case: the first diagnostic
// of a file about its grammar is at the token where velmar stops, with
// velmar's line, and only where velmar stops.  (The warnings about the
// corpus's consistency, W002-W005, come after them and are no concern of
// velmar's.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "language/check.h"
#include "tests/support/json.h"
#include "checker/lex.trl.h"
#include "tests/support/trl_check.h"
#include "checker/velmar.h"

namespace {

namespace fs = std::filesystem;
using test_support::json;
using test_support::read_file;

// velmar's result for a text, in this process: its status, its line
// count, and where its scanner stood (the token it stopped at).
struct velmar_run {
    int status;
    long long line;
    std::size_t offset;
};

velmar_run run_velmar_here(const std::string& text)
{
    velmar_reset();
    trl_buffer* b = trl_scan_bytes(text.data(), static_cast<int>(text.size()));
    const int status = trlparse();
    const std::size_t offset = static_cast<std::size_t>(trltext - b->chars);
    trl_delete_buffer(b);
    return {status, lineno, offset};
}

// Sends standard output to /dev/null while alive (velmar echoes).
class quiet_stdout {
public:
    quiet_stdout()
    {
        std::fflush(stdout);
        saved_ = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~quiet_stdout()
    {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

private:
    int saved_;
};

TEST(TrlCheckDifferential, FirstDiagnosticIsVelmarsToken)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    const std::vector<fs::path> files = test_support::case_files(cases);
    trl::checker checker;
    int statuses[3] = {0, 0, 0};
    std::vector<std::string> failures;
    {
        const quiet_stdout quiet;
        for (const fs::path& file : files) {
            const std::string text = read_file(file);
            const velmar_run v = run_velmar_here(text);
            trl::file_report r = checker.check(text);
            std::erase_if(r.diagnostics, [](const trl::diagnostic& d) { return trl::info(d.kind).consistency; });
            ++statuses[v.status];
            std::ostringstream why;
            if (v.status == 0) {
                if (!r.diagnostics.empty())
                    why << "velmar accepts, trl-check reports " << r.diagnostics[0].message;
            } else if (r.diagnostics.empty()) {
                why << "velmar stops (" << v.status << "), trl-check reports nothing";
            } else {
                const trl::diagnostic& d = r.diagnostics[0];
                const bool warning = trl::info(d.kind).warning;
                if (warning != (v.status == 2) || d.offset != v.offset || d.velmar_line != v.line || !d.velmar_stops)
                    why << "velmar: status " << v.status << " at byte " << v.offset << " line " << v.line
                        << "; trl-check: " << trl::info(d.kind).id << " at byte " << d.offset << " line "
                        << d.velmar_line;
            }
            if (!why.str().empty())
                failures.push_back(file.filename().string() + ": " + why.str());
        }
    }
    EXPECT_GT(files.size(), 1000u);
    // Every outcome is among the cases.
    EXPECT_GT(statuses[0], 0);
    EXPECT_GT(statuses[1], 0);
    EXPECT_GT(statuses[2], 0);
    EXPECT_TRUE(failures.empty()) << failures.size() << " cases differ, first: " << failures.front();
}

// The two programs over every case: velmar's status and last line against
// trl-check's JSON report of the whole folder.
TEST(TrlCheckDifferential, ProgramsAgree)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    const std::vector<fs::path> files = test_support::case_files(cases);

    // velmar on each case: "status last-line".
    std::vector<std::string> velmar_lines;
    for (const fs::path& file : files) {
        test_support::run_options o;
        o.in = read_file(file);
        const test_support::run_result v = test_support::run(VELMAR_PATH, {}, o);
        std::string_view out = v.out;
        if (out.ends_with('\n'))
            out.remove_suffix(1);
        const std::size_t nl = out.rfind('\n');
        velmar_lines.push_back(std::to_string(v.status) + " " +
                               std::string(nl == std::string_view::npos ? out : out.substr(nl + 1)));
    }

    const auto check = run_trl_check({"--format=json", "-j3", cases.string()});
    std::map<std::string, json> first; // file -> its first diagnostic
    long summarised_errors = -1;
    for (const json& v : test_support::parse_json_lines(check.out)) {
        const std::string file = v.value("file", "");
        if (v.at("type") == "diagnostic" && !first.count(file) &&
            !trl::find_code(v.at("code").get<std::string>())->consistency)
            first[file] = v;
        if (v.at("type") == "summary")
            summarised_errors = v.at("errors").get<long>();
    }
    EXPECT_GT(summarised_errors, 0);

    int velmar_failed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& line = velmar_lines[i];
        const std::string file = files[i].string();
        const int status = line[0] - '0';
        const auto it = first.find(file);
        if (status == 0) {
            EXPECT_EQ(it, first.end()) << file;
            continue;
        }
        ++velmar_failed;
        ASSERT_NE(it, first.end()) << file;
        const json& d = it->second;
        const std::string said = status == 1 ? "parse error" : "parser stack overflow";
        EXPECT_EQ(line,
                  std::to_string(status) + " " + said + " in line " + std::to_string(d.at("velmar_line").get<int>()))
            << file;
        EXPECT_EQ(d.at("severity"), status == 1 ? "error" : "warning") << file;
    }
    EXPECT_EQ(static_cast<std::size_t>(velmar_failed), first.size());
    EXPECT_EQ(check.status, 1);
}

// Parallel runs write what a run on one thread writes.
TEST(TrlCheckDifferential, ParallelRunsMatchOneThread)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    const auto one = run_trl_check({"-j1", cases.string()});
    for (const char* jobs : {"-j2", "-j7"}) {
        const auto many = run_trl_check({jobs, cases.string()});
        EXPECT_EQ(many.status, one.status);
        EXPECT_TRUE(without_time(many.out) == without_time(one.out)) << jobs;
    }
    EXPECT_GT(one.out.size(), 100000u);
}

} // namespace
