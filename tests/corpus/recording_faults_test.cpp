// Recordings that the header library's checks find at fault: pairing names
// each fault with the recording and its turns and leaves the recording
// unpaired; quenda-corpus pair says so in every format, and export names
// them and writes nothing without --keep-going.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corpus/commands.h"
#include "corpus/recordings.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"

namespace {

namespace fs = std::filesystem;
using corpus::pair_problem;
using quenda::recording_fault;
using test_support::json;
using test_support::parse_json_lines;
using test_support::read_file;

corpus::turn_place place(const std::string& key, long line)
{
    corpus::turn_place p;
    p.id = trl::turn_id::parse(key + "_000000").value();
    p.line = line;
    return p;
}

corpus::recording rec(const std::string& key, std::vector<quenda::recording_problem> faults = {})
{
    corpus::recording r;
    r.path = "audio/" + key + ".qnd";
    r.key = key;
    r.samples = 1024;
    r.rate = 16000;
    r.rate_plausible = true;
    r.faults = std::move(faults);
    return r;
}

TEST(RecordingFaults, EachFaultNamedWithItsTurnsAndLeftUnpaired)
{
    const std::vector<corpus::turn_place> turns = {place("g100abc1_001_ABC", 1), place("g100abc1_002_ABC", 3),
                                                   place("g100abc1_003_ABC", 5), place("g100abc1_003_ABC", 7)};
    const std::vector<corpus::recording> recs = {
        rec("g100abc1_001_ABC"),
        rec("g100abc1_002_ABC", {{recording_fault::truncated, "short"}, {recording_fault::clipped, "clipped"}}),
        rec("g100abc1_003_ABC", {{recording_fault::silent, "silent"}}),
        rec("g999zzz9_001_XYZ", {{recording_fault::dc_offset, "offset"}}),
    };
    const corpus::pairing p = corpus::pair_turns(turns, {"a.trl"}, recs);
    EXPECT_EQ(p.paired, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 0}}));
    std::vector<std::string> faults;
    for (const pair_problem& pr : p.problems)
        if (pr.what == pair_problem::kind::faulty_recording)
            faults.push_back(corpus::problem_line(pr));
    EXPECT_EQ(faults, (std::vector<std::string>{
                          "faulty recording: g100abc1_002_ABC (audio/g100abc1_002_ABC.qnd, a.trl:3): short",
                          "faulty recording: g100abc1_002_ABC (audio/g100abc1_002_ABC.qnd, a.trl:3): clipped",
                          "faulty recording: g100abc1_003_ABC (audio/g100abc1_003_ABC.qnd, a.trl:5, a.trl:7): silent",
                          "faulty recording: g999zzz9_001_XYZ (audio/g999zzz9_001_XYZ.qnd): offset",
                      }));
}

// A corpus of four turns: one recording sound, one truncated (half of what
// it announces), one clipped, one without a turn and silent.
struct faulty_corpus {
    test_support::temp_dir dir;
    std::string trl, audio;
    faulty_corpus()
    {
        using namespace quenda_maker;
        std::string text;
        for (const char* key : {"g100abc1_001_ABC", "g100abc1_002_XYZ", "g100abc1_003_ABC"})
            text += std::string(key) + "_000000: ja .\n\n";
        dir.write("trl/a.trl", text);
        dir.write("audio/g100abc1_001_ABC.qnd", version1(4, sample_data(1024)));
        dir.write("audio/g100abc1_002_XYZ.qnd", version1(64, sample_data(8192)));
        dir.write("audio/g100abc1_003_ABC.qnd", version1(4, samples_of({32767}, 4) + sample_data(1020)));
        dir.write("audio/g999zzz9_001_ABC.qnd", version1(1, samples_of({0}, 256)));
        trl = (dir / "trl").string();
        audio = (dir / "audio").string();
    }
};

TEST(RecordingFaults, PairNamesThemInEveryFormat)
{
    const faulty_corpus c;
    const auto text = run_corpus({"pair", c.trl, "--audio", c.audio});
    EXPECT_EQ(text.status, 1);
    const std::string a = c.trl + "/a.trl";
    EXPECT_EQ(text.out, "recording without turn: g999zzz9_001_ABC (" + c.audio + "/g999zzz9_001_ABC.qnd)\n" +
                            "faulty recording: g100abc1_002_XYZ (" + c.audio + "/g100abc1_002_XYZ.qnd, " + a +
                            ":3): 8192 samples in the file, 16384 announced (nspbk 64)\n" +
                            "faulty recording: g100abc1_003_ABC (" + c.audio + "/g100abc1_003_ABC.qnd, " + a +
                            ":5): clipped: 4 samples in a row at full scale (3 or more are clipping)\n" +
                            "faulty recording: g999zzz9_001_ABC (" + c.audio +
                            "/g999zzz9_001_ABC.qnd): silent: no sample louder than 16 (of 32767)\n" +
                            "3 turns, 4 recordings: 1 paired, 4 problems; most recordings at 16000 Hz\n");

    std::vector<std::string> kinds;
    for (const json& j : parse_json_lines(run_corpus({"pair", "--format=json", c.trl, "--audio", c.audio}).out))
        if (j["type"] == "problem")
            kinds.push_back(j["problem"].get<std::string>() + " " + j["key"].get<std::string>() + " " +
                            std::to_string(j["places"].size()));
    EXPECT_EQ(kinds, (std::vector<std::string>{
                         "recording-without-turn g999zzz9_001_ABC 1", "faulty-recording g100abc1_002_XYZ 2",
                         "faulty-recording g100abc1_003_ABC 2", "faulty-recording g999zzz9_001_ABC 1"}));
    const std::string tsv = run_corpus({"pair", "--format=tsv", c.trl, "--audio", c.audio}).out;
    EXPECT_NE(tsv.find("faulty-recording\tg100abc1_002_XYZ\t" + c.audio + "/g100abc1_002_XYZ.qnd, " + a +
                       ":3\t8192 samples in the file, 16384 announced (nspbk 64)\n"),
              std::string::npos)
        << tsv;
}

// Export names each fault; without --keep-going it writes nothing, with it
// the sound turn alone.
TEST(RecordingFaults, ExportRefusesThemUnlessKeepGoing)
{
    const faulty_corpus c;
    const fs::path out = c.dir / "data";
    const auto refused = run_corpus({"export", "--to=kaldi", out.string(), c.trl, "--audio", c.audio});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("quenda-corpus: faulty recording: g100abc1_002_XYZ ("), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("quenda-corpus: nothing written"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));

    const auto kept = run_corpus({"export", "--to=kaldi", "--keep-going", out.string(), c.trl, "--audio", c.audio});
    EXPECT_EQ(kept.status, 0) << kept.err;
    EXPECT_EQ(read_file(out / "text"), "ABC-g100abc1_001_ABC ja\n");
}

} // namespace
