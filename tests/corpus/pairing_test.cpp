// Pairing turns with recordings, on lists made here: what pairs, every
// problem with its key, places and detail, in order, and the common rate
// counted over the recordings that hold samples at a plausible rate.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "corpus/recordings.h"

namespace {

using namespace corpus;
using kind = pair_problem::kind;

turn_place place(const std::string& key, std::uint32_t file, long line)
{
    turn_place p;
    p.id = trl::turn_id::parse(key + "_000000").value();
    p.file = file;
    p.line = line;
    return p;
}

recording rec(const std::string& key, std::int32_t rate, std::int64_t samples = 256, std::string problem = "")
{
    recording r;
    r.path = "audio/" + key + ".qnd";
    r.key = key;
    r.problem = std::move(problem);
    r.samples = samples;
    r.rate = rate;
    r.rate_plausible = rate >= 1000 && rate <= 384000;
    r.seconds = r.rate_plausible ? static_cast<double>(samples) / rate : 0;
    return r;
}

// A problem in one line: kind, key, places, detail.
std::string line(const pair_problem& p)
{
    std::string s = std::string(problem_name(p.what)) + " " + p.key + " [";
    for (const std::string& place : p.places)
        s += (s.ends_with("[") ? "" : ", ") + place;
    return s + "] " + p.detail;
}

TEST(CorpusPairing, WhatPairsAndEveryProblemInOrder)
{
    const std::vector<std::string> files = {"a.trl", "b.trl"};
    const std::vector<turn_place> turns = {
        place("g100abc1_001_ABC", 0, 1),                                   // paired
        place("g100abc1_002_ABC", 0, 3),                                   // twice among the turns
        place("g100abc1_003_ABC", 0, 5),                                   // no recording
        place("g100abc1_004_ABC", 0, 7),                                   // at another rate
        place("g100abc1_005_ABC", 0, 9),                                   // an unreadable recording
        place("g100abc1_006_ABC", 0, 11),                                  // a recording without samples
        place("g100abc1_007_ABC", 1, 1),                                   // a rate that is no rate
        place("g100abc1_002_ABC", 1, 3),  place("g100abc1_008_ABC", 1, 5), // twice among the recordings
        place("g100abc1_009_ABC", 1, 7),                                   // paired
    };
    const std::vector<recording> recs = {
        rec("g100abc1_001_ABC", 16000),    rec("g100abc1_002_ABC", 16000),
        rec("g100abc1_004_ABC", 8000),     rec("g100abc1_005_ABC", 0, 0, "not a Quenda file: too short"),
        rec("g100abc1_006_ABC", 16000, 0), rec("g100abc1_007_ABC", 99),
        rec("g100abc1_008_ABC", 16000),    rec("g100abc1_008_ABC", 16000),
        rec("g100abc1_009_ABC", 16000),    rec("g999zzz9_001_XYZ", 16000),
    };
    const pairing p = pair_turns(turns, files, recs);
    EXPECT_EQ(p.common_rate, 16000);
    EXPECT_EQ(p.paired, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 0}, {9, 8}}));
    EXPECT_EQ(p.turns_without_recording, 1u);
    EXPECT_EQ(p.recordings_without_turn, 1u);
    std::vector<std::string> problems;
    for (const pair_problem& pr : p.problems)
        problems.push_back(line(pr));
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "turn-without-recording g100abc1_003_ABC [a.trl:5] ",
                            "recording-without-turn g999zzz9_001_XYZ [audio/g999zzz9_001_XYZ.qnd] ",
                            "key-twice g100abc1_002_ABC [a.trl:3, b.trl:3] turns",
                            "key-twice g100abc1_008_ABC [audio/g100abc1_008_ABC.qnd, audio/g100abc1_008_ABC.qnd] "
                            "recordings",
                            "unreadable-recording g100abc1_005_ABC [audio/g100abc1_005_ABC.qnd] not a Quenda file: "
                            "too short",
                            "empty-recording g100abc1_006_ABC [audio/g100abc1_006_ABC.qnd] ",
                            "rate-differs g100abc1_004_ABC [audio/g100abc1_004_ABC.qnd] 8000 Hz, most recordings "
                            "16000 Hz",
                            "rate-differs g100abc1_007_ABC [audio/g100abc1_007_ABC.qnd] isf 99 is not a plausible "
                            "rate",
                        }));
}

// The common rate counts the recordings that hold samples at a plausible
// rate, paired or not; of two equally common rates the lower.
TEST(CorpusPairing, TheCommonRate)
{
    const struct {
        std::vector<recording> recs;
        std::int32_t common;
    } cases[] = {
        {{}, 0},
        {{rec("k1", 99), rec("k2", 0, 0, "unreadable")}, 0},
        {{rec("k1", 22050), rec("k2", 8000), rec("k3", 8000), rec("k4", 22050)}, 8000},
        {{rec("k1", 44100), rec("k2", 44100), rec("k3", 8000), rec("k4", 8000, 0), rec("k5", 8000, 0)}, 44100},
        {{rec("k1", 48000), rec("k2", 16000), rec("k3", 99), rec("k4", 99), rec("k5", 99)}, 16000},
        {{rec("k1", 32000), rec("k1", 32000), rec("k3", 16000)}, 32000},
    };
    for (const auto& c : cases) {
        const pairing p = pair_turns({}, {}, c.recs);
        EXPECT_EQ(p.common_rate, c.common) << c.recs.size();
    }
}

} // namespace
