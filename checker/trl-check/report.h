// What trl-check writes: the diagnostics of a file for people (like a
// compiler: position, message, the source line with a caret, hints) or as
// JSON Lines, and the summary at the end.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "language/catalogue.h"
#include "language/check.h"

namespace trl::cli {

struct totals {
    long files = 0; // files checked
    long turns = 0;
    long files_with_errors = 0;
    long errors = 0;
    long warnings = 0;
    long file_errors = 0;   // paths that could not be read
    long empty_folders = 0; // folders without a file to check
    long not_written = 0;   // files whose fixes could not be written
    long files_fixed = 0;   // files written (or to be written) with fixes
    code_counts fixes{};    // fixes applied, by the code of what they fixed
    // The errors that --fix would mend, and the more that --fix with
    // --unsafe-fixes may mend (diagnostic::fixable); not counted when the
    // fixes ran.
    bool fixes_ran = false;
    long fixable = 0;
    long fixable_unsafe = 0;
    double seconds = 0;
};

// Appends the diagnostics of one file.  `source` is the file's text, for the
// source lines.  With `color`, ANSI colours.  Paths are shown to people
// with their control bytes escaped (text::printable); JSON strings keep
// every byte (text::json_string).
void format_human(std::string& out, std::string_view path, std::string_view source, const file_report& report,
                  bool color);
void format_json(std::string& out, std::string_view path, const file_report& report);

// Parts of those: diagnostics alone (with an empty `source`, without
// source lines), and the note (human) or record (JSON, "truncated") of a
// file whose check stopped at the error limit.
void format_human(std::string& out, std::string_view path, std::string_view source,
                  std::span<const diagnostic> diagnostics, bool color);
void format_json(std::string& out, std::string_view path, std::span<const diagnostic> diagnostics);
void format_stopped_human(std::string& out, std::string_view path, int errors, bool color);
void format_stopped_json(std::string& out, std::string_view path, int errors);

// The fixes written to a file: "PATH: note: 3 fixes written (T006 2, T009
// 1)", or a JSON record of type "fixed".
void format_fixed_human(std::string& out, std::string_view path, const code_counts& fixes, bool color);
void format_fixed_json(std::string& out, std::string_view path, const code_counts& fixes);

// The diagnostics of a run counted by code, most frequent first: a table,
// or a JSON record of type "statistics".
void format_statistics_human(std::string& out, const code_counts& counts, bool color);
void format_statistics_json(std::string& out, const code_counts& counts);

// A path that gave nothing to check: "trl-check: PATH: MESSAGE" for
// standard error, or a JSON object of type "file_error" (a path that could
// not be read) or "empty_folder" (a folder without a file to check).
enum class path_problem { unreadable, empty_folder };
void format_path_human(std::string& out, std::string_view path, std::string_view message);
void format_path_json(std::string& out, path_problem problem, std::string_view path, std::string_view message);

void format_summary_human(std::string& out, const totals& t, bool color);
void format_summary_json(std::string& out, const totals& t);

} // namespace trl::cli
