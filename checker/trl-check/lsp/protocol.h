// The Language Server Protocol's JSON on one side, the server's plain values
// on the other: every conversion between them (positions, ranges, text
// changes, the client's settings, diagnostics, hover, completion, symbols,
// semantic tokens and code actions) is here, so that the document store
// and the features know nothing of JSON.  What the client sends that is
// not what the protocol says is an rpc_error invalid_params or a
// json::exception, which the server answers as bad params.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/features.h"
#include "checker/trl-check/lsp/positions.h"
#include "checker/trl-check/lsp/transport.h"

namespace trl::lsp {

// From the client.

// A Position ({"line": n, "character": n}) and a Range ({"start", "end"}).
position read_position(const json& p);
range read_range(const json& r);

// A text of a message, taken out of it: with `restore`, the bytes that
// protect_bytes marked are given back (transport.h).
std::string take_text(json& text, bool restore);

// An entry of a didChange's contentChanges, its text taken as take_text
// does.
text_change take_change(json& change, bool restore);

// A CodeActionContext's "only": the kinds wanted (its strings); none when
// it is not a list.
std::optional<std::vector<std::string>> read_kinds(const json& only);

// What the client says of itself in initialize's params.
struct client_settings {
    encoding units = encoding::utf16; // UTF-8 when it offers it
    bool writes_files = false;        // it runs write_file_command
    std::string name;
};
client_settings read_client(const json& params);

// To the client.

// initialize's result: what the server does, positions in `units`.
json initialize_result(encoding units);

json range_json(const range& r);

// publishDiagnostics' params: the diagnostics of version `version` of a
// document (no version: of none, as when it is closed).
json published_diagnostics(const std::string& uri, std::optional<long> version,
                           const std::vector<shown_diagnostic>& diagnostics);

json hover_json(const std::optional<hover_text>& hover);
json completion_json(const std::vector<completion>& items);
json symbols_json(const std::vector<turn_symbol>& turns);
// The semantic tokens of what is coloured, and their legend.
json semantic_tokens_json(const std::vector<coloured>& pieces);
json semantic_tokens_legend();
json code_actions_json(const std::string& uri, const std::vector<code_action>& actions);

} // namespace trl::lsp
