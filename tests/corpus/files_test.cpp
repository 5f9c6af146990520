// What reading a corpus rests on: a file's bytes loaded whole (and what
// is refused), lines told from offsets, the line of a file left out, the
// threads for n files, work spread over threads, and the growable array
// of plain values.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "corpus/big_array.h"
#include "corpus/files.h"
#include "corpus/parallel.h"
#include "tests/support/process.h"

namespace {

using namespace corpus;
namespace fs = std::filesystem;

TEST(CorpusFiles, TextLoadedWholeOrRefused)
{
    const test_support::temp_dir dir;
    std::string big;
    for (int i = 0; big.size() < (std::size_t{3} << 20); ++i)
        big += "line " + std::to_string(i) + "\n";
    dir.write("big.trl", big);
    dir.write("empty.trl", "");
    dir.write("nul.trl", std::string("a\0b", 3));
    fs::create_directories(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    file_text t; // one buffer for every file, as a reading thread has
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"big.trl", big},
                                      {"empty.trl", ""},
                                      {"nul.trl", std::string("a\0b", 3)},
                                      {"big.trl", big}}) {
        std::string error;
        ASSERT_TRUE(t.load((dir / name).string(), error)) << name << ": " << error;
        EXPECT_TRUE(t.text() == bytes) << name;
        t.release();
        EXPECT_TRUE(t.text().empty());
    }
    const struct {
        std::string name, error;
    } refused[] = {
        {"missing.trl", "No such file or directory"},
        {"folder", "Is a directory"},
        {"fifo", "not a regular file"}, // not waited on
    };
    for (const auto& r : refused) {
        std::string error;
        EXPECT_FALSE(t.load((dir / r.name).string(), error)) << r.name;
        EXPECT_EQ(error, r.error);
        EXPECT_TRUE(t.text().empty());
    }
}

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

// Growing keeps what is held (small pages, then huge ones, by remapping);
// new elements are zero; a moved array is the other's.
TEST(CorpusBigArray, GrowsAndKeepsItsValues)
{
    big_array<std::uint32_t> a;
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.capacity(), 0u);
    for (std::uint32_t i = 0; i < 1000000; ++i) // through 64 KiB units to 2 MiB ones
        a.push_back(i * 3);
    ASSERT_EQ(a.size(), 1000000u);
    EXPECT_GE(a.capacity(), a.size());
    for (std::uint32_t i = 0; i < a.size(); i += 997)
        ASSERT_EQ(a[i], i * 3);
    const std::uint32_t more[] = {7, 8, 9};
    a.append(more, 3);
    EXPECT_EQ(a[1000002], 9u);
    big_array<std::uint32_t> b(std::move(a));
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(b.size(), 1000003u);
    EXPECT_EQ(b[999999], 999999u * 3);
    b.clear();
    EXPECT_TRUE(b.empty());
    big_array<std::uint64_t> z;
    z.resize(300000);
    for (const std::uint64_t v : z)
        ASSERT_EQ(v, 0u);
    EXPECT_EQ(z.end() - z.begin(), 300000);
}

} // namespace
