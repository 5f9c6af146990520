// The echo buffer and the error reporter of the checker.
#include "velmar.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "lex.trl.h"

namespace {

constexpr int initial_line_size = 100;

char initial_line[initial_line_size];
// Storage of linebuf once it has outgrown initial_line; kept for the rest
// of the process.
std::unique_ptr<char[]> grown_line;

// Standard output has failed (a write, or the final flush): the check
// ends, as a failure of the input does, with the system's reason.
[[noreturn]] void output_failed()
{
    std::fprintf(stderr, "velmar: write error: %s\n", std::strerror(errno));
    std::exit(2);
}

// The line goes out with one write: its NUL becomes the newline (the
// buffer is emptied right after).
void print_buffer(bool header)
{
    if (header && putc_unlocked('\n', stdout) == EOF)
        output_failed();
    linebuf[bp] = '\n';
    const std::size_t n = static_cast<std::size_t>(bp) + 1;
    if (fwrite_unlocked(linebuf, 1, n, stdout) != n)
        output_failed();
    initbuffer();
}

} // namespace

char* linebuf = initial_line;
int bp = 0;
int line_size = initial_line_size;

void grow_line()
{
    const int size = line_size * 2;
    auto line = std::make_unique<char[]>(static_cast<std::size_t>(size));
    std::memcpy(line.get(), linebuf, static_cast<std::size_t>(bp) + 1);
    grown_line = std::move(line);
    linebuf = grown_line.get();
    line_size = size;
}

void initbuffer()
{
    linebuf[0] = '\0';
    bp = 0;
}

void print_header()
{
    print_buffer(true);
}

void print_line()
{
    print_buffer(false);
}

void velmar_reset()
{
    lineno = 0;
    trl_scanner_reset();
    initbuffer();
    trlchar = -2;
    trlnerrs = 0;
}

int trlerror(const char* message)
{
    const int n = std::printf("%s in line %lld\n", message, lineno);
    if (n < 0)
        output_failed();
    return n;
}

void velmar_finish_output()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0)
        output_failed();
}
