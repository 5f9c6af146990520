// quenda2raw driven as a user drives it: the built program run on real files
// in a temporary folder, its status, standard error and output checked.
// The Quenda files come from tests/support/quenda_maker.h, not from the
// header library.
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"
#include "common/version.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quenda_maker;
using test_support::run_options;
using test_support::run_result;

const std::string usage = "quenda2raw:\n"
                          "  1.0 : transforms a Quenda file into a raw soundfile, \n"
                          "  usage: quenda2raw quendafile=<quendaf> rawfile=<rawf> [options]\n"
                          "  v\tverbose mode (boolean) (false)\n"
                          "  rawfile\traw file name (string) (*REQ*)\n"
                          "  quendafile\tQuenda file name (string) (*REQ*)\n"
                          "  swap\tswapping short samples (boolean) (false)\n";

// The environment that preloads the read faults (tests/convert/read_faults.cpp):
// `after` bytes delivered before reads fail (< 0: never), at most `chunk`
// per call (< 0: no limit).  The sanitizers' runtime has to accept a
// library loaded before it.
std::vector<std::string> read_faults(long long after, long long chunk)
{
    const char* asan = getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" READ_FAULTS_PATH, "READ_FAULT_AFTER=" + std::to_string(after),
            "READ_FAULT_CHUNK=" + std::to_string(chunk),
            std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan + std::string(":") : "") +
                "verify_asan_link_order=0"};
}

// The program run as "quenda2raw" in a temporary folder of its own.
class Quenda2raw : public ::testing::Test {
protected:
    fs::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& bytes) const { dir_.write(name, bytes); }
    std::string read(const std::string& name) const { return dir_.read(name); }

    run_result run(const std::vector<std::string>& args, run_options options = {}) const
    {
        options.cwd = dir_.path();
        options.argv0 = "quenda2raw";
        return test_support::run(QUENDA2RAW_PATH, args, options);
    }
    // `file_limit` caps the size of the files it writes.
    run_result run_limited(const std::vector<std::string>& args, rlim_t file_limit) const
    {
        run_options options;
        options.file_limit = file_limit;
        return run(args, options);
    }

    test_support::temp_dir dir_;
};

// --- arguments --------------------------------------------------------------

TEST_F(Quenda2raw, NoArgumentsNamesBothRequiredOnesAndShowsTheUsage)
{
    const run_result r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Argument \"rawfile\" is required, but not set!\n"
                     "Argument \"quendafile\" is required, but not set!\n" +
                         usage);
    EXPECT_EQ(r.out, "");

    // A word without "=" before the file names ends the arguments.
    EXPECT_EQ(run({"in.qnd", "quendafile=in.qnd", "rawfile=out.raw"}).err,
              "Argument \"rawfile\" is required, but not set!\n"
              "Argument \"quendafile\" is required, but not set!\n" +
                  usage);
    EXPECT_FALSE(fs::exists(path("out.raw")));
}

TEST_F(Quenda2raw, HelpAndArgumentErrorsTouchNoFile)
{
    write("in.qnd", version1(1, sample_data(256)));
    run_result r = run({"rawfile=out.raw", "quendafile=in.qnd", "HeLp=please"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, usage);
    r = run({"rawfile=out.raw", "quendafile=in.qnd", "Swap=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Unkown argument \"Swap\"\n" + usage);
    r = run({"v=1", "rawfile=out.raw", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 1);
    std::string verbose_usage = usage;
    verbose_usage.replace(verbose_usage.find("(false)"), 7, "(true)");
    EXPECT_EQ(r.err, "Error: argument rawfile multiply set!\n" + verbose_usage);
    EXPECT_FALSE(fs::exists(path("out.raw")));
}

// --- conversion ---------------------------------------------------------------

TEST_F(Quenda2raw, CopiesEverySampleUnchangedOrSwapped)
{
    // More than one block of the copy, and not a whole number of them.
    const std::string data = sample_data(400 * 256);
    write("v1.qnd", version1(400, data));
    write("v2.qnd", version2(400, 3, "ort text", "kan text", data));

    for (const char* input : {"v1.qnd", "v2.qnd"}) {
        run_result r = run({std::string("quendafile=") + input, "rawfile=plain.raw"});
        EXPECT_EQ(r.status, 0) << input;
        EXPECT_EQ(r.err, "") << input;
        EXPECT_TRUE(read("plain.raw") == data) << input;

        // Swapping without verbose mode prints nothing.
        r = run({"swap=T", "rawfile=swapped.raw", std::string("quendafile=") + input});
        EXPECT_EQ(r.status, 0) << input;
        EXPECT_EQ(r.err, "") << input;
        EXPECT_TRUE(read("swapped.raw") == swapped(data)) << input;
    }
    EXPECT_EQ(read("v1.qnd"), version1(400, data));
}

TEST_F(Quenda2raw, VerboseRunReportsInOrder)
{
    write("in.qnd", version2(3, 2, "hello", "h@l@U", sample_data(700)));
    const run_result r = run({"v=yes", "quendafile=in.qnd", "swap=1", "rawfile=out.raw", "ignored", "x=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenda2raw was invoked with the following argument values\n"
                     " (some of which may be defaults):\n"
                     "  v=true\n"
                     "  rawfile=out.raw\n"
                     "  quendafile=in.qnd\n"
                     "  swap=true\n"
                     "quenda2raw: swapping\n"
                     "quenda2raw: written 1400 bytes\n"
                     "quenda2raw: warning - counted samples incorrect (700 != 768)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(read("out.raw") == swapped(sample_data(700)));
}

TEST_F(Quenda2raw, CountWarningBothWaysWithStatusZero)
{
    write("more.qnd", version1(1, sample_data(300)));
    run_result r = run({"quendafile=more.qnd", "rawfile=more.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenda2raw: warning - counted samples incorrect (300 != 256)\n");
    EXPECT_EQ(read("more.raw").size(), 600u);

    write("less.qnd", version1(4, sample_data(1000)));
    r = run({"quendafile=less.qnd", "rawfile=less.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenda2raw: warning - counted samples incorrect (1000 != 1024)\n");
    EXPECT_EQ(read("less.raw").size(), 2000u);
}

TEST_F(Quenda2raw, OddLastByteIsDropped)
{
    const std::string data = sample_data(32768 + 256);
    write("odd.qnd", version1(129, data + "\x7f"));
    const run_result r = run({"quendafile=odd.qnd", "rawfile=odd.raw", "v=0", "swap=y"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read("odd.raw") == swapped(data));
}

TEST_F(Quenda2raw, HeaderOnlyGivesEmptyOutput)
{
    write("v1.qnd", version1(2, ""));
    run_result r = run({"quendafile=v1.qnd", "rawfile=v1.raw", "v=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("quenda2raw: written 0 bytes\n"
                         "quenda2raw: warning - counted samples incorrect (0 != 512)\n"),
              std::string::npos);
    EXPECT_EQ(read("v1.raw"), "");

    write("v2.qnd", version2(0, 2, "a", "b", ""));
    r = run({"quendafile=v2.qnd", "rawfile=v2.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(path("v2.raw")));
    EXPECT_EQ(read("v2.raw"), "");
}

TEST_F(Quenda2raw, BundledExampleConvertsCleanly)
{
    const std::string example = test_support::read_file(EXAMPLES_DIR "/dialog.qnd");
    ASSERT_GT(example.size(), 1024u);
    write("dialog.qnd", example);
    const run_result r = run({"quendafile=dialog.qnd", "rawfile=dialog.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ""); // the header announces exactly the samples it holds
    const std::string raw = read("dialog.raw");
    EXPECT_GT(raw.size(), 0u);
    EXPECT_TRUE(raw == example.substr(example.size() - raw.size()));
}

TEST_F(Quenda2raw, ReadsEndingInsideSamplesAndReadErrors)
{
    // Without swap, samples behind a header of 8 blocks (4096 bytes, whole
    // pages of 4 KiB) go through the kernel's copy, the others through blocks.
    const std::string data = sample_data(275 * 256);
    write("v1.qnd", version1(275, data + "\x7f"));
    write("v8.qnd", version2(275, 8, "o", "k", data + "\x7f"));
    const struct {
        bool swap;
        long long after; // bytes read before the error; < 0: none
        long long chunk; // at most so many bytes per read; < 0: no limit
    } cases[] = {
        {false, -1, -1},     {false, -1, 999},   {true, -1, 999},     {true, -1, 3},      {false, 0, -1},
        {false, 100000, -1}, {true, 100001, -1}, {false, 1001, 1001}, {false, 5001, 999}, {true, 5001, 999},
    };
    for (const std::string input : {"v1.qnd", "v8.qnd"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(input + ", swap " + std::to_string(c.swap) + ", error after " + std::to_string(c.after) +
                         ", chunk " + std::to_string(c.chunk));
            run_options faults;
            faults.env = read_faults(c.after, c.chunk);
            const run_result r = run({"quendafile=" + input, "rawfile=out.raw", c.swap ? "swap=1" : "swap=0"}, faults);
            const std::string copied = c.after < 0 ? data : data.substr(0, static_cast<size_t>(c.after & ~1LL));
            EXPECT_TRUE(read("out.raw") == (c.swap ? swapped(copied) : copied));
            if (c.after < 0) {
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.err, "");
            } else {
                EXPECT_EQ(r.status, 255);
                EXPECT_EQ(r.err,
                          "quenda2raw: could not read from file " + input + "\nquenda2raw: Input/output error\n");
            }
        }
    }
}

TEST_F(Quenda2raw, InputFromAPipeGoesOnBehindTheHeader)
{
    const std::string data = sample_data(78 * 256);
    run_options piped;
    piped.in_is_pipe = true;
    piped.in = version2(78, 2, "ort", "kan", data);
    const run_result r = run({"quendafile=/dev/stdin", "rawfile=out.raw", "swap=1"}, piped);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read("out.raw") == swapped(data));
}

TEST_F(Quenda2raw, ClosedStandardDescriptorsKeepMessagesOutOfTheOutput)
{
    const std::string data = sample_data(1000);
    write("in.qnd", version1(3, data));
    for (const int fd : {0, 1, 2}) {
        run_options closed;
        closed.closed = {fd};
        const run_result r = run({"v=1", "swap=1", "quendafile=in.qnd", "rawfile=out.raw"}, closed);
        EXPECT_EQ(r.status, 0) << "descriptor " << fd << " closed";
        EXPECT_TRUE(read("out.raw") == swapped(data)) << "descriptor " << fd << " closed";
        if (fd != 2) {
            EXPECT_NE(r.err.find("quenda2raw: swapping\n"
                                 "quenda2raw: written 2000 bytes\n"
                                 "quenda2raw: warning - counted samples incorrect (1000 != 768)\n"),
                      std::string::npos)
                << "descriptor " << fd << " closed";
        }
    }
}

// --- failures -----------------------------------------------------------------

TEST_F(Quenda2raw, OutputNamingTheInputIsRefusedBeforeAnythingIsOpened)
{
    const std::string original = version1(1, sample_data(256));
    write("in.qnd", original);
    fs::create_hard_link(path("in.qnd"), path("hard.qnd"));
    fs::create_symlink("in.qnd", path("soft.qnd"));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"in.qnd", "in.qnd"},   // the same path
        {"./in.qnd", "in.qnd"}, // another spelling
        {"hard.qnd", "in.qnd"}, // a hard link
        {"soft.qnd", "in.qnd"}, // a symbolic link as output
        {"in.qnd", "soft.qnd"}, // a symbolic link as input
    };
    for (const auto& [raw, quenda] : cases) {
        const run_result r = run({"rawfile=" + raw, "quendafile=" + quenda, "v=1"});
        EXPECT_EQ(r.status, 255) << raw << " " << quenda;
        const std::string msg = "quenda2raw: error - rawfile " + raw + " would overwrite quendafile " + quenda + "\n";
        ASSERT_GE(r.err.size(), msg.size());
        EXPECT_EQ(r.err.substr(r.err.size() - msg.size()), msg) << "after the listing";
        EXPECT_EQ(read("in.qnd"), original) << raw << " " << quenda;
    }
    EXPECT_TRUE(fs::is_symlink(path("soft.qnd")));
}

TEST_F(Quenda2raw, FailedFinalFlushIsAnError)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    // Small enough to stay in the stream's buffer until the close.
    write("small.qnd", version1(1, sample_data(256)));
    run_result r = run({"quendafile=small.qnd", "rawfile=/dev/full"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: could not write to file /dev/full\n"
                     "quenda2raw: No space left on device\n");

    // Large enough to fail inside the copy.
    write("large.qnd", version1(512, sample_data(512 * 256)));
    r = run({"quendafile=large.qnd", "rawfile=/dev/full", "v=1"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err.substr(r.err.find("quenda2raw: could")), "quenda2raw: could not write to file /dev/full\n"
                                                             "quenda2raw: No space left on device\n");
}

TEST_F(Quenda2raw, FailedWriteLeavesTheSamplesWrittenBefore)
{
    const std::string data = sample_data(3 * 32768);
    write("in.qnd", version1(384, data));
    const rlim_t limit = 100000;
    const run_result r = run_limited({"quendafile=in.qnd", "rawfile=out.raw", "swap=1"}, limit);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: could not write to file out.raw\n"
                     "quenda2raw: File too large\n");
    const std::string raw = read("out.raw");
    EXPECT_EQ(raw.size(), limit);
    EXPECT_TRUE(raw == swapped(data).substr(0, raw.size()));
}

TEST_F(Quenda2raw, FailedWriteWithoutSwapLeavesTheSamplesWrittenBefore)
{
    const std::string data = sample_data(3 * 32768);
    write("v1.qnd", version1(384, data));
    write("v8.qnd", version2(384, 8, "o", "k", data)); // through the kernel's copy
    for (const std::string input : {"v1.qnd", "v8.qnd"}) {
        const run_result r = run_limited({"quendafile=" + input, "rawfile=out.raw", "v=1"}, 100000);
        EXPECT_EQ(r.status, 255) << input;
        EXPECT_EQ(r.err.substr(r.err.find("quenda2raw: could")), "quenda2raw: could not write to file out.raw\n"
                                                                 "quenda2raw: File too large\n")
            << input;
        EXPECT_TRUE(read("out.raw") == data.substr(0, 100000)) << input;
    }
}

TEST_F(Quenda2raw, UnreadableInput)
{
    run_result r = run({"quendafile=missing.qnd", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: error - could not open quendafile missing.qnd\n");
    EXPECT_TRUE(fs::exists(path("out.raw")));
    EXPECT_EQ(read("out.raw"), "");

    fs::create_directory(path("folder.qnd"));
    r = run({"quendafile=folder.qnd", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "read_header_vms: read error for 512 bytes (fixed header)\n"
                     "quenda2raw: error - could not read quenda header from folder.qnd\n");
}

// Inputs without a usable header: the header reader says why, the driver
// that it could not read the header, from a file or a pipe alike; the
// output is left empty.  A block count that claims more than the input
// holds costs no memory beyond the input's bytes (the header library's
// tests count them).
TEST_F(Quenda2raw, InputsWithoutAUsableHeader)
{
    const std::string fixed_error = "read_header_vms: read error for 512 bytes (fixed header)\n";
    const std::string no_room =
        "read_header_vms: cannot allocate space for rest of header\nread_header_vms: Cannot allocate memory\n";
    const std::string short_part = "read_header_vms: read error for dynamic part of header\n";
    const std::string assumed_2 = "read_header_vms: header information inconsistent\n assuming header version 2\n";
    const struct {
        std::string bytes;
        std::string reader_says;
    } cases[] = {
        {"", fixed_error},
        {std::string(100, 'q'), fixed_error},
        {version1(1, "").substr(0, 511), fixed_error},
        {fixed_header(1, 0, 1) + sample_data(256), no_room},
        {fixed_header(1, -1, 1) + sample_data(256), no_room},
        {fixed_header(1, -100, 2) + sample_data(256), no_room},
        {fixed_header(1, INT32_MIN, 1) + sample_data(256), no_room},
        {fixed_header(1, INT32_MAX, 1) + sample_data(256), assumed_2 + no_room},
        {fixed_header(1, 3, 2) + dynamic_part("o", "k", 2), short_part},
        {fixed_header(1, 1 << 20, 2) + dynamic_part("o", "k", 2) + sample_data(256), short_part},
        {version2(1, 2, "ort", "kan", "").substr(0, 700), short_part},
    };
    for (const auto& c : cases) {
        write("in.qnd", c.bytes);
        for (const bool pipe : {false, true}) {
            SCOPED_TRACE(std::to_string(c.bytes.size()) + " bytes" + (pipe ? " through a pipe" : ""));
            write("out.raw", "old contents");
            run_options o;
            o.in = c.bytes;
            o.in_is_pipe = pipe;
            const std::string input = pipe ? "/dev/stdin" : "in.qnd";
            const run_result r = run({"quendafile=" + input, "rawfile=out.raw"}, o);
            EXPECT_EQ(r.status, 255);
            EXPECT_EQ(r.err, c.reader_says + "quenda2raw: error - could not read quenda header from " + input + "\n");
            EXPECT_EQ(read("out.raw"), "");
        }
    }
}

TEST_F(Quenda2raw, LongHeaderThroughAPipe)
{
    // 300 blocks: more than one step of the header's reading.
    const std::string data = sample_data(5 * 256);
    run_options piped;
    piped.in_is_pipe = true;
    piped.in = version2(5, 300, "ort", "kan", data);
    const run_result r = run({"quendafile=/dev/stdin", "rawfile=out.raw"}, piped);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read("out.raw") == data);
}

TEST_F(Quenda2raw, StandardOutputAsTheRawFile)
{
    write("in.qnd", version1(1, sample_data(256)));
    run_options to_file;
    to_file.out_to = path("captured.raw").string();
    run_result r = run({"quendafile=in.qnd", "rawfile=/dev/stdout"}, to_file);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(read("captured.raw") == sample_data(256));

    // Closed, it is no place for the samples: a failure, not a loss.
    run_options closed;
    closed.out_to = "-";
    r = run({"quendafile=in.qnd", "rawfile=/dev/stdout"}, closed);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: error - could not open rawfile /dev/stdout\n");
}

TEST_F(Quenda2raw, HelpAndVersionAlone)
{
    const struct {
        std::vector<std::string> args;
        std::string out_to;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {{"--help"}, "", 0, usage, ""},
        {{"--version"}, "", 0, "quenda2raw (quenda tools) " QUENDA_TOOLS_VERSION "\n", ""},
        {{"--version"}, "-", 255, "", "quenda2raw: could not write to standard output: Bad file descriptor\n"},
        // Among other words, a word without "=" that ends the arguments.
        {{"--help", "quendafile=in.qnd"},
         "",
         1,
         "",
         "Argument \"rawfile\" is required, but not set!\nArgument \"quendafile\" is required, but not set!\n" + usage},
    };
    for (const auto& c : cases) {
        run_options o;
        o.out_to = c.out_to;
        const run_result r = run(c.args, o);
        EXPECT_EQ(r.status, c.status) << c.args[0] << c.out_to;
        EXPECT_EQ(r.out, c.out) << c.args[0] << c.out_to;
        EXPECT_EQ(r.err, c.err) << c.args[0] << c.out_to;
    }
}

TEST_F(Quenda2raw, UncreatableOutputNeverOpensTheInput)
{
    const run_result r = run({"quendafile=missing.qnd", "rawfile=no/such/folder/out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: error - could not open rawfile no/such/folder/out.raw\n");
}

} // namespace
