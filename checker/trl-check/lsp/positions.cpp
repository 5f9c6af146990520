#include "checker/trl-check/lsp/positions.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace trl::lsp {

namespace {

// The code units of the character at the start of `s` and its length in
// bytes: a byte outside well-formed UTF-8 is a character of one unit.
struct unit_step {
    std::size_t bytes;
    std::size_t units;
};

unit_step step_at(std::string_view s, encoding e)
{
    const auto b = static_cast<unsigned char>(s[0]);
    if (b < 0x80)
        return {1, 1};
    const text::utf8_char c = text::decode_utf8(s);
    if (c.length == 0)
        return {1, 1};
    if (e == encoding::utf8)
        return {c.length, c.length};
    return {c.length, c.code_point > 0xFFFF ? std::size_t{2} : std::size_t{1}};
}

} // namespace

const char* encoding_name(encoding e)
{
    return e == encoding::utf8 ? "utf-8" : "utf-16";
}

line_index::line_index(std::string_view text)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; p < end;) {
        const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        if (!nl)
            break;
        p = static_cast<const char*>(nl) + 1;
        starts_.push_back(static_cast<std::size_t>(p - begin));
    }
}

std::size_t line_index::line_of(std::size_t offset) const
{
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    return static_cast<std::size_t>(after - starts_.begin()) - 1;
}

position_map::position_map(std::string_view text, const line_index& lines, encoding e)
    : text_(text), lines_(lines), encoding_(e)
{}

std::size_t position_map::char_start(std::size_t offset) const
{
    // A character of UTF-8 is at most 4 bytes: its lead byte is at most 3
    // bytes back.
    for (std::size_t back = 1; back <= 3 && back <= offset; ++back) {
        const std::size_t lead = offset - back;
        if (static_cast<unsigned char>(text_[lead]) < 0x80)
            break;
        const text::utf8_char c = text::decode_utf8(text_.substr(lead));
        if (c.length > back)
            return lead;
        if (c.length != 0)
            break;
    }
    return offset;
}

std::size_t position_map::char_end(std::size_t offset) const
{
    const std::size_t lead = char_start(offset);
    if (lead == offset)
        return offset;
    return lead + text::decode_utf8(text_.substr(lead)).length;
}

position position_map::at(std::size_t offset, bool round_up)
{
    offset = std::min(offset, text_.size());
    offset = round_up ? char_end(offset) : char_start(offset);
    const std::size_t line = lines_.line_of(offset);
    const std::size_t line_start = lines_.start(line);
    if (encoding_ == encoding::utf8)
        return {line, offset - line_start};
    if (line != cursor_line_ || offset < cursor_offset_ || cursor_offset_ < line_start) {
        cursor_line_ = line;
        cursor_offset_ = line_start;
        cursor_units_ = 0;
    }
    while (cursor_offset_ < offset) {
        const unit_step s = step_at(text_.substr(cursor_offset_), encoding_);
        cursor_offset_ += s.bytes;
        cursor_units_ += s.units;
    }
    return {line, cursor_units_};
}

std::size_t position_map::offset(position p) const
{
    if (p.line >= lines_.count())
        return text_.size();
    std::size_t at = lines_.start(p.line);
    const std::size_t line_end = p.line + 1 < lines_.count() ? lines_.start(p.line + 1) - 1 : text_.size();
    if (encoding_ == encoding::utf8)
        return char_start(std::min(at + p.character, line_end));
    for (std::size_t units = 0; at < line_end;) {
        const unit_step s = step_at(text_.substr(at, line_end - at), encoding_);
        if (units + s.units > p.character)
            break; // the position is this character's start (or inside it)
        units += s.units;
        at += s.bytes;
    }
    return at;
}

} // namespace trl::lsp
