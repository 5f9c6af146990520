// Pairing and export on generated recordings with known gaps: what pair
// reports, a Kaldi data folder held to the toolkit's rules by a validator
// of its own, the JSON Lines manifest, WAV files, and writing all or
// nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using test_support::json;
using test_support::parse_json_lines;
using test_support::read_file;
using test_support::temp_dir;

std::string turn(const std::string& key, const std::string& words)
{
    return key + "_000000: " + words + " .\n\n";
}

// A recording of n samples at `rate`, version 1.
std::string recording(std::size_t n, std::int32_t rate = 16000)
{
    return quenda_maker::version1(static_cast<std::int32_t>(n / 256), quenda_maker::sample_data(n), rate);
}

// Two transliterations and two folders of recordings, with a gap of each
// kind that pair reports.
struct gapped_corpus {
    temp_dir dir;
    std::string trl, audio;
    std::map<std::string, std::size_t> samples; // of the recordings that pair
    gapped_corpus()
    {
        dir.write("trl/a.trl", turn("g100abc1_001_ABC", "ja") + turn("g100abc1_002_XYZ", "guten Tag") +
                                   turn("g100abc1_003_ABC", "M\"uller , bitte") + turn("g100abc1_004_XYZ", "so") +
                                   turn("g100abc1_005_ABC", "nein") + turn("g100abc1_006_XYZ", "doch"));
        dir.write("trl/b.trl", turn("g200xyz2_001_ABC", "eins") + turn("g200xyz2_002_DEF", "zwei") +
                                   turn("g200xyz2_003_ABC", "<ah> drei <P> vier") + turn("g100abc1_001_ABC", "wieder"));
        dir.write("audio/one/g100abc1_001_ABC.qnd", recording(512));
        dir.write("audio/one/g100abc1_002_XYZ.qnd", recording(768));
        dir.write("audio/one/g100abc1_003_ABC.qnd", recording(1024));
        dir.write("audio/one/g100abc1_004_XYZ.qnd", recording(1280, 8000));
        dir.write("audio/one/g100abc1_005_ABC.qnd", recording(1536).substr(0, 100));
        dir.write("audio/one/g200xyz2_001_ABC.qnd", recording(256));
        dir.write("audio/one/g200xyz2_002_DEF.qnd", recording(0));
        dir.write("audio/one/g300zzz3_001_ABC.qnd", recording(256));
        dir.write("audio/two/g200xyz2_001_ABC.QND", recording(256));
        dir.write("audio/two/g200xyz2_003_ABC.qnd", recording(2048));
        trl = (dir / "trl").string();
        audio = (dir / "audio").string();
        samples = {{"g100abc1_002_XYZ", 768}, {"g100abc1_003_ABC", 1024}, {"g200xyz2_003_ABC", 2048}};
    }
};

TEST(CorpusPair, ReportsEachGap)
{
    const gapped_corpus c;
    const auto r = run_corpus({"pair", "--format=json", c.trl, "--audio", c.audio});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "");
    std::multiset<std::pair<std::string, std::string>> problems;
    json summary;
    for (const json& j : parse_json_lines(r.out)) {
        if (j["type"] == "problem")
            problems.insert({j["problem"].get<std::string>(), j["key"].get<std::string>()});
        else
            summary = j;
    }
    const std::multiset<std::pair<std::string, std::string>> expected = {{"turn-without-recording", "g100abc1_006_XYZ"},
                                                                         {"recording-without-turn", "g300zzz3_001_ABC"},
                                                                         {"key-twice", "g100abc1_001_ABC"},
                                                                         {"key-twice", "g200xyz2_001_ABC"},
                                                                         {"unreadable-recording", "g100abc1_005_ABC"},
                                                                         {"empty-recording", "g200xyz2_002_DEF"},
                                                                         {"rate-differs", "g100abc1_004_XYZ"}};
    EXPECT_EQ(problems, expected);
    EXPECT_EQ(summary, (json{{"type", "summary"},
                             {"turns", 10},
                             {"recordings", 10},
                             {"paired", 3},
                             {"problems", 7},
                             {"sample_rate", 16000}}));
    // For people: one line each, and the count.
    const auto text = run_corpus({"pair", c.trl, "--audio", c.audio});
    EXPECT_NE(text.out.find("turn without recording: g100abc1_006_XYZ (" + c.trl + "/a.trl:11)\n"), std::string::npos)
        << text.out;
    EXPECT_NE(
        text.out.find("key found twice: g100abc1_001_ABC in turns (" + c.trl + "/a.trl:1, " + c.trl + "/b.trl:7)\n"),
        std::string::npos);
    EXPECT_NE(text.out.find("sample rate differs: g100abc1_004_XYZ (" + c.audio +
                            "/one/g100abc1_004_XYZ.qnd): 8000 Hz, most recordings 16000 Hz\n"),
              std::string::npos);
    EXPECT_TRUE(text.out.ends_with("10 turns, 10 recordings: 3 paired, 7 problems; most recordings at 16000 Hz\n"));
}

// The lines of a file, split into fields at blanks.
std::vector<std::vector<std::string>> fields_of(const fs::path& file)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(read_file(file));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream words(line);
        for (std::string w; words >> w;)
            f.push_back(w);
        rows.push_back(f);
    }
    return rows;
}

// What the toolkit's validation of a data folder demands, checked here:
// the files there, each sorted by its first field in byte order, no id
// twice, the same utterances in every file, spk2utt the inverse of
// utt2spk, and every utterance id beginning with its speaker's.
std::vector<std::string> kaldi_rule_breaks(const fs::path& dir)
{
    std::vector<std::string> breaks;
    std::map<std::string, std::vector<std::vector<std::string>>> files;
    for (const char* name : {"text", "utt2spk", "spk2utt", "wav.scp", "utt2dur"}) {
        if (!fs::exists(dir / name)) {
            breaks.push_back(std::string("no ") + name);
            continue;
        }
        files[name] = fields_of(dir / name);
        std::vector<std::string> firsts;
        std::istringstream in(read_file(dir / name));
        for (std::string line; std::getline(in, line);)
            firsts.push_back(line.substr(0, line.find(' ')));
        if (!std::is_sorted(firsts.begin(), firsts.end()))
            breaks.push_back(std::string(name) + " is not sorted");
        if (std::set<std::string>(firsts.begin(), firsts.end()).size() != firsts.size())
            breaks.push_back(std::string(name) + " has an id twice");
    }
    if (!breaks.empty())
        return breaks;
    auto ids = [&](const char* name) {
        std::set<std::string> s;
        for (const auto& row : files[name])
            s.insert(row.at(0));
        return s;
    };
    for (const char* name : {"utt2spk", "wav.scp", "utt2dur"})
        if (ids(name) != ids("text"))
            breaks.push_back(std::string(name) + " has other utterances than text");
    std::map<std::string, std::set<std::string>> by_speaker;
    for (const auto& row : files["utt2spk"]) {
        if (row.size() != 2 || !row[0].starts_with(row[1]))
            breaks.push_back("utterance " + row[0] + " does not begin with its speaker");
        by_speaker[row[1]].insert(row[0]);
    }
    std::map<std::string, std::set<std::string>> listed;
    for (const auto& row : files["spk2utt"]) {
        if (!std::is_sorted(row.begin() + 1, row.end()))
            breaks.push_back("spk2utt's list of " + row[0] + " is not sorted");
        listed[row[0]] = std::set<std::string>(row.begin() + 1, row.end());
    }
    if (listed != by_speaker)
        breaks.push_back("spk2utt is not the inverse of utt2spk");
    return breaks;
}

TEST(CorpusExport, KaldiFolderFollowsTheToolkitsRules)
{
    const gapped_corpus c;
    const fs::path out = c.dir / "data";
    // The gaps that keep turns out are named, and nothing is written.
    const auto refused = run_corpus({"export", "--to=kaldi", out.string(), c.trl, "--audio", c.audio});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("quenda-corpus: unreadable recording: g100abc1_005_ABC"), std::string::npos);
    EXPECT_NE(refused.err.find("quenda-corpus: nothing written"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));

    const auto r = run_corpus({"export", "--to=kaldi", "--keep-going", "--quenda2wav=" QUENDA2WAV_PATH, out.string(),
                               c.trl, "--audio", c.audio});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "3 turns exported to " + out.string() + "; 1 turn without a recording, 1 recording without a turn\n");
    EXPECT_EQ(kaldi_rule_breaks(out), std::vector<std::string>{});
    EXPECT_EQ(read_file(out / "text"), "ABC-g100abc1_003_ABC M\"uller bitte\n"
                                       "ABC-g200xyz2_003_ABC drei vier\n"
                                       "XYZ-g100abc1_002_XYZ guten Tag\n");
    EXPECT_EQ(read_file(out / "utt2dur"),
              "ABC-g100abc1_003_ABC 0.064\nABC-g200xyz2_003_ABC 0.128\nXYZ-g100abc1_002_XYZ 0.048\n");
    // Each pipe of wav.scp gives the recording's samples as a WAV file.
    for (const auto& row : fields_of(out / "wav.scp")) {
        const std::string id = row.at(0);
        std::string line = read_file(out / "wav.scp");
        line = line.substr(line.find(id + " ") + id.size() + 1);
        line = line.substr(0, line.find('\n'));
        ASSERT_TRUE(line.ends_with(" |")) << line;
        const auto wav = test_support::run_shell(line.substr(0, line.size() - 2));
        ASSERT_EQ(wav.status, 0) << wav.err;
        const std::size_t n = c.samples.at(id.substr(4));
        ASSERT_EQ(wav.out.size(), 44 + 2 * n);
        EXPECT_EQ(wav.out.substr(0, 4), "RIFF");
        EXPECT_EQ(wav.out.substr(44), quenda_maker::sample_data(n));
    }
    // A folder that is not empty is refused, unless --force.
    const auto again = run_corpus({"export", "--to=kaldi", "--keep-going", out.string(), c.trl, "--audio", c.audio});
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("the folder is not empty"), std::string::npos);
    EXPECT_EQ(
        run_corpus({"export", "--to=kaldi", "--keep-going", "--force", out.string(), c.trl, "--audio", c.audio}).status,
        0);
}

TEST(CorpusExport, ManifestAndWavFiles)
{
    const gapped_corpus c;
    const fs::path out = c.dir / "manifest";
    const auto r = run_corpus({"export", "--to=jsonl", "--write-wav", "--keep-going", "--form=utf8", out.string(),
                               c.trl, "--audio", c.audio});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = parse_json_lines(read_file(out / "manifest.jsonl"));
    ASSERT_EQ(lines.size(), 3u);
    std::set<std::string> keys;
    for (const json& j : lines) {
        const std::string id = j["id"];
        const std::string key = id.substr(4);
        keys.insert(key);
        EXPECT_EQ(id.substr(0, 4), std::string(j["speaker"]) + "-");
        EXPECT_EQ(key.substr(0, 8), j["dialog"]);
        EXPECT_EQ(key.substr(9, 3), j["turn"]);
        EXPECT_EQ(j["sample_rate"], 16000);
        EXPECT_EQ(j["samples"], c.samples.at(key));
        EXPECT_DOUBLE_EQ(j["duration"].get<double>(), static_cast<double>(c.samples.at(key)) / 16000.0);
        const fs::path wav = j["audio_filepath"].get<std::string>();
        EXPECT_EQ(wav, fs::absolute(out / "wav" / (key + ".wav")).lexically_normal());
        const std::string bytes = read_file(wav);
        EXPECT_EQ(bytes.size(), 44 + 2 * c.samples.at(key));
        EXPECT_EQ(bytes.substr(44), quenda_maker::sample_data(c.samples.at(key)));
    }
    EXPECT_EQ(keys, (std::set<std::string>{"g100abc1_002_XYZ", "g100abc1_003_ABC", "g200xyz2_003_ABC"}));
    EXPECT_EQ(lines[0]["text"], "M\xC3\xBCller bitte");
}

// The recordings' rates: the most common one pairs, and of two equally
// common ones the lower, whatever the order of the recordings.
TEST(CorpusPair, TheMostCommonRateAndOfTwoTheLower)
{
    const struct {
        std::vector<std::int32_t> rates; // of the turns' recordings, in key order
        std::int32_t common;
    } cases[] = {
        {{16000, 16000, 8000, 8000}, 8000},           {{8000, 8000, 16000, 16000}, 8000},
        {{16000, 8000, 8000, 16000}, 8000},           {{44100, 22050, 44100}, 44100},
        {{11025, 44100, 22050, 22050, 44100}, 22050}, {{48000}, 48000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.rates));
        const temp_dir dir;
        std::string text;
        std::set<std::string> differing;
        for (std::size_t i = 0; i < c.rates.size(); ++i) {
            const std::string key = "g100abc1_00" + std::to_string(i + 1) + "_ABC";
            text += turn(key, "ja");
            dir.write("audio/" + key + ".qnd", recording(256, c.rates[i]));
            if (c.rates[i] != c.common)
                differing.insert(key);
        }
        dir.write("trl/a.trl", text);
        const auto r =
            run_corpus({"pair", "--format=json", (dir / "trl").string(), "--audio", (dir / "audio").string()});
        EXPECT_EQ(r.status, differing.empty() ? 0 : 1) << r.err;
        std::set<std::string> reported;
        json summary;
        for (const json& j : parse_json_lines(r.out)) {
            if (j["type"] == "problem" && j["problem"] == "rate-differs")
                reported.insert(j["key"].get<std::string>());
            else if (j["type"] == "summary")
                summary = j;
        }
        EXPECT_EQ(reported, differing);
        EXPECT_EQ(summary["sample_rate"], c.common);
        EXPECT_EQ(summary["paired"], c.rates.size() - differing.size());
        const auto text_out = run_corpus({"pair", (dir / "trl").string(), "--audio", (dir / "audio").string()});
        EXPECT_TRUE(text_out.out.ends_with("; most recordings at " + std::to_string(c.common) + " Hz\n"))
            << text_out.out;
    }
}

// Each line of wav.scp is a command of the shell, run as the toolkit runs
// it (sh -c): it gives the WAV file of its own recording, whatever bytes
// the recording's path or the converter's holds.
TEST(CorpusExport, WavScpPipesAreShellCommandsForAnyPath)
{
    const temp_dir dir;
    const std::string key = "g100abc1_001_ABC";
    dir.write("trl/a.trl", turn(key, "ja"));
    const std::vector<std::string> folders = {
        "plain",       "it's",        "a b",       "quote\"d", "$HOME", "`true`",
        "back\\slash", "semi;colon&", "star*?[x]", "'",        "-dash", "new\tline",
    };
    std::filesystem::create_directories(dir / "bin's dir");
    const std::string converter = (dir / "bin's dir" / "quenda 2wav").string();
    std::filesystem::create_symlink(QUENDA2WAV_PATH, converter);
    for (const std::string& folder : folders) {
        for (const std::string& program : {std::string(QUENDA2WAV_PATH), converter}) {
            SCOPED_TRACE(folder + " " + program);
            const fs::path audio = dir / "audio" / folder;
            const fs::path rec = audio / (key + ".qnd");
            if (!fs::exists(rec))
                dir.write("audio/" + folder + "/" + key + ".qnd", recording(256 * (1 + folder.size())));
            const fs::path out = dir / "data";
            fs::remove_all(out);
            const auto r = run_corpus({"export", "--to=kaldi", "--quenda2wav=" + program, out.string(),
                                       (dir / "trl").string(), "--audio", audio.string()});
            ASSERT_EQ(r.status, 0) << r.err;
            std::string line = read_file(out / "wav.scp");
            ASSERT_TRUE(line.starts_with("ABC-" + key + " ")) << line;
            ASSERT_TRUE(line.ends_with(" wavfile=- |\n")) << line;
            line = line.substr(key.size() + 5, line.size() - key.size() - 5 - 3);
            const auto piped = test_support::run("/bin/sh", {"-c", line});
            ASSERT_EQ(piped.status, 0) << line << "\n" << piped.err;
            const auto direct = test_support::run(QUENDA2WAV_PATH, {"quendafile=" + rec.string(), "wavfile=-"});
            ASSERT_EQ(direct.status, 0);
            EXPECT_TRUE(piped.out == direct.out) << line;
            EXPECT_EQ(piped.out.size(), 44 + 2 * 256 * (1 + folder.size())) << line;
            // A converter the shell reads as it is stays as it is.
            if (program == QUENDA2WAV_PATH) {
                EXPECT_TRUE(line.starts_with(program + " 'quendafile=")) << line;
            }
        }
    }
}

// An export that fails on the way leaves the folder as it was: no
// temporary file, no file of the export, no folder made for it, and the
// files that --force would have replaced as they were.
TEST(CorpusExport, AFailureLeavesTheFolderAsItWas)
{
    const gapped_corpus c;
    const struct {
        std::string what;
        bool folder;                               // there before
        std::map<std::string, std::string> before; // the files in it ("/" after a folder)
        std::vector<std::string> options;
        rlim_t file_limit;
        std::string error;
    } cases[] = {
        {"a WAV file larger than a file may be", true, {}, {"--write-wav"}, 3000, "File too large"},
        {"in a new folder", false, {}, {"--write-wav"}, 3000, "File too large"},
        {"among files of others",
         true,
         {{"keep/", ""}, {"keep/x", "x"}},
         {"--write-wav", "--force"},
         3000,
         "File too large"},
        {"the text larger than a file may be", true, {}, {}, 40, "File too large"},
        {"the manifest larger than a file may be", false, {}, {"--to=jsonl"}, 100, "File too large"},
        {"the old export replaced",
         true,
         {{"text", "old text\n"}, {"wav.scp", "old\n"}, {"x/", ""}},
         {"--force"},
         40,
         "File too large"},
        {"a folder where a file goes",
         true,
         {{"text", "old text\n"}, {"utt2spk", "old\n"}, {"utt2dur/", ""}, {"utt2dur/mine", "mine\n"}},
         {"--force"},
         0,
         "utt2dur"},
        {"a folder where a WAV file goes",
         true,
         {{"wav/", ""}, {"wav/g200xyz2_003_ABC.wav/", ""}, {"wav/g100abc1_002_XYZ.wav", "old\n"}},
         {"--force", "--write-wav"},
         0,
         "g200xyz2_003_ABC.wav"},
    };
    for (const auto& cs : cases) {
        SCOPED_TRACE(cs.what);
        const fs::path out = c.dir / "data";
        fs::remove_all(out);
        if (cs.folder)
            fs::create_directories(out);
        for (const auto& [name, bytes] : cs.before) {
            if (name.ends_with("/"))
                fs::create_directories(out / name);
            else
                c.dir.write("data/" + name, bytes);
        }
        std::vector<std::string> args = {"export", "--keep-going"};
        if (std::find(cs.options.begin(), cs.options.end(), "--to=jsonl") == cs.options.end())
            args.push_back("--to=kaldi");
        args.insert(args.end(), cs.options.begin(), cs.options.end());
        args.insert(args.end(), {out.string(), c.trl, "--audio", c.audio});
        test_support::run_options limited;
        limited.file_limit = cs.file_limit;
        const auto r = run_corpus(args, limited);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(cs.error), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.ends_with(" (nothing written)\n")) << r.err;
        EXPECT_EQ(contents(out), cs.before);
        EXPECT_EQ(fs::exists(out), cs.folder);
    }
}

// A write that fails leaves nothing behind: no file, no temporary one.
TEST(CorpusExport, AllOrNothing)
{
    const gapped_corpus c;
    const fs::path out = c.dir / "data";
    fs::create_directories(out);
    test_support::run_options limited;
    limited.file_limit = 3000; // less than the largest WAV file
    const auto r = run_corpus(
        {"export", "--to=kaldi", "--write-wav", "--keep-going", out.string(), c.trl, "--audio", c.audio}, limited);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("(nothing written)"), std::string::npos) << r.err;
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(out))
        if (e.is_regular_file())
            left.push_back(e.path().string());
    EXPECT_EQ(left, std::vector<std::string>{});
}

} // namespace

// A manifest for toolkits: WAV files and UTF-8 text unless told otherwise,
// each option alone bringing back what was written before; sox reads every
// audio_filepath of the default.
TEST(CorpusExport, ManifestDefaultsAndTheOptionsThatUndoThem)
{
    const gapped_corpus c;
    const struct {
        std::vector<std::string> options;
        bool wav;
        std::string first_text; // of g100abc1_003_ABC, the first line
    } cases[] = {
        {{}, true, "M\xC3\xBCller bitte"},
        {{"--no-write-wav"}, false, "M\xC3\xBCller bitte"},
        {{"--form=written"}, true, "M\"uller bitte"},
        {{"--no-write-wav", "--form=written"}, false, "M\"uller bitte"},
        {{"--no-write-wav", "--write-wav"}, true, "M\xC3\xBCller bitte"}, // the last one holds
    };
    int n = 0;
    for (const auto& cs : cases) {
        const fs::path out = c.dir / ("m" + std::to_string(n++));
        std::vector<std::string> args = {"export", "--to=jsonl", "--keep-going"};
        args.insert(args.end(), cs.options.begin(), cs.options.end());
        args.insert(args.end(), {out.string(), c.trl, "--audio", c.audio});
        const auto r = run_corpus(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto lines = parse_json_lines(read_file(out / "manifest.jsonl"));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0]["text"], cs.first_text) << cs.options.size();
        EXPECT_EQ(fs::exists(out / "wav"), cs.wav);
        for (const json& j : lines) {
            const fs::path audio = j["audio_filepath"].get<std::string>();
            EXPECT_EQ(audio.extension(), cs.wav ? ".wav" : ".qnd") << audio;
            EXPECT_TRUE(fs::exists(audio)) << audio;
            if (!cs.wav || n > 1)
                continue;
            const auto sox = test_support::run_shell("sox --i -s " + test_support::shell_line({audio.string()}));
            if (sox.status == 127 && !test_support::under_ci())
                GTEST_SKIP() << "no sox";
            EXPECT_EQ(sox.status, 0) << sox.err;
            EXPECT_EQ(sox.out, std::to_string(j["samples"].get<std::size_t>()) + "\n") << audio;
        }
    }
    // Kaldi keeps its defaults: the recordings through quenda2wav, the
    // letters as written.
    const fs::path kaldi = c.dir / "kaldi";
    ASSERT_EQ(run_corpus({"export", "--to=kaldi", "--keep-going", kaldi.string(), c.trl, "--audio", c.audio}).status,
              0);
    EXPECT_FALSE(fs::exists(kaldi / "wav"));
    EXPECT_NE(read_file(kaldi / "text").find("M\"uller bitte"), std::string::npos);
}

// --tags=keep writes what was heard among the words (not pauses), and
// --speaker=dialog makes the speaker's id its dialog and code, in every
// file that names speakers, the utterances' ids starting with it.
TEST(CorpusExport, TagsKeptAndSpeakersScopedByDialog)
{
    const gapped_corpus c;
    const struct {
        std::vector<std::string> options;
        std::string text, utt2spk, spk2utt;
    } cases[] = {
        {{},
         "ABC-g200xyz2_003_ABC drei vier\n",
         "ABC-g200xyz2_003_ABC ABC\n",
         "ABC ABC-g100abc1_003_ABC ABC-g200xyz2_003_ABC\n"},
        {{"--tags=keep"},
         "ABC-g200xyz2_003_ABC <ah> drei vier\n",
         "ABC-g200xyz2_003_ABC ABC\n",
         "ABC ABC-g100abc1_003_ABC ABC-g200xyz2_003_ABC\n"},
        {{"--tags=keep", "--tags=drop", "--speaker=dialog"},
         "g200xyz2_ABC-g200xyz2_003_ABC drei vier\n",
         "g200xyz2_ABC-g200xyz2_003_ABC g200xyz2_ABC\n",
         "g200xyz2_ABC g200xyz2_ABC-g200xyz2_003_ABC\n"},
    };
    int n = 0;
    for (const auto& cs : cases) {
        const fs::path out = c.dir / ("k" + std::to_string(n++));
        std::vector<std::string> args = {"export", "--to=kaldi", "--keep-going"};
        args.insert(args.end(), cs.options.begin(), cs.options.end());
        args.insert(args.end(), {out.string(), c.trl, "--audio", c.audio});
        const auto r = run_corpus(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string text = read_file(out / "text"), utt2spk = read_file(out / "utt2spk"),
                          spk2utt = read_file(out / "spk2utt");
        EXPECT_NE(text.find(cs.text), std::string::npos) << text;
        EXPECT_NE(utt2spk.find(cs.utt2spk), std::string::npos) << utt2spk;
        EXPECT_NE(spk2utt.find(cs.spk2utt), std::string::npos) << spk2utt;
    }
    const fs::path out = c.dir / "j";
    ASSERT_EQ(run_corpus({"export", "--to=jsonl", "--keep-going", "--speaker=dialog", "--tags=keep", out.string(),
                          c.trl, "--audio", c.audio})
                  .status,
              0);
    const auto lines = parse_json_lines(read_file(out / "manifest.jsonl"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2]["speaker"], "g200xyz2_ABC");
    EXPECT_EQ(lines[2]["id"], "g200xyz2_ABC-g200xyz2_003_ABC");
    EXPECT_EQ(lines[2]["text"], "<ah> drei vier");
}
