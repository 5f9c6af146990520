// quenda-corpus with files read in parallel writes what it writes with one
// thread: every subcommand, in every form and format, on a corpus of many
// files (the examples with their recordings and the acceptance cases, some
// of which are left out for errors), the same output, messages, status and
// files written.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "tests/support/corpus.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using test_support::temp_dir;

TEST(CorpusJobs, InParallelAsWithOneThread)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    const temp_dir dir;
    const std::string examples = TRL_EXAMPLES;
    const std::string audio = examples + "/audio";
    const std::string lexicon = dir.write("lexicon.txt", "ja\nich\nnein\n");
    const fs::path written = dir / "written"; // the folder or page a command writes, emptied before each run
    const std::string page = (written / "report.html").string();
    const std::vector<std::string> commands[] = {
        {"words"},
        {"words", "--format=tsv"},
        {"words", "--format=json"},
        {"words", "--form=utf8"},
        {"words", "--form=echo", "--format=tsv"},
        {"words", "--by=speaker"},
        {"words", "--by=dialog", "--format=json"},
        {"words", "--by=dialog", "--form=utf8", "--format=tsv"},
        {"words", "--kinds=all"},
        {"words", "--kinds=hesitation,pause", "--by=speaker", "--format=json"},
        {"words", "--kinds=marks", "--format=tsv"},
        {"words", "--lexicon", lexicon, "--by=speaker"},
        {"stats"},
        {"stats", "--format=json", "--audio", audio},
        {"stats", "--format=tsv", "--keep-going"},
        {"pair", "--audio", audio},
        {"pair", "--format=json", "--audio", audio},
        {"pair", "--format=tsv", "--audio", audio},
        {"export", "--to=kaldi", written.string(), "--keep-going", "--audio", audio},
        {"export", "--to=kaldi", "--write-wav", "--form=utf8", written.string(), "--keep-going", "--audio", audio},
        {"export", "--to=jsonl", written.string(), "--keep-going", "--audio", audio, "--format=json"},
        {"report", "-o", page},
        {"report", "--audio", audio, "-o", page},
    };
    struct outcome {
        test_support::run_result run;
        std::map<std::string, std::string> files;
    };
    const auto run = [&](std::vector<std::string> args, const std::string& jobs) {
        fs::remove_all(written);
        fs::create_directories(written);
        args.insert(args.begin() + 1, jobs);
        args.insert(args.end(), {examples, cases.string()});
        outcome o{run_corpus(args), contents(written)};
        return o;
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(test_support::shell_line(command));
        const outcome one = run(command, "-j1");
        const outcome four = run(command, "-j4");
        // Something to compare: the output or the files written, and the
        // files with errors named.
        std::size_t bytes = one.run.out.size();
        for (const auto& [name, data] : one.files)
            bytes += data.size();
        EXPECT_GT(bytes, 1000u);
        EXPECT_NE((one.run.out + one.run.err).find("errors.trl"), std::string::npos);
        EXPECT_EQ(four.run.status, one.run.status);
        EXPECT_TRUE(four.run.out == one.run.out);
        EXPECT_EQ(four.run.err, one.run.err);
        EXPECT_TRUE(four.files == one.files);
    }
}

} // namespace
