// The answers of the language server, as protocol JSON, from a document's
// snapshot and the checker's report on it.
#pragma once

#include <cstddef>
#include <string>

#include "language/catalogue.h"
#include "language/check.h"
#include "checker/trl-check/lsp/check_worker.h"
#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/transport.h"

namespace trl::lsp {

// The bytes a diagnostic covers in its text: the offending text as the
// checker gives it (diagnostic::span_begin and span_end; a whole tag for an
// unknown tag); every conversion to a range goes through here.
struct byte_span {
    std::size_t begin = 0;
    std::size_t end = 0;
};
byte_span span_of(const diagnostic& d);

// A Range of the protocol for the bytes [begin, end).
json range_json(position_map& map, std::size_t begin, std::size_t end);

// The Diagnostic[] of a check: first what the editor hides of the file, on
// the first line (at its start), then the report's.
json diagnostics_json(const snapshot& doc, const check_result& result);

// The --explain text of a code as Markdown: its first line a heading, the
// examples in code blocks.
std::string explanation_markdown(const code_info& entry);

// Answers of requests; `result` is the check of `doc`.
json hover_json(const snapshot& doc, const check_result& result, position at);
json completion_json(const snapshot& doc, position at);
json document_symbols_json(const snapshot& doc);
json semantic_tokens_json(const snapshot& doc);
json semantic_tokens_legend();

// The code action kinds the server offers.
inline constexpr const char* quickfix_kind = "quickfix";
inline constexpr const char* fix_all_kind = "source.fixAll.trl-check";

// The command with which a client that says it can (in its
// initializationOptions, "clientCommands") writes a document's file with
// the settings given: its one argument is {"uri": ..., and "bomb",
// "fileformat" and "fileencoding" as Neovim names them}.
inline constexpr const char* write_file_command = "trl-check.writeFile";

// The CodeAction[] for a range of a document; `only` is the context's list
// of kinds wanted (null: any).  What the editor hides of the file is mended
// by a range that touches the first line: by write_file_command when the
// client runs it, by an edit of the letters of a Latin-1 file.
json code_actions_json(const snapshot& doc, const check_result& result, const json& range, const json& only,
                       bool client_writes_files);

} // namespace trl::lsp
