// Header writers.
#include "header/header.h"
#include "header/layout.h"

#include <cstdint>
#include <cstring>

namespace quenda {
namespace {

// Bytes of the fixed header plus the two tags and the two end markers.
constexpr std::uint64_t fixed_and_marks = block_size + 4 + 8 + 4 + 8;

const unsigned char zeros[block_size] = {};

// Writes the fixed header in one piece; the message follows the number of
// bytes the stream took.
template <class Order> int write_fixed(FILE* f, const Quenda_header_2* h, const char* name)
{
    unsigned char block[block_size];
    encode_fixed<Order>(h, block);
    const std::size_t n = std::fwrite(block, 1, block_size, f);
    if (n < 20) {
        std::fprintf(stderr, "%s: cannot write first item\n", name);
        return 0;
    }
    if (n < block_size) {
        std::fprintf(stderr, "%s: cannot write header\n", name);
        return 0;
    }
    return 1;
}

bool put(FILE* f, const void* data, std::size_t n)
{
    return n == 0 || std::fwrite(data, 1, n, f) == n;
}

bool write_dynamic(FILE* f, const char* ort, std::size_t lo, const char* kan, std::size_t lc)
{
    const std::uint64_t used = lo + lc + fixed_and_marks;
    const std::size_t rest = static_cast<std::size_t>(used % block_size);
    const std::size_t padding = rest == 0 ? 0 : block_size - rest;
    return put(f, "ort", 4) && put(f, ort, lo) && put(f, "\0oend::", 8) && put(f, "kan", 4) && put(f, kan, lc) &&
           put(f, "\0kend::", 8) && put(f, zeros, padding);
}

template <class Order> int write_v1(FILE* f, Quenda_header_2* h, const char* name)
{
    if (h == nullptr) {
        std::fprintf(stderr, "%s: header structure empty\n", name);
        return 0;
    }
    if (h->version != 1) {
        std::fprintf(stderr, "%s: header is not Quenda version 1\n", name);
        return 0;
    }
    h->anz_header = 1;
    return write_fixed<Order>(f, h, name);
}

// Version 1: the fixed header alone, announcing one block.  Version 2: the
// fixed header and the two texts in whole blocks.  Any other version: the
// fixed header alone, with `anz_header` as the caller set it.
template <class Order> int write_any(FILE* f, Quenda_header_2* h, const char* ort, const char* kan, const char* name)
{
    if (h == nullptr) {
        std::fprintf(stderr, "%s: header structure empty\n", name);
        return 0;
    }
    if (h->version == 1)
        h->anz_header = 1;
    const std::size_t lo = ort == nullptr ? 0 : std::strlen(ort);
    const std::size_t lc = kan == nullptr ? 0 : std::strlen(kan);
    if (h->version == 2)
        h->anz_header = static_cast<std::int32_t>((lo + lc + fixed_and_marks + block_size - 1) / block_size);
    if (write_fixed<Order>(f, h, name) == 0)
        return 0;
    if (h->version == 2 && !write_dynamic(f, ort, lo, kan, lc)) {
        std::fprintf(stderr, "%s: cannot write header\n", name);
        return 0;
    }
    return 1;
}

} // namespace
} // namespace quenda

using quenda::Sun;
using quenda::Vms;

int write_header_1_sun(FILE* f, Quenda_header_2* h)
{
    return quenda::write_v1<Sun>(f, h, "write_header_1_sun");
}
int write_header_1_vms(FILE* f, Quenda_header_2* h)
{
    return quenda::write_v1<Vms>(f, h, "write_header_1_vms");
}

int write_header_sun(FILE* f, Quenda_header_2* h, const char* ort, const char* kan)
{
    return quenda::write_any<Sun>(f, h, ort, kan, "write_header_sun");
}
int write_header_vms(FILE* f, Quenda_header_2* h, const char* ort, const char* kan)
{
    return quenda::write_any<Vms>(f, h, ort, kan, "write_header_vms");
}
