// The files that the paths on a command line name: files as they are,
// folders searched recursively for files with a suffix, "-" for standard
// input; paths that cannot be used, with the reason.  trl-check, quenda-info
// and quenda-corpus take their paths this one way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inputs {

struct input_file {
    enum class kind {
        file,         // to be read ("-": standard input)
        unusable,     // `error` says why it cannot be read
        empty_folder, // a folder without one file of the suffix
    };
    std::string path; // as it is shown; "-" is standard input
    kind what = kind::file;
    std::string error; // for unusable paths and empty folders

    bool usable() const { return what == kind::file; }
};

// Every file to read and every path that gave none, sorted by path (bytes),
// each path once.  The suffix is matched without regard to the case of its
// letters (".trl" finds "A.TRL" too).  Links to folders are not followed.
std::vector<input_file> collect_inputs(const std::vector<std::string>& paths, std::string_view suffix);

// How a path is shown in reports: standard input as "<stdin>".
std::string_view shown_path(std::string_view path);

} // namespace inputs
