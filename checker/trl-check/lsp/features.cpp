#include "checker/trl-check/lsp/features.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "checker/trl-check/lsp/analysis.h"
#include "checker/trl-check/lsp/fixes.h"

namespace trl::lsp {

namespace {

// Protocol numbers.
constexpr int severity_error = 1;
constexpr int severity_warning = 2;
constexpr int completion_kind_keyword = 14;
constexpr int symbol_kind_string = 15; // a turn is a stretch of text

json position_json(position p)
{
    return {{"line", p.line}, {"character", p.character}};
}

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

// A diagnostic of the checker at `range`, with one hint more when `advice`
// is not empty.
json said_json(const snapshot& doc, const json& range, const diagnostic& d, std::string_view advice)
{
    const code_info& entry = info(d.kind);
    std::string message = message_of(d);
    if (!advice.empty())
        (message += "\nhint: ") += advice;
    const std::string velmar = std::string("velmar: ") + (entry.warning ? "parser stack overflow" : "parse error") +
                               " in line " + std::to_string(d.velmar_line);
    return {{"range", range},
            {"severity", entry.warning ? severity_warning : severity_error},
            {"code", entry.id},
            {"source", "trl-check"},
            {"message", std::move(message)},
            {"relatedInformation",
             json::array({{{"location", {{"uri", doc.uri}, {"range", range}}}, {"message", velmar}}})}};
}

json diagnostic_json(const snapshot& doc, position_map& map, const diagnostic& d)
{
    const byte_span s = span_of(d);
    return said_json(doc, range_json(map, s.begin, s.end), d, {});
}

// Where what the editor hides of a file is said: the start of the text.
json start_range()
{
    const json start = position_json({});
    return {{"start", start}, {"end", start}};
}

json note_json(const snapshot& doc, const file_note& note)
{
    return said_json(doc, start_range(), note.said, note.advice);
}

bool wanted(const json& only, std::string_view kind)
{
    if (!only.is_array())
        return true;
    for (const json& k : only)
        if (k.is_string()) {
            const std::string& w = k.get_ref<const std::string&>();
            if (kind == w || (kind.starts_with(w) && kind.size() > w.size() && kind[w.size()] == '.'))
                return true;
        }
    return false;
}

json workspace_edit(const snapshot& doc, const std::vector<edit>& edits)
{
    position_map map = doc.positions();
    json changes = json::array();
    for (const edit& e : edits)
        changes.push_back({{"range", range_json(map, e.offset, e.offset + e.length)}, {"newText", e.replacement}});
    return {{"changes", {{doc.uri, changes}}}};
}

} // namespace

byte_span span_of(const diagnostic& d)
{
    return {d.span_begin, d.span_end};
}

json range_json(position_map& map, std::size_t begin, std::size_t end)
{
    const position from = map.at(begin);
    const position to = map.at(std::max(begin, end), end > begin);
    return {{"start", position_json(from)}, {"end", position_json(to)}};
}

json diagnostics_json(const snapshot& doc, const check_result& result)
{
    position_map map = doc.positions();
    json out = json::array();
    for (const file_note& note : result.file_notes)
        out.push_back(note_json(doc, note));
    for (const diagnostic& d : result.report.diagnostics)
        out.push_back(diagnostic_json(doc, map, d));
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

json hover_json(const snapshot& doc, const check_result& result, position at)
{
    position_map map = doc.positions();
    const std::size_t offset = map.offset(at);
    std::vector<std::string> parts;
    std::set<code> explained;
    json range;
    if (offset == 0) {
        for (const file_note& note : result.file_notes) {
            if (range.is_null())
                range = start_range();
            if (explained.insert(note.said.kind).second)
                parts.push_back(explanation_markdown(info(note.said.kind)));
        }
    }
    for (const diagnostic& d : result.report.diagnostics) {
        const byte_span s = span_of(d);
        const bool inside = s.begin == s.end ? offset == s.begin : s.begin <= offset && offset < s.end;
        if (!inside)
            continue;
        if (range.is_null())
            range = range_json(map, s.begin, s.end);
        if (explained.insert(d.kind).second)
            parts.push_back(explanation_markdown(info(d.kind)));
    }
    const scanned_token t = token_at(doc.text, offset);
    if (t.code != 0) {
        if (const tag_info* tag = find_tag(std::string_view(doc.text).substr(t.offset, t.length))) {
            if (range.is_null())
                range = range_json(map, t.offset, t.offset + t.length);
            parts.push_back("### `" + tag->text + "`\n\n" + markdown_text(tag->kind) + '\n');
        }
    }
    if (parts.empty())
        return nullptr;
    std::string value;
    for (const std::string& p : parts)
        value += (value.empty() ? "" : "\n---\n\n") + p;
    return {{"contents", {{"kind", "markdown"}, {"value", value}}}, {"range", range}};
}

json completion_json(const snapshot& doc, position at)
{
    position_map map = doc.positions();
    const std::size_t offset = map.offset(at);
    const std::size_t line_start = doc.lines.start(doc.lines.line_of(offset));
    // The tag being typed: from a '<' on this line, with no blank or '>'
    // since.
    std::size_t open = offset;
    while (open > line_start && doc.text[open - 1] != '<' && doc.text[open - 1] != ' ' && doc.text[open - 1] != '>')
        --open;
    json items = json::array();
    if (open > line_start && doc.text[open - 1] == '<') {
        --open;
        const std::string_view typed = std::string_view(doc.text).substr(open, offset - open);
        const json range = range_json(map, open, offset);
        for (const tag_info& tag : known_tags())
            if (std::string_view(tag.text).starts_with(typed))
                items.push_back({{"label", tag.text},
                                 {"kind", completion_kind_keyword},
                                 {"detail", tag.kind},
                                 {"filterText", tag.text},
                                 {"textEdit", {{"range", range}, {"newText", tag.text}}}});
    }
    return {{"isIncomplete", false}, {"items", items}};
}

json document_symbols_json(const snapshot& doc)
{
    position_map map = doc.positions();
    json out = json::array();
    for (const trl::turn& t : read_turns(doc.text)) {
        // Ascending offsets for the map: the selection first.
        const json selection = range_json(map, t.begin, t.identification_end);
        out.push_back({{"name", t.id.text()},
                       {"detail", t.id.speaker()},
                       {"kind", symbol_kind_string},
                       {"range", range_json(map, t.begin, t.end)},
                       {"selectionRange", selection}});
    }
    return out;
}

json semantic_tokens_legend()
{
    return {{"tokenTypes", span_type_names}, {"tokenModifiers", json::array()}};
}

json semantic_tokens_json(const snapshot& doc)
{
    position_map map = doc.positions();
    const std::string_view text = doc.text;
    const std::vector<span> spans = semantic_spans(text);
    json::array_t data;
    data.reserve(spans.size() * 5);
    position last;
    for (const span& s : spans) {
        // A token of the protocol stays on one line: a comment over
        // several lines is one token per line.
        for (std::size_t from = s.offset, end = s.offset + s.length; from < end;) {
            const std::size_t nl = std::min(text.find('\n', from), end);
            const position a = map.at(from);
            const position b = map.at(nl, true);
            if (b.character > a.character) {
                for (const std::size_t n :
                     {a.line - last.line, a.line == last.line ? a.character - last.character : a.character,
                      b.character - a.character, static_cast<std::size_t>(s.kind), std::size_t{0}})
                    data.emplace_back(n);
                last = a;
            }
            from = nl + 1;
        }
    }
    return {{"data", std::move(data)}};
}

json code_actions_json(const snapshot& doc, const check_result& result, const json& range, const json& only,
                       bool client_writes_files)
{
    const file_report& report = result.report;
    const position_map map = doc.positions();
    const position start = read_position(range.at("start"));
    const position end = read_position(range.at("end"));
    const std::size_t from = map.offset(start);
    const std::size_t to = map.offset(end);
    json actions = json::array();
    position_map diagnostic_map = doc.positions();
    if (wanted(only, quickfix_kind) && std::min(start.line, end.line) == 0) {
        for (const file_note& note : result.file_notes) {
            json action = {{"title", note.fix_title},
                           {"kind", quickfix_kind},
                           {"diagnostics", json::array({note_json(doc, note)})},
                           {"isPreferred", true}};
            if (!note.settings.is_null()) {
                if (!client_writes_files)
                    continue;
                json settings = note.settings;
                settings["uri"] = doc.uri;
                action["command"] = {
                    {"title", note.fix_title}, {"command", write_file_command}, {"arguments", {settings}}};
            } else {
                const std::vector<edit> letters = safe_edits(doc.text, report, code::non_ascii_byte);
                if (letters.empty())
                    continue;
                action["edit"] = workspace_edit(doc, letters);
            }
            actions.push_back(std::move(action));
        }
    }
    if (wanted(only, quickfix_kind)) {
        for (const diagnostic& d : report.diagnostics) {
            const byte_span s = span_of(d);
            if (s.begin > std::max(from, to) || std::min(from, to) > s.end)
                continue;
            for (const quick_fix& f : quick_fixes(d, doc.text)) {
                json action = {{"title", f.title},
                               {"kind", quickfix_kind},
                               {"diagnostics", json::array({diagnostic_json(doc, diagnostic_map, d)})},
                               {"edit", workspace_edit(doc, f.edits)}};
                if (f.preferred)
                    action["isPreferred"] = true;
                actions.push_back(std::move(action));
            }
        }
    }
    if (wanted(only, fix_all_kind)) {
        const std::vector<edit> all = safe_edits(doc.text, report);
        if (!all.empty())
            actions.push_back({{"title", "Fix all safely fixable trl-check problems"},
                               {"kind", fix_all_kind},
                               {"edit", workspace_edit(doc, all)}});
    }
    return actions;
}

} // namespace trl::lsp
