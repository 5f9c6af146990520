// The letters that the conventions write with a double quote, as UTF-8 and
// Latin-1 write them: for the hints that name them and the fixes that
// write them.
#pragma once

#include <cstddef>
#include <string_view>

namespace trl {

struct umlaut {
    char32_t code_point;      // also the Latin-1 byte
    std::string_view utf8;    // the letter in UTF-8
    std::string_view written; // as the conventions write it
};

inline constexpr umlaut umlauts[] = {{0xE4, "\xC3\xA4", "\"a"}, {0xF6, "\xC3\xB6", "\"o"}, {0xFC, "\xC3\xBC", "\"u"},
                                     {0xDF, "\xC3\x9F", "\"s"}, {0xC4, "\xC3\x84", "\"A"}, {0xD6, "\xC3\x96", "\"O"},
                                     {0xDC, "\xC3\x9C", "\"U"}};

constexpr const umlaut* umlaut_of(char32_t c)
{
    for (const umlaut& u : umlauts)
        if (u.code_point == c)
            return &u;
    return nullptr;
}

// The umlaut whose UTF-8 bytes begin `s`, or null.
constexpr const umlaut* utf8_umlaut_at(std::string_view s)
{
    for (const umlaut& u : umlauts)
        if (s.starts_with(u.utf8))
            return &u;
    return nullptr;
}

// The byte order mark that UTF-8 text may begin with.
inline constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// Where the text proper begins: after a UTF-8 byte order mark, which is
// reported once (velmar stops at it) and then read past as if it were not
// there, so that its bytes spoil nothing after them.
constexpr std::size_t after_byte_order_mark(std::string_view text)
{
    return text.starts_with(utf8_byte_order_mark) ? utf8_byte_order_mark.size() : 0;
}

// Whether a text begins with a byte order mark of UTF-16, little- or
// big-endian: the whole text is then UTF-16, two bytes a character.
constexpr bool starts_utf16(std::string_view text)
{
    return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

} // namespace trl
