// The subcommands, and what they share: how a file that was not read is
// told, and the exit status.
#pragma once

#include <string>
#include <vector>

#include "corpus/files.h"
#include "corpus/options.h"
#include "corpus/output.h"
#include "corpus/recordings.h"
#include "corpus/survey.h"

namespace corpus {

// Tells what became of each file that was not read, and keeps what the
// exit status needs.  In text and TSV the messages go to standard error;
// in JSON they are records on standard output, so that it is the whole
// report.
class outcomes {
public:
    outcomes(const options& o, checked_stdout& out) : o_(o), out_(out) {}
    // Takes one file's outcome: counts it, tells it unless it was read.
    void note(const file_outcome& f);
    // A path of recordings that gave none.
    void note_audio(const std::string& path, const std::string& reason);

    long files_read = 0;
    long turns = 0;
    std::vector<file_outcome> left_out; // with their first errors and codes
    bool path_error = false;            // a path that could not be read, a folder without files

    // 2 after a path error or a failed write; 1 when a file was left out
    // (without --keep-going) or `reported`; else 0.
    int status(bool reported) const;

private:
    const options& o_;
    checked_stdout& out_;
};

// A pairing problem in a line for people: "turn without recording: KEY
// (PLACE)" and its detail.
std::string problem_line(const pair_problem& p);

// Reads the corpus into a survey.
survey read_survey(const options& o, const survey_needs& needs, outcomes& seen);

int run_words(const options& o, checked_stdout& out);
int run_stats(const options& o, checked_stdout& out);
int run_pair(const options& o, checked_stdout& out);
int run_export(const options& o, checked_stdout& out);
int run_report(const options& o, checked_stdout& out);

} // namespace corpus
