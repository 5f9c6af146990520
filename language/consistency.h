// The consistency of a corpus, from the identifications of its turns:
// W002 a turn identification used twice (in a file, or in two files of a
// run), W003 turn numbers that do not increase within a dialog in a file,
// W004 more than one dialog in a file, W005 a file named for another
// dialog than that of its turns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "language/check.h"

namespace trl {

// Adds W002-W005 for the turns of a checked text to its report, after its
// other diagnostics, and fills report.identifications when the options ask
// for them.  Only turns whose identification was read without an error
// take part.
void check_consistency(std::string_view text, const check_options& options, file_report& report);

// The turn identifications of the files of a run, given in path order:
// W002 for a turn whose identification an earlier file has.  (A later use
// within the same file has its W002 from check_consistency already.)
class corpus_identifications {
public:
    // The warnings for the turns of file `path` (file_report::
    // identifications of a check with keep_identifications), in the order
    // of the text.
    std::vector<diagnostic> add(std::string_view path, const std::vector<turn_identification>& turns, bool strict);

private:
    struct first_use {
        std::size_t file;
        long line;
        long column;
    };
    // Two turns are the same turn when their identifications are, whatever
    // their languages.
    struct same_turn {
        std::size_t operator()(const turn_id& id) const noexcept { return std::hash<std::string_view>{}(id.text()); }
        bool operator()(const turn_id& a, const turn_id& b) const noexcept { return a.text() == b.text(); }
    };
    std::vector<std::string> files_;
    std::unordered_map<turn_id, first_use, same_turn, same_turn> first_;
};

} // namespace trl
