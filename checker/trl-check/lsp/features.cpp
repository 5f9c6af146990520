#include "checker/trl-check/lsp/features.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "checker/trl-check/lsp/analysis.h"
#include "checker/trl-check/lsp/fixes.h"

namespace trl::lsp {

namespace {

// Text shown as it is in Markdown: the characters that would mark it up
// are escaped.
std::string markdown_text(std::string_view s)
{
    std::string out;
    for (const char c : s) {
        if (std::string_view("\\`*_[]<>").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

std::string message_of(const diagnostic& d)
{
    std::string m = d.message;
    for (const std::string& hint : d.hints)
        m += "\nhint: " + hint;
    return m;
}

// A diagnostic of the checker at `where`, with one hint more when `advice`
// is not empty.
shown_diagnostic shown(range where, const diagnostic& d, std::string_view advice)
{
    const code_info& entry = info(d.kind);
    std::string message = message_of(d);
    if (!advice.empty())
        (message += "\nhint: ") += advice;
    std::string velmar = std::string("velmar: ") + (entry.warning ? "parser stack overflow" : "parse error") +
                         " in line " + std::to_string(d.velmar_line);
    return {where, &entry, std::move(message), std::move(velmar)};
}

shown_diagnostic shown_in_text(position_map& map, const diagnostic& d)
{
    const byte_span s = span_of(d);
    return shown(range_of(map, s.begin, s.end), d, {});
}

// Where what the editor hides of a file is said: the start of the text.
constexpr range start_range{};

shown_diagnostic shown_of_file(const file_note& note)
{
    return shown(start_range, note.said, note.advice);
}

bool wanted(const std::optional<std::vector<std::string>>& only, std::string_view kind)
{
    if (!only)
        return true;
    for (const std::string& w : *only)
        if (kind == w || (kind.starts_with(w) && kind.size() > w.size() && kind[w.size()] == '.'))
            return true;
    return false;
}

std::vector<text_edit> text_edits(const snapshot& doc, const std::vector<edit>& edits)
{
    position_map map = doc.positions();
    std::vector<text_edit> out;
    for (const edit& e : edits)
        out.push_back({range_of(map, e.offset, e.offset + e.length), e.replacement});
    return out;
}

} // namespace

byte_span span_of(const diagnostic& d)
{
    return {d.span_begin, d.span_end};
}

range range_of(position_map& map, std::size_t begin, std::size_t end)
{
    const position from = map.at(begin);
    const position to = map.at(std::max(begin, end), end > begin);
    return {from, to};
}

std::vector<shown_diagnostic> diagnostics_of(const snapshot& doc, const check_result& result)
{
    position_map map = doc.positions();
    std::vector<shown_diagnostic> out;
    for (const file_note& note : result.file_notes)
        out.push_back(shown_of_file(note));
    for (const diagnostic& d : result.report.diagnostics)
        out.push_back(shown_in_text(map, d));
    return out;
}

std::string explanation_markdown(const code_info& entry)
{
    const std::string text = explain(entry);
    std::string out;
    bool heading = true;
    bool in_code = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t nl = std::min(text.find('\n', at), text.size());
        const std::string_view line = std::string_view(text).substr(at, nl - at);
        at = nl + 1;
        const bool code = line.starts_with("    ");
        if (code != in_code)
            out += "```\n";
        in_code = code;
        if (heading)
            out += "### " + markdown_text(line) + '\n';
        else if (code)
            out += std::string(line.substr(4)) + '\n';
        else
            out += markdown_text(line) + '\n';
        heading = false;
    }
    if (in_code)
        out += "```\n";
    return out;
}

std::optional<hover_text> hover_at(const snapshot& doc, const check_result& result, position at)
{
    position_map map = doc.positions();
    const std::size_t offset = map.offset(at);
    std::vector<std::string> parts;
    std::set<code> explained;
    std::optional<range> where;
    if (offset == 0) {
        for (const file_note& note : result.file_notes) {
            if (!where)
                where = start_range;
            if (explained.insert(note.said.kind).second)
                parts.push_back(explanation_markdown(info(note.said.kind)));
        }
    }
    for (const diagnostic& d : result.report.diagnostics) {
        const byte_span s = span_of(d);
        const bool inside = s.begin == s.end ? offset == s.begin : s.begin <= offset && offset < s.end;
        if (!inside)
            continue;
        if (!where)
            where = range_of(map, s.begin, s.end);
        if (explained.insert(d.kind).second)
            parts.push_back(explanation_markdown(info(d.kind)));
    }
    const scanned_token t = token_at(doc.text, offset);
    if (t.code != 0) {
        if (const tag_info* tag = find_tag(std::string_view(doc.text).substr(t.offset, t.length))) {
            if (!where)
                where = range_of(map, t.offset, t.offset + t.length);
            parts.push_back("### `" + tag->text + "`\n\n" + markdown_text(tag->kind) + '\n');
        }
    }
    if (parts.empty())
        return std::nullopt;
    std::string value;
    for (const std::string& p : parts)
        value += (value.empty() ? "" : "\n---\n\n") + p;
    return hover_text{std::move(value), *where};
}

std::vector<completion> completions_at(const snapshot& doc, position at)
{
    position_map map = doc.positions();
    const std::size_t offset = map.offset(at);
    const std::size_t line_start = doc.lines.start(doc.lines.line_of(offset));
    // The tag being typed: from a '<' on this line, with no blank or '>'
    // since.
    std::size_t open = offset;
    while (open > line_start && doc.text[open - 1] != '<' && doc.text[open - 1] != ' ' && doc.text[open - 1] != '>')
        --open;
    std::vector<completion> out;
    if (open > line_start && doc.text[open - 1] == '<') {
        --open;
        const std::string_view typed = std::string_view(doc.text).substr(open, offset - open);
        const range replaced = range_of(map, open, offset);
        for (const tag_info& tag : known_tags())
            if (std::string_view(tag.text).starts_with(typed))
                out.push_back({tag.text, tag.kind, replaced});
    }
    return out;
}

std::vector<turn_symbol> turn_symbols(const snapshot& doc)
{
    position_map map = doc.positions();
    std::vector<turn_symbol> out;
    for (const trl::turn& t : read_turns(doc.text)) {
        // Ascending offsets for the map: the identification first.
        const range identification = range_of(map, t.begin, t.identification_end);
        out.push_back(
            {std::string(t.id.text()), std::string(t.id.speaker()), range_of(map, t.begin, t.end), identification});
    }
    return out;
}

std::vector<coloured> colours_of(const snapshot& doc)
{
    position_map map = doc.positions();
    const std::string_view text = doc.text;
    std::vector<coloured> out;
    for (const span& s : semantic_spans(text)) {
        // A coloured piece stays on one line: a comment over several lines
        // is one piece per line.
        for (std::size_t from = s.offset, end = s.offset + s.length; from < end;) {
            const std::size_t nl = std::min(text.find('\n', from), end);
            const position a = map.at(from);
            const position b = map.at(nl, true);
            if (b.character > a.character)
                out.push_back({a, b.character - a.character, s.kind});
            from = nl + 1;
        }
    }
    return out;
}

std::vector<code_action> code_actions_for(const snapshot& doc, const check_result& result, range at,
                                          const std::optional<std::vector<std::string>>& only, bool client_writes_files)
{
    const file_report& report = result.report;
    const position_map map = doc.positions();
    const std::size_t from = map.offset(at.start);
    const std::size_t to = map.offset(at.end);
    std::vector<code_action> actions;
    if (wanted(only, quickfix_kind) && std::min(at.start.line, at.end.line) == 0) {
        for (const file_note& note : result.file_notes) {
            code_action action{std::string(note.fix_title), quickfix_kind, {shown_of_file(note)}, true, {}, {}};
            if (note.settings) {
                if (!client_writes_files)
                    continue;
                action.write_file = note.settings;
            } else {
                const std::vector<edit> letters = safe_edits(doc.text, report, code::non_ascii_byte);
                if (letters.empty())
                    continue;
                action.edits = text_edits(doc, letters);
            }
            actions.push_back(std::move(action));
        }
    }
    if (wanted(only, quickfix_kind)) {
        position_map diagnostic_map = doc.positions();
        for (const diagnostic& d : report.diagnostics) {
            const byte_span s = span_of(d);
            if (s.begin > std::max(from, to) || std::min(from, to) > s.end)
                continue;
            for (quick_fix& f : quick_fixes(d, doc.text))
                actions.push_back({std::move(f.title),
                                   quickfix_kind,
                                   {shown_in_text(diagnostic_map, d)},
                                   f.preferred,
                                   std::nullopt,
                                   text_edits(doc, f.edits)});
        }
    }
    if (wanted(only, fix_all_kind)) {
        const std::vector<edit> all = safe_edits(doc.text, report);
        if (!all.empty())
            actions.push_back({"Fix all safely fixable trl-check problems",
                               fix_all_kind,
                               {},
                               false,
                               std::nullopt,
                               text_edits(doc, all)});
    }
    return actions;
}

} // namespace trl::lsp
