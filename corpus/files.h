// Reading a corpus: every transliteration read by the reader, files in
// parallel as trl-check checks them, and what a subcommand gathers from
// each file's turns handed to it in path order.
//
// A file with errors is not read: its gatherer is dropped, and the file is
// named with its first error as trl-check reports it (the code counts of
// all its errors kept for the report).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corpus/options.h"
#include "language/lines.h"
#include "language/reader.h"

namespace corpus {

// Where a turn is: its file's text, to tell lines.
class file_view {
public:
    file_view(std::string_view path, std::string_view text) : path_(path), lines_{text} {}
    std::string_view path() const { return path_; } // as shown
    std::string_view text() const { return lines_.text; }
    // The physical line (1-based) of a byte; counted forward from the last
    // asked for (trl::line_counter, the language's count of lines).
    long line_of(std::size_t offset) { return lines_.at(std::min(offset, lines_.text.size())).line; }

private:
    std::string_view path_;
    trl::line_counter lines_;
};

// What a subcommand gathers from the turns of one file.
class gatherer {
public:
    virtual ~gatherer() = default;
    // A turn, or a part of a long one (turn::part, turn::last_part): the
    // parts of a turn come one after the other, each with the next
    // elements.
    virtual void turn(const trl::turn& t, file_view& where) = 0;
    // The file has been read to its end without an error.
    virtual void finish() {}
};

struct file_outcome {
    enum class status { read, left_out, unreadable, empty_folder };
    status what = status::read;
    std::string path;    // as shown ("<stdin>" for standard input)
    std::string message; // unreadable, empty folder: why; left out: the first error
    // Left out: the first error as trl-check reports it.
    long line = 0;
    long column = 0;
    std::string code;                                // "T009"
    std::vector<std::pair<std::string, long>> codes; // every error's code, counted, in code order
    long turns = 0;                                  // turns read (files read)
};

// Reads the files that o.paths name (o.suffix in folders) on o.jobs
// threads.  make(spare) gives each file its gatherer, which may use
// `spare` threads of its own (when there are more jobs than files);
// done() receives each file's outcome and gatherer (null unless the file
// was read) in path order, on the calling thread, and returns false to
// stop.
using make_gatherer = std::function<std::unique_ptr<gatherer>(unsigned spare)>;
void read_corpus(const options& o, const make_gatherer& make,
                 const std::function<bool(file_outcome&, std::unique_ptr<gatherer>)>& done);

// What a left-out file's line says on standard error: "PATH:LINE:COLUMN:
// error[CODE]: MESSAGE (file left out)", the path escaped for a terminal.
std::string left_out_line(const file_outcome& f);

} // namespace corpus
