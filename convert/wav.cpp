// The canonical WAV header, laid out byte by byte.
#include "convert/wav.h"

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

} // namespace

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
