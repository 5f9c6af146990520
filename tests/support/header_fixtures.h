// The sample header laid out byte by byte at the documented offsets, and the
// records that belong to it.  Nothing here goes through the library.
#pragma once

#include "tests/support/header_tests.h"

using quenda_maker::dynamic_part;

// The sample texts; the orthographic one ends in "kan".
inline const std::string sample_ort = "guten tag kan";
inline const std::string sample_kan = "g u: t @ n";

// Which bytes the fixed block holds besides the carried fields.
enum class Extras {
    none, // zero bytes, as the writers lay them
    junk, // bytes in the reserved places, behind the NULs of ifl and in not_usedb
};

// The 512-byte fixed block of the sample header, numbers stored in order `o`.
inline Bytes fixed_block(Order o, Extras extras, std::int32_t anz_header, std::int8_t version)
{
    using namespace quenda_maker;
    Bytes b(block, 0);
    if (extras == Extras::junk) {
        for (auto [from, to] :
             {std::pair{0, 20}, {28, 48}, {64, 88}, {90, 92}, {94, 96}, {98, 100}, {102, 244}, {298, 498}})
            for (int i = from; i < to; ++i)
                b[i] = static_cast<char>(0xa5);
        put_text(b, at::ifl + 12, "junk");
        put_text(b, at::not_usedb, std::string("abcde\0zz", 8));
    }
    put(b, at::nspbk, 74565, 4, o);
    put(b, at::anz_header, anz_header, 4, o);
    put_text(b, at::sprk, "de");
    put(b, at::swdh, -2, 2, o);
    put(b, at::ifld1, 0x01020304, 4, o);
    put(b, at::ifld1 + 4, -5, 4, o);
    put(b, at::ifld1 + 8, 7, 4, o);
    put_text(b, at::kenn1, "k1");
    put_text(b, at::kenn2, "k2");
    put_text(b, at::kenn3, "k3");
    put_text(b, at::kenn4, "k4");
    put(b, at::isf, 16000, 4, o);
    put(b, at::flagtype, 0x0a0b0c0d, 4, o);
    put(b, at::flaginit, -1, 4, o);
    put_text(b, at::ifl, "speaker.ifl");
    b[at::day] = 24;
    b[at::month] = 12;
    put(b, at::year, 1996, 2, o);
    b[at::sex] = 'm';
    b[at::version] = static_cast<char>(version);
    put(b, at::adc_bits, 16, 2, o);
    put(b, at::words, 0x1234, 2, o);
    put(b, at::wdh, -300, 2, o);
    put(b, at::abs_ampl, 32767, 2, o);
    return b;
}

// Version 1: the fixed block alone.  Version 2: with the sample texts.
inline Bytes v1_file(Order o, Extras extras = Extras::none)
{
    return fixed_block(o, extras, 1, 1);
}
inline Bytes v2_file(Order o, Extras extras = Extras::none)
{
    return fixed_block(o, extras, 2, 2) + dynamic_part(sample_ort, sample_kan);
}

// The sample record.  `reversed`: every 16- and 32-bit number with its
// bytes reversed, as the variant that does not match the file's order
// yields it.  `usedb`: not_usedb as read from the junk block.
inline void fill_sample(Quenda_header_2* h, std::int32_t anz_header, std::int8_t version, bool reversed = false,
                        bool usedb = false)
{
    auto n32 = [&](std::uint32_t v) { return static_cast<std::int32_t>(reversed ? rev32(v) : v); };
    auto n16 = [&](std::uint16_t v) { return static_cast<std::int16_t>(reversed ? rev16(v) : v); };
    h->nspbk = n32(74565);
    h->anz_header = n32(static_cast<std::uint32_t>(anz_header));
    std::memcpy(h->sprk, "de", 2);
    h->swdh = n16(0xfffe);
    h->ifld1[0] = n32(0x01020304);
    h->ifld1[1] = n32(static_cast<std::uint32_t>(-5));
    h->ifld1[2] = n32(7);
    std::memcpy(h->kenn1, "k1", 2);
    std::memcpy(h->kenn2, "k2", 2);
    std::memcpy(h->kenn3, "k3", 2);
    std::memcpy(h->kenn4, "k4", 2);
    h->isf = n32(16000);
    h->flagtype = n32(0x0a0b0c0d);
    h->flaginit = n32(0xffffffff);
    std::strcpy(h->ifl, "speaker.ifl");
    h->day = 24;
    h->month = 12;
    h->year = n16(1996);
    h->sex = 'm';
    h->version = version;
    h->adc_bits = n16(16);
    h->words = n16(0x1234);
    h->wdh = n16(static_cast<std::uint16_t>(-300));
    h->abs_ampl = n16(32767);
    if (usedb)
        std::memcpy(h->not_usedb, "abcde", 5);
}

// Puts values into every reserved field and not_usedb: the writers must
// lay zero bytes there whatever the record holds.
inline void soil_reserved(Quenda_header_2* h)
{
    h->not_used1[0] = h->not_used1[4] = 0x11111111;
    h->not_used2[2] = 0x22222222;
    h->not_used3[5] = 0x33333333;
    h->not_used4 = h->not_used5 = h->not_used6 = h->not_used7 = 0x4444;
    h->not_used8[0] = h->not_used8[34] = 0x55555555;
    h->not_useda[0] = h->not_useda[49] = 0x66666666;
    std::memcpy(h->not_usedb, "0123456789", 10);
}
