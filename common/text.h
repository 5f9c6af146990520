// Bytes shown to people and written into JSON, the same way in every
// program: what well-formed UTF-8 is, how a byte that cannot be shown as it
// is gets escaped, and how a string becomes a JSON string.
//
// The escaping rule, once: printable ASCII stands for itself; a backslash
// is written "\\"; a line feed, carriage return, tab and NUL are written
// "\n", "\r", "\t" and "\0"; any other byte is written "\x" and two
// upper-case hex digits ("\xC3").  escape_bytes() applies it to every byte
// that is not printable ASCII.  printable() keeps well-formed UTF-8
// characters as they are, for a terminal, and escapes the rest: the bytes
// of control characters (C0, DEL and the C1 range U+0080 to U+009F) and
// every byte that is not part of well-formed UTF-8.
//
// JSON strings keep well-formed UTF-8 and escape control characters as
// JSON does ("\n", "\u001B"); a byte that is not part of well-formed UTF-8
// becomes the four characters \xHH of the rule above inside the string
// ("\\xC3" in the JSON text), so that every JSON line is valid UTF-8 and
// nothing is lost.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The UTF-8 character at the start of `s`: its code point and its length in
// bytes; a length of 0 when the bytes there are not well-formed UTF-8
// (overlong forms, surrogates and code points above U+10FFFF are not).
struct utf8_char {
    char32_t code_point = 0;
    std::size_t length = 0;
};
utf8_char decode_utf8(std::string_view s);

// Whether all of `s` is well-formed UTF-8.
bool is_utf8(std::string_view s);

// Appends the UTF-8 form of a code point (at most U+10FFFF, no surrogate).
void append_utf8(std::string& out, char32_t code_point);

// The bytes of `s` read as Latin-1, as UTF-8.
std::string latin1_to_utf8(std::string_view s);

// "0xC3": a byte as people read it in a message.
std::string hex_byte(unsigned char b);

// One byte by the escaping rule, and the width it takes.
void append_escaped(std::string& out, unsigned char b);
std::size_t escaped_width(unsigned char b);

// Every byte that is not printable ASCII escaped.
std::string escape_bytes(std::string_view s);

// Well-formed UTF-8 kept, control characters and other bytes escaped: for a
// terminal, one line whatever the bytes.
std::string printable(std::string_view s);

// `s` as a JSON string, with its quotes.
void append_json_string(std::string& out, std::string_view s);
std::string json_string(std::string_view s);

} // namespace text
