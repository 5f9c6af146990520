#include "source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace trl_check {

namespace {

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
    buffer_ = {};
    data_ = nullptr;
    size_ = 0;
}

bool source_text::load(const std::string& path)
{
    release();
    error_.clear();
    if (path == "-")
        return read_all(0);
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
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
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
    return read_all(file.fd);
}

bool source_text::read_all(int fd)
{
    std::size_t used = 0;
    buffer_.resize(1 << 16);
    for (;;) {
        if (used == buffer_.size())
            buffer_.resize(buffer_.size() * 2);
        const ssize_t n = ::read(fd, buffer_.data() + used, buffer_.size() - used);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = describe_errno(errno);
            buffer_ = {};
            return false;
        }
        used += static_cast<std::size_t>(n);
    }
    buffer_.resize(used);
    data_ = buffer_.data();
    size_ = used;
    return true;
}

} // namespace trl_check
