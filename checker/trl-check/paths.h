// The files that the paths on the command line name: files as they are,
// folders searched recursively for files with the suffix, "-" for standard
// input; paths that cannot be used, with the reason.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trl_check {

struct input_file {
    std::string path;    // as it is shown; "-" is standard input
    std::string error;   // why it cannot be checked; empty if it can
};

// Every file to check and every unusable path, sorted by path, each path
// once.
std::vector<input_file> collect_inputs(const std::vector<std::string>& paths, std::string_view suffix);

// How a path is shown in reports: standard input as "<stdin>".
std::string_view shown_path(std::string_view path);

} // namespace trl_check
