// What reading a corpus rests on: lines told from offsets, the line of a
// file left out, the threads for n files and work spread over threads.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "corpus/files.h"
#include "corpus/parallel.h"
#include "tests/support/process.h"

namespace {

using namespace corpus;
namespace fs = std::filesystem;

TEST(CorpusFiles, LinesOfOffsets)
{
    const std::string text = "ab\ncd\n\nefg\nh";
    file_view v("x.trl", text);
    // Forward, again, backward, and beyond the end.
    const std::vector<std::pair<std::size_t, long>> asked = {
        {0, 1}, {2, 1}, {3, 2}, {6, 3}, {7, 4}, {7, 4}, {11, 5}, {4, 2}, {0, 1}, {12, 5}, {1000, 5}, {10, 4},
    };
    for (const auto& [offset, line] : asked)
        EXPECT_EQ(v.line_of(offset), line) << offset;
    EXPECT_EQ(v.path(), "x.trl");
}

TEST(CorpusFiles, LineOfAFileLeftOut)
{
    file_outcome f;
    f.what = file_outcome::status::left_out;
    f.path = "a\tb.trl";
    f.line = 6;
    f.column = 50;
    f.code = "T009";
    f.message = "missing blank: found '.' in the word";
    EXPECT_EQ(left_out_line(f), "a\\tb.trl:6:50: error[T009]: missing blank: found '.' in the word (file left out)");
    f.code.clear();
    f.message = "syntax error";
    EXPECT_EQ(left_out_line(f), "a\\tb.trl:6:50: error: syntax error (file left out)");
}

TEST(CorpusFiles, ThreadsForTheFiles)
{
    options o;
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(job_count(o), processors);
    EXPECT_EQ(worker_count(o, 0), 1u);
    EXPECT_EQ(worker_count(o, 1), 1u);
    EXPECT_EQ(worker_count(o, 100000), processors);
    o.jobs = 8;
    EXPECT_EQ(job_count(o), 8u);
    EXPECT_EQ(worker_count(o, 3), 3u);
    EXPECT_EQ(worker_count(o, 9), 8u);
    EXPECT_EQ(worker_count(o, 0), 1u);
}

TEST(CorpusParallel, EveryItemOnce)
{
    for (const std::size_t n : {0, 1, 7, 5000})
        for (const unsigned threads : {1u, 2u, 8u}) {
            std::vector<std::atomic<int>> done(n);
            std::atomic<std::size_t> calls{0};
            parallel_for(n, threads, [&](std::size_t i) {
                ++done[i];
                ++calls;
            });
            EXPECT_EQ(calls.load(), n) << n << " " << threads;
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(done[i].load(), 1) << i;
        }
}

} // namespace
