// quenda2wav run on hand-laid files: the WAV files it writes (header bytes
// as wav_test pins them, frames as quenda2raw would copy them), the rate
// from isf or rate=, swap, pipes and a fifo as output, and every refusal.
#include "tests/support/glob.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"
#include "convert/wav.h"
#include "common/version.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace quenda_maker;
using test_support::run_options;
using test_support::run_result;

const std::string data = sample_data(1024); // as nspbk 4 announces

std::string wav_of(std::uint32_t rate, const std::string& frames)
{
    const auto h = wav::header(rate, static_cast<std::uint32_t>(frames.size()));
    return std::string(h.begin(), h.end()) + frames;
}

// The program run as "quenda2wav" in a temporary folder of its own.
class Quenda2wav : public ::testing::Test {
protected:
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& bytes) const { dir_.write(name, bytes); }
    std::string read(const std::string& name) const { return dir_.read(name); }

    // Standard output: captured, or as run_options::out_to says.
    run_result wav(const std::vector<std::string>& args, const std::string& stdout_to = "",
                   bool stdin_is_pipe = false) const
    {
        run_options o;
        o.cwd = dir_.path();
        o.argv0 = "quenda2wav";
        o.out_to = stdout_to;
        o.in_is_pipe = stdin_is_pipe;
        o.timeout_seconds = 60; // a program waiting on a FIFO fails the test instead of stalling it
        return test_support::run(QUENDA2WAV_PATH, args, o);
    }

    test_support::temp_dir dir_;
};

TEST_F(Quenda2wav, FramesAreTheSamplesAtTheRateFromIsfOrRate)
{
    write("v1.qnd", version1(4, data, 16000));
    write("v2.qnd", version2(4, 3, "ort text", "kan text", data, 22050));
    write("norate.qnd", version1(4, data, 0));
    write("odd.qnd", version1(4, data + "\x7f", 8000));
    write("less.qnd", version1(4, data.substr(0, 1000), 8000));
    write("isf_min.qnd", version1(4, data, 1000));
    write("isf_max.qnd", version1(4, data, 384000));
    const std::string listing =
        "quenda2wav was invoked with the following argument values\n (some of which may be defaults):\n"
        "  v=true\n  wavfile=out.wav\n  quendafile=v1.qnd\n  rate=0\n  swap=true\n";
    const struct {
        std::vector<std::string> args;
        std::uint32_t rate;
        std::string frames;
        std::string err;
    } cases[] = {
        {{"quendafile=v1.qnd"}, 16000, data, ""},
        {{"quendafile=v2.qnd", "swap=1"}, 22050, swapped(data), ""},
        {{"quendafile=v2.qnd", "rate=44100"}, 44100, data, ""},
        {{"rate=11025", "quendafile=norate.qnd", "swap=yes"}, 11025, swapped(data), ""},
        {{"quendafile=norate.qnd", "rate=1000"}, 1000, data, ""}, // the plausible rates' bounds
        {{"quendafile=norate.qnd", "rate=384000"}, 384000, data, ""},
        {{"quendafile=isf_min.qnd"}, 1000, data, ""},
        {{"quendafile=isf_max.qnd", "rate=0"}, 384000, data, ""},
        {{"quendafile=odd.qnd", "v=0"}, 8000, data, ""},
        {{"quendafile=less.qnd"},
         8000,
         data.substr(0, 1000),
         "quenda2wav: warning - less.qnd: counted samples incorrect (500 != 1024)\n"},
        {{"quendafile=v1.qnd", "v=1", "swap=t"},
         16000,
         swapped(data),
         listing + "quenda2wav: swapping\nquenda2wav: written 2048 bytes of samples at 16000 Hz\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, "wavfile=out.wav");
        const run_result r = wav(args);
        EXPECT_EQ(r.status, 0) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_TRUE(read("out.wav") == wav_of(c.rate, c.frames)) << c.args[0] << " " << c.args.back();
    }
}

TEST_F(Quenda2wav, PipesAndFifosAsOutput)
{
    write("in.qnd", version1(4, data, 16000));
    for (const char* to : {"-", "/dev/stdout"}) {
        const run_result r = wav({"quendafile=in.qnd", std::string("wavfile=") + to, "swap=1"});
        EXPECT_EQ(r.status, 0) << to;
        EXPECT_EQ(r.err, "") << to;
        EXPECT_TRUE(r.out == wav_of(16000, swapped(data))) << to;
    }

    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::string got;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        got = read("fifo");
        done = true;
    });
    const run_result r = wav({"quendafile=in.qnd", "wavfile=fifo"});
    while (!done) { // should the program never have opened the fifo, let the reader go
        const int fd = open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(got == wav_of(16000, data));
}

TEST_F(Quenda2wav, RefusalsWriteNothing)
{
    std::string no_blocks = version1(4, data, 16000);
    put(no_blocks, at::anz_header, 0, 4);
    write("no_blocks.qnd", no_blocks);
    write("short.qnd", "RIFF");
    write("isf0.qnd", version1(4, data, 0));
    write("isf_low.qnd", version1(4, data, 999));
    write("isf_high.qnd", version1(4, data, 384001));
    ASSERT_EQ(mkfifo(path("fifo.qnd").c_str(), 0600), 0);
    write("huge.qnd", version1(4, data, 16000)); // made sparse: too much for a WAV file, no disk space taken
    std::filesystem::resize_file(path("huge.qnd"), 512 + (std::uint64_t{1} << 32));

    // Each message names the input.
    std::vector<std::pair<std::string, std::string>> cases = {
        {"quendafile=isf0.qnd", "isf0.qnd: no sample rate: isf is 0; give rate="},
        {"quendafile=isf_low.qnd", "isf_low.qnd: no sample rate: isf is 999; give rate="},
        {"quendafile=isf_high.qnd", "isf_high.qnd: no sample rate: isf is 384001; give rate="},
        {"quendafile=short.qnd", "short.qnd: not a Quenda file: too short for a header (4 bytes)"},
        {"quendafile=no_blocks.qnd", "no_blocks.qnd: not a Quenda file: anz_header is 0, below 1"},
        {"quendafile=missing.qnd", "missing.qnd: could not open quendafile: No such file or directory"},
        {"quendafile=.", ".: not a regular file; its size must be known before writing"},
        {"quendafile=/dev/stdin", "/dev/stdin: not a regular file; its size must be known before writing"},
        {"quendafile=fifo.qnd", "fifo.qnd: not a regular file; its size must be known before writing"},
        {"quendafile=huge.qnd",
         "huge.qnd: holds 4294967296 bytes of samples, more than a WAV file can hold (4294967258)"},
    };
    // A rate is a whole number of Hz in the plausible range, or 0.
    for (const char* rate : {"-8000", "44.1k", "16000x", "1", "999", "384001", "", "+1000", "0x3e8", "2147483648"})
        cases.emplace_back(std::string("quendafile=isf0.qnd rate=") + rate,
                           std::string("isf0.qnd: rate ") + rate +
                               " is not a sample rate: a whole number of Hz from 1000 to 384000, or 0 for the "
                               "header's isf");
    for (const auto& [arg, err] : cases) {
        const std::size_t blank = arg.find(' ');
        const run_result r =
            wav({arg.substr(0, blank), "wavfile=out.wav", blank == std::string::npos ? "v=0" : arg.substr(blank + 1)},
                "", true);
        EXPECT_EQ(r.status, 255) << arg;
        EXPECT_EQ(r.err, "quenda2wav: error - " + err + "\n");
        EXPECT_FALSE(std::filesystem::exists(path("out.wav"))) << arg;
    }
}

TEST_F(Quenda2wav, OutputThatIsTheInputIsRefused)
{
    const std::string original = version1(4, data, 16000);
    write("in.qnd", original);
    std::filesystem::create_hard_link(path("in.qnd"), path("hard.qnd"));
    std::filesystem::create_symlink("in.qnd", path("soft.qnd"));
    for (const std::string out : {"in.qnd", "./in.qnd", "hard.qnd", "soft.qnd", "-"}) {
        // "-": standard output appended to the input.
        const run_result r =
            wav({"quendafile=in.qnd", "wavfile=" + out}, out == "-" ? ">>" + path("in.qnd").string() : "");
        EXPECT_EQ(r.status, 255) << out;
        EXPECT_EQ(r.err, "quenda2wav: error - in.qnd: wavfile " + out + " would overwrite the quendafile\n");
        EXPECT_EQ(read("in.qnd"), original) << out;
    }
}

TEST_F(Quenda2wav, FailedWritesAreErrors)
{
    write("in.qnd", version1(4, data, 16000));
    const std::string full = ": No space left on device\n";
    const struct {
        std::string wavfile;
        std::string stdout_to; // "-": closed
        std::string err;
    } cases[] = {
        {"/dev/full", "", "quenda2wav: error - in.qnd: could not write to wavfile /dev/full" + full},
        {"-", "/dev/full", "quenda2wav: error - in.qnd: could not write to wavfile -" + full},
        {"-", "-", "quenda2wav: error - in.qnd: could not write to wavfile -: Bad file descriptor\n"},
        // A closed standard output is no place to send the file by name either.
        {"/dev/stdout", "-", "quenda2wav: error - in.qnd: could not open wavfile /dev/stdout: *\n"},
        {"no/such/dir.wav", "",
         "quenda2wav: error - in.qnd: could not open wavfile no/such/dir.wav: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const run_result r = wav({"quendafile=in.qnd", "wavfile=" + c.wavfile}, c.stdout_to);
        EXPECT_EQ(r.status, 255) << c.wavfile << " " << c.stdout_to;
        EXPECT_TRUE(test_support::glob_match(r.err, c.err)) << r.err;
    }
}

// A batch of conversions: each message is one line that names the
// recording it is about, as its path was given.
TEST_F(Quenda2wav, EveryWarningAndErrorNamesItsInput)
{
    write("batch 1/less.qnd", version1(4, data.substr(0, 1000), 8000));
    write("batch 1/isf0.qnd", version1(4, data, 0));
    write("batch 1/short.qnd", "RIFF");
    write("batch 1/good.qnd", version1(4, data, 16000));
    const struct {
        std::string input;
        std::string wavfile;
        std::string rate;
        std::string level;
    } cases[] = {
        {"batch 1/less.qnd", "out.wav", "0", "warning"},
        {"batch 1/isf0.qnd", "out.wav", "0", "error"},
        {"batch 1/isf0.qnd", "out.wav", "12", "error"},
        {"batch 1/short.qnd", "out.wav", "0", "error"},
        {"batch 1/missing.qnd", "out.wav", "0", "error"},
        {"batch 1", "out.wav", "0", "error"},
        {"batch 1/good.qnd", "/dev/full", "0", "error"},
        {"batch 1/good.qnd", "batch 1/good.qnd", "0", "error"},
        {"batch 1/good.qnd", "batch 1/none/out.wav", "0", "error"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> args = {"quendafile=" + c.input, "wavfile=" + c.wavfile, "rate=" + c.rate};
        const run_result r = wav(args);
        const std::string head = "quenda2wav: " + c.level + " - " + c.input + ": ";
        EXPECT_EQ(r.err.substr(0, head.size()), head) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.status, c.level == "warning" ? 0 : 255) << r.err;
    }
}

TEST_F(Quenda2wav, ArgumentsInTheLibrarysManner)
{
    const std::string usage = "quenda2wav:\n"
                              "  1.0 : transforms a Quenda file into a WAV soundfile, \n"
                              "  usage: quenda2wav quendafile=<quendaf> wavfile=<wavf> [options]\n"
                              "  v\tverbose mode (boolean) (false)\n"
                              "  wavfile\tWAV file name, - for standard output (string) (*REQ*)\n"
                              "  quendafile\tQuenda file name (string) (*REQ*)\n"
                              "  rate\tsample rate in Hz, 0 for the header's isf (string) (0)\n"
                              "  swap\tswapping short samples (boolean) (false)\n";
    EXPECT_EQ(wav({"help=1"}).err, usage);
    const run_result r = wav({"wavfile=x.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Argument \"quendafile\" is required, but not set!\n" + usage);
    for (const auto& [word, out] :
         {std::pair{"--version", std::string("quenda2wav (quenda tools) " QUENDA_TOOLS_VERSION "\n")},
          {"--help", usage}}) {
        const run_result alone = wav({word});
        EXPECT_EQ(alone.status, 0) << word;
        EXPECT_EQ(alone.out, out);
        EXPECT_EQ(alone.err, "");
    }
}

} // namespace
