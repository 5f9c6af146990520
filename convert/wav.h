// WAV files: the header of a 16-bit mono PCM WAV file as quenda2wav writes
// it (the canonical 44 bytes, a RIFF chunk with one "fmt " and one "data"
// chunk), and the reading of a WAV file's format and the place of its
// samples, for wav2quenda.  Every number in a WAV file is little-endian,
// whatever the host's byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace wav {

inline constexpr std::size_t header_size = 44;

// The RIFF size field counts the 36 header bytes after it plus the data and
// must fit in 32 bits; the data is whole 2-byte frames.
inline constexpr std::uint64_t max_data_size = (0xffffffffu - 36u) & ~std::uint64_t{1};

// The header for `data_size` bytes of frames at `rate` frames per second.
// `rate` must be at most 0x7fffffff (the byte rate is twice it) and
// `data_size` at most max_data_size.
std::array<unsigned char, header_size> header(std::uint32_t rate, std::uint32_t data_size);

// What the chunks before the samples of a WAV file say.  `problem` is empty
// for a file of 16-bit mono PCM samples (format 1, or WAVE_FORMAT_EXTENSIBLE
// whose sub-format is PCM); otherwise it says in words what the file holds
// ("2 channels", "8-bit samples", "32-bit floating-point samples", ...).
struct format {
    std::uint16_t tag = 0;      // 1 PCM, 3 floating point, ...; an extensible file's sub-format
    std::uint16_t channels = 0; //
    std::uint32_t rate = 0;     // frames per second
    std::uint16_t bits = 0;     // per sample
    std::int64_t data_offset = 0;
    std::int64_t data_size = 0; // bytes of the "data" chunk, as it announces them
    std::string problem;
    bool read_error = false; // the stream failed; errno says why

    bool ok() const { return problem.empty() && !read_error; }
};

// Reads the RIFF header and the chunks of `f` from its start up to the
// "data" chunk, skipping the chunks it does not need ("LIST", "fact", ...);
// leaves the stream at the first sample.  `file_bytes` is the stream's size:
// a data chunk that announces more than the file holds is a problem.
format read_format(FILE* f, std::int64_t file_bytes);

} // namespace wav
