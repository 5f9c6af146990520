// Header files laid out byte by byte at the documented offsets, and the
// records that belong to them.  Nothing here goes through the library.
#pragma once

#include "support.h"

// The sample texts; the orthographic one ends in "kan".
inline const std::string sample_ort = "guten tag kan";
inline const std::string sample_kan = "g u: t @ n";

// Which bytes the fixed block holds besides the carried fields.
enum class Extras {
    none,  // zero bytes, as the writers lay them
    junk,  // bytes in the reserved places, behind the NULs of ifl and in not_usedb
};

// The 512-byte fixed block of the sample header, numbers stored in order `o`.
inline Bytes fixed_block(Order o, Extras extras, std::int32_t anz_header, std::int8_t version) {
    Bytes b(512, 0);
    if (extras == Extras::junk) {
        for (auto [from, to] : {std::pair{0, 20}, {28, 48}, {64, 88}, {90, 92}, {94, 96},
                                {98, 100}, {102, 244}, {298, 498}})
            for (int i = from; i < to; ++i) b[i] = 0xa5;
        put_text(b, 256 + 12, "junk");
        put_text(b, 502, std::string("abcde\0zz", 8));
    }
    put(b, 20, 74565, 4, o);       // nspbk
    put(b, 24, static_cast<std::uint32_t>(anz_header), 4, o);
    put_text(b, 48, "de");         // sprk
    put(b, 50, 0xfffe, 2, o);      // swdh -2
    put(b, 52, 0x01020304, 4, o);  // ifld1
    put(b, 56, static_cast<std::uint32_t>(-5), 4, o);
    put(b, 60, 7, 4, o);
    put_text(b, 88, "k1");
    put_text(b, 92, "k2");
    put_text(b, 96, "k3");
    put_text(b, 100, "k4");
    put(b, 244, 16000, 4, o);       // isf
    put(b, 248, 0x0a0b0c0d, 4, o);  // flagtype
    put(b, 252, 0xffffffff, 4, o);  // flaginit -1
    put_text(b, 256, "speaker.ifl");
    b[288] = 24;                    // day
    b[289] = 12;                    // month
    put(b, 290, 1996, 2, o);        // year
    b[292] = 'm';                   // sex
    b[293] = static_cast<unsigned char>(version);
    put(b, 294, 16, 2, o);          // adc_bits
    put(b, 296, 0x1234, 2, o);      // words
    put(b, 498, static_cast<std::uint16_t>(-300), 2, o);  // wdh
    put(b, 500, 32767, 2, o);       // abs_ampl
    return b;
}

// A dynamic part holding the two texts, `lead` bytes before the first tag,
// padded with zero bytes to whole blocks.
inline Bytes dynamic_part(const std::string& ort, const std::string& kan,
                          const std::string& lead = "") {
    using namespace std::string_literals;
    Bytes d = bytes_of(lead + "ort\0"s + ort + "\0oend::\0"s + "kan\0"s + kan + "\0kend::\0"s);
    d.resize((d.size() + 511) / 512 * 512, 0);
    return d;
}

// Version 1: the fixed block alone.  Version 2: with the sample texts.
inline Bytes v1_file(Order o, Extras extras = Extras::none) {
    return fixed_block(o, extras, 1, 1);
}
inline Bytes v2_file(Order o, Extras extras = Extras::none) {
    return cat(fixed_block(o, extras, 2, 2), dynamic_part(sample_ort, sample_kan));
}

// The sample record.  `reversed`: every 16- and 32-bit number with its
// bytes reversed, as the variant that does not match the file's order
// yields it.  `usedb`: not_usedb as read from the junk block.
inline void fill_sample(Quenda_header_2* h, std::int32_t anz_header, std::int8_t version,
                        bool reversed = false, bool usedb = false) {
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
    if (usedb) std::memcpy(h->not_usedb, "abcde", 5);
}

// Puts values into every reserved field and not_usedb: the writers must
// lay zero bytes there whatever the record holds.
inline void soil_reserved(Quenda_header_2* h) {
    h->not_used1[0] = h->not_used1[4] = 0x11111111;
    h->not_used2[2] = 0x22222222;
    h->not_used3[5] = 0x33333333;
    h->not_used4 = h->not_used5 = h->not_used6 = h->not_used7 = 0x4444;
    h->not_used8[0] = h->not_used8[34] = 0x55555555;
    h->not_useda[0] = h->not_useda[49] = 0x66666666;
    std::memcpy(h->not_usedb, "0123456789", 10);
}
