#include "checker/trl-check/lsp/protocol.h"

#include <utility>

#include "common/version.h"

namespace trl::lsp {

namespace {

// Numbers of the protocol.
constexpr int severity_error = 1;
constexpr int severity_warning = 2;
constexpr int completion_kind_keyword = 14;
constexpr int symbol_kind_string = 15; // a turn is a stretch of text
constexpr int sync_incremental = 2;    // didChange sends the ranges changed

// The semantic token type of each span_kind, in its order.
constexpr const char* span_type_names[] = {"namespace", "keyword", "comment", "parameter", "operator"};

json position_json(position p)
{
    return {{"line", p.line}, {"character", p.character}};
}

json diagnostic_json(const std::string& uri, const shown_diagnostic& d)
{
    const json where = range_json(d.where);
    return {
        {"range", where},
        {"severity", d.entry->warning ? severity_warning : severity_error},
        {"code", d.entry->id},
        {"source", "trl-check"},
        {"message", d.message},
        {"relatedInformation", json::array({{{"location", {{"uri", uri}, {"range", where}}}, {"message", d.velmar}}})}};
}

json diagnostics_json(const std::string& uri, const std::vector<shown_diagnostic>& diagnostics)
{
    json out = json::array();
    for (const shown_diagnostic& d : diagnostics)
        out.push_back(diagnostic_json(uri, d));
    return out;
}

// The arguments of write_file_command: the settings and the document.
json write_file_arguments(const std::string& uri, const file_settings& settings)
{
    json out = {{"uri", uri}};
    if (settings.bomb)
        out["bomb"] = *settings.bomb;
    if (!settings.fileencoding.empty())
        out["fileencoding"] = settings.fileencoding;
    if (!settings.fileformat.empty())
        out["fileformat"] = settings.fileformat;
    return json::array({out});
}

} // namespace

position read_position(const json& p)
{
    const json& line = p.at("line");
    const json& character = p.at("character");
    if (!line.is_number_unsigned() || !character.is_number_unsigned())
        throw rpc_error(error_code::invalid_params, "a position's line and character are numbers from 0 up");
    return {line.get<std::size_t>(), character.get<std::size_t>()};
}

range read_range(const json& r)
{
    const position start = read_position(r.at("start"));
    return {start, read_position(r.at("end"))};
}

std::string take_text(json& text, bool restore)
{
    std::string out = std::move(text.get_ref<std::string&>());
    if (restore)
        restore_bytes(out);
    return out;
}

text_change take_change(json& change, bool restore)
{
    text_change out;
    out.text = take_text(change.at("text"), restore);
    if (change.contains("range"))
        out.where = read_range(change.at("range"));
    return out;
}

std::optional<std::vector<std::string>> read_kinds(const json& only)
{
    if (!only.is_array())
        return std::nullopt;
    std::vector<std::string> kinds;
    for (const json& k : only)
        if (k.is_string())
            kinds.push_back(k.get<std::string>());
    return kinds;
}

client_settings read_client(const json& params)
{
    client_settings out;
    for (const json& e : params.value("/capabilities/general/positionEncodings"_json_pointer, json::array()))
        if (e == "utf-8")
            out.units = encoding::utf8;
    for (const json& c : params.value("/initializationOptions/clientCommands"_json_pointer, json::array()))
        if (c.is_string() && c.get_ref<const std::string&>() == write_file_command)
            out.writes_files = true;
    out.name = params.value("/clientInfo/name"_json_pointer, std::string("a client"));
    return out;
}

json initialize_result(encoding units)
{
    return {
        {"capabilities",
         {{"positionEncoding", encoding_name(units)},
          {"textDocumentSync", {{"openClose", true}, {"change", sync_incremental}, {"save", {{"includeText", false}}}}},
          {"hoverProvider", true},
          {"completionProvider", {{"triggerCharacters", {"<"}}}},
          {"documentSymbolProvider", true},
          {"codeActionProvider", {{"codeActionKinds", {quickfix_kind, fix_all_kind}}}},
          {"semanticTokensProvider", {{"legend", semantic_tokens_legend()}, {"full", true}}}}},
        {"serverInfo", {{"name", "trl-check"}, {"version", QUENDA_TOOLS_VERSION}}}};
}

json range_json(const range& r)
{
    return {{"start", position_json(r.start)}, {"end", position_json(r.end)}};
}

json published_diagnostics(const std::string& uri, std::optional<long> version,
                           const std::vector<shown_diagnostic>& diagnostics)
{
    json out = {{"uri", uri}, {"diagnostics", diagnostics_json(uri, diagnostics)}};
    if (version)
        out["version"] = *version;
    return out;
}

json hover_json(const std::optional<hover_text>& hover)
{
    if (!hover)
        return nullptr;
    return {{"contents", {{"kind", "markdown"}, {"value", hover->markdown}}}, {"range", range_json(hover->where)}};
}

json completion_json(const std::vector<completion>& items)
{
    json out = json::array();
    for (const completion& c : items)
        out.push_back({{"label", c.tag},
                       {"kind", completion_kind_keyword},
                       {"detail", c.detail},
                       {"filterText", c.tag},
                       {"textEdit", {{"range", range_json(c.typed)}, {"newText", c.tag}}}});
    return {{"isIncomplete", false}, {"items", std::move(out)}};
}

json symbols_json(const std::vector<turn_symbol>& turns)
{
    json out = json::array();
    for (const turn_symbol& t : turns)
        out.push_back({{"name", t.name},
                       {"detail", t.detail},
                       {"kind", symbol_kind_string},
                       {"range", range_json(t.whole)},
                       {"selectionRange", range_json(t.identification)}});
    return out;
}

json semantic_tokens_json(const std::vector<coloured>& pieces)
{
    // Five numbers a piece: its line and start from the previous piece's,
    // its length, its type and no modifiers.
    json::array_t data;
    data.reserve(pieces.size() * 5);
    position last;
    for (const coloured& c : pieces) {
        const position a = c.start;
        for (const std::size_t n :
             {a.line - last.line, a.line == last.line ? a.character - last.character : a.character, c.length,
              static_cast<std::size_t>(c.kind), std::size_t{0}})
            data.emplace_back(n);
        last = a;
    }
    return {{"data", std::move(data)}};
}

json semantic_tokens_legend()
{
    return {{"tokenTypes", span_type_names}, {"tokenModifiers", json::array()}};
}

json code_actions_json(const std::string& uri, const std::vector<code_action>& actions)
{
    json out = json::array();
    for (const code_action& a : actions) {
        json action = {{"title", a.title}, {"kind", a.kind}};
        if (!a.diagnostics.empty())
            action["diagnostics"] = diagnostics_json(uri, a.diagnostics);
        if (a.preferred)
            action["isPreferred"] = true;
        if (a.write_file) {
            action["command"] = {{"title", a.title},
                                 {"command", write_file_command},
                                 {"arguments", write_file_arguments(uri, *a.write_file)}};
        } else {
            json changes = json::array();
            for (const text_edit& e : a.edits)
                changes.push_back({{"range", range_json(e.where)}, {"newText", e.new_text}});
            action["edit"] = {{"changes", {{uri, std::move(changes)}}}};
        }
        out.push_back(std::move(action));
    }
    return out;
}

} // namespace trl::lsp
