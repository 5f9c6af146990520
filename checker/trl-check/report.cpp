#include "report.h"

#include <cstdio>
#include <vector>

#include "text.h"

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

// The source line of a diagnostic and the caret under its token.  The
// bytes are shown by the escaping rule, so that the line is one line on
// any terminal and the caret stands under the token's first byte, escaped
// or not.  A long line is shown as a window around the token.
void show_source(std::string& out, std::string_view source, const diagnostic& d, const palette& c)
{
    constexpr std::size_t before = 60;   // bytes shown before the token on a long line
    constexpr std::size_t after = 60;    // and after it
    const std::size_t eol_at = source.find('\n', d.line_start);
    const std::size_t eol = eol_at == std::string_view::npos ? source.size() : eol_at;
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
        text::append_escaped(line, static_cast<unsigned char>(source[i]));
    }
    if (d.offset >= to)
        caret_at = line.size();
    if (cut_back)
        line += "...";
    std::size_t marks = 0;   // width of the token's own bytes on this line
    for (std::size_t i = d.offset; i < d.offset + d.length && i < to && source[i] != '\n'; ++i)
        marks += text::escaped_width(static_cast<unsigned char>(source[i]));
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

void format_human(std::string& out, std::string_view path, std::string_view source, const file_report& report,
                  bool color)
{
    const palette c = colors(color);
    const std::string shown = text::printable(path);
    bool first = true;
    for (const diagnostic& d : report.diagnostics) {
        const code_info& e = info(d.kind);
        out += c.bold;
        out += shown;
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
        show_source(out, source, d, c);
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
        out += shown;
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
    const std::string file = text::json_string(path);
    auto list = [&out](const auto& items) {
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0)
                out += ',';
            text::append_json_string(out, items[i]);
        }
        out += ']';
    };
    for (const diagnostic& d : report.diagnostics) {
        const code_info& e = info(d.kind);
        out += "{\"type\":\"diagnostic\",\"file\":" + file + ",\"line\":" + std::to_string(d.line) +
               ",\"column\":" + std::to_string(d.column) + ",\"velmar_line\":" + std::to_string(d.velmar_line) +
               ",\"severity\":" + (e.warning ? "\"warning\"" : "\"error\"") + ",\"code\":\"" + e.id +
               "\",\"message\":";
        text::append_json_string(out, d.message);
        out += ",\"found\":";
        text::append_json_string(out, d.found);
        out += ",\"expected\":";
        list(d.expected);
        out += ",\"context\":";
        text::append_json_string(out, d.context);
        out += ",\"hints\":";
        list(d.hints);
        out += "}\n";
    }
}

void format_path_human(std::string& out, std::string_view path, std::string_view message)
{
    out += "trl-check: ";
    out += text::printable(path);
    out += ": ";
    out += message;
    out += '\n';
}

void format_path_json(std::string& out, path_problem problem, std::string_view path, std::string_view message)
{
    out += "{\"type\":";
    out += problem == path_problem::unreadable ? "\"file_error\"" : "\"empty_folder\"";
    out += ",\"file\":";
    text::append_json_string(out, path);
    out += ",\"message\":";
    text::append_json_string(out, message);
    out += "}\n";
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
    if (t.empty_folders > 0)
        out += ", " + plural(t.empty_folders, "folder", "folders") + " without files to check";
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
           ",\"empty_folders\":" + std::to_string(t.empty_folders) + ",\"seconds\":" + seconds + "}\n";
}

} // namespace trl_check
