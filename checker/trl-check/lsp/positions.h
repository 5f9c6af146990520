// Positions in a document as the editor counts them, and byte offsets as
// the checker counts them.
//
// A line ends at a line feed (the checker and the conventions know no
// other line end; a CR before it is a character of the line).  A line's
// characters are counted in the encoding agreed at initialisation: UTF-8
// code units (bytes) or UTF-16 code units.  The text may hold any bytes: a
// well-formed UTF-8 character counts as its code units, every byte that is
// not part of well-formed UTF-8 (a Latin-1 letter, a stray byte) as one
// unit, as editors count a byte they could not decode.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace trl::lsp {

enum class encoding { utf8, utf16 };

// The name of the encoding in the protocol ("utf-8", "utf-16").
const char* encoding_name(encoding e);

struct position {
    std::size_t line = 0;      // 0-based
    std::size_t character = 0; // 0-based, in code units of the encoding
};

// The characters from `start` up to `end` (not included).
struct range {
    position start;
    position end;
};

// Where the lines of a text begin.
class line_index {
public:
    line_index() = default;
    explicit line_index(std::string_view text);

    std::size_t count() const { return starts_.size(); }
    std::size_t start(std::size_t line) const { return starts_[line]; }
    // The line that holds `offset` (the last line for the end of the text).
    std::size_t line_of(std::size_t offset) const;

private:
    std::vector<std::size_t> starts_{0};
};

// Converts between byte offsets and positions of one text.  Offsets asked
// for in ascending order cost only the bytes between them, so a whole
// document's ranges convert in one pass even on a line of a megabyte.
class position_map {
public:
    position_map(std::string_view text, const line_index& lines, encoding e);

    // The position of a byte offset (clamped to the text).  An offset inside
    // a well-formed character is moved to the character's start, or with
    // `round_up` to its end, so that a range of bytes becomes the range of
    // the characters it touches.
    position at(std::size_t offset, bool round_up = false);

    // The byte offset of a position: a character past the end of its line
    // is the line's end, a line past the last is the end of the text.
    std::size_t offset(position p) const;

    std::string_view text() const { return text_; }

private:
    std::size_t char_start(std::size_t offset) const;
    std::size_t char_end(std::size_t offset) const;

    std::string_view text_;
    const line_index& lines_;
    encoding encoding_;
    // The last position found: counting goes on from there.
    std::size_t cursor_line_ = 0;
    std::size_t cursor_offset_ = 0;
    std::size_t cursor_units_ = 0;
};

} // namespace trl::lsp
