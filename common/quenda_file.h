// Whether an open file can be a Quenda file at all, told before the header
// library reads it: a file too short for the fixed header, with fewer than
// one header block, or with more header blocks than it holds is refused
// with a reason that says so.
#pragma once

#include "layout.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "the header readers exist for little- and big-endian hosts only");

// The version-detecting header reader of this host's byte order.
inline Quenda_header_2* read_header_of_this_host(FILE* f, char** ort, char** kan)
{
    if constexpr (std::endian::native == std::endian::little)
        return read_header_vms(f, ort, kan);
    else
        return read_header_sun(f, ort, kan);
}

enum class quenda_shape {
    plausible,   // the fixed header and the blocks it announces are there
    not_quenda,  // `why` says what is wrong
    read_error,  // errno tells why
};

// Reads the fixed header of `f`, a file of `size` bytes, from its start.
inline quenda_shape check_quenda_file(FILE* f, std::int64_t size, std::string& why)
{
    constexpr std::size_t block = quenda::block_size;
    if (size < static_cast<std::int64_t>(block)) {
        why = "not a Quenda file: too short for a header (" + std::to_string(size) + " bytes)";
        return quenda_shape::not_quenda;
    }
    unsigned char fixed[block];
    std::rewind(f);
    if (std::fread(fixed, 1, block, f) != block) {
        if (!std::ferror(f))
            errno = EIO;  // shorter than its size a moment ago
        return quenda_shape::read_error;
    }
    // The file stores its numbers little-endian.
    constexpr std::size_t at = quenda::field("anz_header").offset;
    const auto blocks = static_cast<std::int32_t>(std::uint32_t{fixed[at]} | std::uint32_t{fixed[at + 1]} << 8 |
                                                  std::uint32_t{fixed[at + 2]} << 16 |
                                                  std::uint32_t{fixed[at + 3]} << 24);
    if (blocks < 1) {
        why = "not a Quenda file: anz_header is " + std::to_string(blocks) + ", below 1";
        return quenda_shape::not_quenda;
    }
    const std::int64_t header_bytes = std::int64_t{blocks} * static_cast<std::int64_t>(block);
    if (header_bytes > size) {
        why = "not a Quenda file: header larger than the file (anz_header " + std::to_string(blocks) + " is " +
              std::to_string(header_bytes) + " bytes, the file " + std::to_string(size) + ")";
        return quenda_shape::not_quenda;
    }
    return quenda_shape::plausible;
}
