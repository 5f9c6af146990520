// The consistency of a corpus, from the identifications of its turns:
// W002 a turn identification used twice (in a file, or in two files of a
// run), W003 turn numbers that do not increase within a dialog in a file,
// W004 more than one dialog in a file, W005 a file named for another
// dialog than that of its turns.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "language/check.h"

namespace trl {

// A turn identification: "g012abc3_001_ABC_000000", the dialog name, the
// turn number, the speaker code and the CD-ROM number.
struct identification {
    std::string_view whole;   // without the ':'
    std::string_view dialog;  // "g012abc3"
    int number = 0;           // 1 for "001"
    std::string_view speaker; // "ABC"
    std::string_view cdrom;   // "000000"
};

// The identification of the turn whose first byte is at `begin`, read from
// its first bytes: when it has been read without an error it has a fixed
// shape (nine bytes of dialog name with its '_', three digits and '_',
// three of speaker code and '_', six digits, ':'), and bytes of any other
// shape (a comment between its parts) give none.
std::optional<identification> read_identification(std::string_view text, std::size_t begin);

// Whether a name has the shape of a dialog name: a small letter, three
// digits, three small letters, a digit ("g012abc3").
bool is_dialog_name(std::string_view name);

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
    struct key_hash {
        std::size_t operator()(const std::array<char, 23>& k) const noexcept
        {
            return std::hash<std::string_view>{}(std::string_view(k.data(), k.size()));
        }
    };
    std::vector<std::string> files_;
    std::unordered_map<std::array<char, 23>, first_use, key_hash> first_;
};

} // namespace trl
