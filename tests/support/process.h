// What every test folder shares: a temporary folder, files read and written
// whole, and a program run with its standard streams captured.
#pragma once

#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

// A folder under the temporary folder, removed with everything in it when
// the object goes.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // Writes a file (making the folders on its way) and returns its path.
    std::string write(const std::string& name, std::string_view bytes) const;
    std::string read(const std::string& name) const;

private:
    fs::path path_;
};

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, std::string_view bytes);

// How a program is started besides its arguments.
struct run_options {
    std::string in;          // standard input: these bytes
    bool in_is_pipe = false; // through a pipe rather than a file (which can seek)
    fs::path cwd;            // where it runs; empty: here
    std::string argv0;       // its name in argv[0]; empty: the program's path
    // Standard output: captured when empty; "-" closed; otherwise a file,
    // emptied, or appended to when the name begins with ">>".
    std::string out_to;
    std::vector<int> closed;      // descriptors closed before the start
    std::vector<std::string> env; // NAME=value words added to the environment
    rlim_t file_limit = 0;        // > 0: the largest file it may write (SIGXFSZ ignored)
    rlim_t address_limit = 0;     // > 0: the most address space it may map, in bytes (RLIMIT_AS)
    bool sigpipe_ignored = false;
    int timeout_seconds = 0; // > 0: killed (SIGKILL) when still running after so many seconds
};

struct run_result {
    int status = -1;        // the exit status, or 1000 + the number of the signal that ended it
    std::string out;        // standard output, when captured
    std::string err;        // standard error
    bool timed_out = false; // killed at timeout_seconds
};

run_result run(const std::string& program, const std::vector<std::string>& args, const run_options& options = {});

// A command line of bash, with `in` on standard input; standard output and
// standard error captured unless the line sends them elsewhere.
run_result run_shell(const std::string& command, std::string_view in = {});

// The words as one shell-quoted command line.
std::string shell_line(const std::vector<std::string>& words);

} // namespace test_support
