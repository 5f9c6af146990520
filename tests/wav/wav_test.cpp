// The WAV header's bytes, stated by hand.  Runs on the big-endian host too
// (.ci/bigendian.sh): the header is little-endian everywhere.
#include "convert/wav.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Hex digits to bytes; blanks separate groups for reading.
std::string unhex(const std::string& hex)
{
    std::string bytes;
    std::string digits;
    for (const char c : hex)
        if (c != ' ')
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

TEST(WavHeader, CanonicalLittleEndianBytes)
{
    static_assert(wav::max_data_size == 0xffffffda); // 36 + size fits 32 bits, whole frames
    const struct {
        std::uint32_t rate;
        std::uint32_t size;
        const char* hex;
    } cases[] = {
        //          RIFF     size     WAVE     fmt      16       PCM  mono rate     bytes/s  alig bits data     size
        {16000, 8192,
         "52494646 24200000 57415645 666d7420 10000000 0100 0100 803e0000 007d0000 0200 1000 64617461 00200000"},
        {0x123456, 0,
         "52494646 24000000 57415645 666d7420 10000000 0100 0100 56341200 ac682400 0200 1000 64617461 00000000"},
        {384000, 0xffffffda,
         "52494646 feffffff 57415645 666d7420 10000000 0100 0100 00dc0500 00b80b00 0200 1000 64617461 daffffff"},
    };
    for (const auto& c : cases) {
        const auto h = wav::header(c.rate, c.size);
        EXPECT_EQ(std::string(h.begin(), h.end()), unhex(c.hex)) << c.rate << " " << c.size;
    }
}

} // namespace
