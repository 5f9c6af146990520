// The turns of a corpus as its report shows them: charts of their
// durations, speaking rates and lengths, and a page for each dialog with
// its turns in order, a player for each paired turn, and what was found
// wrong with them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "corpus/commands.h"
#include "corpus/folder_writer.h"

namespace corpus {

// A turn and what became of it.
struct turn_view {
    const turn_place* place;
    const std::string* words; // its words and tags for the page; null unless gathered
    const recording* rec;     // its recording when paired, else null
};

// Every turn of the survey, in the survey's order.
std::vector<turn_view> turn_views(const survey& s, const recordings& recs, const pairing& p);

// Charts of turns: how long the paired turns of each speaker last, how
// fast each speaker speaks in them (words per second), and how many turns
// have how many words.
std::string turn_charts(const std::vector<const turn_view*>& turns);

// For each dialog of the turns: how many were paired, kept out by a
// problem (a faulty recording, a key found twice), or have no recording.
std::string pairing_chart(const std::vector<const turn_view*>& turns, const pairing& p);

// The warnings of consistency (W002-W005) counted by code; nothing when
// there are none.
std::string warnings_chart(const std::vector<const corpus_warning*>& warnings);

// The length of a turn in words as the distribution counts it: 0, 1, then
// 2-3, 4-7, ... (bins that double).  The bin of n, and its label.
int length_bin(long words);
std::string length_bin_label(int bin);

// Where a dialog's page is, from the report's folder.
std::string dialog_page_path(std::string_view dialog);

// Writes the page of each dialog of the survey with `w` (whose folder is
// the report's, named `report_name` there), each paired turn's recording as
// a WAV file beside it.  False with the reason in `error`.
bool write_dialog_pages(folder_writer& w, const survey& s, const std::vector<turn_view>& turns, const pairing& p,
                        const outcomes& seen, const options& o, std::string_view report_name, std::string& error);

} // namespace corpus
