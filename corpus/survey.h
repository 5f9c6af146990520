// What stats, pair, export and report gather from a corpus: counts per
// corpus, dialog and speaker, the vocabulary, the tags, and where each
// turn is (with its words, for an export).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/counter.h"
#include "corpus/files.h"
#include "corpus/options.h"
#include "corpus/recordings.h"
#include "language/consistency.h"

namespace corpus {

// The counts of a part of the corpus.
struct tally {
    long turns = 0;
    long words = 0; // lexical elements
    long distinct = 0;
    long hesitations = 0;
    long speaker_noises = 0;
    long technical_noises = 0;
    long pauses = 0;
    long repairs = 0;
    long false_starts = 0;
    long broken_off = 0; // disconnected words
    long foreign = 0;
    long spelled = 0; // spelled letters
    long recordings = 0;
    double seconds = 0;
    std::set<std::int32_t> rates;

    // A turn's elements, or a part's (the turn counted with its first).
    void add_turn(const trl::turn& t);
    void add(const tally& other);
};

// The columns of the counts, one place for their names.
struct tally_column {
    const char* header; // for people
    const char* name;   // in JSON and TSV
    long tally::*field;
};
inline constexpr std::array<tally_column, 12> tally_columns = {{
    {"turns", "turns", &tally::turns},
    {"words", "words", &tally::words},
    {"distinct", "distinct", &tally::distinct},
    {"hesitations", "hesitations", &tally::hesitations},
    {"speaker noises", "speaker_noises", &tally::speaker_noises},
    {"technical noises", "technical_noises", &tally::technical_noises},
    {"pauses", "pauses", &tally::pauses},
    {"repairs", "repairs", &tally::repairs},
    {"false starts", "false_starts", &tally::false_starts},
    {"broken off", "broken_off", &tally::broken_off},
    {"foreign", "foreign", &tally::foreign},
    {"spelled", "spelled_letters", &tally::spelled},
}};

struct survey_needs {
    bool vocabulary = false; // distinct words per corpus, dialog and speaker
    bool words = false;      // the words' counts (report)
    bool tags = false;       // the tags' counts (report)
    bool places = false;     // where each turn is (pairing)
    bool texts = false;      // each turn's words (export)
    bool text_tags = false;  // and its hesitations, noises, breathing and events, as they are written
    bool warnings = false;   // the corpus's consistency, W002-W005 (report)
    form letters = form::written;
};

// A warning of the corpus's consistency (W002-W005), where it stands.
struct corpus_warning {
    std::uint32_t file = 0; // in survey::files
    long line = 0;
    long column = 0;
    std::string code; // "W003"
    std::string message;
    std::string dialog; // of the turn it stands at
};

// Gathers from one file.
class survey_gatherer : public gatherer {
public:
    explicit survey_gatherer(const survey_needs& needs) : needs_(needs) {}
    void turn(const trl::turn& t, file_view& where) override;
    void finish() override;

private:
    friend struct survey;
    const survey_needs& needs_;
    tally corpus_;
    std::map<std::string, tally, std::less<>> dialogs_;
    std::map<std::string, tally, std::less<>> speakers_;
    counter vocabulary_; // "\1" word, "\2" dialog "\37" word, "\3" speaker "\37" word
    counter words_;
    counter tags_; // kind name "\37" tag
    std::vector<turn_place> places_;
    std::vector<std::string> texts_;
    std::string scratch_;
    // For the warnings: the file's text and path, where its turns begin,
    // and then what the checks of consistency found.
    std::string_view text_;
    std::string_view path_;
    std::vector<trl::turn_start> starts_;
    std::vector<corpus_warning> warnings_;
    std::vector<trl::turn_identification> identifications_;
};

// The whole corpus.
struct survey {
    tally corpus;
    std::map<std::string, tally, std::less<>> dialogs;
    std::map<std::string, tally, std::less<>> speakers;
    counter vocabulary;
    counter words;
    counter tags;
    std::vector<turn_place> places;
    std::vector<std::string> texts;              // beside places
    std::vector<std::string> files;              // the files read, as shown
    std::vector<corpus_warning> warnings;        // in path order, each file's in the order of its text
    trl::corpus_identifications identifications; // of the files merged so far (W002 across files)

    // Takes in one file's gathering (the file read as files.size()).
    void merge(survey_gatherer& g, std::string_view path);
    // The distinct words of each part, from the vocabulary.
    void count_distinct();
    // Adds the paired recordings to their turns' dialogs and speakers, and
    // every recording with samples to the corpus.
    void add_recordings(const std::vector<recording>& recs, const pairing& p);
};

// The words of a lexical element in a form.
void append_form(std::string& out, const trl::turn& t, const trl::element& e, form f);

} // namespace corpus
