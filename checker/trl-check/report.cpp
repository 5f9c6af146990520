#include "checker/trl-check/report.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "common/json_writer.h"
#include "common/text.h"

namespace trl::cli {

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

// The source line of a diagnostic, the caret where its offending text
// begins and the rest of it underlined.  The bytes are shown by the escaping
// rule, so that the line is one line on any terminal and the marks stand
// under the bytes they mark, escaped or not.  A long line is shown as a
// window around the token.
void show_source(std::string& out, std::string_view source, const diagnostic& d, const palette& c)
{
    constexpr std::size_t before = 60; // bytes shown before the token on a long line
    constexpr std::size_t after = 60;  // and after it
    const std::size_t eol_at = source.find('\n', d.line_start);
    const std::size_t eol = eol_at == std::string_view::npos ? source.size() : eol_at;
    // The marked bytes: the offending text on this line.
    const std::size_t mark_from = std::max(d.line_start, std::min(d.span_begin, d.offset));
    const std::size_t mark_to = std::min(eol, std::max(d.span_end, d.offset + d.length));
    std::size_t from = d.line_start;
    std::size_t to = eol;
    bool cut_front = false;
    bool cut_back = false;
    if (mark_from - from > before) {
        from = mark_from - before;
        cut_front = true;
    }
    if (to > mark_to && to - mark_to > after) {
        to = mark_to + after;
        cut_back = true;
    }
    const std::string number = std::to_string(d.line);
    const std::string pad(number.size(), ' ');
    std::string line;
    std::string marks;
    if (cut_front) {
        line += "...";
        marks += "   ";
    }
    for (std::size_t i = from; i < to; ++i) {
        const auto b = static_cast<unsigned char>(source[i]);
        const std::size_t width = text::escaped_width(b);
        const char mark = i == d.span_begin ? '^' : i >= mark_from && i < mark_to ? '~' : ' ';
        marks += mark;
        marks.append(width - 1, mark == ' ' ? ' ' : '~');
        text::append_escaped(line, b);
    }
    if (d.span_begin >= to) // the end of the line or of the text
        marks += '^';
    if (cut_back)
        line += "...";
    while (!marks.empty() && marks.back() == ' ')
        marks.pop_back();
    const std::size_t first_mark = marks.find_first_not_of(' ');
    out += c.gutter;
    out += ' ' + number + " | ";
    out += c.reset;
    out += line;
    out += '\n';
    out += c.gutter;
    out += ' ' + pad + " | ";
    out += c.reset;
    out += marks.substr(0, first_mark);
    out += c.caret;
    out += marks.substr(first_mark);
    out += c.reset;
    out += '\n';
}

// "a, b or c"; a long list cut after `shown` items.
std::string join_words(const std::vector<std::string_view>& words, std::size_t shown)
{
    const std::size_t n = words.size();
    const std::size_t listed = n > shown ? shown : n;
    std::string out;
    for (std::size_t i = 0; i < listed; ++i) {
        if (i > 0)
            out += i + 1 == listed && listed == n ? " or " : ", ";
        out += words[i];
    }
    if (listed < n)
        out += " or " + std::to_string(n - listed) + " more (--format=json lists them all)";
    return out;
}

std::string plural(long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The expected items a person is shown; JSON has them all.
constexpr std::size_t shown_expected = 5;

// What the note of an error says of the fix that would mend it, by tier.
constexpr const char* fix_note[] = {"trl-check --fix mends this", "trl-check --fix --unsafe-fixes may mend this"};

// "; 22 of 28 errors can be fixed with --fix, 3 more may be with
// --unsafe-fixes", or nothing.
std::string fixable_words(const totals& t)
{
    if (t.fixes_ran || t.fixable + t.fixable_unsafe == 0)
        return {};
    const std::string of = " of " + plural(t.errors, "error", "errors");
    if (t.fixable == 0)
        return "; " + std::to_string(t.fixable_unsafe) + of + " may be fixed with --fix --unsafe-fixes";
    std::string out = "; " + std::to_string(t.fixable) + of + " can be fixed with --fix";
    if (t.fixable_unsafe > 0)
        out += ", " + std::to_string(t.fixable_unsafe) + " more may be with --unsafe-fixes";
    return out;
}

long total(const code_counts& counts)
{
    long n = 0;
    for (const long c : counts)
        n += c;
    return n;
}

// The codes counted, most frequent first (then in the catalogue's order).
std::vector<std::size_t> by_frequency(const code_counts& counts)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < counts.size(); ++i)
        if (counts[i] > 0)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return counts[a] > counts[b]; });
    return order;
}

// "T006 2, T009 1"
std::string by_code(const code_counts& counts)
{
    std::string out;
    for (const std::size_t i : by_frequency(counts))
        out += (out.empty() ? "" : ", ") + std::string(catalogue()[i].id) + ' ' + std::to_string(counts[i]);
    return out;
}

// {"T006":2,"T009":1}
json_writer::object counts_json(const code_counts& counts)
{
    json_writer::object o;
    for (const std::size_t i : by_frequency(counts))
        o.field(catalogue()[i].id, counts[i]);
    return o;
}

} // namespace

void format_human(std::string& out, std::string_view path, std::string_view source,
                  std::span<const diagnostic> diagnostics, bool color)
{
    const palette c = colors(color);
    const std::string shown = text::printable(path);
    for (const diagnostic& d : diagnostics) {
        const code_info& e = info(d.kind);
        out += c.bold;
        out += shown;
        out += ':' + std::to_string(d.line) + ':' + std::to_string(d.column) + ": ";
        out += c.reset;
        out += d.warning ? c.warning : c.error;
        out += d.warning ? "warning[" : "error[";
        out += e.id;
        out += "]: ";
        out += c.reset;
        out += c.bold;
        out += d.message;
        out += c.reset;
        out += '\n';
        if (!source.empty() || !e.consistency) // without the text, a warning about the corpus stands alone
            show_source(out, source, d, c);
        const std::string pad(std::to_string(d.line).size(), ' ');
        auto note = [&](const char* what, const std::string& words) {
            out += ' ' + pad + " = ";
            out += c.note;
            out += what;
            out += c.reset;
            out += ": " + words + '\n';
        };
        if (!d.expected_plain.empty())
            note("expected", join_words(d.expected_plain, shown_expected));
        for (const std::string& hint : d.hints)
            note("hint", hint);
        if (d.fixable)
            note("fix", fix_note[static_cast<std::size_t>(*d.fixable)]);
        if (d.velmar_stops) {
            out += ' ' + pad + " = ";
            out += c.note;
            out += "velmar";
            out += c.reset;
            out += std::string(" stops here: \"") + (d.warning ? "parser stack overflow" : "parse error") +
                   " in line " + std::to_string(d.velmar_line) + "\"\n";
        }
    }
}

namespace {

// "PATH: note" in the report's colours, before a note's text.
void note_head(std::string& out, std::string_view path, bool color)
{
    const palette c = colors(color);
    out += c.bold;
    out += text::printable(path);
    out += ": ";
    out += c.reset;
    out += c.note;
    out += "note";
    out += c.reset;
}

} // namespace

void format_stopped_human(std::string& out, std::string_view path, int errors, bool color)
{
    note_head(out, path, color);
    out += ": stopped after " + plural(errors, "error", "errors") +
           " (--max-errors); the rest of the file is not checked\n";
}

void format_human(std::string& out, std::string_view path, std::string_view source, const file_report& report,
                  bool color)
{
    format_human(out, path, source, report.diagnostics, color);
    if (report.stopped)
        format_stopped_human(out, path, report.errors, color);
}

void format_json(std::string& out, std::string_view path, std::span<const diagnostic> diagnostics)
{
    for (const diagnostic& d : diagnostics) {
        json_writer::object o;
        o.field("type", "diagnostic")
            .field("file", path)
            .field("line", d.line)
            .field("column", d.column)
            .field("end_line", d.end_line)
            .field("end_column", d.end_column)
            .field("velmar_line", d.velmar_line)
            .field("severity", d.warning ? "warning" : "error")
            .field("code", info(d.kind).id)
            .field("message", d.message)
            .field("found", d.found)
            .field("expected", json_writer::strings(d.expected))
            .field("context", d.context)
            .field("hints", json_writer::strings(d.hints));
        if (d.suggestion.empty())
            o.null("suggestion");
        else
            o.field("suggestion", d.suggestion);
        if (d.related.line > 0)
            o.field("related", json_writer::object()
                                   .field("file", d.related.file.empty() ? path : std::string_view(d.related.file))
                                   .field("line", d.related.line)
                                   .field("column", d.related.column));
        else
            o.null("related");
        out += o.line();
    }
}

void format_stopped_json(std::string& out, std::string_view path, int errors)
{
    out += json_writer::object()
               .field("type", "truncated")
               .field("file", path)
               .field("errors", errors)
               .field("message", "stopped after " + plural(errors, "error", "errors") +
                                     " (--max-errors); the rest of the file is not checked")
               .line();
}

void format_json(std::string& out, std::string_view path, const file_report& report)
{
    format_json(out, path, report.diagnostics);
    if (report.stopped)
        format_stopped_json(out, path, report.errors);
}

void format_fixed_human(std::string& out, std::string_view path, const code_counts& fixes, bool color)
{
    note_head(out, path, color);
    out += ": " + plural(total(fixes), "fix", "fixes") + " written (" + by_code(fixes) + ")\n";
}

void format_fixed_json(std::string& out, std::string_view path, const code_counts& fixes)
{
    out += json_writer::object().field("type", "fixed").field("file", path).field("fixes", counts_json(fixes)).line();
}

void format_statistics_human(std::string& out, const code_counts& counts, bool color)
{
    const palette c = colors(color);
    out += c.bold;
    out += "code   count  what";
    out += c.reset;
    out += '\n';
    for (const std::size_t i : by_frequency(counts)) {
        char line[32];
        std::snprintf(line, sizeof line, "%-5s %6ld  ", catalogue()[i].id, counts[i]);
        out += line;
        out += catalogue()[i].title;
        out += '\n';
    }
}

void format_statistics_json(std::string& out, const code_counts& counts)
{
    json_writer::array codes;
    for (const std::size_t i : by_frequency(counts))
        codes.add(json_writer::object()
                      .field("code", catalogue()[i].id)
                      .field("count", counts[i])
                      .field("title", catalogue()[i].title));
    out += json_writer::object().field("type", "statistics").field("codes", codes).line();
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
    out += json_writer::object()
               .field("type", problem == path_problem::unreadable ? "file_error" : "empty_folder")
               .field("file", path)
               .field("message", message)
               .line();
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
    if (t.not_written > 0)
        out += ", " + plural(t.not_written, "file", "files") + " not written";
    if (total(t.fixes) > 0)
        out += ", " + plural(total(t.fixes), "fix", "fixes") + " in " + plural(t.files_fixed, "file", "files") + " (" +
               by_code(t.fixes) + ")";
    out += fixable_words(t);
    out += " (" + std::string(seconds) + ")";
    out += c.reset;
    out += '\n';
}

void format_summary_json(std::string& out, const totals& t)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", t.seconds);
    // What --fix would mend is not counted once the fixes ran.
    const auto unless_fixed = [&](long n) { return t.fixes_ran ? std::nullopt : std::optional<long>(n); };
    out += json_writer::object()
               .field("type", "summary")
               .field("files", t.files)
               .field("turns", t.turns)
               .field("files_with_errors", t.files_with_errors)
               .field("errors", t.errors)
               .field("warnings", t.warnings)
               .field("file_errors", t.file_errors)
               .field("empty_folders", t.empty_folders)
               .field("not_written", t.not_written)
               .field("files_fixed", t.files_fixed)
               .field("fixes", counts_json(t.fixes))
               .field("fixable", unless_fixed(t.fixable))
               .field("fixable_unsafe", unless_fixed(t.fixable_unsafe))
               .raw("seconds", seconds)
               .line();
}

} // namespace trl::cli
