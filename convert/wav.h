// The header of a 16-bit mono PCM WAV file: the canonical 44 bytes, a RIFF
// chunk with one "fmt " and one "data" chunk.  Every number in it is
// little-endian, whatever the host's byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace wav {

inline constexpr std::size_t header_size = 44;

// The RIFF size field counts the 36 header bytes after it plus the data and
// must fit in 32 bits; the data is whole 2-byte frames.
inline constexpr std::uint64_t max_data_size = (0xffffffffu - 36u) & ~std::uint64_t{1};

// The header for `data_size` bytes of frames at `rate` frames per second.
// `rate` must be at most 0x7fffffff (the byte rate is twice it) and
// `data_size` at most max_data_size.
std::array<unsigned char, header_size> header(std::uint32_t rate, std::uint32_t data_size);

} // namespace wav
