#include "common/checked_stdout.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace output {

namespace {

// The buffer is written out once it holds this much.
constexpr std::size_t flush_size = std::size_t{1} << 16;

} // namespace

checked_stdout::checked_stdout(std::string_view program) : program_(program)
{
    buffer_.reserve(flush_size * 2);
}

void checked_stdout::fail()
{
    if (!failed_)
        error_ = errno ? errno : EIO;
    failed_ = true;
}

bool checked_stdout::write(std::string_view s)
{
    if (failed_)
        return false;
    buffer_.append(s);
    if (buffer_.size() >= flush_size)
        flush();
    return !failed_;
}

bool checked_stdout::flush()
{
    if (!failed_ && !buffer_.empty()) {
        errno = 0;
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size() || std::fflush(stdout) != 0)
            fail();
    }
    buffer_.clear();
    return !failed_;
}

bool checked_stdout::close()
{
    flush();
    errno = 0;
    if (std::fclose(stdout) != 0)
        fail();
    if (failed_ && error_ != EPIPE) {
        const std::string line = program_ + ": write error on standard output: " +
                                 std::error_code(error_, std::generic_category()).message() + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    return !failed_;
}

} // namespace output
