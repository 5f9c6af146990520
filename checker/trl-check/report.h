// What trl-check writes: the diagnostics of a file for people (like a
// compiler: position, message, the source line with a caret, hints) or as
// JSON Lines, and the summary at the end.
#pragma once

#include <string>
#include <string_view>

#include "check.h"

namespace trl_check {

struct totals {
    long files = 0;               // files checked
    long turns = 0;
    long files_with_errors = 0;
    long errors = 0;
    long warnings = 0;
    long file_errors = 0;         // paths that could not be read
    long empty_folders = 0;       // folders without a file to check
    double seconds = 0;
};

// Appends the diagnostics of one file.  `source` is the file's text, for the
// source lines.  With `color`, ANSI colours.  Paths are shown to people
// with their control bytes escaped (text::printable); JSON strings keep
// every byte (text::json_string).
void format_human(std::string& out, std::string_view path, std::string_view source, const file_report& report,
                  bool color);
void format_json(std::string& out, std::string_view path, const file_report& report);

// A path that gave nothing to check: "trl-check: PATH: MESSAGE" for
// standard error, or a JSON object of type "file_error" (a path that could
// not be read) or "empty_folder" (a folder without a file to check).
enum class path_problem { unreadable, empty_folder };
void format_path_human(std::string& out, std::string_view path, std::string_view message);
void format_path_json(std::string& out, path_problem problem, std::string_view path, std::string_view message);

void format_summary_human(std::string& out, const totals& t, bool color);
void format_summary_json(std::string& out, const totals& t);

} // namespace trl_check
