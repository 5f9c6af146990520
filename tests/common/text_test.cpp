// The text helpers against facts that do not come from them: UTF-8 has one
// encoding per code point, a JSON parser reads what json_string writes, and
// the escaping rule can be undone.
#include "common/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/json.h"

namespace {

// Undoes the escaping rule: the bytes that escape_bytes or printable
// started from.
std::string unescape(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        const char c = s.at(++i);
        if (c == 'x') {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
    }
    return out;
}

std::string random_bytes(std::mt19937& rng, std::size_t n)
{
    // Mostly bytes that start or continue UTF-8 sequences, so that
    // well-formed and broken sequences both come up often.
    static constexpr unsigned char pool[] = {'a',  ' ',  '\\', '"',  '\n', 0x00, 0x1B, 0x7F, 0x80, 0x9B, 0xA0, 0xBF,
                                             0xC0, 0xC2, 0xC3, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>(pool[rng() % sizeof pool]);
    return s;
}

TEST(Utf8, EveryCodePointHasExactlyOneWellFormedEncoding)
{
    // Encoding and decoding agree on every scalar value.
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        std::string s;
        text::append_utf8(s, c);
        const text::utf8_char u = text::decode_utf8(s);
        ASSERT_EQ(u.code_point, c);
        ASSERT_EQ(u.length, s.size());
    }
    // Of all two- and three-byte strings, exactly the encodings of the
    // code points of that length are well-formed: no overlong form, no
    // surrogate.
    long two = 0, three = 0;
    for (unsigned v = 0; v < (1u << 24); ++v) {
        const std::string s{static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
        const text::utf8_char u = text::decode_utf8(s);
        if (v < (1u << 16) && (v >> 8) >= 0x80) {
            const text::utf8_char u2 = text::decode_utf8(std::string_view(s).substr(1));
            if (u2.length == 2) {
                ++two;
                std::string back;
                text::append_utf8(back, u2.code_point);
                ASSERT_EQ(back, s.substr(1, 2));
            }
        }
        if (u.length == 3) {
            ++three;
            std::string back;
            text::append_utf8(back, u.code_point);
            ASSERT_EQ(back, s);
        }
    }
    EXPECT_EQ(two, 0x800 - 0x80);
    EXPECT_EQ(three, 0x10000 - 0x800 - 0x800);
    EXPECT_FALSE(text::is_utf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_TRUE(text::is_utf8("\xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(text::is_utf8("ab\xC3")); // cut short
}

TEST(Text, EscapingAndJsonOfTypicalBytes)
{
    struct example {
        std::string bytes, escaped, shown, json;
    };
    const example examples[] = {
        {"sch\xC3\xB6n", "sch\\xC3\\xB6n", "sch\xC3\xB6n", "\"sch\xC3\xB6n\""},
        {std::string("a\tb\r\n\0c", 7), "a\\tb\\r\\n\\0c", "a\\tb\\r\\n\\0c", "\"a\\tb\\r\\n\\u0000c\""},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80", "\"\\\\xED\\\\xA0\\\\x80\""}, // a surrogate
        {"\xC0\xAF", "\\xC0\\xAF", "\\xC0\\xAF", "\"\\\\xC0\\\\xAF\""},                      // overlong '/'
        {"\x1B[31m\xC2\x9B", "\\x1B[31m\\xC2\\x9B", "\\x1B[31m\\xC2\\x9B", "\"\\u001B[31m\xC2\x9B\""},
        {"M\xFCller", "M\\xFCller", "M\\xFCller", "\"M\\\\xFCller\""}, // Latin-1
        {"a\\\"b\x7F", "a\\\\\"b\\x7F", "a\\\\\"b\\x7F", "\"a\\\\\\\"b\\u007F\""},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(e.escaped);
        EXPECT_EQ(text::escape_bytes(e.bytes), e.escaped);
        EXPECT_EQ(text::printable(e.bytes), e.shown);
        EXPECT_EQ(text::json_string(e.bytes), e.json);
        std::size_t width = 0;
        for (const char c : e.bytes)
            width += text::escaped_width(static_cast<unsigned char>(c));
        EXPECT_EQ(width, e.escaped.size());
    }
    EXPECT_EQ(text::latin1_to_utf8("M\xFCller \xDF"), "M\xC3\xBCller \xC3\x9F");
    EXPECT_EQ(text::hex_byte(0xC3), "0xC3");
}

TEST(Text, RandomBytesSurviveEveryView)
{
    std::mt19937 rng(15);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = random_bytes(rng, rng() % 24);
        SCOPED_TRACE(text::escape_bytes(bytes));
        const std::string escaped = text::escape_bytes(bytes);
        const std::string shown = text::printable(bytes);
        ASSERT_EQ(unescape(escaped), bytes);
        ASSERT_EQ(unescape(shown), bytes);
        for (const char c : escaped)
            ASSERT_TRUE(c >= 0x20 && c < 0x7F);
        // What a terminal gets is UTF-8 without a control character.
        ASSERT_TRUE(text::is_utf8(shown));
        for (std::string_view rest = shown; !rest.empty();) {
            const text::utf8_char u = text::decode_utf8(rest);
            ASSERT_FALSE(u.code_point < 0x20 || (u.code_point >= 0x7F && u.code_point <= 0x9F));
            rest.remove_prefix(u.length);
        }
        // A JSON parser takes the string, and the rule gives the bytes back
        // (the pool has no 'x', so every "\x" in the value is an escape).
        const test_support::json parsed = test_support::json::parse(text::json_string(bytes));
        ASSERT_TRUE(parsed.is_string());
        std::string decoded;
        const std::string value = parsed.get<std::string>();
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value.compare(i, 2, "\\x") == 0) {
                decoded += static_cast<char>(std::stoi(value.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                decoded += value[i];
            }
        }
        ASSERT_EQ(decoded, bytes);
    }
}

} // namespace
