#include "source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace trl_check {

namespace {

// Files up to this size are read (a mapping costs more system calls and
// page-table work than copying them); larger ones are mapped.
constexpr std::size_t read_limit = 1 << 20;

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
    release();
}

void source_text::release()
{
    if (map_)
        ::munmap(map_, map_size_);
    map_ = nullptr;
    map_size_ = 0;
    if (buffer_size_ > read_limit) {
        buffer_.reset();
        buffer_size_ = 0;
    }
    data_ = nullptr;
    size_ = 0;
}

bool source_text::load(const std::string& path)
{
    release();
    error_.clear();
    if (path == "-")
        return read_all(0, 0);
    const descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        error_ = describe_errno(errno);
        return false;
    }
    struct stat st;
    if (::fstat(file.fd, &st) != 0) {
        error_ = describe_errno(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error_ = describe_errno(EISDIR);
        return false;
    }
    if (S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > read_limit) {
        const auto size = static_cast<std::size_t>(st.st_size);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
        if (map != MAP_FAILED) {
            ::madvise(map, size, MADV_SEQUENTIAL);
            map_ = map;
            map_size_ = size;
            data_ = static_cast<const char*>(map);
            size_ = size;
            return true;
        }
        // Not mappable: read it.
    }
    return read_all(file.fd, S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0);
}

// Reads to the end of the input; `expected` is the size to make room for
// first (the file may have changed since).
bool source_text::read_all(int fd, std::size_t expected)
{
    std::size_t used = 0;
    for (;;) {
        if (used == buffer_size_ || buffer_size_ < expected + 1) {
            // One byte more than expected, so that the end is read at once.
            const std::size_t size = std::max({buffer_size_ * 2, expected + 1, std::size_t{1} << 16});
            std::unique_ptr<char[]> grown(new char[size]);
            std::copy(buffer_.get(), buffer_.get() + used, grown.get());
            buffer_ = std::move(grown);
            buffer_size_ = size;
        }
        const ssize_t n = ::read(fd, buffer_.get() + used, buffer_size_ - used);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = describe_errno(errno);
            return false;
        }
        used += static_cast<std::size_t>(n);
    }
    data_ = buffer_.get();
    size_ = used;
    return true;
}

} // namespace trl_check
