// Preloaded into quenda2raw by its tests (LD_PRELOAD): the program's own
// reads of sample data fail or come short on demand, as on a failing disk or
// from a slow pipe.  The header comes through the standard streams, which
// read without passing here.
//
//   READ_FAULT_AFTER=N  read() and copy_file_range() deliver N bytes in all,
//                       then every further call fails with EIO
//   READ_FAULT_CHUNK=K  no call delivers more than K bytes
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

long long env_number(const char* name)
{
    const char* v = std::getenv(name);
    return v == nullptr ? -1 : std::strtoll(v, nullptr, 10);
}

long long delivered = 0;

// How many of `want` bytes the next call may deliver; -1: it fails.
long long allowance(size_t want)
{
    static const long long after = env_number("READ_FAULT_AFTER");
    static const long long chunk = env_number("READ_FAULT_CHUNK");
    long long n = static_cast<long long>(want);
    if (chunk > 0 && n > chunk)
        n = chunk;
    if (after >= 0) {
        if (delivered >= after)
            return -1;
        if (n > after - delivered)
            n = after - delivered;
    }
    return n;
}

template <class F> F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ssize_t read(int fd, void* buf, size_t count)
{
    static const auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    const long long n = count == 0 ? 0 : allowance(count);
    if (n < 0) {
        errno = EIO;
        return -1;
    }
    const ssize_t got = real(fd, buf, static_cast<size_t>(n));
    if (got > 0)
        delivered += got;
    return got;
}

extern "C" ssize_t copy_file_range(int in, off64_t* in_off, int out, off64_t* out_off, size_t len, unsigned flags)
{
    static const auto real = next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range");
    const long long n = len == 0 ? 0 : allowance(len);
    if (n < 0) {
        errno = EIO;
        return -1;
    }
    const ssize_t got = real(in, in_off, out, out_off, static_cast<size_t>(n), flags);
    if (got > 0)
        delivered += got;
    return got;
}
