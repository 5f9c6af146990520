#include "common/text.h"

namespace text {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

bool printable_ascii(unsigned char b)
{
    return b >= 0x20 && b < 0x7F;
}

bool control_character(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

utf8_char decode_utf8(std::string_view s)
{
    if (s.empty())
        return {};
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80)
        return {b0, 1};
    const std::size_t length = b0 >= 0xC2 && b0 <= 0xDF   ? 2
                               : b0 >= 0xE0 && b0 <= 0xEF ? 3
                               : b0 >= 0xF0 && b0 <= 0xF4 ? 4
                                                          : 0;
    if (length == 0 || s.size() < length)
        return {};
    char32_t c = b0 & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return {};
        c = c << 6 | (b & 0x3F);
    }
    const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return {};
    return {c, length};
}

bool is_utf8(std::string_view s)
{
    while (!s.empty()) {
        const std::size_t n = decode_utf8(s).length;
        if (n == 0)
            return false;
        s.remove_prefix(n);
    }
    return true;
}

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string latin1_to_utf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (const char c : s)
        append_utf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string hex_byte(unsigned char b)
{
    return {'0', 'x', hex_digits[b >> 4], hex_digits[b & 15]};
}

void append_escaped(std::string& out, unsigned char b)
{
    switch (b) {
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\0':
        out += "\\0";
        return;
    default:
        if (printable_ascii(b)) {
            out += static_cast<char>(b);
        } else {
            out += "\\x";
            out += hex_digits[b >> 4];
            out += hex_digits[b & 15];
        }
    }
}

std::size_t escaped_width(unsigned char b)
{
    return b == '\\' || b == '\n' || b == '\r' || b == '\t' || b == '\0' ? 2 : printable_ascii(b) ? 1 : 4;
}

std::string escape_bytes(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (const char c : s)
        append_escaped(out, static_cast<unsigned char>(c));
    return out;
}

std::string printable(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    while (!s.empty()) {
        const utf8_char u = decode_utf8(s);
        if (u.length > 1 && !control_character(u.code_point)) {
            out.append(s.substr(0, u.length));
            s.remove_prefix(u.length);
            continue;
        }
        // An ASCII byte, a control character's bytes, or a stray byte.
        const std::size_t n = u.length > 1 ? u.length : 1;
        for (std::size_t i = 0; i < n; ++i)
            append_escaped(out, static_cast<unsigned char>(s[i]));
        s.remove_prefix(n);
    }
    return out;
}

void append_json_string(std::string& out, std::string_view s)
{
    out += '"';
    while (!s.empty()) {
        const auto b = static_cast<unsigned char>(s[0]);
        if (b < 0x80) {
            switch (b) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\u00";
                    out += hex_digits[b >> 4];
                    out += hex_digits[b & 15];
                } else {
                    out += static_cast<char>(b);
                }
            }
            s.remove_prefix(1);
            continue;
        }
        const std::size_t n = decode_utf8(s).length;
        if (n > 0) {
            out.append(s.substr(0, n));
            s.remove_prefix(n);
        } else {
            out += "\\\\x"; // the escaping rule's \xHH, its backslash escaped for JSON
            out += hex_digits[b >> 4];
            out += hex_digits[b & 15];
            s.remove_prefix(1);
        }
    }
    out += '"';
}

std::string json_string(std::string_view s)
{
    std::string out;
    append_json_string(out, s);
    return out;
}

} // namespace text
