// libFuzzer target: the version-detecting readers of both host variants on
// arbitrary bytes.  Whatever they hand out must be consistent, print through
// the dump, and come back unchanged through the writer and reader of the
// same variant.  The check before a reader runs must let through exactly
// the inputs from which the host's reader gets a header, and what the
// header implies must add up to the input's size.
#include "header/header.h"
#include "header/info.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Reader = Quenda_header_2* (*)(FILE*, char**, char**);
using Writer = int (*)(FILE*, Quenda_header_2*, const char*, const char*);

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

FILE* open_input(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return std::tmpfile();
    return fmemopen(const_cast<std::uint8_t*>(data), size, "r");
}

void round_trip(const Quenda_header_2* h, const char* ort, const char* kan, Reader read, Writer write)
{
    char* buf = nullptr;
    std::size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    Quenda_header_2 copy;
    std::memcpy(&copy, h, sizeof copy); // with its padding, for memcmp
    check(write(out, &copy, ort, kan) == 1);
    std::fclose(out);

    FILE* in = fmemopen(buf, len, "r");
    char* ort2 = nullptr;
    char* kan2 = nullptr;
    Quenda_header_2* back = read(in, &ort2, &kan2);
    std::fclose(in);
    check(back != nullptr);
    check(len == std::size_t(copy.anz_header) * 512);
    // Everything written comes back; not_usedb is written as zero bytes.
    std::memset(copy.not_usedb, 0, sizeof copy.not_usedb);
    check(std::memcmp(back, &copy, sizeof copy) == 0);
    if (h->version == 2) {
        check(ort2 != nullptr && std::strcmp(ort, ort2) == 0);
        check(kan2 != nullptr && std::strcmp(kan, kan2) == 0);
    } else {
        check(ort2 == nullptr && kan2 == nullptr);
    }
    std::free(back);
    std::free(ort2);
    std::free(kan2);
    std::free(buf);
}

void exercise(const std::uint8_t* data, std::size_t size, Reader read, Writer write)
{
    FILE* f = open_input(data, size);
    char* ort = reinterpret_cast<char*>(1);
    char* kan = reinterpret_cast<char*>(1);
    Quenda_header_2* h = read(f, &ort, &kan);
    std::fclose(f);
    check(ort != reinterpret_cast<char*>(1) && kan != reinterpret_cast<char*>(1));
    if (h == nullptr) {
        check(ort == nullptr && kan == nullptr);
        return;
    }
    check(h->anz_header >= 1);
    check(kan == nullptr || ort != nullptr);
    disp_header_v2(h);
    // A record whose version agrees with its block count writes and reads
    // back as it is.
    if ((h->version == 1 && h->anz_header == 1) ||
        (h->version == 2 && h->anz_header > 1 && ort != nullptr && kan != nullptr))
        round_trip(h, ort, kan, read, write);
    std::free(h);
    std::free(ort);
    std::free(kan);
}

void agree_with_check(const std::uint8_t* data, std::size_t size)
{
    const auto file_bytes = static_cast<std::int64_t>(size);
    const quenda::file_check c = quenda::check_fixed_header(data, file_bytes);
    FILE* f = open_input(data, size);
    char* ort = nullptr;
    char* kan = nullptr;
    Quenda_header_2* h = read_header_of_this_host(f, &ort, &kan);
    std::fclose(f);
    check((h != nullptr) == c.ok());
    if (h != nullptr) {
        const quenda::file_info i = quenda::describe_file(*h, file_bytes);
        check(i.header_bytes == c.header_bytes && i.header_bytes <= file_bytes);
        check(i.samples * 2 + (i.odd_byte ? 1 : 0) == file_bytes - i.header_bytes);
        check(i.version == (h->anz_header > 1 ? 2 : 1));
    }
    std::free(h);
    std::free(ort);
    std::free(kan);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The dump's output is of no interest here.
    check(std::freopen("/dev/null", "w", stdout) != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The _vms variant reads numbers in the host's order, _sun reversed.
    // Any block count: the readers take memory as the bytes arrive, never
    // what the count claims.
    exercise(data, size, read_header_vms, write_header_vms);
    exercise(data, size, read_header_sun, write_header_sun);
    agree_with_check(data, size);
    return 0;
}
