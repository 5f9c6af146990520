#include "checker/trl-check/source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace trl::cli {

namespace {

// A buffer up to this size is kept for the next file; a larger one (for
// an unusually large file) is given back.
constexpr std::size_t kept_buffer = std::size_t{8} << 20;

// The buffer is pages of its own, asked for as huge pages when it is
// large: filling fresh pages costs a page fault each, and 2 MiB pages take
// a 50 MB text in 25 faults rather than 12800, which makes reading it about
// as cheap as mapping the file.
constexpr std::size_t huge_page = std::size_t{2} << 20;

std::size_t rounded_up(std::size_t n, std::size_t to)
{
    return (n + to - 1) / to * to;
}

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

source_text::~source_text()
{
    if (buffer_)
        ::munmap(buffer_, capacity_);
}

void source_text::release()
{
    if (capacity_ > kept_buffer) {
        ::munmap(buffer_, capacity_);
        buffer_ = nullptr;
        capacity_ = 0;
    }
    size_ = 0;
}

void source_text::reserve(std::size_t size, std::size_t used)
{
    if (size <= capacity_)
        return;
    const std::size_t bytes = rounded_up(size, size >= huge_page ? huge_page : std::size_t{1} << 16);
    void* const grown = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (grown == MAP_FAILED)
        throw std::bad_alloc();
    if (bytes >= huge_page)
        ::madvise(grown, bytes, MADV_HUGEPAGE); // a hint: without it, ordinary pages
    if (used > 0)
        std::memcpy(grown, buffer_, used);
    if (buffer_)
        ::munmap(buffer_, capacity_);
    buffer_ = static_cast<char*>(grown);
    capacity_ = bytes;
}

bool source_text::load(const std::string& path, bool regular_only)
{
    release();
    error_.clear();
    not_regular_ = false;
    identity_ = {};
    const bool standard_input = path == "-";
    auto refuse = [&] {
        not_regular_ = true;
        error_ = not_regular_reason;
        return false;
    };
    if (regular_only) {
        // Looked at before it is opened: the open of a pipe waits for a
        // writer, and that of a device may do something.  A path that
        // cannot be looked at is left to the open, which says why.
        if (standard_input)
            return refuse();
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
bool source_text::read_all(int fd, std::size_t expected, bool regular)
{
    std::size_t used = 0;
    for (;;) {
        if (used == capacity_ || capacity_ < expected + 1)
            reserve(std::max({capacity_ * 2, expected + 1}), used);
        const std::size_t room = capacity_ - used;
        const ssize_t n = ::read(fd, buffer_ + used, room);
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
    size_ = used;
    return true;
}

} // namespace trl::cli
