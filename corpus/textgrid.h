// A dialog on a timeline: its paired turns one after another in turn
// order, with a pause between two, as one recording and a Praat TextGrid
// (quenda-corpus export --to=textgrid).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corpus {

// The silence put between two turns of a dialog's recording, so that the
// turns can be told apart by ear and on a spectrogram.
inline constexpr double turn_gap_seconds = 0.5;

// The gap in samples at `rate`.
std::int64_t turn_gap_samples(std::int32_t rate);

// A turn on the dialog's timeline: its samples [first, first + samples).
struct timed_turn {
    std::string_view key;     // "g071ach1_001_ABC"
    std::string_view speaker; // the speaker's code, the name of its tier
    std::string_view words;
    std::int64_t first = 0;
    std::int64_t samples = 0;
};

struct timeline {
    std::int32_t rate = 0;
    std::int64_t samples = 0;      // the whole recording's
    std::vector<timed_turn> turns; // in turn order
};

// Lays out turns of `samples` each one after another, the gap between two.
// `turns` holds them in turn order, their `first` to be set.
timeline lay_out(std::int32_t rate, std::vector<timed_turn> turns);

// The TextGrid of the timeline, in Praat's long text form (UTF-8): one
// interval tier per speaker, named by the speaker's code, in the order of
// the codes, holding each turn's words in its span and nothing elsewhere;
// then a tier "turn" holding each turn's key.  A time is a sample's
// number divided by the rate, written so that it reads back as the same
// number.
std::string textgrid_text(const timeline& t);

} // namespace corpus
