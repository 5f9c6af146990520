// wav2quenda run on WAV files laid out here and made by sox: the Quenda file
// it writes (held against quenda_maker's layout, not the header library),
// quenda2wav of it giving back the WAV bytes, the chunks it skips, and every
// refusal leaving no file behind.
#include "tests/support/acceptance.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"
#include "convert/wav.h"
#include "common/version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <string>
#include <vector>

namespace {

using namespace quenda_maker;
using test_support::run_result;

std::string le(std::uint32_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>(v >> (8 * i));
    return s;
}

// The canonical WAV file that quenda2wav writes.
std::string canonical_wav(std::uint32_t rate, const std::string& frames)
{
    const auto h = wav::header(rate, static_cast<std::uint32_t>(frames.size()));
    return std::string(h.begin(), h.end()) + frames;
}

// A WAV file of the given chunks after "RIFF size WAVE".
std::string riff(const std::string& chunks)
{
    return "RIFF" + le(static_cast<std::uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

std::string chunk(const std::string& id, const std::string& body)
{
    return id + le(static_cast<std::uint32_t>(body.size()), 4) + body + std::string(body.size() % 2, '\0');
}

// A "fmt " body of 16 bytes, or 40 for WAVE_FORMAT_EXTENSIBLE with its
// sub-format tag in the GUID's first two bytes.
std::string fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                std::uint16_t sub_format = 0)
{
    const std::uint32_t align = channels * bits / 8u;
    std::string b = le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2);
    if (tag == 0xfffe)
        b += le(22, 2) + le(bits, 2) + le(4, 4) + le(sub_format, 2) +
             std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 14);
    return b;
}

// The Quenda file wav2quenda should write: the fixed header with the
// fields it sets, the texts of version 2, and the samples.
struct expected_header {
    std::int32_t isf = 16000;
    std::int8_t version = 2;
    std::string ort = "", kan = "", ifl = "";
    char sex = 0;
    int day = 0, month = 0, year = 0;
};
std::string quenda_file(const expected_header& e, const std::string& samples)
{
    const auto nspbk = static_cast<std::int32_t>((samples.size() / 2 + 255) / 256);
    const std::string dynamic = e.version == 2 ? dynamic_part(e.ort, e.kan) : "";
    std::string b = fixed_header(nspbk, static_cast<std::int32_t>(1 + dynamic.size() / block), e.version, e.isf);
    b[at::sex] = e.sex;
    b[at::day] = static_cast<char>(e.day);
    b[at::month] = static_cast<char>(e.month);
    put(b, at::year, e.year, 2);
    put_text(b, at::ifl, e.ifl);
    return b + dynamic + samples;
}

class Wav2quenda : public ::testing::Test {
protected:
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& bytes) const { dir_.write(name, bytes); }
    std::string read(const std::string& name) const { return dir_.read(name); }

    run_result run(const std::string& program, const std::vector<std::string>& args) const
    {
        test_support::run_options o;
        o.cwd = dir_.path();
        o.argv0 = program;
        o.timeout_seconds = 60;
        return test_support::run(program == "wav2quenda" ? WAV2QUENDA_PATH : QUENDA2WAV_PATH, args, o);
    }
    run_result to_quenda(const std::vector<std::string>& args) const { return run("wav2quenda", args); }

    // The names in the folder, to see that nothing was left behind.
    std::vector<std::string> listing() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test_support::temp_dir dir_;
};

TEST_F(Wav2quenda, HeaderFromTheArgumentsAndSamplesByteForByte)
{
    const std::string samples = sample_data(1000); // no whole number of blocks: the last one short
    write("in.wav", canonical_wav(22050, samples));
    const struct {
        std::vector<std::string> args;
        expected_header header;
    } cases[] = {
        {{}, {.isf = 22050}},
        {{"version=1"}, {.isf = 22050, .version = 1}},
        {{"ort=guten Tag", "kan=g u: t @ n", "sex=f"},
         {.isf = 22050, .ort = "guten Tag", .kan = "g u: t @ n", .sex = 'f'}},
        {{"version=2", "date=1996-12-24", "ifl=speaker.ifl", "sex=m"},
         {.isf = 22050, .ifl = "speaker.ifl", .sex = 'm', .day = 24, .month = 12, .year = 1996}},
        {{"version=1", "ifl=" + std::string(31, 'x')}, {.isf = 22050, .version = 1, .ifl = std::string(31, 'x')}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"wavfile=in.wav", "quendafile=out.qnd"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const run_result r = to_quenda(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(read("out.qnd") == quenda_file(c.header, samples)) << args.back();
    }
    // An existing output is replaced, with the permissions of a new file.
    EXPECT_EQ(std::filesystem::status(path("out.qnd")).permissions() & std::filesystem::perms::owner_read,
              std::filesystem::perms::owner_read);
    EXPECT_EQ(listing(), (std::vector<std::string>{"in.wav", "out.qnd"}));
}

// Back through quenda2wav: the same WAV bytes, at every length and rate.
TEST_F(Wav2quenda, Quenda2wavGivesBackTheWav)
{
    for (const auto& [rate, n] :
         {std::pair{16000u, 0u}, {8000u, 1u}, {44100u, 256u}, {1000u, 1000u}, {384000u, 4097u}}) {
        const std::string original = canonical_wav(rate, sample_data(n));
        write("in.wav", original);
        EXPECT_EQ(to_quenda({"wavfile=in.wav", "quendafile=mid.qnd", "ort=x"}).status, 0) << n;
        EXPECT_EQ(run("quenda2wav", {"quendafile=mid.qnd", "wavfile=back.wav"}).status, 0) << n;
        EXPECT_TRUE(read("back.wav") == original) << rate << " " << n;
    }
}

TEST_F(Wav2quenda, SoxMadeWavsComeBackTheSame)
{
    if (test_support::run_shell("command -v sox").status != 0) {
        if (test_support::under_ci())
            FAIL() << "no sox (CI=true: it must be there)";
        GTEST_SKIP() << "no sox";
    }
    // A tone, noise, and a length that is no whole number of blocks.
    for (const auto& [wavfile, synth] : {std::pair{"sine.wav", "-r 16000 sine.wav synth 0.25 sine 440"},
                                         {"noise.wav", "-r 8000 noise.wav synth 0.1 whitenoise"},
                                         {"odd.wav", "-r 48000 odd.wav synth 1001s sine 300"}}) {
        const run_result made = test_support::run_shell("cd " + test_support::shell_line({dir_.path().string()}) +
                                                        " && sox -n -b 16 -e signed-integer -c 1 " + synth);
        ASSERT_EQ(made.status, 0) << made.err;
        ASSERT_EQ(to_quenda({std::string("wavfile=") + wavfile, "quendafile=mid.qnd"}).status, 0) << wavfile;
        ASSERT_EQ(run("quenda2wav", {"quendafile=mid.qnd", "wavfile=back.wav"}).status, 0) << wavfile;
        EXPECT_TRUE(read("back.wav") == read(wavfile)) << wavfile;
    }
}

// Chunks besides "fmt " and "data" are skipped, odd-sized ones with their
// padding byte; WAVE_FORMAT_EXTENSIBLE with the PCM sub-format is taken.
TEST_F(Wav2quenda, OtherChunksAndExtensibleFormat)
{
    const std::string samples = sample_data(300);
    const std::string list = chunk("LIST", "INFOISFT\x03\0\0\0ab\0");
    for (const std::string& wav : {riff(list + chunk("fmt ", fmt(1, 1, 16000, 16)) + chunk("data", samples)),
                                   riff(chunk("fmt ", fmt(0xfffe, 1, 16000, 16, 1)) + chunk("fact", "\4\0\0\0") +
                                        chunk("odd ", "x") + chunk("data", samples))}) {
        write("in.wav", wav);
        const run_result r = to_quenda({"wavfile=in.wav", "quendafile=out.qnd", "version=1"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(read("out.qnd") == quenda_file({.version = 1}, samples));
    }
}

TEST_F(Wav2quenda, RefusalsSayWhatTheFileIsAndLeaveNothing)
{
    const std::string samples = sample_data(16);
    const std::string hint = "; wav2quenda takes 16-bit mono PCM WAV files at 1000 to 384000 Hz: convert it first, "
                             "for example with: sox in.wav ";
    const std::string to_pcm = hint + "-b 16 -e signed-integer -c 1 converted.wav";
    const struct {
        std::string wav;
        std::string err;
    } cases[] = {
        {"RIFF", "not a WAV file (no RIFF WAVE header)" + to_pcm},
        {"fLaC" + std::string(100, '\0'), "not a WAV file (no RIFF WAVE header)" + to_pcm},
        {riff(chunk("fmt ", fmt(1, 2, 16000, 16)) + chunk("data", samples)), "2 channels" + to_pcm},
        {riff(chunk("fmt ", fmt(1, 1, 16000, 8)) + chunk("data", samples)), "8-bit samples" + to_pcm},
        {riff(chunk("fmt ", fmt(1, 1, 16000, 24)) + chunk("data", samples)), "24-bit samples" + to_pcm},
        {riff(chunk("fmt ", fmt(0xfffe, 1, 16000, 32, 1)) + chunk("data", samples)), "32-bit samples" + to_pcm},
        {riff(chunk("fmt ", fmt(3, 1, 16000, 32)) + chunk("data", samples)), "32-bit floating-point samples" + to_pcm},
        {riff(chunk("fmt ", fmt(0xfffe, 1, 16000, 32, 3)) + chunk("data", samples)),
         "32-bit floating-point samples" + to_pcm},
        {riff(chunk("fmt ", fmt(7, 1, 8000, 8)) + chunk("data", samples)), "mu-law compressed samples" + to_pcm},
        {riff(chunk("fmt ", fmt(6, 1, 8000, 8)) + chunk("data", samples)), "A-law compressed samples" + to_pcm},
        {riff(chunk("fmt ", fmt(2, 1, 8000, 4)) + chunk("data", samples)),
         "compressed samples (format 0x0002)" + to_pcm},
        {riff(chunk("fmt ", fmt(1, 1, 999, 16)) + chunk("data", samples)),
         "a rate of 999 Hz" + hint + "-r 16000 converted.wav"},
        {riff(chunk("fmt ", fmt(1, 1, 384001, 16)) + chunk("data", samples)),
         "a rate of 384001 Hz" + hint + "-r 16000 converted.wav"},
        {riff(chunk("data", samples)), "a data chunk before the fmt chunk" + to_pcm},
        {riff(chunk("fmt ", fmt(1, 1, 16000, 16))), "no data chunk" + to_pcm},
        {riff(chunk("LIST", "abcd")), "no fmt chunk" + to_pcm},
        {riff(chunk("fmt ", "\1\0\1\0")), "a fmt chunk too short for its format" + to_pcm},
        {riff(chunk("fmt ", fmt(1, 1, 16000, 16))) + "data" + le(100, 4) + samples,
         "the data chunk announces 100 bytes, the file holds 32" + to_pcm},
    };
    write("out.qnd", "before");
    for (const auto& c : cases) {
        write("in.wav", c.wav);
        const run_result r = to_quenda({"wavfile=in.wav", "quendafile=out.qnd"});
        EXPECT_EQ(r.status, 255) << c.err;
        EXPECT_EQ(r.err, "wav2quenda: error - in.wav: " + c.err + "\n");
        EXPECT_EQ(read("out.qnd"), "before") << c.err;
        EXPECT_EQ(listing(), (std::vector<std::string>{"in.wav", "out.qnd"})) << c.err;
    }
}

TEST_F(Wav2quenda, BadValuesAndFilesAreErrors)
{
    write("in.wav", canonical_wav(16000, sample_data(16)));
    std::filesystem::create_directory(path("folder"));
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"version=3"}, "in.wav: version 3 is no Quenda header version: 1 or 2"},
        {{"version=1", "ort=a"}, "in.wav: a version-1 header holds no texts: give version=2 for ort= and kan="},
        {{"version=1", "kan=a"}, "in.wav: a version-1 header holds no texts: give version=2 for ort= and kan="},
        {{"sex=x"}, "in.wav: sex x is neither m nor f"},
        {{"sex=mf"}, "in.wav: sex mf is neither m nor f"},
        {{"ifl=" + std::string(32, 'x')}, "in.wav: ifl is longer than the header's 31 bytes"},
    };
    std::vector<std::pair<std::vector<std::string>, std::string>> all;
    for (const auto& c : cases)
        all.emplace_back(c.args, c.err);
    for (const char* date : {"1996-13-01", "1996-00-10", "1996-12-32", "1996-1-24", "96-12-24", "1996-12-24x", ""})
        all.push_back(
            {{std::string("date=") + date}, std::string("in.wav: date ") + date + " is not a date YYYY-MM-DD"});
    for (auto& [args, err] : all) {
        args.insert(args.begin(), {"wavfile=in.wav", "quendafile=out.qnd"});
        const run_result r = to_quenda(args);
        EXPECT_EQ(r.status, 255) << err;
        EXPECT_EQ(r.err, "wav2quenda: error - " + err + "\n");
    }
    for (const auto& [in, out, err] :
         {std::tuple{"missing.wav", "out.qnd", "missing.wav: could not open wavfile: No such file or directory"},
          {"folder", "out.qnd", "folder: not a regular file"},
          {"in.wav", "no/such/out.qnd",
           "in.wav: could not create quendafile no/such/out.qnd: No such file or directory"},
          {"in.wav", "folder", "in.wav: could not create quendafile folder: Is a directory"}}) {
        const run_result r = to_quenda({std::string("wavfile=") + in, std::string("quendafile=") + out});
        EXPECT_EQ(r.status, 255) << err;
        EXPECT_EQ(r.err, std::string("wav2quenda: error - ") + err + "\n");
    }
    EXPECT_EQ(listing(), (std::vector<std::string>{"folder", "in.wav"}));
    EXPECT_TRUE(std::filesystem::is_empty(path("folder")));
}

TEST_F(Wav2quenda, ArgumentsInTheLibrarysManner)
{
    const run_result r = to_quenda({"quendafile=x.qnd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("Argument \"wavfile\" is required, but not set!\n")) << r.err;
    const run_result help = to_quenda({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, to_quenda({"help=1"}).err);
    EXPECT_NE(help.out.find("  ort\torthographic text (version 2) (string) (null)\n"), std::string::npos) << help.out;
    const run_result version = to_quenda({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "wav2quenda (quenda tools) " QUENDA_TOOLS_VERSION "\n");
}

} // namespace
