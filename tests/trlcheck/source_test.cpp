// Files read into memory: whole, whatever their size, from a pipe as from a
// disk, and kept as they were read when the file changes afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/process.h"
#include "checker/trl-check/source.h"

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

TEST(TrlCheckSource, ReadsFilesWholeWhateverTheirSize)
{
    const temp_dir dir;
    trl::cli::source_text src; // one object for all, as a worker keeps it
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
TEST(TrlCheckSource, TextStaysAsReadWhenTheFileShrinks)
{
    const temp_dir dir;
    const std::string bytes = pattern(std::size_t{4} << 20);
    const std::string path = dir.write("big.trl", bytes);
    trl::cli::source_text src;
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
TEST(TrlCheckSource, ReadsUntilTheEndWhateverTheSizeSaid)
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
    trl::cli::source_text src;
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

} // namespace
