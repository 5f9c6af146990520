// quenda-corpus export --to=textgrid: each dialog as one recording of its
// turns and a TextGrid, read by Praat itself; the spans of the turns must
// be their recordings' samples exactly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "tests/support/corpus.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;

std::string turn(const std::string& key, const std::string& words)
{
    return key + "_000000: " + words + " .\n\n";
}

std::string recording(std::size_t n, std::int32_t rate = 16000)
{
    return quenda_maker::version1(static_cast<std::int32_t>(n / 256), quenda_maker::sample_data(n), rate);
}

// Two dialogs, the turns of the first out of order in its file; one turn's
// recording at another rate than the corpus's.
struct two_dialogs {
    temp_dir dir;
    two_dialogs()
    {
        dir.write("trl/a.trl", turn("g100abc1_003_ABC", "<ah> so") + turn("g100abc1_001_ABC", "ja") +
                                   turn("g100abc1_002_XYZ", "M\"uller , bitte") + turn("g100abc1_004_XYZ", "nein"));
        dir.write("trl/b.trl", turn("g200xyz2_001_DEF", "eins") + turn("g200xyz2_002_ABC", "zwei"));
        dir.write("audio/g100abc1_001_ABC.qnd", recording(512));
        dir.write("audio/g100abc1_002_XYZ.qnd", recording(768));
        dir.write("audio/g100abc1_003_ABC.qnd", recording(1024));
        dir.write("audio/g100abc1_004_XYZ.qnd", recording(256, 8000));
        dir.write("audio/more/g200xyz2_001_DEF.qnd", recording(1280));
        dir.write("audio/more/g200xyz2_002_ABC.qnd", recording(256));
    }
    test_support::run_result run(const std::string& out, std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args = {
            "export",  "--to=textgrid",         (dir / out).string(), (dir / "trl").string(),
            "--audio", (dir / "audio").string()};
        args.insert(args.end(), more.begin(), more.end());
        return run_corpus(args);
    }
};

// What Praat reads: "sound SAMPLES RATE", then per tier and interval
// "TIER FIRST END LABEL" in samples.
std::string praat_reads(const fs::path& grid, const fs::path& wav)
{
    const auto r = test_support::run("/usr/bin/praat", {"--run", READ_DIALOG_PRAAT, grid.string(), wav.string()});
    return r.status == 0 ? r.out : "praat failed: " + r.err;
}

TEST(CorpusTextGrid, PraatReadsEachDialogWithItsTurnsToTheSample)
{
    if (!fs::exists("/usr/bin/praat")) {
        if (test_support::under_ci())
            FAIL() << "no /usr/bin/praat (CI=true: it must be there)";
        GTEST_SKIP() << "no praat";
    }
    const two_dialogs c;
    // The 8000 Hz recording is named, and nothing is written...
    const auto refused = c.run("refused");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("g100abc1_004_XYZ"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("sample rate differs"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(c.dir / "refused"));
    // ... unless --keep-going, which leaves its turn out.  The gap between
    // two turns is half a second: 8000 samples at 16000 Hz.
    const struct {
        std::vector<std::string> options;
        std::string words; // of g100abc1_002_XYZ
    } cases[] = {{{"--keep-going"}, "M\xC3\xBCller bitte"}, {{"--keep-going", "--form=written"}, "M\"uller bitte"}};
    int n = 0;
    for (const auto& cs : cases) {
        const std::string out = "out" + std::to_string(n++);
        const auto r = c.run(out, cs.options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "5 turns exported to " + (c.dir / out).string() +
                             "; 0 turns without a recording, 0 recordings without a turn\n");
        const fs::path dir = c.dir / out;
        EXPECT_EQ(praat_reads(dir / "g100abc1.TextGrid", dir / "g100abc1.wav"),
                  "sound\t18304\t16000\n"
                  "ABC\t0\t512\tja\n"
                  "ABC\t512\t17280\t\n"
                  "ABC\t17280\t18304\tso\n"
                  "XYZ\t0\t8512\t\n"
                  "XYZ\t8512\t9280\t" +
                      cs.words +
                      "\n"
                      "XYZ\t9280\t18304\t\n"
                      "turn\t0\t512\tg100abc1_001_ABC\n"
                      "turn\t512\t8512\t\n"
                      "turn\t8512\t9280\tg100abc1_002_XYZ\n"
                      "turn\t9280\t17280\t\n"
                      "turn\t17280\t18304\tg100abc1_003_ABC\n");
        EXPECT_EQ(praat_reads(dir / "g200xyz2.TextGrid", dir / "g200xyz2.wav"), "sound\t9536\t16000\n"
                                                                                "ABC\t0\t9280\t\n"
                                                                                "ABC\t9280\t9536\tzwei\n"
                                                                                "DEF\t0\t1280\teins\n"
                                                                                "DEF\t1280\t9536\t\n"
                                                                                "turn\t0\t1280\tg200xyz2_001_DEF\n"
                                                                                "turn\t1280\t9280\t\n"
                                                                                "turn\t9280\t9536\tg200xyz2_002_ABC\n");
        // The samples of the turns as they are, silence between them.
        const std::string gap(2 * 8000, '\0');
        const std::string wav = read_file(dir / "g100abc1.wav");
        EXPECT_EQ(wav.substr(44), quenda_maker::sample_data(512) + gap + quenda_maker::sample_data(768) + gap +
                                      quenda_maker::sample_data(1024));
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(dir))
            files.push_back(e.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files,
                  (std::vector<std::string>{"g100abc1.TextGrid", "g100abc1.wav", "g200xyz2.TextGrid", "g200xyz2.wav"}));
    }
}

} // namespace
