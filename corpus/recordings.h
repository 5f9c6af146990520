// Recordings and their pairing with turns.  A recording belongs to the
// turn whose key ("g071ach1_001_ABC": the identification without the
// CD-ROM number) is its file name without the suffix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/options.h"
#include "header/info.h"
#include "language/turn_id.h"

namespace corpus {

struct recording {
    std::string path;              // as found
    std::string key;               // the file name without the suffix
    std::string problem;           // why its header cannot be read; empty when it can
    std::int64_t header_bytes = 0; // where the samples begin
    std::int64_t samples = 0;
    std::int32_t rate = 0; // the header's isf
    bool rate_plausible = false;
    double seconds = 0; // when the rate is plausible
    std::string spoken; // a version-2 recording's orthographic text (ort), as its header holds it
    // What the header library's recording checks find besides no samples
    // and an implausible rate (which `samples` and `rate_plausible` say):
    // truncation, clipping, silence, ...
    std::vector<quenda::recording_problem> faults;

    bool usable() const { return problem.empty() && samples > 0 && rate_plausible && faults.empty(); }
};

// The recordings that o.audio names (o.audio_suffix in folders), their
// headers read on o.jobs threads, in path order.  Paths that cannot be
// searched or name no recording are in `unusable` (path, reason).
struct recordings {
    std::vector<recording> found;
    std::vector<std::pair<std::string, std::string>> unusable;
};
recordings find_recordings(const options& o);

// A turn as pairing sees it.
struct turn_place {
    trl::turn_id id;
    std::uint32_t file = 0; // index in the files read
    long line = 0;
    long words = 0; // lexical elements
    std::string_view key_view() const { return id.key(); }
};

// What pairing reports.
struct pair_problem {
    enum class kind {
        turn_without_recording,
        recording_without_turn,
        key_twice,            // two turns, or two recordings, with one key
        unreadable_recording, // its header cannot be read
        empty_recording,      // no samples
        rate_differs,         // not the corpus's most common rate (or no plausible rate)
        text_differs,         // a version-2 recording's text says other words than its turn (pair alone)
        faulty_recording,     // one of its faults; the places are the recording's and its turns'
    };
    kind what;
    std::string key;
    std::vector<std::string> places; // "FILE:LINE" of turns, paths of recordings
    std::string detail;
};
std::string_view problem_name(pair_problem::kind k);

struct pairing {
    std::vector<pair_problem> problems;                      // by kind, then key
    std::vector<std::pair<std::size_t, std::size_t>> paired; // (turn, recording), in key order
    std::int32_t common_rate = 0;                            // the most common rate (0: none)
    std::size_t turns_without_recording = 0;
    std::size_t recordings_without_turn = 0;
};

// Pairs turns with recordings.  Paired are the turns whose key is found
// once among the turns and once among the recordings, with a recording
// that has samples at the most common rate and no faults; `files` name the
// turns' places.
pairing pair_turns(const std::vector<turn_place>& turns, const std::vector<std::string>& files,
                   const std::vector<recording>& recs);

} // namespace corpus
