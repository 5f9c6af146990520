// Quenda files laid out byte by byte at the documented offsets, for the
// tests of everything that reads them.  Nothing here goes through the
// header library, so that the tests hold it against a layout of their own;
// and nothing needs more than the standard library, since the header tests
// are also built for a big-endian host without the other test helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quenda_maker {

inline constexpr std::size_t block = 512;

// Where the fixed header's fields begin.
namespace at {
inline constexpr std::size_t nspbk = 20, anz_header = 24, sprk = 48, swdh = 50, ifld1 = 52, kenn1 = 88, kenn2 = 92,
                             kenn3 = 96, kenn4 = 100, isf = 244, flagtype = 248, flaginit = 252, ifl = 256, day = 288,
                             month = 289, year = 290, sex = 292, version = 293, adc_bits = 294, words = 296, wdh = 498,
                             abs_ampl = 500, not_usedb = 502;
} // namespace at

// How numbers are stored: the file's little-endian order, or the other one.
enum class order { little, big };

// Stores the `width` low bytes of `v` at `offset`.
inline void put(std::string& b, std::size_t offset, std::int64_t v, int width, order o = order::little)
{
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (o == order::little ? i : width - 1 - i);
        b.at(offset + static_cast<std::size_t>(i)) = static_cast<char>(static_cast<std::uint64_t>(v) >> shift);
    }
}

inline void put_text(std::string& b, std::size_t offset, std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i)
        b.at(offset + i) = s[i];
}

// The fixed header: nspbk, anz_header, isf and the version byte as given,
// adc_bits 16, every other byte zero.
inline std::string fixed_header(std::int32_t nspbk, std::int32_t anz_header, std::int8_t version,
                                std::int32_t isf = 16000, order o = order::little)
{
    std::string b(block, '\0');
    put(b, at::nspbk, nspbk, 4, o);
    put(b, at::anz_header, anz_header, 4, o);
    put(b, at::isf, isf, 4, o);
    b[at::version] = static_cast<char>(version);
    put(b, at::adc_bits, 16, 2, o);
    return b;
}

// The dynamic part of a version-2 header: `lead` bytes, the tag "ort", the
// orthographic text and its end marker, the tag "kan", the canonical text
// and its end marker; zero bytes up to `blocks` - 1 blocks, or up to whole
// blocks when `blocks` is 0.
inline std::string dynamic_part(std::string_view ort, std::string_view kan, std::int32_t blocks = 0,
                                std::string_view lead = {})
{
    using namespace std::string_literals;
    std::string d =
        std::string(lead) + "ort\0"s + std::string(ort) + "\0oend::\0"s + "kan\0"s + std::string(kan) + "\0kend::\0"s;
    d.resize(blocks > 0 ? static_cast<std::size_t>(blocks - 1) * block : (d.size() + block - 1) / block * block, '\0');
    return d;
}

// `n` samples whose bytes differ from sample to sample and within one: a
// signal that the recording checks find nothing wrong with (loud enough, far
// from full scale, its mean near zero once there are a few samples), since
// the samples of one sign alternate with those of the other.
inline std::string sample_data(std::size_t n)
{
    std::string s;
    s.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto magnitude = static_cast<std::uint16_t>(((i * 7 + 1) & 0xff) | (((i >> 3) ^ 0x5a) & 0x3f) << 8);
        const auto sample = static_cast<std::uint16_t>(i % 2 == 0 ? magnitude : ~magnitude); // ~m is -m - 1
        s.push_back(static_cast<char>(sample & 0xff));
        s.push_back(static_cast<char>(sample >> 8));
    }
    return s;
}

// The samples given, as the file stores them (little-endian).
inline std::string samples_of(std::initializer_list<std::int16_t> values, std::size_t times = 1)
{
    std::string s;
    for (std::size_t t = 0; t < times; ++t)
        for (const std::int16_t v : values) {
            s.push_back(static_cast<char>(v & 0xff));
            s.push_back(static_cast<char>(static_cast<std::uint16_t>(v) >> 8));
        }
    return s;
}

// The two bytes of each sample exchanged; a last odd byte stays.
inline std::string swapped(std::string s)
{
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        std::swap(s[i], s[i + 1]);
    return s;
}

// Whole files: a version-1 header and the samples; a version-2 header of
// `blocks` blocks with both texts, and the samples.
inline std::string version1(std::int32_t nspbk, std::string_view samples, std::int32_t isf = 16000)
{
    return fixed_header(nspbk, 1, 1, isf) + std::string(samples);
}

inline std::string version2(std::int32_t nspbk, std::int32_t blocks, std::string_view ort, std::string_view kan,
                            std::string_view samples, std::int32_t isf = 16000)
{
    return fixed_header(nspbk, blocks, 2, isf) + dynamic_part(ort, kan, blocks) + std::string(samples);
}

} // namespace quenda_maker
