#include "tests/support/parse.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "checker/lex.trl.h"
#include "checker/velmar.h"

namespace {

// Sends one of the standard streams to a temporary file while alive.
class capture {
public:
    capture(FILE* stream) : stream_(stream), fd_(fileno(stream))
    {
        std::fflush(stream_);
        file_ = std::tmpfile();
        saved_ = dup(fd_);
        if (!file_ || saved_ < 0 || dup2(fileno(file_), fd_) < 0)
            throw std::runtime_error("cannot redirect a standard stream");
    }
    capture(const capture&) = delete;
    capture& operator=(const capture&) = delete;
    ~capture()
    {
        if (saved_ >= 0)
            close(saved_);
        if (file_)
            std::fclose(file_);
    }

    // Restores the stream and returns what was written to it.
    std::string finish()
    {
        std::fflush(stream_);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
        std::string text;
        std::rewind(file_);
        char block[4096];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, file_)) > 0)
            text.append(block, n);
        return text;
    }

private:
    FILE* stream_;
    int fd_;
    FILE* file_ = nullptr;
    int saved_ = -1;
};

parse_run parse_once(std::string_view text, int (*parse)(), bool trace, long long first_line)
{
    capture out(stdout);
    capture err(stderr);
    velmar_reset();
    lineno = first_line;
    trl_buffer* b = trl_scan_bytes(text.data(), static_cast<std::ptrdiff_t>(text.size()));
    trldebug = trace ? 1 : 0;
    const int status = parse();
    trldebug = 0;
    trl_delete_buffer(b);
    parse_run run{status, out.finish(), err.finish()};
    return run;
}

} // namespace

parse_run parse_text(std::string_view text, bool trace, long long first_line)
{
    return parse_once(text, trlparse, trace, first_line);
}

parse_run parse_text_with(std::string_view text, int (*parse)())
{
    return parse_once(text, parse, false, 0);
}

parse_run run_velmar(std::string_view text, const std::vector<std::string>& args, test_support::run_options options)
{
    options.in = std::string(text);
    const test_support::run_result r = test_support::run(VELMAR_PATH, args, options);
    return {r.status, r.out, r.err};
}

std::string turn(std::string_view number, std::string_view text)
{
    return "g012abc3_" + std::string(number) + "_000000: " + std::string(text) + "\n\n";
}

std::vector<int> lines_containing(const std::string& path, std::string_view needle)
{
    std::ifstream f(path);
    std::vector<int> found;
    std::string line;
    for (int n = 1; std::getline(f, line); ++n)
        if (line.find(needle) != std::string::npos)
            found.push_back(n);
    return found;
}
