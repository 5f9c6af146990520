// Files read into memory: whole, whatever their size, from a pipe as from a
// disk, kept as they were read when the file changes afterwards, and what
// each way of loading refuses; and the growable array that holds them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "common/big_array.h"
#include "common/file_text.h"
#include "tests/support/process.h"

namespace {

using test_support::temp_dir;

// Bytes that differ from place to place, so that a piece read twice or
// left out shows.
std::string pattern(std::size_t size)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
    return s;
}

TEST(FileText, ReadsFilesWholeWhateverTheirSize)
{
    const temp_dir dir;
    files::file_text src; // one object for all, as a worker keeps it
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                   std::size_t{65537}, std::size_t{3} << 20, std::size_t{100}}) {
        const std::string bytes = pattern(size);
        const std::string path = dir.write(std::to_string(size) + ".trl", bytes);
        ASSERT_TRUE(src.load(path)) << src.error();
        EXPECT_TRUE(src.text() == bytes) << size;
        src.release();
    }
    EXPECT_FALSE(src.load(dir.path().string()));
    EXPECT_EQ(src.error(), "Is a directory");
    EXPECT_FALSE(src.load((dir / "missing.trl").string()));
    EXPECT_EQ(src.error(), "No such file or directory");
}

// A text that has been loaded stays as it was read: a file truncated and
// overwritten after its load changes nothing (a mapped file would lose its
// pages and end the process with SIGBUS).
TEST(FileText, TextStaysAsReadWhenTheFileShrinks)
{
    const temp_dir dir;
    const std::string bytes = pattern(std::size_t{4} << 20);
    const std::string path = dir.write("big.trl", bytes);
    files::file_text src;
    ASSERT_TRUE(src.load(path)) << src.error();
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    test_support::write_file(path, "g012abc3_001_ABC_000000: ja .\n\n");
    ASSERT_EQ(truncate(path.c_str(), 10), 0);
    const std::string_view text = src.text();
    ASSERT_EQ(text.size(), bytes.size());
    EXPECT_TRUE(text.substr(1 << 20) == std::string_view(bytes).substr(1 << 20));       // past the file's end now
    EXPECT_TRUE(text.substr(0, 1 << 20) == std::string_view(bytes).substr(0, 1 << 20)); // overwritten
}

// A file whose size is not known before it is read: a pipe written in
// small pieces, and a file of /proc, which says its size is 0.
TEST(FileText, ReadsUntilTheEndWhateverTheSizeSaid)
{
    const temp_dir dir;
    const std::string fifo = (dir / "pipe.trl").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes = pattern(300000);
    std::thread writer([&] {
        FILE* f = std::fopen(fifo.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::setvbuf(f, nullptr, _IONBF, 0);
        for (std::size_t at = 0; at < bytes.size(); at += 1000)
            std::fwrite(bytes.data() + at, 1, std::min<std::size_t>(1000, bytes.size() - at), f);
        std::fclose(f);
    });
    files::file_text src;
    const bool loaded = src.load(fifo);
    writer.join();
    ASSERT_TRUE(loaded) << src.error();
    EXPECT_TRUE(src.text() == bytes);

    struct stat st;
    if (stat("/proc/self/cmdline", &st) == 0 && st.st_size == 0) {
        ASSERT_TRUE(src.load("/proc/self/cmdline"));
        EXPECT_EQ(src.text(), test_support::read_file("/proc/self/cmdline"));
        EXPECT_FALSE(src.text().empty());
    }
}

// What each way of loading takes and refuses: quenda-corpus reads regular
// files (and standard input), trl-check anything that can be read, and
// --fix only regular files; a pipe is refused before it is opened, so that
// no load waits for a writer.
TEST(FileText, EachWayTakesWhatItMayAndRefusesTheRest)
{
    const temp_dir dir;
    const std::string big = pattern(std::size_t{3} << 20);
    dir.write("big.trl", big);
    dir.write("empty.trl", "");
    dir.write("nul.trl", std::string("a\0b", 3));
    std::filesystem::create_directories(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    using accept = files::file_text::accept;
    const std::string refused = "not a regular file";
    const struct {
        std::string path;
        std::string text;                                // when it is loaded
        std::string anything, regular_or_stdin, regular; // the errors; "" loaded; "-" not tried (it would wait)
    } cases[] = {
        {"big.trl", big, "", "", ""},
        {"empty.trl", "", "", "", ""},
        {"nul.trl", std::string("a\0b", 3), "", "", ""},
        {"missing.trl", "", "No such file or directory", "No such file or directory", "No such file or directory"},
        {"folder", "", "Is a directory", "Is a directory", "Is a directory"},
        {"fifo", "", "-", refused, refused},
        {"/dev/null", "", "", refused, refused},
        {"-", "", "-", "-", refused},
    };
    files::file_text t; // one buffer for every file, as a reading thread has
    for (const auto& c : cases) {
        const std::string path = c.path.starts_with('/') || c.path == "-" ? c.path : (dir / c.path).string();
        for (const auto& [which, error] : {std::pair{accept::anything, c.anything},
                                           {accept::regular_or_stdin, c.regular_or_stdin},
                                           {accept::regular, c.regular}}) {
            if (error == "-")
                continue;
            SCOPED_TRACE(c.path + " as " + std::to_string(static_cast<int>(which)));
            EXPECT_EQ(t.load(path, which), error.empty());
            EXPECT_EQ(t.error(), error);
            EXPECT_EQ(t.not_regular(), error == refused);
            EXPECT_TRUE(t.text() == (error.empty() ? std::string_view(c.text) : std::string_view()));
            EXPECT_EQ(t.identity().regular, error.empty() && c.path != "/dev/null");
            t.release();
            EXPECT_TRUE(t.text().empty());
        }
    }
}

// Growing keeps what is held (small pages, then huge ones, by remapping);
// new elements are zero; a moved array is the other's.
TEST(BigArray, GrowsAndKeepsItsValues)
{
    memory::big_array<std::uint32_t> a;
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
    memory::big_array<std::uint32_t> b(std::move(a));
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(b.size(), 1000003u);
    EXPECT_EQ(b[999999], 999999u * 3);
    b.clear();
    EXPECT_TRUE(b.empty());
    memory::big_array<std::uint64_t> z;
    z.resize(300000);
    for (const std::uint64_t v : z)
        ASSERT_EQ(v, 0u);
    EXPECT_EQ(z.end() - z.begin(), 300000);
}

} // namespace
