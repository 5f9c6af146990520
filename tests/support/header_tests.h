// Helpers for the header library's tests: streams in memory over files laid
// out by the shared maker, captured standard error and a switch that makes
// calloc fail.
#pragma once

#include "header/header.h"
#include "tests/support/quenda_maker.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::string;
using Order = quenda_maker::order;
using quenda_maker::put;
using quenda_maker::put_text;

inline constexpr bool big_host = std::endian::native == std::endian::big;

// One host variant of every function, with the suffix of its names.
struct Variant {
    const char* suffix;
    Quenda_header_2* (*read1)(FILE*);
    Quenda_header_2* (*read2)(FILE*, char**, char**);
    Quenda_header_2* (*read)(FILE*, char**, char**);
    int (*write1)(FILE*, Quenda_header_2*);
    int (*write)(FILE*, Quenda_header_2*, const char*, const char*);

    std::string name(const char* base) const { return std::string(base) + suffix; }
};

inline const Variant sun_variant{"_sun",          read_header_1_sun,  read_header_2_sun,
                                 read_header_sun, write_header_1_sun, write_header_sun};
inline const Variant vms_variant{"_vms",          read_header_1_vms,  read_header_2_vms,
                                 read_header_vms, write_header_1_vms, write_header_vms};

// The variant that gives plain numbers on this host, and the other one.
inline const Variant& native()
{
    return big_host ? sun_variant : vms_variant;
}
inline const Variant& foreign()
{
    return big_host ? vms_variant : sun_variant;
}

inline std::uint32_t rev32(std::uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}
inline std::uint16_t rev16(std::uint16_t v)
{
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

// A record from calloc, as the readers make it, released with free.
struct Record {
    Quenda_header_2* h = static_cast<Quenda_header_2*>(std::calloc(1, sizeof(Quenda_header_2)));
    Record() = default;
    explicit Record(Quenda_header_2* got) : h(got) {}
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() { std::free(h); }
    Quenda_header_2* operator->() const { return h; }
    Quenda_header_2* get() const { return h; }
};

inline bool same_record(const Quenda_header_2* a, const Quenda_header_2* b)
{
    return std::memcmp(a, b, sizeof(Quenda_header_2)) == 0;
}

// Texts handed out by a reader.
struct Texts {
    char* ort = reinterpret_cast<char*>(1); // readers must overwrite both
    char* kan = reinterpret_cast<char*>(1);
    Texts() = default;
    Texts(const Texts&) = delete;
    Texts& operator=(const Texts&) = delete;
    ~Texts()
    {
        if (ort != reinterpret_cast<char*>(1))
            std::free(ort);
        if (kan != reinterpret_cast<char*>(1))
            std::free(kan);
    }
};

// A read stream over a copy of `data`.
class Input {
public:
    explicit Input(Bytes data) : data_(std::move(data))
    {
        f_ = data_.empty() ? std::tmpfile() : fmemopen(data_.data(), data_.size(), "r");
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input() { std::fclose(f_); }
    FILE* get() const { return f_; }
    long position() const { return std::ftell(f_); }

private:
    Bytes data_;
    FILE* f_;
};

// A write stream that keeps everything written and takes at most `limit`
// bytes; beyond that it stores nothing more.  Unbuffered, so that every
// write reaches it at once.
class Output {
public:
    explicit Output(std::size_t limit = SIZE_MAX) : limit_(limit)
    {
        cookie_io_functions_t io{nullptr, &Output::take, nullptr, nullptr};
        f_ = fopencookie(this, "w", io);
        std::setvbuf(f_, nullptr, _IONBF, 0);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() { std::fclose(f_); }
    FILE* get() const { return f_; }
    const Bytes& bytes() const { return data_; }

private:
    static ssize_t take(void* cookie, const char* buf, std::size_t n)
    {
        auto* self = static_cast<Output*>(cookie);
        const std::size_t room = self->limit_ - self->data_.size();
        const std::size_t k = n < room ? n : room;
        self->data_.insert(self->data_.end(), buf, buf + k);
        return static_cast<ssize_t>(k);
    }
    std::size_t limit_;
    Bytes data_;
    FILE* f_;
};

// Standard error while `fn` runs.
template <class Fn> std::string stderr_of(Fn fn)
{
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}

// The line that perror(name) prints for a failed allocation.
inline std::string no_memory_line(const std::string& name)
{
    return name + ": " + std::strerror(ENOMEM) + "\n";
}

// Control over calloc as called from the test binary's objects (it is
// linked with calloc wrapped; when linked statically, the C library's own
// calls come here too).  watch() starts counting calls and keeping their
// sizes, and puts the failure planned with fail_call() in force; stop()
// ends that.
namespace alloc {
void fail_call(int n);   // the n-th call after the next watch() returns null
void watch();            // count from zero from now on
void stop();             // count no more; nothing fails
int calls();             // calls since watch()
std::size_t size(int i); // bytes asked for by call i (0-based) since watch()
} // namespace alloc
