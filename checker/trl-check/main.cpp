// trl-check: checks transliterations, whole corpora at once, and reports
// every error with its position, what was found and what was expected.
//
// Files are checked on worker threads taking them from a shared counter
// over the sorted list; the main thread writes each file's report as soon
// as it and every file before it are done, so the output is in path order
// whatever the number of threads.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "check.h"
#include "options.h"
#include "paths.h"
#include "report.h"
#include "source.h"
#include "std_fds.h"

namespace {

using namespace trl_check;

// Standard output with every write checked: a failed write (a full disk,
// a closed pipe) is remembered and ends the run with status 2.
class checked_stdout {
public:
    checked_stdout() { std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16); }

    bool write(std::string_view s)
    {
        if (failed_ || s.empty())
            return !failed_;
        if (std::fwrite(s.data(), 1, s.size(), stdout) != s.size())
            fail();
        return !failed_;
    }
    // Flushes and closes standard output; false if anything failed.
    bool close()
    {
        if (std::fflush(stdout) != 0)
            fail();
        if (std::fclose(stdout) != 0)
            fail();
        if (failed_)
            std::fprintf(stderr, "trl-check: write error on standard output: %s\n",
                         std::error_code(error_, std::generic_category()).message().c_str());
        return !failed_;
    }
    bool failed() const { return failed_; }

private:
    void fail()
    {
        if (!failed_)
            error_ = errno ? errno : EIO;
        failed_ = true;
    }
    bool failed_ = false;
    int error_ = 0;
};

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "trl-check: %s\nTry 'trl-check --help' for more information.\n", message.c_str());
    return 2;
}

// What checking one input gave.
struct result {
    std::string out;         // for standard output
    std::string err;         // for standard error
    bool checked = false;    // the file was read and checked
    bool unreadable = false;
    long turns = 0;
    long errors = 0;
    long warnings = 0;
};

result check_one(const input_file& in, checker& ck, source_text& src, const options& o, bool color)
{
    result r;
    const std::string_view path = shown_path(in.path);
    const bool json = o.output == options::format::json;
    std::string problem = in.error;
    if (problem.empty() && !src.load(in.path))
        problem = src.error();
    if (!problem.empty()) {
        r.unreadable = true;
        if (json && !o.quiet)
            format_file_error_json(r.out, path, problem);
        else
            format_file_error_human(r.err, path, problem);
        return r;
    }
    const file_report report = ck.check(src.text(), check_options{o.max_errors});
    r.checked = true;
    r.turns = report.turns;
    r.errors = report.errors;
    r.warnings = report.warnings;
    if (!o.quiet) {
        if (json)
            format_json(r.out, path, report);
        else
            format_human(r.out, path, src.text(), report, color);
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

int run_check(const options& o, checked_stdout& out)
{
    const auto started = std::chrono::steady_clock::now();
    const bool color = use_color(o.colors);
    const std::vector<input_file> inputs = collect_inputs(o.paths, o.suffix);
    const std::size_t n = inputs.size();

    std::vector<result> results(n);
    std::vector<char> ready(n, 0);
    std::mutex lock;
    std::condition_variable done_one;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::atomic<bool> cancel{false};

    auto work = [&] {
        checker ck;
        source_text src;
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= n || cancel.load())
                return;
            result r;
            try {
                r = check_one(inputs[i], ck, src, o, color);
            } catch (const std::exception& e) {
                r = result{};
                r.unreadable = true;
                format_file_error_human(r.err, shown_path(inputs[i].path), std::string("cannot check: ") + e.what());
            }
            src.release();
            {
                const std::lock_guard<std::mutex> g(lock);
                results[i] = std::move(r);
                ready[i] = 1;
            }
            done.fetch_add(1);
            done_one.notify_one();
        }
    };

    unsigned threads = o.jobs ? o.jobs : std::thread::hardware_concurrency();
    threads = std::max(1u, std::min<unsigned>(threads ? threads : 1, static_cast<unsigned>(n)));
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back(work);

    // Reports in order; a progress line on a terminal while a long run
    // goes on.
    const bool progress = isatty(2);
    bool progress_shown = false;
    std::size_t progress_count = 0;   // files done when the line was written
    auto clear_progress = [&] {
        if (progress_shown)
            std::fputs("\r\033[K", stderr);
        progress_shown = false;
    };
    totals t;
    for (std::size_t i = 0; i < n; ++i) {
        result r;
        {
            std::unique_lock<std::mutex> g(lock);
            while (!ready[i]) {
                done_one.wait_for(g, std::chrono::milliseconds(100));
                const double running = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                const std::size_t count = done.load();
                if (progress && running > 0.5 && !ready[i] && (!progress_shown || count != progress_count)) {
                    std::fprintf(stderr, "\r\033[Ktrl-check: %zu of %zu files checked", count, n);
                    progress_shown = true;
                    progress_count = count;
                }
            }
            r = std::move(results[i]);
            results[i] = result{};
        }
        clear_progress();
        if (r.checked) {
            ++t.files;
            t.turns += r.turns;
            t.errors += r.errors;
            t.warnings += r.warnings;
            t.files_with_errors += r.errors > 0;
        }
        t.file_errors += r.unreadable;
        if (!r.err.empty())
            std::fputs(r.err.c_str(), stderr);
        if (!out.write(r.out)) {
            cancel.store(true);
            break;
        }
    }
    for (std::thread& w : workers)
        w.join();
    clear_progress();
    if (out.failed())
        return 2;

    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string summary;
    if (o.output == options::format::json)
        format_summary_json(summary, t);
    else
        format_summary_human(summary, t, color);
    out.write(summary);
    if (t.file_errors > 0)
        return 2;
    return t.errors > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    keep_std_fds(true);
    std::signal(SIGPIPE, SIG_IGN);   // a closed pipe is a failed write, reported

    options o;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), o, error))
        return usage_error(error);

    checked_stdout out;
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
    }
    if (!out.close())
        return 2;
    return status;
}
