// quenda2wav run on hand-laid files: WAV files read back field by field,
// the rate from isf or rate=, swap, output into pipes, and every refusal.
#include "programs.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace e2e;

std::uint32_t le(const std::string& b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    return v;
}

// Checks a 16-bit mono PCM WAV file at `rate` whose frames are `frames`.
void expect_wav(const std::string& w, std::uint32_t rate, const std::string& frames, const std::string& what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(w.size(), 44 + frames.size());
    EXPECT_EQ(w.substr(0, 4), "RIFF");
    EXPECT_EQ(le(w, 4, 4), 36 + frames.size());
    EXPECT_EQ(w.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le(w, 16, 4), 16u);
    EXPECT_EQ(le(w, 20, 2), 1u);  // PCM
    EXPECT_EQ(le(w, 22, 2), 1u);  // mono
    EXPECT_EQ(le(w, 24, 4), rate);
    EXPECT_EQ(le(w, 28, 4), 2 * rate);
    EXPECT_EQ(le(w, 32, 2), 2u);
    EXPECT_EQ(le(w, 34, 2), 16u);
    EXPECT_EQ(w.substr(36, 4), "data");
    EXPECT_EQ(le(w, 40, 4), frames.size());
    EXPECT_TRUE(w.substr(44) == frames);
}

std::string swapped(std::string s)
{
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        std::swap(s[i], s[i + 1]);
    return s;
}

std::string v1(std::int32_t isf, const std::string& data, std::int32_t nspbk = 4)
{
    return fixed_header(nspbk, 1, 1, isf) + data;
}

std::string v2(std::int32_t isf, const std::string& data)
{
    return fixed_header(4, 3, 2, isf) + dynamic_part("ort text", "kan text", 3) + data;
}

class Quenda2wav : public ProgramTest {
protected:
    Result wav(const std::vector<std::string>& args, const std::string& stdout_to = "") const
    {
        return run(QUENDA2WAV_PATH, "quenda2wav", args, stdout_to);
    }
};

const std::string data = sample_data(1024);  // as announced by nspbk 4

TEST_F(Quenda2wav, FramesAreTheSamplesAtTheRateFromIsfOrRate)
{
    write("v1.qnd", v1(16000, data));
    write("v2.qnd", v2(22050, data));
    write("norate.qnd", v1(0, data));
    write("odd.qnd", v1(8000, data + "\x7f"));
    struct Case {
        std::vector<std::string> args;
        std::uint32_t rate;
        bool swap;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"quendafile=v1.qnd"}, 16000, false, ""},
        {{"quendafile=v2.qnd", "swap=1"}, 22050, true, ""},
        {{"quendafile=v2.qnd", "rate=44100"}, 44100, false, ""},
        {{"rate=11025", "quendafile=norate.qnd", "swap=yes"}, 11025, true, ""},
        {{"quendafile=odd.qnd", "v=0"}, 8000, false, ""},
        {{"quendafile=v1.qnd", "v=1", "swap=t"}, 16000, true,
         "quenda2wav was invoked with the following argument values\n"
         " (some of which may be defaults):\n"
         "  v=true\n  wavfile=out.wav\n  quendafile=v1.qnd\n  rate=0\n  swap=true\n"
         "quenda2wav: swapping\n"
         "quenda2wav: written 2048 bytes of samples at 16000 Hz\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, "wavfile=out.wav");
        const Result r = wav(args);
        EXPECT_EQ(r.status, 0) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        expect_wav(read("out.wav"), c.rate, c.swap ? swapped(data) : data, c.args[0]);
    }
}

TEST_F(Quenda2wav, CountWarningAsTheConverterGivesIt)
{
    write("less.qnd", v1(16000, data.substr(0, 1000), 4));
    const Result r = wav({"quendafile=less.qnd", "wavfile=out.wav"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenda2wav: warning - counted samples incorrect (500 != 1024)\n");
    expect_wav(read("out.wav"), 16000, data.substr(0, 1000), "less");
}

TEST_F(Quenda2wav, PipesAndFifosAsOutput)
{
    write("in.qnd", v2(16000, data));
    for (const char* to : {"-", "/dev/stdout"}) {
        const Result r = wav({"quendafile=in.qnd", std::string("wavfile=") + to, "swap=1"});
        EXPECT_EQ(r.status, 0) << to;
        EXPECT_EQ(r.err, "") << to;
        expect_wav(r.out, 16000, swapped(data), to);
    }

    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::string got;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        got = read("fifo");
        done = true;
    });
    const Result r = wav({"quendafile=in.qnd", "wavfile=fifo"});
    // Should the program never have opened the fifo, let the reader go.
    while (!done) {
        const int fd = open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_EQ(r.status, 0);
    expect_wav(got, 16000, data, "fifo");
}

TEST_F(Quenda2wav, RefusalsWriteNothing)
{
    std::string no_blocks = v1(16000, data);
    put_le(no_blocks, 24, 0, 4);
    write("no_blocks.qnd", no_blocks);
    write("short.qnd", "RIFF");
    write("isf0.qnd", v1(0, data));
    write("isf_high.qnd", v1(400000, data));
    // Sparse: more than a WAV file can hold, without the disk space.
    write("huge.qnd", v1(16000, data));
    std::filesystem::resize_file(path("huge.qnd"), 512 + (std::uint64_t{1} << 32));

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"quendafile=isf0.qnd"}, "quenda2wav: error - no sample rate: isf is 0; give rate=\n"},
        {{"quendafile=isf_high.qnd"}, "quenda2wav: error - no sample rate: isf is 400000; give rate=\n"},
        {{"quendafile=isf0.qnd", "rate=-8000"}, "quenda2wav: error - rate -8000 is not a sample rate\n"},
        {{"quendafile=short.qnd"}, "quenda2wav: error - short.qnd: not a Quenda file: too short for a header (4 bytes)\n"},
        {{"quendafile=no_blocks.qnd"}, "quenda2wav: error - no_blocks.qnd: not a Quenda file: anz_header is 0, below 1\n"},
        {{"quendafile=missing.qnd"}, "quenda2wav: error - could not open quendafile missing.qnd\n"},
        {{"quendafile=/dev/stdin"},
         "quenda2wav: error - quendafile /dev/stdin is not a regular file; its size must be known before writing\n"},
        {{"quendafile=huge.qnd"},
         "quenda2wav: error - huge.qnd holds 4294967296 bytes of samples, more than a WAV file can hold "
         "(4294967258)\n"},
    };
    for (const auto& [args, err] : cases) {
        std::vector<std::string> all = args;
        all.push_back("wavfile=out.wav");
        const Result r = wav(all);
        EXPECT_EQ(r.status, 255) << args[0];
        EXPECT_EQ(r.err, err);
        EXPECT_FALSE(std::filesystem::exists(path("out.wav"))) << args[0];
    }
}

TEST_F(Quenda2wav, OutputThatIsTheInputIsRefused)
{
    const std::string original = v1(16000, data);
    write("in.qnd", original);
    std::filesystem::create_hard_link(path("in.qnd"), path("hard.qnd"));
    std::filesystem::create_symlink("in.qnd", path("soft.qnd"));
    for (const char* out : {"in.qnd", "./in.qnd", "hard.qnd", "soft.qnd"}) {
        const Result r = wav({"quendafile=in.qnd", std::string("wavfile=") + out});
        EXPECT_EQ(r.status, 255) << out;
        EXPECT_EQ(r.err, "quenda2wav: error - wavfile " + std::string(out) + " would overwrite quendafile in.qnd\n");
    }
    // Standard output appended to the input.
    const Result r = wav({"quendafile=in.qnd", "wavfile=-"}, ">>" + path("in.qnd").string());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "quenda2wav: error - wavfile - would overwrite quendafile in.qnd\n");
    EXPECT_EQ(read("in.qnd"), original);
}

TEST_F(Quenda2wav, FailedWritesAreErrors)
{
    write("in.qnd", v1(16000, data));
    struct Case {
        std::string wavfile;
        std::string stdout_to;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"/dev/full", "", "quenda2wav: could not write to file /dev/full\nquenda2wav: No space left on device\n"},
        {"-", "/dev/full", "quenda2wav: could not write to file -\nquenda2wav: No space left on device\n"},
        {"-", "-", "quenda2wav: could not write to file -\nquenda2wav: Bad file descriptor\n"},
        {"no/such/dir.wav", "", "quenda2wav: error - could not open wavfile no/such/dir.wav\n"},
    };
    for (const Case& c : cases) {
        const Result r = wav({"quendafile=in.qnd", "wavfile=" + c.wavfile}, c.stdout_to);
        EXPECT_EQ(r.status, 255) << c.wavfile << " " << c.stdout_to;
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(Quenda2wav, ArgumentsInTheLibrarysManner)
{
    const std::string usage =
        "quenda2wav:\n"
        "  1.0 : transforms a Quenda file into a WAV soundfile, \n"
        "  usage: quenda2wav quendafile=<quendaf> wavfile=<wavf> [options]\n"
        "  v\tverbose mode (boolean) (false)\n"
        "  wavfile\tWAV file name, - for standard output (string) (*REQ*)\n"
        "  quendafile\tQuenda file name (string) (*REQ*)\n"
        "  rate\tsample rate in Hz, 0 for the header's isf (int) (0)\n"
        "  swap\tswapping short samples (boolean) (false)\n";
    Result r = wav({"help=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, usage);
    r = wav({"wavfile=x.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Argument \"quendafile\" is required, but not set!\n" + usage);
    r = wav({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "quenda2wav (quenda tools) 1.0\n");
}

}  // namespace
