// The canonical WAV header, laid out byte by byte, and a WAV file's chunks
// read up to its samples.
#include "convert/wav.h"

#include <cerrno>
#include <cstring>

namespace wav {
namespace {

// A cursor over the header that stores in the file's byte order.
struct Writer {
    unsigned char* p;

    void tag(const char (&t)[5])
    {
        std::memcpy(p, t, 4);
        p += 4;
    }
    void le(std::uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            *p++ = static_cast<unsigned char>(v >> (8 * i));
    }
};

// Little-endian numbers in bytes read from the file.
std::uint32_t le(const unsigned char* p, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

constexpr std::uint16_t pcm = 1;
constexpr std::uint16_t floating_point = 3;
constexpr std::uint16_t a_law = 6;
constexpr std::uint16_t mu_law = 7;
constexpr std::uint16_t extensible = 0xfffe;

// What the samples are when they are not 16-bit mono PCM, in words.
std::string format_problem(const format& f)
{
    if (f.tag == floating_point)
        return std::to_string(f.bits) + "-bit floating-point samples";
    if (f.tag == a_law || f.tag == mu_law)
        return std::string(f.tag == a_law ? "A-law" : "mu-law") + " compressed samples";
    if (f.tag != pcm) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04x", f.tag);
        return std::string("compressed samples (format ") + hex + ")";
    }
    if (f.channels != 1)
        return std::to_string(f.channels) + " channels";
    if (f.bits != 16)
        return std::to_string(f.bits) + "-bit samples";
    return {};
}

// The body of a "fmt " chunk of `size` bytes (at most 40 of them kept).
bool read_fmt(const unsigned char* body, std::uint32_t size, format& f)
{
    if (size < 16)
        return false;
    f.tag = static_cast<std::uint16_t>(le(body, 2));
    f.channels = static_cast<std::uint16_t>(le(body + 2, 2));
    f.rate = le(body + 4, 4);
    f.bits = static_cast<std::uint16_t>(le(body + 14, 2));
    // WAVE_FORMAT_EXTENSIBLE: the format is the first two bytes of the
    // sub-format's GUID, 22 bytes after the first 18 (cbSize).
    if (f.tag == extensible) {
        if (size < 40)
            return false;
        f.tag = static_cast<std::uint16_t>(le(body + 24, 2));
    }
    return true;
}

} // namespace

format read_format(FILE* in, std::int64_t file_bytes)
{
    format f;
    auto fail_read = [&](const char* problem) {
        if (std::ferror(in))
            f.read_error = true;
        else
            f.problem = problem;
        return f;
    };
    std::rewind(in);
    unsigned char riff[12];
    if (std::fread(riff, 1, sizeof riff, in) != sizeof riff || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return fail_read("not a WAV file (no RIFF WAVE header)");
    std::int64_t at = sizeof riff;
    bool have_fmt = false;
    for (;;) {
        unsigned char chunk[8];
        if (std::fread(chunk, 1, sizeof chunk, in) != sizeof chunk)
            return fail_read(have_fmt ? "no data chunk" : "no fmt chunk");
        at += sizeof chunk;
        const std::uint32_t size = le(chunk + 4, 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_fmt)
                return fail_read("a data chunk before the fmt chunk");
            f.data_offset = at;
            f.data_size = size;
            if (at + f.data_size > file_bytes)
                f.problem = "the data chunk announces " + std::to_string(f.data_size) + " bytes, the file holds " +
                            std::to_string(file_bytes - at);
            else
                f.problem = format_problem(f);
            return f;
        }
        // A chunk's body is padded to an even size.
        const std::int64_t body = std::int64_t{size} + (size & 1);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !have_fmt) {
            unsigned char fmt[40] = {};
            const std::size_t keep = size < sizeof fmt ? size : sizeof fmt;
            if (std::fread(fmt, 1, keep, in) != keep || !read_fmt(fmt, size, f))
                return fail_read("a fmt chunk too short for its format");
            have_fmt = true;
            if (fseeko(in, static_cast<off_t>(body - static_cast<std::int64_t>(keep)), SEEK_CUR) != 0)
                return fail_read("no data chunk");
        } else if (fseeko(in, static_cast<off_t>(body), SEEK_CUR) != 0) {
            return fail_read("no data chunk");
        }
        at += body;
        if (at > file_bytes)
            return fail_read("no data chunk");
    }
}

std::array<unsigned char, header_size> header(std::uint32_t rate, std::uint32_t data_size)
{
    constexpr std::uint32_t channels = 1;
    constexpr std::uint32_t bits = 16;
    constexpr std::uint32_t frame_bytes = channels * bits / 8;

    std::array<unsigned char, header_size> h{};
    Writer w{h.data()};
    w.tag("RIFF");
    w.le(36 + data_size, 4); // what follows this field
    w.tag("WAVE");
    w.tag("fmt ");
    w.le(16, 4); // size of the fmt chunk's body
    w.le(1, 2);  // PCM
    w.le(channels, 2);
    w.le(rate, 4);
    w.le(rate * frame_bytes, 4); // bytes per second
    w.le(frame_bytes, 2);        // block align
    w.le(bits, 2);
    w.tag("data");
    w.le(data_size, 4);
    return h;
}

} // namespace wav
