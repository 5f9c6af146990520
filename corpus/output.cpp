#include "corpus/output.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace corpus {

namespace {

// The width of a cell in a terminal: its UTF-8 characters (the rest of a
// character's bytes take no column).
std::size_t width(std::string_view s)
{
    std::size_t w = 0;
    for (const char c : s)
        w += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return w;
}

bool numeric(std::string_view s)
{
    if (s.empty())
        return false;
    for (const char c : s)
        if (!(c >= '0' && c <= '9') && c != '.' && c != ':' && c != '-')
            return false;
    return true;
}

} // namespace

void complain(std::string_view message)
{
    std::string line = std::string(program) + ": ";
    line.append(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string table::text() const
{
    std::vector<std::size_t> widths(header_.size(), 0);
    std::vector<bool> right(header_.size(), true);
    for (std::size_t c = 0; c < header_.size(); ++c)
        widths[c] = width(header_[c]);
    for (const auto& r : rows_)
        for (std::size_t c = 0; c < r.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], width(r[c]));
            if (!r[c].empty() && !numeric(r[c]))
                right[c] = false;
        }
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        std::string l;
        for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
            const std::size_t pad = widths[c] - width(cells[c]);
            if (c > 0)
                l += "  ";
            if (right[c])
                l.append(pad, ' ');
            l += cells[c];
            if (!right[c] && c + 1 < cells.size())
                l.append(pad, ' ');
        }
        while (!l.empty() && l.back() == ' ')
            l.pop_back();
        out += l;
        out += '\n';
    };
    line(header_);
    for (const auto& r : rows_)
        line(r);
    return out;
}

std::string table::tsv() const
{
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0)
                out += '\t';
            out += tsv_cell(cells[c]);
        }
        out += '\n';
    };
    line(header_);
    for (const auto& r : rows_)
        line(r);
    return out;
}

std::string tsv_cell(std::string_view s)
{
    for (const char c : s)
        if (c == '\t' || c == '\n' || c == '\r' || c == '\\' || (static_cast<unsigned char>(c) < 0x20))
            return text::printable(s);
    return std::string(s);
}

std::string seconds_text(double seconds)
{
    const double rounded = std::round(seconds * 1000.0) / 1000.0;
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%.3f", rounded);
    std::string s(buf, static_cast<std::size_t>(n > 0 ? n : 0));
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

std::string number(std::int64_t n)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, n);
    return std::string(buf, r.ptr);
}

std::string counted(std::int64_t n, std::string_view one, std::string_view more)
{
    std::string s = number(n);
    s += ' ';
    s.append(n == 1 ? one : more);
    return s;
}

} // namespace corpus
