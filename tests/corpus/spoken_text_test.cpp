// A version-2 recording's text against its turn's words: what counts as
// the same words, what is reported where they differ, and pair naming a
// recording whose text differs.
#include <gtest/gtest.h>

#include <string>

#include "corpus/spoken_text.h"
#include "tests/support/corpus.h"
#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"

namespace {

using corpus::compare_words;

TEST(SpokenText, TheSameWordsWhateverTheirSpelling)
{
    const struct {
        const char* recording;
        const char* turn;
    } same[] = {
        {"Guten Tag, hier ist M\"uller.", "guten Tag hier ist M\xC3\xBCller"},
        {"guten tag hier ist mueller", "guten Tag hier ist M\"uller"},
        {"GUTEN TAG HIER IST M\xC3\x9CLLER", "guten Tag hier ist Mueller"},
        {"gr\xFC\xDF Gott", "gr\"u\"s Gott"},                  // Latin-1
        {"gr\xC3\xBC\xC3\x9F Gott", "gruess Gott"},            // UTF-8
        {"<ah> hallo <P> Herr , Maier ?", "hallo Herr Maier"}, // tags and punctuation
        {"  \"Ja\"  ", "ja"},                                  // a quote that is no umlaut
        {"", ""},
        {"geht's n\"achste Woche", "gehts n\xC3\xA4"
                                   "chste Woche"},
    };
    for (const auto& c : same)
        EXPECT_FALSE(compare_words(c.recording, c.turn)) << c.recording << " | " << c.turn;

    const struct {
        const char* recording;
        const char* turn;
        const char* says;  // the recording, where they differ
        const char* turns; // the turn, there
    } differ[] = {
        {"guten Tag hier ist Maier", "guten Tag hier ist M\"uller", "Maier", "M\"uller"},
        {"guten Abend , hier ist Maier", "guten Tag hier ist Maier", "Abend", "Tag"},
        {"ja ja", "ja", "ja", ""},
        {"", "hallo", "", "hallo"},
        {"eins zwei drei", "eins vier fünf drei", "zwei", "vier fünf"},
        {"a b c", "c b a", "a b c", "c b a"},
        {"ja ja nein", "ja nein", "ja", ""}, // the words alike at both ends stay out, once
    };
    for (const auto& c : differ) {
        const auto d = compare_words(c.recording, c.turn);
        ASSERT_TRUE(d) << c.recording << " | " << c.turn;
        EXPECT_EQ(d->recording, c.says) << c.recording;
        EXPECT_EQ(d->turn, c.turns) << c.turn;
    }
}

// pair reads the text of version-2 recordings and names those whose words
// differ from their turn's, with both places; version-1 recordings and
// texts that differ only in spelling are not named.
TEST(CorpusPair, NamesARecordingWhoseTextDiffers)
{
    const test_support::temp_dir dir;
    dir.write("t/a.trl", "g100abc1_001_ABC_000000: guten Tag , hier ist M\"uller .\n\n"
                         "g100abc1_002_XYZ_000000: <ah> hallo Herr Maier .\n\n"
                         "g100abc1_003_ABC_000000: bis morgen .\n\n");
    const std::string samples = quenda_maker::sample_data(512);
    dir.write("a/g100abc1_001_ABC.qnd",
              quenda_maker::version2(2, 2, "Guten Tag, hier ist M\xC3\xBCller.", "", samples));
    dir.write("a/g100abc1_002_XYZ.qnd", quenda_maker::version2(2, 2, "hallo Frau Maier", "", samples));
    dir.write("a/g100abc1_003_ABC.qnd", quenda_maker::version1(2, samples));
    const auto r = run_corpus({"pair", (dir / "t").string(), "--audio", (dir / "a").string()});
    EXPECT_EQ(r.status, 1) << r.err; // a problem
    EXPECT_EQ(r.out, "text differs: g100abc1_002_XYZ (" + (dir / "t" / "a.trl").string() + ":3, " +
                         (dir / "a" / "g100abc1_002_XYZ.qnd").string() +
                         "): the recording says \"Frau\", the turn \"Herr\"\n"
                         "3 turns, 3 recordings: 3 paired, 1 problem; most recordings at 16000 Hz\n");
}

} // namespace
