// What a header implies, and the checks before a reader runs.
#include "header/info.h"
#include "header/layout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <type_traits>

Quenda_header_2* read_header_of_this_host(FILE* f, char** ort, char** kan)
{
    if constexpr (std::is_same_v<quenda::Host, quenda::Vms>)
        return read_header_vms(f, ort, kan);
    else
        return read_header_sun(f, ort, kan);
}

int write_header_of_this_host(FILE* f, Quenda_header_2* h, const char* ort, const char* kan)
{
    if constexpr (std::is_same_v<quenda::Host, quenda::Vms>)
        return write_header_vms(f, h, ort, kan);
    else
        return write_header_sun(f, h, ort, kan);
}

namespace quenda {

namespace {

constexpr auto block = static_cast<std::int64_t>(block_size);

} // namespace

file_check check_fixed_header(const unsigned char* fixed, std::int64_t file_bytes)
{
    file_check c;
    if (file_bytes != unknown_size && file_bytes < block) {
        c.problem = "not a Quenda file: too short for a header (" + std::to_string(file_bytes) + " bytes)";
        return c;
    }
    c.anz_header = block_number(fixed, field("anz_header"));
    if (c.anz_header < 1) {
        c.problem = "not a Quenda file: anz_header is " + std::to_string(c.anz_header) + ", below 1";
        return c;
    }
    c.header_bytes = std::int64_t{c.anz_header} * block;
    if (file_bytes != unknown_size && c.header_bytes > file_bytes)
        c.problem = "not a Quenda file: header larger than the file (anz_header " + std::to_string(c.anz_header) +
                    " is " + std::to_string(c.header_bytes) + " bytes, the file " + std::to_string(file_bytes) + ")";
    return c;
}

file_check check_quenda_file(FILE* f, std::int64_t file_bytes)
{
    unsigned char fixed[block_size] = {};
    if (file_bytes == unknown_size || file_bytes >= block) {
        std::rewind(f);
        if (std::fread(fixed, 1, block_size, f) != block_size) {
            if (!std::ferror(f))
                errno = EIO; // shorter than its size a moment ago
            file_check c;
            c.read_error = true;
            return c;
        }
    }
    return check_fixed_header(fixed, file_bytes);
}

file_info describe_file(const Quenda_header_2& h, std::int64_t file_bytes)
{
    file_info i;
    i.version = h.anz_header > 1 ? 2 : 1;
    i.header_bytes = std::int64_t{h.anz_header} * block;
    const std::int64_t after = file_bytes > i.header_bytes ? file_bytes - i.header_bytes : 0;
    i.samples = after / 2;
    i.odd_byte = after % 2 != 0;
    i.announced_samples = std::int64_t{h.nspbk} * (block / 2); // 16-bit samples
    i.rate_plausible = plausible_rate(h.isf);
    if (i.rate_plausible)
        i.seconds = static_cast<double>(i.samples) / h.isf;
    return i;
}

open_status open_regular_file(const char* path, FILE*& f, struct stat& st)
{
    f = nullptr;
    // Without O_NONBLOCK, opening a FIFO waits for a writer; a regular file
    // reads the same either way, but the flag is cleared all the same.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return open_status::cannot_open;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return open_status::cannot_open;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return open_status::not_regular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || (f = ::fdopen(fd, "r")) == nullptr) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return open_status::cannot_open;
    }
    return open_status::opened;
}

} // namespace quenda
