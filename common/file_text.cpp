#include "common/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace files {

namespace {

// A buffer up to this size is kept for the next file; a larger one (for
// an unusually large file) is given back.
constexpr std::size_t kept_buffer = std::size_t{8} << 20;

std::string describe_errno(int e)
{
    return std::error_code(e, std::generic_category()).message();
}

// Closes a descriptor when it goes out of scope.
struct descriptor {
    int fd;
    ~descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

void file_text::release()
{
    if (buffer_.capacity() > kept_buffer)
        buffer_ = memory::big_array<char>();
    buffer_.clear();
}

bool file_text::refuse()
{
    not_regular_ = true;
    error_ = not_regular_reason;
    return false;
}

bool file_text::load(const std::string& path, accept which)
{
    release();
    error_.clear();
    not_regular_ = false;
    identity_ = {};
    const bool standard_input = path == "-";
    if (standard_input && which == accept::regular)
        return refuse();
    const bool regular_only = which != accept::anything && !standard_input;
    if (regular_only) {
        // Looked at before it is opened: the open of a pipe waits for a
        // writer, and that of a device may do something.  A path that
        // cannot be looked at is left to the open, which says why.
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            return refuse();
    }
    const int flags = O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK | O_NOCTTY : 0);
    const descriptor file{standard_input ? -1 : ::open(path.c_str(), flags)};
    const int fd = standard_input ? 0 : file.fd;
    if (fd < 0) {
        error_ = describe_errno(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error_ = describe_errno(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error_ = describe_errno(EISDIR);
        return false;
    }
    const bool regular = S_ISREG(st.st_mode);
    if (regular_only && !regular)
        return refuse(); // another file in the path's place since it was looked at
    if (!read_all(fd, regular ? static_cast<std::size_t>(st.st_size) : 0, regular))
        return false;
    // The file as it is after the read, which has read it to its end.
    if (::fstat(fd, &st) != 0) {
        error_ = describe_errno(errno);
        buffer_.clear();
        return false;
    }
    identity_ = {regular, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    return true;
}

// Reads to the end of the input, making room for `expected` bytes and one
// more first, so that a regular file of the size it had is read by one
// call: a short count that brings it to that size is its end.  The file may
// have changed since its size was taken (and files of /proc give their
// text in pieces, with a size of 0): then it is read until a call returns
// nothing, and what the calls returned is the text.
bool file_text::read_all(int fd, std::size_t expected, bool regular)
{
    std::size_t used = 0;
    for (;;) {
        if (used == buffer_.capacity() || buffer_.capacity() < expected + 1)
            buffer_.reserve(std::max(used, expected) + 1); // at least twice the room there was
        const std::size_t room = buffer_.capacity() - used;
        const ssize_t n = ::read(fd, buffer_.data() + used, room);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = describe_errno(errno);
            return false;
        }
        used += static_cast<std::size_t>(n);
        if (n == 0 || (regular && used == expected && static_cast<std::size_t>(n) < room))
            break;
    }
    buffer_.resize(used);
    return true;
}

} // namespace files
