// The answers of the language server, as protocol JSON, from a document's
// snapshot and the checker's report on it.
#pragma once

#include <cstddef>
#include <string>

#include "catalogue.h"
#include "check.h"
#include "document.h"
#include "transport.h"

namespace trl_check::lsp {

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

// The Diagnostic[] of a report.
json diagnostics_json(const snapshot& doc, const file_report& report);

// The --explain text of a code as Markdown: its first line a heading, the
// examples in code blocks.
std::string explanation_markdown(const code_info& entry);

// Answers of requests; `report` is the checker's report on `doc`.
json hover_json(const snapshot& doc, const file_report& report, position at);
json completion_json(const snapshot& doc, position at);
json document_symbols_json(const snapshot& doc);
json semantic_tokens_json(const snapshot& doc);
json semantic_tokens_legend();

// The code action kinds the server offers.
inline constexpr const char* quickfix_kind = "quickfix";
inline constexpr const char* fix_all_kind = "source.fixAll.trl-check";

// The CodeAction[] for a range of a document; `only` is the context's list
// of kinds wanted (null: any).
json code_actions_json(const snapshot& doc, const file_report& report, const json& range, const json& only);

} // namespace trl_check::lsp
