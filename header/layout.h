// Internal: the fixed 512-byte header block, described once.
//
// `fields` lists every field of Quenda_header_2 in file order with its place
// in the block, its element kind and count, what the library does with it and
// its line in the dump.  The readers, the writers and the dump all walk this
// table; the checks below tie it to the record and to the 512-byte block.
//
// The byte-order policies say how a 16- or 32-bit number passes between the
// little-endian file and the record: `Vms` copies its bytes unchanged (right
// on a little-endian host), `Sun` reverses them (right on a big-endian host).
#pragma once

#include "header/header.h"
#include "header/info.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace quenda {

enum class Kind : std::uint8_t {
    int32, // signed 32-bit numbers
    int16, // signed 16-bit numbers
    int8,  // signed 8-bit numbers, never reversed
    chars, // characters copied as they are
    text,  // characters up to the first NUL, at most `count`
};

enum class Role : std::uint8_t {
    carried,   // read, written and dumped
    reserved,  // zero bytes in the file; not read
    read_only, // read, but written as zero bytes
};

constexpr std::size_t width(Kind k)
{
    return k == Kind::int32 ? 4 : k == Kind::int16 ? 2 : 1;
}

struct Field {
    const char* name;
    std::size_t offset; // in the 512-byte block
    Kind kind;
    std::size_t count; // elements
    Role role;
    std::size_t member;      // offset of the member in Quenda_header_2
    std::size_t member_size; // its size there
    const char* dump;        // format of its dump line

    constexpr std::size_t size() const { return count * width(kind); }
};

#define QUENDA_FIELD(field, offset, kind, count, role, dump)                                                           \
    Field                                                                                                              \
    {                                                                                                                  \
#field, offset, Kind::kind, count, Role::role, offsetof(Quenda_header_2, field),                               \
            sizeof(Quenda_header_2::field), dump                                                                       \
    }

inline constexpr Field fields[] = {
    QUENDA_FIELD(not_used1, 0, int32, 5, reserved, "not_used1[0]:       %d\n"),
    QUENDA_FIELD(nspbk, 20, int32, 1, carried, "nspbk:              %d\n"),
    QUENDA_FIELD(anz_header, 24, int32, 1, carried, "anz_header:         %d\n"),
    QUENDA_FIELD(not_used2, 28, int32, 5, reserved, "not_used2[0]:       %d\n"),
    QUENDA_FIELD(sprk, 48, chars, 2, carried, "sprk:               %s\n"),
    QUENDA_FIELD(swdh, 50, int16, 1, carried, "swdh:               %d\n"),
    QUENDA_FIELD(ifld1, 52, int32, 3, carried, "ifld1[0]:           %d\n"),
    QUENDA_FIELD(not_used3, 64, int32, 6, reserved, "not_used3[0]:       %d\n"),
    QUENDA_FIELD(kenn1, 88, chars, 2, carried, "kenn1[2]:           %s\n"),
    QUENDA_FIELD(not_used4, 90, int16, 1, reserved, "not_used4: %d\n"),
    QUENDA_FIELD(kenn2, 92, chars, 2, carried, "kenn2[2]:           %s\n"),
    QUENDA_FIELD(not_used5, 94, int16, 1, reserved, "not_used5: %d\n"),
    QUENDA_FIELD(kenn3, 96, chars, 2, carried, "kenn3[2]:           %s\n"),
    QUENDA_FIELD(not_used6, 98, int16, 1, reserved, "not_used6: %d\n"),
    QUENDA_FIELD(kenn4, 100, chars, 2, carried, "kenn4[2]:           %s\n"),
    QUENDA_FIELD(not_used7, 102, int16, 1, reserved, "not_used7:          %d\n"),
    QUENDA_FIELD(not_used8, 104, int32, 35, reserved, "not_used8[0]:       %d\n"),
    QUENDA_FIELD(isf, 244, int32, 1, carried, "isf:                %d\n"),
    QUENDA_FIELD(flagtype, 248, int32, 1, carried, "flagtype:          %d\n"),
    QUENDA_FIELD(flaginit, 252, int32, 1, carried, "flaginit:          %d\n"),
    QUENDA_FIELD(ifl, 256, text, 32, carried, "ifl[32]:            %s\n"),
    QUENDA_FIELD(day, 288, int8, 1, carried, "day:                %d\n"),
    QUENDA_FIELD(month, 289, int8, 1, carried, "month:              %d\n"),
    QUENDA_FIELD(year, 290, int16, 1, carried, "year:               %d\n"),
    QUENDA_FIELD(sex, 292, chars, 1, carried, "sex:                %c\n"),
    QUENDA_FIELD(version, 293, int8, 1, carried, "version:            %d\n"),
    QUENDA_FIELD(adc_bits, 294, int16, 1, carried, "adc_bits:           %d\n"),
    QUENDA_FIELD(words, 296, int16, 1, carried, "words:              %d\n"),
    QUENDA_FIELD(not_useda, 298, int32, 50, reserved, "not_useda[0]:       %d\n"),
    QUENDA_FIELD(wdh, 498, int16, 1, carried, "wdh:                %d\n"),
    QUENDA_FIELD(abs_ampl, 500, int16, 1, carried, "abs_ampl:           %d\n"),
    QUENDA_FIELD(not_usedb, 502, text, 10, read_only, "not_usedb:          %s\n"),
};

#undef QUENDA_FIELD

constexpr const Field& field(std::string_view name)
{
    for (const Field& f : fields)
        if (name == f.name)
            return f;
    throw "no such field"; // not a constant expression: fails the build
}

// The block is packed: each field starts where the one before it ends, the
// first at 0 and the last ending at 512; each field has the size of its
// member in the record, and the members come in the same order.
constexpr bool layout_is_consistent()
{
    std::size_t offset = 0;
    std::size_t member = 0;
    for (const Field& f : fields) {
        if (f.offset != offset || f.size() != f.member_size)
            return false;
        if (f.member < member)
            return false;
        offset += f.size();
        member = f.member + f.member_size;
    }
    return offset == block_size;
}

static_assert(std::size(fields) == 32);
static_assert(layout_is_consistent());
static_assert(field("nspbk").offset == 20 && field("anz_header").offset == 24);
static_assert(field("version").offset == 293 && field("version").kind == Kind::int8);
static_assert(field("not_useda").offset == 298 && field("wdh").offset == 498);

inline constexpr std::size_t version_offset = field("version").offset;

// The dump's first line, before the line of each field.
inline constexpr const char* dump_title = "structure Quenda_header_2:\n";

// Byte-order policies.
struct Vms {
    static void fix(unsigned char*, std::size_t) {}
};

struct Sun {
    static void fix(unsigned char* item, std::size_t w)
    {
        if (w == 2)
            shortvms2sun(item);
        else if (w == 4)
            longvms2sun(item);
    }
};

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "the header library serves little- and big-endian hosts only");

// The policy that gives plain numbers on this host.
using Host = std::conditional_t<std::endian::native == std::endian::little, Vms, Sun>;

inline std::size_t text_length(const unsigned char* s, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && s[n] != 0)
        ++n;
    return n;
}

// Copies `count` numbers of `w` bytes each, in the byte order of `Order`.
template <class Order> void copy_numbers(unsigned char* dst, const unsigned char* src, std::size_t w, std::size_t count)
{
    if (w == 1) {
        std::memcpy(dst, src, count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char item[4];
        std::memcpy(item, src + i * w, w);
        Order::fix(item, w);
        std::memcpy(dst + i * w, item, w);
    }
}

// Element `i` of the numeric field `f` of the record `h`, widened.
inline std::int64_t field_number(const Quenda_header_2& h, const Field& f, std::size_t i = 0)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&h) + f.member + i * width(f.kind);
    switch (f.kind) {
    case Kind::int32: {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case Kind::int16: {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    default:
        return static_cast<std::int8_t>(*p);
    }
}

// The characters of field `f` of the record `h`: all `count` of them, or
// fewer up to the first NUL.
inline std::string_view field_text(const Quenda_header_2& h, const Field& f)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&h) + f.member;
    return {reinterpret_cast<const char*>(p), text_length(p, f.count)};
}

// The 32-bit number of field `f` in the block, as this host reads it.
inline std::int32_t block_number(const unsigned char* block, const Field& f)
{
    unsigned char item[4];
    copy_numbers<Host>(item, block + f.offset, 4, 1);
    std::int32_t v;
    std::memcpy(&v, item, sizeof v);
    return v;
}

// Fills the record `h` from the block: every field but the reserved ones.
template <class Order> void decode_fixed(const unsigned char* block, Quenda_header_2* h)
{
    auto* rec = reinterpret_cast<unsigned char*>(h);
    for (const Field& f : fields) {
        if (f.role == Role::reserved)
            continue;
        const unsigned char* src = block + f.offset;
        unsigned char* dst = rec + f.member;
        const std::size_t w = width(f.kind);
        if (f.kind == Kind::text) {
            const std::size_t n = text_length(src, f.count);
            std::memcpy(dst, src, n);
            std::memset(dst + n, 0, f.count - n);
        } else {
            copy_numbers<Order>(dst, src, w, f.count);
        }
    }
}

// Lays the record out as a block: carried fields from the record, zero bytes
// everywhere else.
template <class Order> void encode_fixed(const Quenda_header_2* h, unsigned char* block)
{
    std::memset(block, 0, block_size);
    const auto* rec = reinterpret_cast<const unsigned char*>(h);
    for (const Field& f : fields) {
        if (f.role != Role::carried)
            continue;
        const unsigned char* src = rec + f.member;
        unsigned char* dst = block + f.offset;
        const std::size_t w = width(f.kind);
        if (f.kind == Kind::text) {
            std::memcpy(dst, src, text_length(src, f.count));
        } else {
            copy_numbers<Order>(dst, src, w, f.count);
        }
    }
}

} // namespace quenda
