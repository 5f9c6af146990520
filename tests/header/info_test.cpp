// What a header implies and the checks before a reader runs: against files
// laid out by the maker, the size and block count told apart at each bound.
#include "tests/support/header_fixtures.h"
#include "header/info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <future>

namespace {

const std::string not_quenda = "not a Quenda file: ";

TEST(Check, SizeAndBlockCountAtEachBound)
{
    struct Case {
        std::int32_t anz;
        std::int64_t size; // or quenda::unknown_size
        std::string problem;
    };
    const Case cases[] = {
        {1, 0, "too short for a header (0 bytes)"},
        {1, 511, "too short for a header (511 bytes)"},
        {1, 512, ""}, // exactly its header
        {0, 4096, "anz_header is 0, below 1"},
        {-1, 4096, "anz_header is -1, below 1"},
        {INT_MIN, 4096, "anz_header is -2147483648, below 1"},
        {2, 1023, "header larger than the file (anz_header 2 is 1024 bytes, the file 1023)"},
        {2, 1024, ""},
        {INT32_MAX, 1024, "header larger than the file (anz_header 2147483647 is 1099511627264 bytes, the file 1024)"},
        {INT32_MAX, quenda::unknown_size, ""}, // only the block count is judged
        {0, quenda::unknown_size, "anz_header is 0, below 1"},
    };
    for (const Case& c : cases) {
        const Bytes fixed = fixed_block(Order::little, Extras::junk, c.anz, 2);
        const quenda::file_check got =
            quenda::check_fixed_header(reinterpret_cast<const unsigned char*>(fixed.data()), c.size);
        EXPECT_EQ(got.problem, c.problem.empty() ? "" : not_quenda + c.problem) << c.anz << " " << c.size;
        EXPECT_FALSE(got.read_error);
        if (c.size >= 512) {
            EXPECT_EQ(got.anz_header, c.anz);
            EXPECT_EQ(got.header_bytes, c.problem.empty() || c.anz > 0 ? std::int64_t{c.anz} * 512 : 0);
        }
    }
    // The file's byte order, whatever the host's: the other order's 1 is
    // 2^24 blocks.
    const Bytes other = fixed_block(Order::big, Extras::none, 1, 1);
    EXPECT_EQ(quenda::check_fixed_header(reinterpret_cast<const unsigned char*>(other.data()), 512).anz_header,
              1 << 24);
}

TEST(Check, StreamReadFromItsStart)
{
    Input in(v2_file(Order::little));
    std::fseek(in.get(), 700, SEEK_SET);
    const quenda::file_check c = quenda::check_quenda_file(in.get(), 1024);
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(c.header_bytes, 1024);

    // A file shorter than the size it was said to have.
    Input cut(v2_file(Order::little).substr(0, 300));
    errno = 0;
    const quenda::file_check r = quenda::check_quenda_file(cut.get(), 1024);
    EXPECT_TRUE(r.read_error);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(errno, EIO);
    // Too short by its size: nothing is read.
    EXPECT_EQ(quenda::check_quenda_file(cut.get(), 300).problem, not_quenda + "too short for a header (300 bytes)");
}

TEST(Describe, WhatTheHeaderImplies)
{
    struct Case {
        std::int32_t anz, nspbk, isf;
        std::int64_t size;
        int version;
        std::int64_t samples;
        bool odd;
        bool plausible;
    };
    const Case cases[] = {
        {1, 2, 16000, 512, 1, 0, false, true}, // exactly its header
        {2, 2, 16000, 1024, 2, 0, false, true},
        {1, 2, 999, 512 + 2001, 1, 1000, true, false}, // the plausible rates' bounds
        {1, 2, 1000, 512 + 2000, 1, 1000, false, true},
        {3, 2, 384000, 1536 + 768000, 2, 384000, false, true},
        {3, 2, 384001, 1536 + 768000, 2, 384000, false, false},
        {1, -1, 0, 512 + 3, 1, 1, true, false},
    };
    for (const Case& c : cases) {
        Record h;
        h->anz_header = c.anz;
        h->nspbk = c.nspbk;
        h->isf = c.isf;
        const quenda::file_info i = quenda::describe_file(*h.get(), c.size);
        EXPECT_EQ(i.version, c.version) << c.anz;
        EXPECT_EQ(i.header_bytes, std::int64_t{c.anz} * 512);
        EXPECT_EQ(i.samples, c.samples) << c.size;
        EXPECT_EQ(i.odd_byte, c.odd) << c.size;
        EXPECT_EQ(i.announced_samples, std::int64_t{c.nspbk} * 256);
        EXPECT_EQ(i.rate_plausible, c.plausible) << c.isf;
        EXPECT_DOUBLE_EQ(i.seconds, c.plausible ? static_cast<double>(c.samples) / c.isf : 0) << c.isf;
    }
}

TEST(HostReader, PlainNumbersAndBothTexts)
{
    Input in(v2_file(Order::little));
    Texts t;
    Record h(read_header_of_this_host(in.get(), &t.ort, &t.kan));
    ASSERT_NE(h.get(), nullptr);
    EXPECT_EQ(h->anz_header, 2);
    EXPECT_EQ(h->nspbk, 74565);
    EXPECT_STREQ(t.ort, sample_ort.c_str());
    EXPECT_STREQ(t.kan, sample_kan.c_str());
}

// A folder of its own, removed with what it holds.
struct Folder {
    std::string path;
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenda-header-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

TEST(OpenRegularFile, RegularFilesOnlyAndNoWaitOnAFifo)
{
    Folder dir;
    const std::string file = dir.path + "/a.qnd", fifo = dir.path + "/fifo.qnd";
    {
        FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("1234567", f);
        std::fclose(f);
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    FILE* f = nullptr;
    struct stat st {};
    ASSERT_EQ(quenda::open_regular_file(file.c_str(), f, st), quenda::open_status::opened);
    EXPECT_EQ(st.st_size, 7);
    EXPECT_EQ(fcntl(fileno(f), F_GETFL) & O_NONBLOCK, 0) << "reads wait as usual";
    std::fclose(f);

    errno = 0;
    EXPECT_EQ(quenda::open_regular_file((dir.path + "/missing").c_str(), f, st), quenda::open_status::cannot_open);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(quenda::open_regular_file(dir.path.c_str(), f, st), quenda::open_status::not_regular);

    // Should the open wait for a writer, one comes after a while and lets
    // it go, and the test fails instead of hanging.
    auto opened = std::async(std::launch::async, [&] {
        FILE* g = nullptr;
        struct stat s {};
        return quenda::open_regular_file(fifo.c_str(), g, s);
    });
    if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "open_regular_file waits on a FIFO";
        close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_EQ(opened.get(), quenda::open_status::not_regular);
}

} // namespace
