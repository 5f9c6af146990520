// quenda2raw driven as a user drives it: the built program run on real files
// in a temporary folder, its status, standard error and output checked.
// The Quenda files are laid out byte by byte here, not by the header library.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const reader_name =
    std::endian::native == std::endian::little ? "read_header_vms" : "read_header_sun";

const std::string usage =
    "quenda2raw:\n"
    "  1.0 : transforms a Quenda file into a raw soundfile, \n"
    "  usage: quenda2raw quendafile=<quendaf> rawfile=<rawf> [options]\n"
    "  v\tverbose mode (boolean) (false)\n"
    "  rawfile\traw file name (string) (*REQ*)\n"
    "  quendafile\tQuenda file name (string) (*REQ*)\n"
    "  swap\tswapping short samples (boolean) (false)\n";

void put_le(std::string& b, size_t offset, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[offset + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// The fixed 512-byte header: nspbk at 20, anz_header at 24, version at 293.
std::string fixed_header(int32_t nspbk, int32_t anz_header, int8_t version)
{
    std::string b(512, '\0');
    put_le(b, 20, static_cast<uint32_t>(nspbk), 4);
    put_le(b, 24, static_cast<uint32_t>(anz_header), 4);
    b[48] = 'D';
    b[49] = 'E';
    put_le(b, 244, 16000, 4);  // isf
    b[293] = static_cast<char>(version);
    put_le(b, 294, 16, 2);  // adc_bits
    return b;
}

std::string version1(int32_t nspbk, const std::string& data)
{
    return fixed_header(nspbk, 1, 1) + data;
}

// A version-2 header of `blocks` blocks in all, with both texts.
std::string version2(int32_t nspbk, int32_t blocks, const std::string& ort, const std::string& kan,
                     const std::string& data)
{
    std::string dyn = std::string("ort\0", 4) + ort + std::string("\0oend::\0", 8) + std::string("kan\0", 4) + kan +
                      std::string("\0kend::\0", 8);
    dyn.resize(static_cast<size_t>(blocks - 1) * 512, '\0');
    return fixed_header(nspbk, blocks, 2) + dyn + data;
}

// `n` samples whose two bytes all differ from sample to sample.
std::string sample_data(size_t n)
{
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(static_cast<char>(i * 7 + 1));
        s.push_back(static_cast<char>((i >> 3) ^ 0x5a));
    }
    return s;
}

std::string swapped(std::string s)
{
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        std::swap(s[i], s[i + 1]);
    return s;
}

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

struct Result {
    int status;  // exit status, or 1000 + signal number
    std::string out;
    std::string err;
};

class Quenda2raw : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "quenda2raw-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }

    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    std::string read(const std::string& name) const { return read_path(path(name)); }

    static std::string read_path(const fs::path& p)
    {
        std::ifstream f(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }

    // How the program is started besides its arguments.
    struct Setup {
        rlim_t file_limit = 0;          // > 0 caps the size of files it writes
        int closed_fd = -1;             // a standard descriptor closed at the start
        std::vector<std::string> env;   // NAME=value words added to the environment
        std::string piped_stdin;        // not empty: standard input is a pipe holding these bytes
    };

    // Runs the program in the temporary folder as "quenda2raw" with `args`;
    // `file_limit` > 0 caps the size of files it writes.
    Result run(const std::vector<std::string>& args, rlim_t file_limit = 0) const
    {
        Setup setup;
        setup.file_limit = file_limit;
        return run_with(args, setup);
    }

    Result run_with(const std::vector<std::string>& args, const Setup& setup) const
    {
        const fs::path out_file = dir_ / ".stdout";
        const fs::path err_file = dir_ / ".stderr";
        // At most a pipe's capacity, written before the start.
        int pipe_fds[2] = {-1, -1};
        if (!setup.piped_stdin.empty()) {
            const auto n = static_cast<ssize_t>(setup.piped_stdin.size());
            if (pipe(pipe_fds) != 0 || ::write(pipe_fds[1], setup.piped_stdin.data(), setup.piped_stdin.size()) != n)
                return {-1, "", "cannot fill the pipe"};
            close(pipe_fds[1]);
        }
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0)
                _exit(120);
            if (pipe_fds[0] >= 0 && (dup2(pipe_fds[0], 0) < 0 || close(pipe_fds[0]) != 0))
                _exit(123);
            const int o = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
                _exit(121);
            close(o);
            close(e);
            if (setup.closed_fd >= 0)
                close(setup.closed_fd);
            if (setup.file_limit > 0) {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit rl{setup.file_limit, setup.file_limit};
                if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
                    _exit(122);
            }
            for (const auto& word : setup.env)
                putenv(const_cast<char*>(word.c_str()));
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>("quenda2raw"));
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(QUENDA2RAW_PATH, argv.data());
            _exit(127);
        }
        if (pipe_fds[0] >= 0)
            close(pipe_fds[0]);
        int st = 0;
        waitpid(pid, &st, 0);
        Result r{WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st), read_path(out_file), read_path(err_file)};
        fs::remove(out_file);
        fs::remove(err_file);
        return r;
    }

    fs::path dir_;
};

// --- arguments --------------------------------------------------------------

TEST_F(Quenda2raw, NoArgumentsNamesBothRequiredOnesAndShowsTheUsage)
{
    const Result r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Argument \"rawfile\" is required, but not set!\n"
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
    Result r = run({"rawfile=out.raw", "quendafile=in.qnd", "HeLp=please"});
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
        Result r = run({std::string("quendafile=") + input, "rawfile=plain.raw"});
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
    const Result r = run({"v=yes", "quendafile=in.qnd", "swap=1", "rawfile=out.raw", "ignored", "x=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "quenda2raw was invoked with the following argument values\n"
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
    Result r = run({"quendafile=more.qnd", "rawfile=more.raw"});
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
    const Result r = run({"quendafile=odd.qnd", "rawfile=odd.raw", "v=0", "swap=y"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read("odd.raw") == swapped(data));
}

TEST_F(Quenda2raw, HeaderOnlyGivesEmptyOutput)
{
    write("v1.qnd", version1(2, ""));
    Result r = run({"quendafile=v1.qnd", "rawfile=v1.raw", "v=1"});
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
    const std::string example = read_path(EXAMPLES_DIR "/dialog.qnd");
    ASSERT_GT(example.size(), 1024u);
    write("dialog.qnd", example);
    const Result r = run({"quendafile=dialog.qnd", "rawfile=dialog.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");  // the header announces exactly the samples it holds
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
        long long after;  // bytes read before the error; < 0: none
        long long chunk;  // at most so many bytes per read; < 0: no limit
    } cases[] = {
        {false, -1, -1}, {false, -1, 999}, {true, -1, 999}, {true, -1, 3},
        {false, 0, -1}, {false, 100000, -1}, {true, 100001, -1},
        {false, 1001, 1001}, {false, 5001, 999}, {true, 5001, 999},
    };
    for (const std::string input : {"v1.qnd", "v8.qnd"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(input + ", swap " + std::to_string(c.swap) + ", error after " + std::to_string(c.after) +
                         ", chunk " + std::to_string(c.chunk));
            Setup faults;
            faults.env = read_faults(c.after, c.chunk);
            const Result r =
                run_with({"quendafile=" + input, "rawfile=out.raw", c.swap ? "swap=1" : "swap=0"}, faults);
            const std::string copied = c.after < 0 ? data : data.substr(0, static_cast<size_t>(c.after & ~1LL));
            EXPECT_TRUE(read("out.raw") == (c.swap ? swapped(copied) : copied));
            if (c.after < 0) {
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.err, "");
            } else {
                EXPECT_EQ(r.status, 255);
                EXPECT_EQ(r.err, "quenda2raw: could not read from file " + input +
                                     "\nquenda2raw: Input/output error\n");
            }
        }
    }
}

TEST_F(Quenda2raw, InputFromAPipeGoesOnBehindTheHeader)
{
    const std::string data = sample_data(78 * 256);
    Setup piped;
    piped.piped_stdin = version2(78, 2, "ort", "kan", data);
    const Result r = run_with({"quendafile=/dev/stdin", "rawfile=out.raw", "swap=1"}, piped);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read("out.raw") == swapped(data));
}

TEST_F(Quenda2raw, ClosedStandardDescriptorsKeepMessagesOutOfTheOutput)
{
    const std::string data = sample_data(1000);
    write("in.qnd", version1(3, data));
    for (const int fd : {0, 1, 2}) {
        Setup closed;
        closed.closed_fd = fd;
        const Result r = run_with({"v=1", "swap=1", "quendafile=in.qnd", "rawfile=out.raw"}, closed);
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
        {"in.qnd", "in.qnd"},         // the same path
        {"./in.qnd", "in.qnd"},       // another spelling
        {"hard.qnd", "in.qnd"},       // a hard link
        {"soft.qnd", "in.qnd"},       // a symbolic link as output
        {"in.qnd", "soft.qnd"},       // a symbolic link as input
    };
    for (const auto& [raw, quenda] : cases) {
        const Result r = run({"rawfile=" + raw, "quendafile=" + quenda, "v=1"});
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
    Result r = run({"quendafile=small.qnd", "rawfile=/dev/full"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err,
              "quenda2raw: could not write to file /dev/full\n"
              "quenda2raw: No space left on device\n");

    // Large enough to fail inside the copy.
    write("large.qnd", version1(512, sample_data(512 * 256)));
    r = run({"quendafile=large.qnd", "rawfile=/dev/full", "v=1"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err.substr(r.err.find("quenda2raw: could")),
              "quenda2raw: could not write to file /dev/full\n"
              "quenda2raw: No space left on device\n");
}

TEST_F(Quenda2raw, FailedWriteLeavesTheSamplesWrittenBefore)
{
    const std::string data = sample_data(3 * 32768);
    write("in.qnd", version1(384, data));
    const rlim_t limit = 100000;
    const Result r = run({"quendafile=in.qnd", "rawfile=out.raw", "swap=1"}, limit);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err,
              "quenda2raw: could not write to file out.raw\n"
              "quenda2raw: File too large\n");
    const std::string raw = read("out.raw");
    EXPECT_EQ(raw.size(), limit);
    EXPECT_TRUE(raw == swapped(data).substr(0, raw.size()));
}

TEST_F(Quenda2raw, FailedWriteWithoutSwapLeavesTheSamplesWrittenBefore)
{
    const std::string data = sample_data(3 * 32768);
    write("v1.qnd", version1(384, data));
    write("v8.qnd", version2(384, 8, "o", "k", data));  // through the kernel's copy
    for (const std::string input : {"v1.qnd", "v8.qnd"}) {
        const Result r = run({"quendafile=" + input, "rawfile=out.raw", "v=1"}, 100000);
        EXPECT_EQ(r.status, 255) << input;
        EXPECT_EQ(r.err.substr(r.err.find("quenda2raw: could")),
                  "quenda2raw: could not write to file out.raw\n"
                  "quenda2raw: File too large\n")
            << input;
        EXPECT_TRUE(read("out.raw") == data.substr(0, 100000)) << input;
    }
}

TEST_F(Quenda2raw, UnreadableInput)
{
    Result r = run({"quendafile=missing.qnd", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: error - could not open quendafile missing.qnd\n");
    EXPECT_TRUE(fs::exists(path("out.raw")));
    EXPECT_EQ(read("out.raw"), "");

    write("short.qnd", std::string(100, 'q'));
    r = run({"quendafile=short.qnd", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, std::string(reader_name) + ": read error for 512 bytes (fixed header)\n" +
                         "quenda2raw: error - could not read quenda header from short.qnd\n");

    fs::create_directory(path("folder.qnd"));
    r = run({"quendafile=folder.qnd", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, std::string(reader_name) + ": read error for 512 bytes (fixed header)\n" +
                         "quenda2raw: error - could not read quenda header from folder.qnd\n");

    // A header of no blocks is no usable header; it is never copied as samples.
    std::string zero = version1(1, sample_data(256));
    put_le(zero, 24, 0, 4);
    write("zero.qnd", zero);
    write("out.raw", "old contents");
    r = run({"quendafile=zero.qnd", "rawfile=out.raw"});
    EXPECT_EQ(r.status, 255);
    const std::string last = "quenda2raw: error - could not read quenda header from zero.qnd\n";
    ASSERT_GE(r.err.size(), last.size());
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last);
    EXPECT_EQ(r.err.rfind(std::string(reader_name) + ": cannot allocate space for rest of header\n", 0), 0u);
    EXPECT_EQ(read("out.raw"), "");
}

TEST_F(Quenda2raw, UncreatableOutputNeverOpensTheInput)
{
    const Result r = run({"quendafile=missing.qnd", "rawfile=no/such/folder/out.raw"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2raw: error - could not open rawfile no/such/folder/out.raw\n");
}

}  // namespace
