// quenda-corpus as a program: the word list against velmar's own output on
// every accepted acceptance case, counts written out by hand from the
// example, files with errors named as trl-check names them, the command
// line, and failed output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/acceptance.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"
#include "language/reader.h"
#include "tests/support/running_text.h"
#include "tests/support/corpus.h"
#include "common/version.h"

namespace {

namespace fs = std::filesystem;
using test_support::json;
using test_support::parse_json_lines;
using test_support::read_file;
using test_support::run_options;
using test_support::temp_dir;

// "count<TAB>word" lines after the header, as a map.
std::map<std::string, long> tsv_counts(const std::string& out)
{
    std::map<std::string, long> counts;
    std::size_t from = out.find('\n') + 1; // the header
    for (std::size_t nl; (nl = out.find('\n', from)) != std::string::npos; from = nl + 1) {
        const std::string line = out.substr(from, nl - from);
        const std::size_t tab = line.find('\t');
        counts[line.substr(tab + 1)] += std::stol(line.substr(0, tab));
    }
    return counts;
}

TEST(CorpusWords, EchoFormCountsVelmarsElementLines)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    const temp_dir copy;
    std::map<std::string, long> velmar_lines;
    long texts = 0;
    for (const fs::path& file : test_support::case_files(dir)) {
        if (test_support::case_status(file) != 0)
            continue;
        fs::copy_file(file, copy / file.filename());
        // velmar's lines: after each empty line its turn header, then a
        // line for each lexical element.
        const auto v = test_support::run(VELMAR_PATH, {file.string()});
        ASSERT_EQ(v.status, 0) << file;
        bool header = false;
        std::size_t from = 0;
        for (std::size_t nl; (nl = v.out.find('\n', from)) != std::string::npos; from = nl + 1) {
            const std::string line = v.out.substr(from, nl - from);
            if (header)
                header = false;
            else if (line.empty())
                header = true;
            else
                ++velmar_lines[line];
        }
        ++texts;
    }
    ASSERT_GT(texts, 500);
    const auto r = run_corpus({"words", "--form=echo", "--format=tsv", copy.path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(tsv_counts(r.out), velmar_lines);
    // The written forms are as many.
    const auto written = run_corpus({"words", "--format=tsv", "-j1", copy.path().string()});
    long echoed = 0, counted = 0;
    for (const auto& [w, n] : velmar_lines)
        echoed += n;
    for (const auto& [w, n] : tsv_counts(written.out))
        counted += n;
    EXPECT_EQ(counted, echoed);
}

// examples/dialog.trl, counted by hand: ABC says 5 + 13 + 4 words in three
// turns, XYZ 9 + 8 + 1 in three.
TEST(CorpusWords, TheExampleCountedByHand)
{
    const std::string example = std::string(TRL_EXAMPLES) + "/dialog.trl";
    const temp_dir dir;
    const std::string lexicon = dir.write("lexicon.txt", "ich\nam\tAH M\n\nDienstag\r\nM\"uller x\n");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;  // lines that must be in the output
        std::vector<std::string> absent; // ... and that must not
    } cases[] = {
        {{"words"}, {"2 M\"uller", "2 einen", "1 BK", "1 gehts", "1 ausmachen", "1 tsch\"uss"}, {"Maier", "<P>"}},
        {{"words", "--form=utf8"},
         {"2 M\xC3\xBCller", "1 n\xC3\xA4"
                             "chste"},
         {"M\"uller"}},
        {{"words", "--form=echo"}, {"2 M\"ller", "1 f\"r"}, {"M\"uller"}},
        {{"words", "--by=speaker", "--format=tsv"},
         {"speaker\tcount\tword", "ABC\t2\teinen", "XYZ\t2\tam", "XYZ\t1\ttsch\"uss"},
         {"ABC\t1\ttsch\"uss"}},
        {{"words", "--lexicon", lexicon}, {"2 einen", "1 Herr"}, {"2 am", "ich", "Dienstag", "M\"uller"}},
        {{"words", "--kinds=pause,hesitation"}, {"3 pause      <P>", "1 hesitation <ah>"}, {"<A>"}},
        {{"words", "--kinds=marks"}, {"1 initial-mark *"}, {"<P>"}},
        {{"stats", "--format=tsv"},
         {"part\tname\tturns\twords\tdistinct\thesitations\tspeaker noises\ttechnical noises\tpauses\trepairs\tfalse "
          "starts\tbroken off\tforeign\tspelled",
          "corpus\t\t6\t40\t35\t1\t2\t1\t3\t1\t1\t1\t0\t2", "speaker\tABC\t3\t22\t21\t0\t2\t0\t1\t1\t0\t1\t0\t2",
          "speaker\tXYZ\t3\t18\t17\t1\t0\t1\t2\t0\t1\t0\t0\t0"},
         {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(example);
        const auto r = run_corpus(args);
        SCOPED_TRACE(test_support::shell_line(args));
        EXPECT_EQ(r.status, 0) << r.err;
        for (const std::string& line : c.lines)
            EXPECT_NE(("\n" + r.out).find("\n" + line + "\n"), std::string::npos) << line << "\n" << r.out;
        for (const std::string& s : c.absent)
            EXPECT_EQ(r.out.find(s), std::string::npos) << s;
    }
    // The word list adds up to the words of the counts.
    const auto tsv = run_corpus({"words", "--format=tsv", example});
    long words = 0;
    for (const auto& [w, n] : tsv_counts(tsv.out))
        words += n;
    EXPECT_EQ(words, 22 + 18);
}

// A small text written out whole in every form and format of words: the
// order (count, then bytes), the columns, the groups, the tags and the
// lexicon.
TEST(CorpusWords, EveryFormAndFormatWrittenOut)
{
    const temp_dir dir;
    const std::string text = dir.write("t.trl", "g071ach1_001_ABC_004711: ja ja M\"uller <ah> so .\n\n"
                                                "g072ach1_002_XYZ_004711: ja <P> nein <ah> doch .\n\n"
                                                "g071ach1_003_ABC_004711: ja ja ja ja ja ja ja ja ja ja .\n\n");
    const std::string lexicon = dir.write("lexicon.txt", "ja\r\nso extra\n\n");
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"words"}, "13 ja\n 1 M\"uller\n 1 doch\n 1 nein\n 1 so\n"},
        {{"words", "--form=echo", "--format=tsv"}, "count\tword\n13\tja\n1\tM\"ller\n1\tdoch\n1\tnein\n1\tso\n"},
        {{"words", "--form=utf8", "--format=json"},
         "{\"type\":\"word\",\"word\":\"ja\",\"count\":13}\n{\"type\":\"word\",\"word\":\"M\xC3\xBCller\",\"count\":1}"
         "\n"
         "{\"type\":\"word\",\"word\":\"doch\",\"count\":1}\n{\"type\":\"word\",\"word\":\"nein\",\"count\":1}\n"
         "{\"type\":\"word\",\"word\":\"so\",\"count\":1}\n"},
        {{"words", "--by=speaker"}, "ABC 12 ja\nABC  1 M\"uller\nABC  1 so\nXYZ  1 doch\nXYZ  1 ja\nXYZ  1 nein\n"},
        {{"words", "--by=dialog", "--format=tsv"},
         "dialog\tcount\tword\ng071ach1\t12\tja\ng071ach1\t1\tM\"uller\ng071ach1\t1\tso\ng072ach1\t1\tdoch\n"
         "g072ach1\t1\tja\ng072ach1\t1\tnein\n"},
        {{"words", "--by=speaker", "--format=json"},
         "{\"type\":\"word\",\"speaker\":\"ABC\",\"word\":\"ja\",\"count\":12}\n"
         "{\"type\":\"word\",\"speaker\":\"ABC\",\"word\":\"M\\\"uller\",\"count\":1}\n"
         "{\"type\":\"word\",\"speaker\":\"ABC\",\"word\":\"so\",\"count\":1}\n"
         "{\"type\":\"word\",\"speaker\":\"XYZ\",\"word\":\"doch\",\"count\":1}\n"
         "{\"type\":\"word\",\"speaker\":\"XYZ\",\"word\":\"ja\",\"count\":1}\n"
         "{\"type\":\"word\",\"speaker\":\"XYZ\",\"word\":\"nein\",\"count\":1}\n"},
        {{"words", "--kinds=hesitation,pause"}, "2 hesitation <ah>\n1 pause      <P>\n"},
        {{"words", "--kinds=pause"}, "1 pause <P>\n"},
        {{"words", "--kinds=all", "--by=speaker", "--format=tsv"},
         "speaker\tcount\tkind\ttag\nABC\t1\thesitation\t<ah>\nXYZ\t1\thesitation\t<ah>\nXYZ\t1\tpause\t<P>\n"},
        {{"words", "--kinds=all", "--format=json"},
         "{\"type\":\"tag\",\"kind\":\"hesitation\",\"tag\":\"<ah>\",\"count\":2}\n"
         "{\"type\":\"tag\",\"kind\":\"pause\",\"tag\":\"<P>\",\"count\":1}\n"},
        {{"words", "--lexicon", lexicon}, "1 M\"uller\n1 doch\n1 nein\n"},
        {{"words", "--lexicon", lexicon, "--by=speaker"}, "ABC 1 M\"uller\nXYZ 1 doch\nXYZ 1 nein\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(text);
        SCOPED_TRACE(test_support::shell_line(args));
        const auto r = run_corpus(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c.out);
    }
}

// A file with errors is named with its first error as trl-check's report
// begins, and left out.
TEST(CorpusFiles, ErrorsNamedAsTrlCheckNamesThem)
{
    const std::string errors = std::string(TRL_EXAMPLES) + "/errors.trl";
    const std::string dialog = std::string(TRL_EXAMPLES) + "/dialog.trl";
    const auto check = test_support::run(TRL_CHECK_PATH, {errors});
    const std::string first = check.out.substr(0, check.out.find('\n'));
    ASSERT_NE(first.find("error[T009]"), std::string::npos);

    const auto r = run_corpus({"words", "--format=tsv", errors, dialog});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenda-corpus: " + first + " (file left out)\n");
    const auto alone = run_corpus({"words", "--format=tsv", dialog});
    EXPECT_EQ(r.out, alone.out); // the other file's words, and no more
    EXPECT_EQ(run_corpus({"words", "--keep-going", errors, dialog}).status, 0);

    const auto j = run_corpus({"stats", "--format=json", errors, dialog});
    EXPECT_EQ(j.status, 1);
    EXPECT_EQ(j.err, "");
    const auto records = parse_json_lines(j.out);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0], (json{{"type", "left_out"},
                                {"file", errors},
                                {"line", 6},
                                {"column", 50},
                                {"code", "T009"},
                                {"message", "missing blank: found '.' in the word"}}));
    EXPECT_EQ(records.back()["type"], "stats");
}

// One turn as long as a whole text (here 4 MB) is read a part at a time:
// it gives the words and counts that the same pieces in many turns give,
// and takes memory as they do.  The address space it may map is ten times
// the text, which the whole turn's elements (about 100 bytes each, some
// 1.1 million) would overflow many times.
TEST(CorpusFiles, ALongTurnIsReadInParts)
{
    const temp_dir dir;
    std::string one = "g071ach1_001_ABC_004711:";
    std::string many;
    std::size_t pieces = 0;
    while (one.size() < (std::size_t{4} << 20)) {
        const std::string piece = test_support::running_text(20, pieces);
        one += " " + piece;
        many += "g071ach1_" + std::to_string(1000 + pieces / 20 % 1000).substr(1) + "_ABC_004711: " + piece + " .\n\n";
        pieces += 20;
    }
    one += " .\n\n";
    const std::string long_file = dir.write("one/g071ach1.trl", one);
    const std::string many_file = dir.write("many/g071ach1.trl", many);
    run_options limited;
#if !defined(__SANITIZE_ADDRESS__)
    limited.address_limit = 10 * one.size();
#endif
    const auto one_words = run_corpus({"words", "-j1", "--format=tsv", long_file}, limited);
    const auto many_words = run_corpus({"words", "-j1", "--format=tsv", many_file}, limited);
    EXPECT_EQ(one_words.status, 0) << one_words.err;
    EXPECT_EQ(one_words.err, "");
    EXPECT_EQ(one_words.out, many_words.out);
    EXPECT_GT(one_words.out.size(), 200u);

    const auto one_stats = parse_json_lines(run_corpus({"stats", "-j1", "--format=json", long_file}, limited).out);
    const auto many_stats = parse_json_lines(run_corpus({"stats", "-j1", "--format=json", many_file}, limited).out);
    ASSERT_EQ(one_stats.size(), 3u); // the corpus, its dialog, its speaker
    ASSERT_EQ(many_stats.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(one_stats[i]["turns"], 1);
        EXPECT_EQ(many_stats[i]["turns"], pieces / 20);
        json a = one_stats[i], b = many_stats[i];
        a.erase("turns");
        b.erase("turns");
        EXPECT_EQ(a, b);
    }
}

// An exported turn holds every word of a long turn, once, in reading order
// (here from the reader's whole turn), and the turns after it keep their
// own words.
TEST(CorpusExport, ALongTurnsWordsAreExportedWhole)
{
    const temp_dir dir;
    const std::string text = "g071ach1_001_ABC_004711: " + test_support::running_text(12000) + " .\n\n" +
                             "g071ach1_002_XYZ_004711: ja <P> so .\n\n" +
                             "g071ach1_003_ABC_004711: " + test_support::running_text(30, 5) + " .\n\n";
    const std::string file = dir.write("g071ach1.trl", text);
    const trl::document doc = trl::read_document(text);
    ASSERT_TRUE(doc.result.ok());
    std::map<std::string, std::string> expected;
    for (const trl::turn& t : doc.turns) {
        std::string words;
        for (const trl::element& e : t.elements) {
            if (!trl::is_lexical(e.what))
                continue;
            if (!words.empty())
                words += ' ';
            words += t.text(e.letters);
        }
        expected[std::string(t.id.speaker()) + "-" + std::string(t.id.key())] = words;
        dir.write("audio/" + std::string(t.id.key()) + ".qnd",
                  quenda_maker::version1(1, quenda_maker::sample_data(256), 16000));
    }
    ASSERT_GT(doc.turns[0].elements.size(), 3u * 4096u); // more than one part for quenda-corpus
    const auto r = run_corpus(
        {"export", "--to=jsonl", "--form=written", (dir / "out").string(), file, "--audio", (dir / "audio").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> exported;
    for (const json& j : parse_json_lines(read_file(dir / "out" / "manifest.jsonl")))
        exported[j["id"].get<std::string>()] = j["text"].get<std::string>();
    EXPECT_EQ(exported, expected);
}

// A run without errors says nothing of files left out, in any format and
// subcommand; the same run with a file with errors says so.
TEST(CorpusFiles, ACleanRunMentionsNoFileLeftOut)
{
    const std::string dialog = std::string(TRL_EXAMPLES) + "/dialog.trl";
    const std::string errors = std::string(TRL_EXAMPLES) + "/errors.trl";
    const std::string audio = std::string(TRL_EXAMPLES) + "/audio";
    const temp_dir dir;
    const std::string page = (dir / "report.html").string();
    const struct {
        std::vector<std::string> args;
        std::string clean_start; // the start of a clean run's output
        std::string left_out;    // what the run with errors says of them
    } cases[] = {
        {{"stats"}, "1 file read\n\npart ", "1 file read, 1 file with errors left out\n\npart "},
        {{"stats", "--format=tsv"}, "part\t", "(file left out)\n"},
        {{"stats", "--format=json"}, "{\"type\":\"stats\"", "{\"type\":\"left_out\",\"file\":\"" + errors},
        {{"stats", "--audio", audio}, "1 file read\n\npart ", "1 file read, 1 file with errors left out\n\npart "},
        {{"words"}, "", "(file left out)\n"},
        {{"words", "--format=json"}, "", "{\"type\":\"left_out\""},
        {{"report", "-o", page}, "", ">file with errors, left out<"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(test_support::shell_line(c.args));
        for (const bool with_errors : {false, true}) {
            std::vector<std::string> args = c.args;
            if (with_errors)
                args.push_back(errors);
            args.push_back(dialog);
            const auto r = run_corpus(args);
            const std::string said = r.out + r.err + (std::filesystem::exists(page) ? read_file(page) : "");
            std::filesystem::remove(page);
            EXPECT_EQ(r.status, with_errors ? 1 : 0) << r.err;
            EXPECT_EQ(said.find(c.left_out) != std::string::npos, with_errors) << said;
            if (with_errors)
                continue;
            for (const char* words : {"left out", "left_out", "errors", "error["})
                EXPECT_EQ(said.find(words), std::string::npos) << words;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out.substr(0, c.clean_start.size()), c.clean_start);
        }
    }
}

TEST(CorpusProgram, CommandLineAndStatuses)
{
    const temp_dir dir;
    std::filesystem::create_directories(dir / "empty");
    const std::string example = std::string(TRL_EXAMPLES) + "/dialog.trl";
    const std::string d = dir.path().string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // the start of standard output
        std::string err; // the start of standard error; empty: none
    } cases[] = {
        {{}, 2, "", "quenda-corpus: no subcommand (words, stats, pair, export or report)\n"},
        {{"--help"}, 0, "usage: quenda-corpus SUBCOMMAND", ""},
        {{"words", "--help"}, 0, "usage: quenda-corpus SUBCOMMAND", ""},
        {{"--version"}, 0, "quenda-corpus (quenda tools) " QUENDA_TOOLS_VERSION "\n", ""},
        {{"count", example}, 2, "", "quenda-corpus: unknown subcommand 'count'"},
        {{"words", "--frobnicate", example}, 2, "", "quenda-corpus: unknown option '--frobnicate'"},
        {{"words", "--format=xml", example}, 2, "", "quenda-corpus: invalid --format 'xml' (text, json or tsv)"},
        {{"words", "-j0", example}, 2, "", "quenda-corpus: invalid --jobs '0'"},
        {{"words", "--form=echo", "--by=room", example}, 2, "", "quenda-corpus: invalid --by 'room'"},
        {{"words", "--kinds=laughter", example}, 2, "", "quenda-corpus: invalid --kinds 'laughter'"},
        {{"export", "--to=kaldi", d + "/out", example, "--form=echo"}, 2, "", "quenda-corpus: invalid --form 'echo'"},
        {{"stats", "--lexicon", "x", example}, 2, "", "quenda-corpus: option --lexicon is not for stats"},
        {{"words"}, 2, "", "quenda-corpus: no transliterations given"},
        {{"pair", example}, 2, "", "quenda-corpus: pair needs the recordings: --audio DIR"},
        {{"export", d + "/out", example, "--audio", d},
         2,
         "",
         "quenda-corpus: export needs --to=kaldi, --to=jsonl or --to=textgrid"},
        {{"report", example}, 2, "", "quenda-corpus: report needs the page to write: -o FILE"},
        {{"words", d + "/missing.trl"}, 2, "", "quenda-corpus: " + d + "/missing.trl: No such file or directory\n"},
        {{"words", d + "/empty"}, 2, "", "quenda-corpus: " + d + "/empty: no files ending in '.trl' in this folder\n"},
        {{"words", "--lexicon", d + "/none.txt", example}, 2, "", "quenda-corpus: " + d + "/none.txt: No such file"},
        {{"words", "--format=json", example}, 0, "{\"type\":\"word\",\"word\":\"Dienstag\",\"count\":2}\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(test_support::shell_line(c.args));
        const auto r = run_corpus(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        if (c.err.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
    }
}

TEST(CorpusProgram, FailedOutput)
{
    const temp_dir dir;
    // Enough distinct words to fill a pipe many times over.
    std::string text;
    for (int t = 0; t < 200; ++t) {
        text += "g071ach1_" + std::to_string(100 + t % 900) + "_ABC_004711:";
        for (int w = 0; w < 100; ++w) {
            text += ' ';
            for (int n = t * 100 + w + 1; n > 0; n /= 26)
                text += static_cast<char>('a' + n % 26);
        }
        text += " .\n\n";
    }
    const std::string file = dir.write("many.trl", text);
    const std::string corpus = QUENDA_CORPUS_PATH;
    const auto full = test_support::run_shell(corpus + " words " + file + " > /dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_EQ(full.err, "quenda-corpus: write error on standard output: No space left on device\n");
    const auto gone =
        test_support::run_shell(corpus + " words " + file + " | head -1 > /dev/null; echo \"${PIPESTATUS[0]}\"");
    EXPECT_EQ(gone.out, "2\n");
    EXPECT_EQ(gone.err, "");
    run_options closed;
    closed.out_to = "-";
    const auto shut = test_support::run(corpus, {"words", file}, closed);
    EXPECT_EQ(shut.status, 2);
    EXPECT_NE(shut.err.find("quenda-corpus: write error on standard output"), std::string::npos) << shut.err;
}

} // namespace
