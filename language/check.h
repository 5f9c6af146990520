// The checker of trl-check: one transliteration in memory, every error
// found, each with its position, what was found and expected, the
// construct being read, a code and hints.
//
// It runs velmar's grammar tables with the shared parse engine over the
// record-keeping scanner, so the first error it finds is the token at which
// velmar stops.  After an error it goes on within the turn (recovery.h),
// or with the next turn; then it compares the turns' identifications
// (consistency.h).  What it finds at a token (finding.h) is said in words
// by wording.h.  A checker object holds what one thread needs (the parse
// stack) and may check any number of texts one after the other; objects on
// different threads are independent.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/catalogue.h"
#include "language/turn_id.h"
#include "parse_engine.h"

namespace trl {

// A place in a file that a diagnostic names besides its own (the first
// use of a turn identification, say).
struct place {
    std::string file; // empty: the same file
    long line = 0;    // 1-based, as a diagnostic's
    long column = 0;
};

// How far a fix of trl-check goes: a safe one changes how a text is
// written, an unsafe one what stands in a turn (fix.h).
enum class fix_tier { safe, unsafe };

struct diagnostic {
    code kind = code::unexpected_token;
    bool warning = false; // reported as a warning (the catalogue's, unless --strict)
    // Where the parse stands: the offending token's first byte and length in
    // the text; at the end of the input, the text's size and 0.
    std::size_t offset = 0;
    std::size_t length = 0;
    // The position of the diagnostic, where its offending text begins
    // (span_begin): the report's line and caret, JSON's line and column and
    // an editor's range all start here.
    long line = 0;              // physical line, 1-based
    long column = 0;            // byte column, 1-based
    std::size_t line_start = 0; // offset of the first byte of that line
    long long velmar_line = 0;  // the line velmar prints for the token at offset
    // The offending text, for editors: the bytes [span_begin, span_end).
    // Mostly the token; a whole tag for an unknown tag, whose token may be
    // a byte of it.  end_line and end_column are the position of span_end:
    // just after the last byte (an exclusive end, as editors take a range).
    std::size_t span_begin = 0;
    std::size_t span_end = 0;
    long end_line = 0;
    long end_column = 0;
    bool velmar_stops = false; // the first error (or W001) of the text: velmar stops here
    std::string found;         // the offending text, bytes escaped (text::escape_bytes)
    std::string message;
    std::vector<int> expected_terminals;          // what could have come, terminals of the grammar in its order
    std::vector<std::string_view> expected;       // the same in the grammar's words
    std::vector<std::string_view> expected_plain; // in a transcriber's words, grouped, the likeliest first
    std::string_view context;                     // the construct being read, in words
    std::vector<std::string> hints;
    std::string suggestion; // the known tag meant (unknown tags), or empty
    place related;          // another place named (line 0: none)
    // The tier of the fix that would mend it, where a report asks
    // (mark_fixable in fix.h); none otherwise.
    std::optional<fix_tier> fixable;
};

// Where a turn begins: the offset of its first token, and velmar's line
// count there.
struct turn_start {
    std::size_t offset = 0;
    long long velmar_line = 0;
};

// A turn identification as the corpus-wide checks compare it, and where it
// stands.
struct turn_identification {
    turn_id id;
    std::size_t offset = 0;
    long line = 0;
    long column = 0;
    long long velmar_line = 0;
};

struct file_report {
    // The diagnostics of the grammar in the order of the text, then those
    // of the corpus's consistency (W002-W005) in the order of the text.
    std::vector<diagnostic> diagnostics;
    long turns = 0; // turns begun
    int errors = 0;
    int warnings = 0;
    bool stopped = false;                // the error limit was reached before the end
    std::vector<turn_start> turn_starts; // every turn begun
    // With check_options::keep_identifications: every turn whose
    // identification was read without an error, in order.
    std::vector<turn_identification> identifications;
};

struct check_options {
    int max_errors = 100;       // errors per text before the check stops; 0: no limit
    std::string_view file_name; // the file's path, for W005; empty: none
    bool strict = false;        // W002-W005 are errors
    bool keep_identifications = false;
    // Diagnostics for a program rather than a person: the code, the
    // position, the offending text and a suggestion, but no message,
    // hints or expected words.
    bool lean = false;
    // Threads a check may use: with two or more, a long text is read by
    // two parses at once (the same report).
    int threads = 1;
};

class checker {
public:
    checker();
    ~checker();
    file_report check(std::string_view text, const check_options& options = {});
    // The same report, found by two parses at once, the second beginning
    // at `second_from` (best at a turn's beginning; anywhere gives the same
    // report, if more slowly).  check() chooses the place itself.
    file_report check_in_halves(std::string_view text, const check_options& options, std::size_t second_from);
    // Where the last check's second parse took over: the offset of a turn's
    // beginning, or 0 when one parse read the whole text.
    std::size_t halves_joined_at() const { return joined_at_; }

private:
    // What every check does after its parses: marks where velmar stops,
    // places the ends, and adds the corpus's consistency warnings.
    static void complete(std::string_view text, const check_options& options, file_report& report);

    // The stacks of the parses, kept from text to text: the first's, and
    // the second's of a check in halves.
    std::vector<trl_engine::entry> stack_;
    std::vector<trl_engine::entry> second_stack_;
    std::size_t joined_at_ = 0;
};

} // namespace trl
