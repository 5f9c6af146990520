// A line of progress on standard error for a long run over many files:
// "trl-check: 120 of 2587 files checked", when standard error is a
// terminal and the run has taken half a second, renewed at most ten times
// a second.  Whoever writes to standard error while it shows clears it
// first; the next renewal draws it again.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace progress {

class line {
public:
    using clock = std::chrono::steady_clock;

    // `what` says what is counted: "files checked".  Shown on `stream` when
    // `on` (by default, when it is a terminal).
    line(std::string_view program, std::string_view what, std::size_t total, clock::time_point started,
         std::FILE* stream = stderr)
        : line(program, what, total, started, stream, isatty(fileno(stream)) != 0)
    {}
    line(std::string_view program, std::string_view what, std::size_t total, clock::time_point started,
         std::FILE* stream, bool on)
        : on_(on), stream_(stream), program_(program), what_(what), started_(started), total_(total)
    {}

    void show(std::size_t done, clock::time_point now = clock::now())
    {
        if (!on_ || (shown_ && done == done_))
            return;
        if (now - started_ < first_after || now - last_ < renewed_after)
            return;
        std::fprintf(stream_, "\r\033[K%s: %zu of %zu %s", program_.c_str(), done, total_, what_.c_str());
        std::fflush(stream_);
        shown_ = true;
        done_ = done;
        last_ = now;
    }

    void clear()
    {
        if (shown_)
            std::fputs("\r\033[K", stream_);
        shown_ = false;
    }

    static constexpr auto first_after = std::chrono::milliseconds(500);
    static constexpr auto renewed_after = std::chrono::milliseconds(100);

private:
    bool on_;
    std::FILE* stream_;
    std::string program_, what_;
    clock::time_point started_;
    clock::time_point last_{};
    std::size_t total_;
    std::size_t done_ = 0;
    bool shown_ = false;
};

} // namespace progress
