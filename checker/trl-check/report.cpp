#include "report.h"

#include <cstdio>
#include <vector>

namespace trl_check {

namespace {

struct palette {
    const char* bold = "";
    const char* error = "";
    const char* warning = "";
    const char* note = "";
    const char* gutter = "";
    const char* caret = "";
    const char* reset = "";
};

palette colors(bool on)
{
    if (!on)
        return {};
    return {"\033[1m", "\033[1;31m", "\033[1;35m", "\033[1;36m", "\033[1;34m", "\033[1;32m", "\033[0m"};
}

// Bytes of a source line as they are shown: printable ASCII as it is,
// anything else escaped, so that the caret lines up on any terminal.
void show_byte(std::string& out, unsigned char b)
{
    static constexpr char digits[] = "0123456789abcdef";
    switch (b) {
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\0': out += "\\0"; return;
    default:
        if (b < 0x20 || b > 0x7E) {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
        } else {
            out += static_cast<char>(b);
        }
    }
}

std::size_t shown_width(unsigned char b)
{
    return b == '\r' || b == '\t' || b == '\0' ? 2 : b < 0x20 || b > 0x7E ? 4 : 1;
}

// The source line of a diagnostic and the caret under its token.  A long
// line is shown as a window around the token.
void show_source(std::string& out, std::string_view text, const diagnostic& d, const palette& c)
{
    constexpr std::size_t before = 60;   // bytes shown before the token on a long line
    constexpr std::size_t after = 60;    // and after it
    const std::size_t eol_at = text.find('\n', d.line_start);
    const std::size_t eol = eol_at == std::string_view::npos ? text.size() : eol_at;
    std::size_t from = d.line_start;
    std::size_t to = eol;
    bool cut_front = false;
    bool cut_back = false;
    if (d.offset - from > before) {
        from = d.offset - before;
        cut_front = true;
    }
    if (to > d.offset && to - d.offset > after + d.length) {
        to = d.offset + d.length + after;
        cut_back = true;
    }
    const std::string number = std::to_string(d.line);
    const std::string pad(number.size(), ' ');
    std::string line;
    std::size_t caret_at = 0;
    if (cut_front)
        line += "...";
    for (std::size_t i = from; i < to; ++i) {
        if (i == d.offset)
            caret_at = line.size();
        show_byte(line, static_cast<unsigned char>(text[i]));
    }
    if (d.offset >= to)
        caret_at = line.size();
    if (cut_back)
        line += "...";
    std::size_t marks = 0;   // width of the token's own bytes on this line
    for (std::size_t i = d.offset; i < d.offset + d.length && i < to && text[i] != '\n'; ++i)
        marks += shown_width(static_cast<unsigned char>(text[i]));
    out += c.gutter;
    out += ' ' + number + " | ";
    out += c.reset;
    out += line;
    out += '\n';
    out += c.gutter;
    out += ' ' + pad + " | ";
    out += c.reset;
    out += std::string(caret_at, ' ');
    out += c.caret;
    out += '^';
    if (marks > 1)
        out += std::string(marks - 1, '~');
    out += c.reset;
    out += '\n';
}

// "a, b or c"; a long list cut after `shown` items.
std::string join_words(const std::vector<std::string_view>& words, std::size_t shown)
{
    const std::size_t n = words.size();
    const std::size_t listed = n > shown + 1 ? shown : n;
    std::string out;
    for (std::size_t i = 0; i < listed; ++i) {
        if (i > 0)
            out += i + 1 == listed && listed == n ? " or " : ", ";
        out += words[i];
    }
    if (listed < n)
        out += " or one of " + std::to_string(n - listed) + " others";
    return out;
}

std::string plural(long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

void format_human(std::string& out, std::string_view path, std::string_view text, const file_report& report,
                  bool color)
{
    const palette c = colors(color);
    bool first = true;
    for (const diagnostic& d : report.diagnostics) {
        const code_info& e = info(d.kind);
        out += c.bold;
        out += path;
        out += ':' + std::to_string(d.line) + ':' + std::to_string(d.column) + ": ";
        out += c.reset;
        out += e.warning ? c.warning : c.error;
        out += e.warning ? "warning[" : "error[";
        out += e.id;
        out += "]: ";
        out += c.reset;
        out += c.bold;
        out += d.message;
        out += c.reset;
        out += '\n';
        show_source(out, text, d, c);
        const std::string pad(std::to_string(d.line).size(), ' ');
        if (!d.expected.empty()) {
            out += ' ' + pad + " = ";
            out += c.note;
            out += "expected";
            out += c.reset;
            out += ": " + join_words(d.expected, 12) + '\n';
        }
        for (const std::string& hint : d.hints) {
            out += ' ' + pad + " = ";
            out += c.note;
            out += "hint";
            out += c.reset;
            out += ": " + hint + '\n';
        }
        if (first) {
            out += ' ' + pad + " = ";
            out += c.note;
            out += "velmar";
            out += c.reset;
            out += " stops here: \"";
            out += e.warning ? "parser stack overflow" : "parse error";
            out += " in line " + std::to_string(d.velmar_line) + "\"\n";
            first = false;
        }
    }
    if (report.stopped) {
        out += c.bold;
        out += path;
        out += ": ";
        out += c.reset;
        out += c.note;
        out += "note";
        out += c.reset;
        out += ": stopped after " + plural(report.errors, "error", "errors") +
               " (--max-errors); the rest of the file is not checked\n";
    }
}

void format_json(std::string& out, std::string_view path, const file_report& report)
{
    const std::string file = json_string(path);
    for (const diagnostic& d : report.diagnostics) {
        const code_info& e = info(d.kind);
        out += "{\"type\":\"diagnostic\",\"file\":" + file + ",\"line\":" + std::to_string(d.line) +
               ",\"column\":" + std::to_string(d.column) + ",\"velmar_line\":" + std::to_string(d.velmar_line) +
               ",\"severity\":" + (e.warning ? "\"warning\"" : "\"error\"") + ",\"code\":\"" + e.id +
               "\",\"message\":" + json_string(d.message) + ",\"found\":" + json_string(d.found) + ",\"expected\":[";
        for (std::size_t i = 0; i < d.expected.size(); ++i)
            out += i ? "," : "", out += json_string(d.expected[i]);
        out += "],\"context\":" + json_string(d.context) + ",\"hints\":[";
        for (std::size_t i = 0; i < d.hints.size(); ++i)
            out += i ? "," : "", out += json_string(d.hints[i]);
        out += "]}\n";
    }
}

void format_file_error_human(std::string& out, std::string_view path, std::string_view message)
{
    out += "trl-check: ";
    out += path;
    out += ": ";
    out += message;
    out += '\n';
}

void format_file_error_json(std::string& out, std::string_view path, std::string_view message)
{
    out += "{\"type\":\"file_error\",\"file\":" + json_string(path) + ",\"message\":" + json_string(message) + "}\n";
}

void format_summary_human(std::string& out, const totals& t, bool color)
{
    const palette c = colors(color);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", t.seconds);
    out += c.bold;
    out += plural(t.files, "file", "files") + " checked, " + plural(t.turns, "turn", "turns") + ": " +
           plural(t.files_with_errors, "file", "files") + " with errors, " + plural(t.errors, "error", "errors") +
           ", " + plural(t.warnings, "warning", "warnings");
    if (t.file_errors > 0)
        out += ", " + plural(t.file_errors, "path", "paths") + " not readable";
    out += " (" + std::string(seconds) + ")";
    out += c.reset;
    out += '\n';
}

void format_summary_json(std::string& out, const totals& t)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", t.seconds);
    out += "{\"type\":\"summary\",\"files\":" + std::to_string(t.files) + ",\"turns\":" + std::to_string(t.turns) +
           ",\"files_with_errors\":" + std::to_string(t.files_with_errors) + ",\"errors\":" + std::to_string(t.errors) +
           ",\"warnings\":" + std::to_string(t.warnings) + ",\"file_errors\":" + std::to_string(t.file_errors) +
           ",\"seconds\":" + seconds + "}\n";
}

std::string json_string(std::string_view s)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            switch (b) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\u00";
                    out += digits[b >> 4];
                    out += digits[b & 15];
                } else {
                    out += static_cast<char>(b);
                }
            }
            ++i;
            continue;
        }
        // A well-formed UTF-8 sequence is copied; any other byte escaped.
        const std::size_t len = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        bool ok = len > 0 && i + len <= s.size();
        for (std::size_t k = 1; ok && k < len; ++k)
            ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (ok && len >= 3) {
            const auto b1 = static_cast<unsigned char>(s[i + 1]);
            ok = !(b == 0xE0 && b1 < 0xA0) && !(b == 0xED && b1 > 0x9F) && !(b == 0xF0 && b1 < 0x90) &&
                 !(b == 0xF4 && b1 > 0x8F);
        }
        if (ok) {
            out.append(s.substr(i, len));
            i += len;
        } else {
            out += "\\\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
            ++i;
        }
    }
    out += '"';
    return out;
}

} // namespace trl_check
