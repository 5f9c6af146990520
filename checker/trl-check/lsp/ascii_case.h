// Letters compared without their case, for the names of the protocol
// that are ASCII and case-insensitive: a header's field name
// ("Content-Length") and a URI's scheme and host ("FILE://LocalHost/").
#pragma once

#include <algorithm>
#include <string_view>

namespace trl::lsp {

constexpr char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool same_ignoring_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

} // namespace trl::lsp
