// trl-check: checks transliterations, whole corpora at once, and reports
// every error with its position, what was found and what was expected.
//
// Files are checked on worker threads taking them from a shared counter
// over the sorted list (with one job, on the main thread); the main thread
// writes each file's report as soon as it and every file before it are
// done, so the output is in path order whatever the number of threads
// (common/parallel.h).
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "language/catalogue.h"
#include "language/check.h"
#include "language/consistency.h"
#include "checker/trl-check/diff.h"
#include "language/fix.h"
#include "common/checked_stdout.h"
#include "common/file_text.h"
#include "common/inputs.h"
#include "common/parallel.h"
#include "common/progress.h"
#include "checker/trl-check/options.h"
#include "checker/trl-check/lsp/server.h"
#include "checker/trl-check/replace_file.h"
#include "checker/trl-check/report.h"
#include "common/std_fds.h"
#include "common/text.h"

namespace {

using namespace trl;
using namespace trl::cli;
using inputs::collect_inputs;
using inputs::input_file;
using inputs::shown_path;

using output::checked_stdout;

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "trl-check: %s\nTry 'trl-check --help' for more information.\n", message.c_str());
    return 2;
}

// What the run as a whole decides for each file.
struct run_setting {
    bool color = false;
    bool several_files = false; // identifications are compared across files
    int check_threads = 1;      // threads the check of one file may use: those -j gives beyond one a file
};

// What checking one input gave.
struct result {
    std::string out;        // the report of the file (standard output, or standard error with --fix -)
    std::string tail;       // what ends it, after any warning found across files
    std::string err;        // for standard error
    std::string fixed_text; // for standard output: standard input fixed
    bool has_fixed_text = false;
    bool checked = false; // the file was read and checked
    bool unreadable = false;
    bool empty_folder = false;
    bool not_written = false; // its fixes could not be written
    bool fixed = false;       // its fixes were written (with --diff: would be)
    long turns = 0;
    long errors = 0;
    long warnings = 0;
    code_counts counts{};    // the diagnostics, by code
    code_counts fixes{};     // the fixes applied, by code
    long fixable = 0;        // errors that --fix would mend (not counted with --fix)
    long fixable_unsafe = 0; // and the more that --unsafe-fixes may mend
    std::vector<turn_identification> identifications;
};

void count(result& r, const std::vector<diagnostic>& diagnostics)
{
    for (const diagnostic& d : diagnostics) {
        ++r.counts[static_cast<std::size_t>(d.kind)];
        ++(d.warning ? r.warnings : r.errors);
        if (d.fixable)
            ++(*d.fixable == fix_tier::safe ? r.fixable : r.fixable_unsafe);
    }
}

// A file whose fixes are not written, and why: on standard error, or a
// record of the JSON report.
void not_written(result& r, std::string_view path, const std::string& why, bool json_problems)
{
    r.not_written = true;
    const std::string message = "the fixes could not be written, the file is as it was: " + why;
    if (json_problems)
        format_path_json(r.out, path_problem::unreadable, path, message);
    else
        format_path_human(r.err, path, message);
}

result check_one(const input_file& in, checker& ck, files::file_text& src, const options& o, const run_setting& run)
{
    result r;
    const std::string_view path = shown_path(in.path);
    const bool json = o.output == options::format::json;
    // Problems with a path are records of a JSON report, and messages on
    // standard error otherwise.
    const bool json_problems = json && !o.quiet && !o.diff && !o.files_with_errors;
    std::string problem = in.error;
    // Fixes are written into regular files only: a pipe, a device or a
    // link to standard input is refused before it is read.
    const bool rewritten = o.fix && !o.diff && in.path != "-";
    if (in.usable() &&
        !src.load(in.path, rewritten ? files::file_text::accept::regular : files::file_text::accept::anything)) {
        if (src.not_regular()) {
            not_written(r, path, src.error(), json_problems);
            return r;
        }
        problem = src.error();
    }
    if (!problem.empty()) {
        const path_problem kind =
            in.what == input_file::kind::empty_folder ? path_problem::empty_folder : path_problem::unreadable;
        (kind == path_problem::empty_folder ? r.empty_folder : r.unreadable) = true;
        if (json_problems)
            format_path_json(r.out, kind, path, problem);
        else
            format_path_human(r.err, path, problem);
        return r;
    }
    const std::string_view text = src.text();
    check_options co;
    co.max_errors = o.max_errors;
    co.file_name = in.path;
    co.strict = o.strict;
    co.keep_identifications = run.several_files;
    co.threads = run.check_threads;

    file_report report;
    std::string fixed; // the text the report is about, when fixed
    std::string_view reported = text;
    if (o.fix || o.diff) {
        fix_outcome f = fix_text(text, o.unsafe_fixes, ck, co);
        const bool changed = f.text != text;
        if (o.diff) {
            r.out += unified_diff(path, text, f.text);
            r.fixed = changed;
        } else if (in.path == "-") {
            r.fixed_text = f.text;
            r.has_fixed_text = true;
            r.fixed = changed;
        } else if (changed) {
            if (const std::string why = replace_file(in.path, src, f.text); !why.empty())
                not_written(r, path, why, json_problems);
            else
                r.fixed = true;
        }
        if (!r.not_written) {
            r.fixes = f.applied;
            report = std::move(f.report);
            fixed = std::move(f.text);
            reported = fixed;
        } else {
            report = ck.check(text, co);
        }
    } else {
        report = ck.check(text, co);
        mark_fixable(text, report.diagnostics);
    }
    r.checked = true;
    r.turns = report.turns;
    count(r, report.diagnostics);
    r.identifications = std::move(report.identifications);
    if (o.quiet || o.diff || o.files_with_errors)
        return r;
    if (json) {
        if (r.fixed)
            format_fixed_json(r.out, path, r.fixes);
        format_json(r.out, path, report.diagnostics);
        if (report.stopped)
            format_stopped_json(r.tail, path, report.errors);
    } else {
        if (r.fixed)
            format_fixed_human(r.out, path, r.fixes, run.color);
        format_human(r.out, path, reported, report.diagnostics, run.color);
        if (report.stopped)
            format_stopped_human(r.tail, path, report.errors, run.color);
    }
    return r;
}

bool use_color(options::color c)
{
    if (c != options::color::automatic)
        return c == options::color::always;
    const char* no_color = std::getenv("NO_COLOR");
    return isatty(1) && !(no_color && *no_color);
}

// Checks one input; whatever goes wrong with it is a problem of that file.
result check_safely(const input_file& in, checker& ck, files::file_text& src, const options& o, const run_setting& run)
{
    result r;
    try {
        r = check_one(in, ck, src, o, run);
    } catch (const std::exception& e) {
        r = result{};
        r.unreadable = true;
        const std::string message = dynamic_cast<const std::bad_alloc*>(&e)
                                        ? std::string("not enough memory to check it")
                                        : std::string("cannot check: ") + e.what();
        if (o.output == options::format::json && !o.quiet && !o.diff && !o.files_with_errors)
            format_path_json(r.out, path_problem::unreadable, shown_path(in.path), message);
        else
            format_path_human(r.err, shown_path(in.path), message);
    }
    src.release();
    return r;
}

// One run of checks: the report of each file written in path order as it
// comes, its turn identifications compared with those of the files before
// it, and the totals of the summary.
class check_run {
public:
    check_run(const options& o, checked_stdout& out, const run_setting& setting, progress::line& progress)
        : o_(o), out_(out), setting_(setting), progress_(progress)
    {
        totals_.fixes_ran = o.fix || o.diff;
    }

    // Writes the report of the next file, at `path`; false once standard
    // output has failed.
    bool report(result& r, std::string_view path)
    {
        if (r.checked && setting_.several_files)
            compare_identifications(r, path);
        add_to_totals(r);
        if (o_.files_with_errors && r.errors > 0)
            r.out = text::printable(path) + '\n';
        if (r.err.empty() && r.out.empty() && r.tail.empty() && !r.has_fixed_text)
            return true;
        progress_.clear();
        if (!r.err.empty())
            std::fputs(r.err.c_str(), stderr);
        if (r.has_fixed_text && !out_.write(r.fixed_text))
            return false;
        return write_report(r.out) && write_report(r.tail);
    }

    // Writes the summary; the exit status of the run.
    int finish(std::chrono::steady_clock::time_point started)
    {
        if (out_.failed())
            return 2;
        totals_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (reporting()) {
            std::string summary;
            if (o_.statistics) {
                if (json())
                    format_statistics_json(summary, counts_);
                else
                    format_statistics_human(summary, counts_, setting_.color);
            }
            if (json())
                format_summary_json(summary, totals_);
            else
                format_summary_human(summary, totals_, setting_.color);
            write_report(summary);
        }
        if (out_.failed())
            return 2;
        if (totals_.file_errors > 0 || totals_.empty_folders > 0 || totals_.not_written > 0)
            return 2;
        return totals_.errors > 0 ? 1 : 0;
    }

private:
    bool json() const { return o_.output == options::format::json; }
    // The report, unless only names or a diff are asked for.
    bool reporting() const { return !o_.diff && !o_.files_with_errors; }

    // The warnings about turn identifications that the file shares with
    // the files before it.
    void compare_identifications(result& r, std::string_view path)
    {
        const std::vector<diagnostic> across = corpus_.add(path, r.identifications, o_.strict);
        count(r, across);
        if (!reporting() || o_.quiet)
            return;
        if (json())
            format_json(r.out, path, across);
        else
            format_human(r.out, path, {}, across, setting_.color);
    }

    void add_to_totals(const result& r)
    {
        totals& t = totals_;
        if (r.checked) {
            ++t.files;
            t.turns += r.turns;
            t.errors += r.errors;
            t.warnings += r.warnings;
            t.files_with_errors += r.errors > 0;
            t.files_fixed += r.fixed;
            t.fixable += r.fixable;
            t.fixable_unsafe += r.fixable_unsafe;
            for (std::size_t c = 0; c < counts_.size(); ++c) {
                counts_[c] += r.counts[c];
                t.fixes[c] += r.fixes[c];
            }
        }
        t.file_errors += r.unreadable;
        t.empty_folders += r.empty_folder;
        t.not_written += r.not_written;
    }

    // With --fix and standard input, standard output is the fixed text:
    // the report goes to standard error.
    bool write_report(const std::string& s)
    {
        if (s.empty())
            return !out_.failed();
        if (!fixed_text_out_)
            return out_.write(s);
        std::fputs(s.c_str(), stderr);
        return true;
    }

    const options& o_;
    checked_stdout& out_;
    const run_setting& setting_;
    progress::line& progress_;
    const bool fixed_text_out_ =
        o_.fix && !o_.diff && std::find(o_.paths.begin(), o_.paths.end(), "-") != o_.paths.end();
    totals totals_;
    code_counts counts_{};
    corpus_identifications corpus_;
};

// Checks every input on the threads that -j gives (see Note "In order" in
// common/parallel.h), and writes the reports and the summary.
int run_check(const options& o, checked_stdout& out)
{
    const auto started = std::chrono::steady_clock::now();
    const std::vector<input_file> inputs = collect_inputs(o.paths, o.suffix);
    const std::size_t n = inputs.size();
    run_setting setting;
    setting.color = use_color(o.colors);
    setting.several_files = n > 1;
    setting.check_threads = static_cast<int>(parallel::job_count(o.jobs) / parallel::thread_count(o.jobs, n));
    progress::line progress("trl-check", "files checked", n, started);
    check_run run(o, out, setting, progress);
    // What a checking thread keeps from file to file.
    struct checking {
        checker ck;
        files::file_text src;
    };
    parallel::in_order<checking>(
        n, parallel::thread_count(o.jobs, n),
        [&](checking& c, std::size_t i) { return check_safely(inputs[i], c.ck, c.src, o, setting); },
        [&](result& r, std::size_t i) { return run.report(r, shown_path(inputs[i].path)); },
        [&](std::size_t done) { progress.show(done); });
    progress.clear();
    return run.finish(started);
}

} // namespace

int main(int argc, char** argv)
{
    keep_std_fds(true);
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe is a failed write
    std::signal(SIGXFSZ, SIG_IGN); // a file too large to write is a failed write

    options o;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), o, error))
        return usage_error(error);

    checked_stdout out("trl-check");
    int status = 0;
    switch (o.what) {
    case options::action::help:
        out.write(usage_text());
        break;
    case options::action::version:
        out.write(version_text);
        break;
    case options::action::explain: {
        const code_info* entry = find_code(o.explain_code);
        if (!entry) {
            std::string known;
            for (const code_info& e : catalogue())
                known += std::string(known.empty() ? "" : " ") + e.id;
            return usage_error("unknown code '" + o.explain_code + "' (known: " + known + ")");
        }
        out.write(explain(*entry));
        break;
    }
    case options::action::check:
        status = run_check(o, out);
        break;
    case options::action::lsp:
        return trl::lsp::serve(0, 1);
    }
    if (!out.close())
        return 2;
    return status;
}
