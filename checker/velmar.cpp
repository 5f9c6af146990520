// The echo buffer and the error reporter of the checker.
#include "checker/velmar.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <unistd.h>

#include "checker/lex.trl.h"

namespace {

constexpr int initial_line_size = 100;

char initial_line[initial_line_size];
// Storage of linebuf once it has outgrown initial_line; kept for the rest
// of the process.
std::unique_ptr<char[]> grown_line;

// Standard output has failed (a write, or the final flush): the check
// ends, as a failure of the input does, with the system's reason.
void say_output_failed()
{
    std::fprintf(stderr, "velmar: write error: %s\n", std::strerror(errno));
}
[[noreturn]] void output_failed()
{
    say_output_failed();
    std::exit(2);
}

// The echo line cannot grow: too long for its count, or no memory for it.
[[noreturn]] void echo_overflow()
{
    std::fputs("fatal error - echo line buffer overflow\n", stderr);
    std::exit(2);
}

// Echo lines are gathered here and handed to standard output in large
// pieces: a stdio call per line cost about a tenth of the check.  Whatever
// else writes to standard output takes the lines first (velmar_flush_lines),
// and so do the end of the parse and the end of the process.  A terminal
// gets each line at once.
char gathered[1 << 16];
std::size_t gathered_size = 0;

bool hand_over()
{
    const std::size_t n = gathered_size;
    gathered_size = 0;
    return n == 0 || fwrite_unlocked(gathered, 1, n, stdout) == n;
}

bool gathering()
{
    static const bool gather = [] {
        // At an exit from within the parse (an input that cannot be read):
        // exit() may not be called again here.
        std::atexit([] {
            if (!hand_over()) {
                say_output_failed();
                std::_Exit(2);
            }
        });
        return !isatty(fileno(stdout));
    }();
    return gather;
}

// The line goes out as one piece: its NUL becomes the newline (the buffer
// is emptied right after).
void print_buffer(bool header)
{
    linebuf[bp] = '\n';
    const std::size_t n = static_cast<std::size_t>(bp) + 1 + (header ? 1 : 0);
    if (gathered_size + n > sizeof gathered && !hand_over())
        output_failed();
    if (n <= sizeof gathered && gathering()) {
        char* to = gathered + gathered_size;
        if (header)
            *to++ = '\n';
        std::memcpy(to, linebuf, static_cast<std::size_t>(bp) + 1);
        gathered_size += n;
    } else {
        if (header && putc_unlocked('\n', stdout) == EOF)
            output_failed();
        if (fwrite_unlocked(linebuf, 1, static_cast<std::size_t>(bp) + 1, stdout) != static_cast<std::size_t>(bp) + 1)
            output_failed();
    }
    initbuffer();
}

} // namespace

void velmar_flush_lines()
{
    if (!hand_over())
        output_failed();
}

char* linebuf = initial_line;
int bp = 0;
int line_size = initial_line_size;

void grow_line()
{
    // Doubled, up to the most an int counts.
    constexpr int most = std::numeric_limits<int>::max();
    if (line_size == most)
        echo_overflow();
    const int size = line_size > most / 2 ? most : line_size * 2;
    std::unique_ptr<char[]> line(new (std::nothrow) char[static_cast<std::size_t>(size)]);
    if (!line)
        echo_overflow();
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
    velmar_flush_lines();
    const int n = std::printf("%s in line %lld\n", message, lineno);
    if (n < 0)
        output_failed();
    return n;
}

void velmar_finish_output()
{
    velmar_flush_lines();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0)
        output_failed();
}
