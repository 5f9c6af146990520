// Header readers and byte reversal.
#include "header/header.h"
#include "header/layout.h"

#if defined(__linux__)
#include <sys/sysinfo.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace quenda {
namespace {

void report_no_space(const char* name, const char* what)
{
    std::fprintf(stderr, "%s: cannot allocate space for %s\n", name, what);
    errno = ENOMEM;
    std::perror(name);
}

// Rewinds, reads the fixed block and builds a new record from it.  With
// `want` not 0 the version byte must equal it.
template <class Order> Quenda_header_2* read_fixed(FILE* f, const char* name, int want)
{
    std::rewind(f);
    auto* h = static_cast<Quenda_header_2*>(std::calloc(1, sizeof(Quenda_header_2)));
    if (h == nullptr) {
        report_no_space(name, "fixed header");
        return nullptr;
    }
    unsigned char block[block_size];
    if (std::fread(block, 1, block_size, f) != block_size) {
        std::fprintf(stderr, "%s: read error for 512 bytes (fixed header)\n", name);
        std::free(h);
        return nullptr;
    }
    if (want != 0 && static_cast<std::int8_t>(block[version_offset]) != want) {
        std::fprintf(stderr, "%s: header is not Quenda version %d\n", name, want);
        std::free(h);
        return nullptr;
    }
    decode_fixed<Order>(block, h);
    return h;
}

constexpr std::size_t not_found = SIZE_MAX;

// First position at or after `from` where the four bytes of `tag` stand
// wholly inside the buffer.
std::size_t find_tag(const unsigned char* buf, std::size_t size, std::size_t from, const char (&tag)[4])
{
    for (std::size_t i = from; i + 4 <= size; ++i)
        if (std::memcmp(buf + i, tag, 4) == 0)
            return i;
    return not_found;
}

// The text after the tag at `pos`, up to the next NUL or the end of the
// buffer.  Sets `*end` to the position of that NUL (or the buffer's size).
char* copy_text(const unsigned char* buf, std::size_t size, std::size_t pos, std::size_t* end)
{
    const std::size_t start = pos + 4;
    const std::size_t len = text_length(buf + start, size - start);
    *end = start + len;
    auto* text = static_cast<char*>(std::calloc(len + 1, 1));
    if (text != nullptr)
        std::memcpy(text, buf + start, len);
    return text;
}

// Note "A dynamic part the stream cannot fill": the block count comes from
// the file and may claim far more than the file holds.  The part is read
// into a buffer that grows with what the stream delivers (first step 64 KiB,
// then twice as much, never beyond the part's size), so that such a count
// costs no more memory than the bytes that are there, and a short stream
// ends in the read error.  A part larger than the machine's memory (its RAM
// and swap) is refused at once, as the kernel refuses one allocation of that
// size: the outcome is the one a single zero-filled buffer of the part's
// size would have, without ever asking for it.
constexpr std::size_t first_step = std::size_t{64} << 10;

// Whether one allocation of `size` bytes could be granted on this machine.
bool fits_in_memory(std::size_t size)
{
#if defined(__linux__)
    struct sysinfo si {};
    if (::sysinfo(&si) == 0) {
        const unsigned long long unit = si.mem_unit ? si.mem_unit : 1;
        const unsigned long long total = (static_cast<unsigned long long>(si.totalram) + si.totalswap) * unit;
        return size <= total;
    }
#endif
    return size <= SIZE_MAX / 2;
}

// Reads `size` bytes of the dynamic part into a new zero-filled buffer
// grown step by step (see the note above).  Returns the buffer, or null
// after reporting why.
unsigned char* read_part(FILE* f, std::size_t size, const char* name)
{
    std::size_t capacity = size < first_step ? size : first_step;
    auto* buf = static_cast<unsigned char*>(std::calloc(capacity, 1));
    if (buf == nullptr) {
        report_no_space(name, "rest of header");
        return nullptr;
    }
    std::size_t used = 0;
    for (;;) {
        used += std::fread(buf + used, 1, capacity - used, f);
        if (used == size)
            return buf;
        if (used < capacity) {
            std::fprintf(stderr, "%s: read error for dynamic part of header\n", name);
            std::free(buf);
            return nullptr;
        }
        const std::size_t grown = capacity > size / 2 ? size : capacity * 2;
        auto* next = static_cast<unsigned char*>(std::calloc(grown, 1));
        if (next == nullptr) {
            report_no_space(name, "rest of header");
            std::free(buf);
            return nullptr;
        }
        std::memcpy(next, buf, used);
        std::free(buf);
        buf = next;
        capacity = grown;
    }
}

// Reads the dynamic part behind the fixed header `h` and hands out the two
// texts.  Takes ownership of `h`: returns it, or releases it and returns null.
Quenda_header_2* read_dynamic(FILE* f, Quenda_header_2* h, const char* name, char** ort, char** kan)
{
    const std::int64_t blocks = std::int64_t{h->anz_header} - 1;
    if (blocks < 0 || static_cast<std::uint64_t>(blocks) > SIZE_MAX / block_size ||
        !fits_in_memory(static_cast<std::size_t>(blocks) * block_size)) {
        report_no_space(name, "rest of header");
        std::free(h);
        return nullptr;
    }
    const std::size_t size = static_cast<std::size_t>(blocks) * block_size;
    unsigned char* buf = nullptr;
    if (size > 0 && (buf = read_part(f, size, name)) == nullptr) {
        std::free(h);
        return nullptr;
    }

    std::size_t end = 0;
    std::size_t pos = find_tag(buf, size, 0, "ort");
    if (pos == not_found) {
        std::fprintf(stderr, "%s: can't find orthographic text\n", name);
    } else if ((*ort = copy_text(buf, size, pos, &end)) == nullptr) {
        report_no_space(name, "orthographic text");
    } else {
        // The canonical tag is looked for behind the NUL that ends the
        // orthographic text; a text cut at the end of the part leaves none.
        pos = find_tag(buf, size, end < size ? end + 1 : size, "kan");
        if (pos == not_found)
            std::fprintf(stderr, "%s: can't find canonical text\n", name);
        else if ((*kan = copy_text(buf, size, pos, &end)) == nullptr)
            report_no_space(name, "canonical text");
    }
    std::free(buf);
    return h;
}

template <class Order> Quenda_header_2* read_v1(FILE* f, const char* name)
{
    return read_fixed<Order>(f, name, 1);
}

template <class Order> Quenda_header_2* read_v2(FILE* f, char** ort, char** kan, const char* name)
{
    *ort = nullptr;
    *kan = nullptr;
    Quenda_header_2* h = read_fixed<Order>(f, name, 2);
    return h == nullptr ? nullptr : read_dynamic(f, h, name, ort, kan);
}

// The version follows `anz_header`: one block is version 1, more are
// version 2; fewer leave no room for any header.
template <class Order> Quenda_header_2* read_any(FILE* f, char** ort, char** kan, const char* name)
{
    *ort = nullptr;
    *kan = nullptr;
    Quenda_header_2* h = read_fixed<Order>(f, name, 0);
    if (h == nullptr)
        return nullptr;
    if (h->anz_header == 1) {
        if (h->version != 1)
            std::fprintf(stderr, "%s: header information inconsistent\n assuming header version 1\n", name);
        return h;
    }
    if (h->anz_header > 1 && h->version != 2)
        std::fprintf(stderr, "%s: header information inconsistent\n assuming header version 2\n", name);
    return read_dynamic(f, h, name, ort, kan);
}

} // namespace
} // namespace quenda

using quenda::Sun;
using quenda::Vms;

Quenda_header_2* read_header_1_sun(FILE* f)
{
    return quenda::read_v1<Sun>(f, "read_header_1_sun");
}
Quenda_header_2* read_header_1_vms(FILE* f)
{
    return quenda::read_v1<Vms>(f, "read_header_1_vms");
}

Quenda_header_2* read_header_2_sun(FILE* f, char** ort, char** kan)
{
    return quenda::read_v2<Sun>(f, ort, kan, "read_header_2_sun");
}
Quenda_header_2* read_header_2_vms(FILE* f, char** ort, char** kan)
{
    return quenda::read_v2<Vms>(f, ort, kan, "read_header_2_vms");
}

Quenda_header_2* read_header_sun(FILE* f, char** ort, char** kan)
{
    return quenda::read_any<Sun>(f, ort, kan, "read_header_sun");
}
Quenda_header_2* read_header_vms(FILE* f, char** ort, char** kan)
{
    return quenda::read_any<Vms>(f, ort, kan, "read_header_vms");
}

void shortvms2sun(void* item)
{
    auto* p = static_cast<unsigned char*>(item);
    std::swap(p[0], p[1]);
}

void longvms2sun(void* item)
{
    auto* p = static_cast<unsigned char*>(item);
    std::swap(p[0], p[3]);
    std::swap(p[1], p[2]);
}
