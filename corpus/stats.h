// The statistics as rows and as a table, for stats and the report.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_writer.h"
#include "corpus/commands.h"
#include "corpus/output.h"
#include "corpus/recordings.h"
#include "corpus/survey.h"

namespace corpus {

struct stats_row {
    std::string_view part; // "corpus", "dialog", "speaker"
    std::string_view name;
    const tally* counts;
};
std::vector<stats_row> stats_rows(const survey& s);
// The counts as stats writes them for people and in TSV; the rates of
// recordings with `rates_between` between them.
table stats_table(const survey& s, bool audio, std::string_view rates_between = ",");
std::string rates_text(const std::set<std::int32_t>& rates, std::string_view between);
json_writer::array json_list(const std::set<std::int32_t>& rates);

// Reads the corpus, and with o.audio the recordings, pairs them, and adds
// them to the counts.
survey survey_with_recordings(const options& o, survey_needs needs, outcomes& seen, recordings* recs, pairing* p);

} // namespace corpus
