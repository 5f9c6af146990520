// quenda-corpus: a checked corpus as data.  Reads transliterations with the
// reader (language/reader.h) and, for files with errors, names the first as
// trl-check does; writes word lists and tag inventories, statistics, the
// pairing of turns with recordings, exports for speech recognition and an
// HTML report.
#include <csignal>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "corpus/commands.h"
#include "corpus/options.h"
#include "corpus/output.h"
#include "common/std_fds.h"

int main(int argc, char** argv)
{
    keep_std_fds(true);
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe is a failed write

    using namespace corpus;
    options o;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), o, error)) {
        complain(error + "\nTry 'quenda-corpus --help' for more information.");
        return 2;
    }
    checked_stdout out(program);
    int status = 0;
    try {
        switch (o.what) {
        case command::help:
            out.write(usage_text());
            break;
        case command::version:
            out.write(version_text);
            break;
        case command::words:
            status = run_words(o, out);
            break;
        case command::stats:
            status = run_stats(o, out);
            break;
        case command::pair:
            status = run_pair(o, out);
            break;
        case command::export_:
            status = run_export(o, out);
            break;
        case command::report:
            status = run_report(o, out);
            break;
        }
    } catch (const std::bad_alloc&) {
        complain("not enough memory");
        status = 2;
    } catch (const std::exception& e) {
        complain(e.what());
        status = 2;
    }
    if (!out.close())
        return 2;
    return status;
}
