#include "checker/trl-check/options.h"

#include <climits>
#include <string>
#include <string_view>

#include "common/command_line.h"

namespace trl::cli {

namespace {

using command_line::read_number;

constexpr command_line::option known_options[] = {
    {"jobs", true, 'j'},   {"format", true},     {"max-errors", true},
    {"explain", true},     {"color", true},      {"ext", true},
    {"quiet", false, 'q'}, {"help", false, 'h'}, {"version", false, 'V'},
    {"lsp", false},        {"fix", false},       {"unsafe-fixes", false},
    {"diff", false},       {"strict", false},    {"files-with-errors", false, 'l'},
    {"statistics", false},
};

// Applies one option (its long name) with its value.
bool apply(std::string_view name, std::string_view value, options& o, std::string& error)
{
    long n = 0;
    if (name == "jobs") {
        if (!read_number(value, 1, max_jobs, n)) {
            error = "invalid number of jobs '" + std::string(value) + "' (a whole number from 1 to " +
                    std::to_string(max_jobs) + ")";
            return false;
        }
        o.jobs = static_cast<unsigned>(n);
    } else if (name == "format") {
        if (value == "human" || value == "text")
            o.output = options::format::human;
        else if (value == "json")
            o.output = options::format::json;
        else {
            error = "invalid format '" + std::string(value) + "' (human, text or json)";
            return false;
        }
    } else if (name == "max-errors") {
        if (!read_number(value, 0, INT_MAX, n)) {
            error = "invalid --max-errors '" + std::string(value) + "' (a whole number; 0 for no limit)";
            return false;
        }
        o.max_errors = static_cast<int>(n);
    } else if (name == "explain") {
        o.what = options::action::explain;
        o.explain_code = value;
    } else if (name == "color") {
        if (value == "auto")
            o.colors = options::color::automatic;
        else if (value == "always")
            o.colors = options::color::always;
        else if (value == "never")
            o.colors = options::color::never;
        else {
            error = "invalid --color '" + std::string(value) + "' (auto, always or never)";
            return false;
        }
    } else if (name == "ext") {
        if (value.empty()) {
            error = "--ext needs a suffix such as .trl";
            return false;
        }
        o.suffix = value;
    } else if (name == "lsp") {
        o.what = options::action::lsp;
    } else if (name == "quiet") {
        o.quiet = true;
    } else if (name == "fix") {
        o.fix = true;
    } else if (name == "unsafe-fixes") {
        o.unsafe_fixes = true;
    } else if (name == "diff") {
        o.diff = true;
    } else if (name == "strict") {
        o.strict = true;
    } else if (name == "files-with-errors") {
        o.files_with_errors = true;
    } else if (name == "statistics") {
        o.statistics = true;
    } else if (name == "help") {
        if (o.what != options::action::explain)
            o.what = options::action::help;
    } else if (name == "version") {
        if (o.what == options::action::check)
            o.what = options::action::version;
    }
    return true;
}

} // namespace

bool parse_options(const std::vector<std::string>& args, options& o, std::string& error)
{
    const bool read = command_line::read(
        args, 0, known_options,
        [&](const command_line::item& it) {
            if (!it.opt) {
                o.paths.emplace_back(it.value);
                return true;
            }
            return apply(it.opt->name, it.value, o, error);
        },
        error);
    if (!read)
        return false;
    if (o.what == options::action::check && o.paths.empty()) {
        error = "no PATH given (a file, a folder, or - for standard input)";
        return false;
    }
    if (o.what == options::action::lsp && !o.paths.empty()) {
        error = "--lsp takes no PATH (the editor sends the texts)";
        return false;
    }
    if (o.unsafe_fixes && !o.fix && !o.diff) {
        error = "--unsafe-fixes goes with --fix or --diff";
        return false;
    }
    return true;
}

std::string usage_text()
{
    std::string text = "Usage: trl-check [OPTION]... PATH...\n"
                       "Check transliterations against the corpus conventions: every error of\n"
                       "every file, with its position, what was found and what was expected.\n"
                       "\n"
                       "PATH is a file, a folder (searched recursively for files ending in .trl,\n"
                       "in capitals or not), or - for standard input.  Files are reported in\n"
                       "sorted path order.\n"
                       "\n"
                       "  -j, --jobs=N          check N files in parallel, 1 to " +
                       std::to_string(max_jobs) +
                       " (default: the\n"
                       "                        number of processors)\n"
                       "      --format=FORMAT   human (default; text is the same) or json (JSON\n"
                       "                        Lines)\n"
                       "      --max-errors=N    errors reported per file before moving on to the\n"
                       "                        next file (default 100; 0: no limit)\n"
                       "      --ext=SUFFIX      suffix of the files searched for in folders\n"
                       "                        (default .trl)\n"
                       "      --color=WHEN      auto (default: on a terminal, unless NO_COLOR is\n"
                       "                        set), always or never\n"
                       "  -q, --quiet           print the summary only\n"
                       "  -l, --files-with-errors\n"
                       "                        print only the names of the files with errors\n"
                       "      --statistics      count the diagnostics by code, most frequent first\n"
                       "      --strict          count the warnings about the corpus (W002-W005) as\n"
                       "                        errors\n"
                       "      --fix             write the safe fixes into the files (line ends, byte\n"
                       "                        order mark, umlauts, the end of the text); with -,\n"
                       "                        the fixed text on standard output, the report on\n"
                       "                        standard error\n"
                       "      --unsafe-fixes    with --fix or --diff: the unsafe fixes too (blanks,\n"
                       "                        tabs, misspelled tags)\n"
                       "      --diff            print what --fix would write, as a unified diff;\n"
                       "                        write no file\n"
                       "      --explain CODE    explain an error code (such as T001), with a correct\n"
                       "                        and an incorrect example\n"
                       "      --lsp             serve an editor as a language server on standard\n"
                       "                        input and output\n"
                       "  -h, --help            print this help and exit\n"
                       "  -V, --version         print the version and exit\n"
                       "\n"
                       "Exit status: 0 no errors (warnings allowed), 1 errors found (after --fix:\n"
                       "errors left), 2 a usage error, a path that could not be read, a folder\n"
                       "without files to check, a file that could not be fixed, or output that\n"
                       "could not be written.\n";
    return text;
}

} // namespace trl::cli
