// trl-check's command line.
#pragma once

#include <string>
#include <vector>

#include "common/version.h"

namespace trl::cli {

// The most files checked in parallel (-j).
inline constexpr unsigned max_jobs = 4096;

struct options {
    enum class action { check, help, version, explain, lsp };
    enum class format { human, json };
    enum class color { automatic, always, never };

    action what = action::check;
    std::vector<std::string> paths;
    unsigned jobs = 0; // 0: the number of processors
    format output = format::human;
    int max_errors = 100; // 0: no limit
    std::string suffix = ".trl";
    color colors = color::automatic;
    bool quiet = false;
    std::string explain_code;
    bool fix = false;               // write the safe fixes into the files
    bool unsafe_fixes = false;      // and the unsafe ones
    bool diff = false;              // show what --fix would write, write nothing
    bool strict = false;            // W002-W005 count as errors
    bool files_with_errors = false; // -l: the names of the files with errors, nothing else
    bool statistics = false;        // the diagnostics counted by code
};

// Reads the arguments after the program name, GNU style: short options may
// be grouped and take their value attached or as the next argument (-j4,
// -j 4), long ones after '=' or as the next argument (--jobs=4, --jobs 4);
// "--" ends the options.  On a usage error returns false and sets `error`.
bool parse_options(const std::vector<std::string>& args, options& out, std::string& error);

// The --help text.
std::string usage_text();

inline constexpr const char* version_text = "trl-check (quenda tools) " QUENDA_TOOLS_VERSION "\n";

} // namespace trl::cli
