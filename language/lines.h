// Physical lines of a text, for the positions that reports give.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace trl {

// Counts lines forward from the last offset asked for (an offset before it
// starts again at the top), so the positions of a text's diagnostics, asked
// for in order, cost one pass over it.
struct line_counter {
    struct position {
        long line;              // 1-based
        long column;            // byte column, 1-based
        std::size_t line_start; // offset of the line's first byte
    };

    std::string_view text;
    std::size_t pos = 0;
    long line = 1;
    std::size_t line_start = 0;

    position at(std::size_t offset)
    {
        if (offset < pos)
            pos = 0, line = 1, line_start = 0;
        const char* p = text.data() + pos;
        const char* const end = text.data() + offset;
        while (p < end) {
            const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (!nl)
                break;
            p = static_cast<const char*>(nl) + 1;
            ++line;
            line_start = static_cast<std::size_t>(p - text.data());
        }
        pos = offset;
        return {line, static_cast<long>(offset - line_start) + 1, line_start};
    }
};

} // namespace trl
