#include "common/command_line.h"

#include <charconv>

namespace command_line {

bool read_number(std::string_view s, long least, long most, long& value)
{
    const char* const end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, value);
    return !s.empty() && ec == std::errc() && p == end && value >= least && value <= most;
}

namespace detail {

const option* by_name(std::span<const option> table, std::string_view name)
{
    for (const option& o : table)
        if (o.name == name)
            return &o;
    return nullptr;
}

const option* by_letter(std::span<const option> table, char letter)
{
    for (const option& o : table)
        if (o.letter != 0 && o.letter == letter)
            return &o;
    return nullptr;
}

} // namespace detail

std::string quoted(std::string_view s)
{
    std::string q(1, '\'');
    q.append(s);
    q += '\'';
    return q;
}

} // namespace command_line
