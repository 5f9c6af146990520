// The answers of the language server, as plain values, from a document's
// snapshot and the checker's report on it (protocol.h writes them as the
// protocol's JSON).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/catalogue.h"
#include "language/check.h"
#include "checker/trl-check/lsp/analysis.h"
#include "checker/trl-check/lsp/check_worker.h"
#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/positions.h"

namespace trl::lsp {

// The bytes a diagnostic covers in its text: the offending text as the
// checker gives it (diagnostic::span_begin and span_end; a whole tag for an
// unknown tag); every conversion to a range goes through here.
struct byte_span {
    std::size_t begin = 0;
    std::size_t end = 0;
};
byte_span span_of(const diagnostic& d);

// The range of the characters that the bytes [begin, end) touch.
range range_of(position_map& map, std::size_t begin, std::size_t end);

// A diagnostic as the editor shows it.
struct shown_diagnostic {
    range where;
    const code_info* entry = nullptr; // its code, and whether it is a warning
    std::string message;              // the checker's, each hint on a line of its own
    std::string velmar;               // velmar's message of the text ("velmar: parse error in line 3")
};

// The diagnostics of a check: first what the editor hides of the file, on
// the first line (at its start), then the report's.
std::vector<shown_diagnostic> diagnostics_of(const snapshot& doc, const check_result& result);

// The --explain text of a code as Markdown: its first line a heading, the
// examples in code blocks.
std::string explanation_markdown(const code_info& entry);

// What is said at a position: the explanations of the diagnostics there,
// and what a tag there is.
struct hover_text {
    std::string markdown;
    range where; // of the first thing explained
};
std::optional<hover_text> hover_at(const snapshot& doc, const check_result& result, position at);

// A tag that may be completed at a position.
struct completion {
    std::string_view tag;    // its text
    std::string_view detail; // what it is
    range typed;             // the part of it typed, which it replaces
};
std::vector<completion> completions_at(const snapshot& doc, position at);

// The outline: the turns.
struct turn_symbol {
    std::string name;   // the identification
    std::string detail; // the speaker
    range whole;
    range identification;
};
std::vector<turn_symbol> turn_symbols(const snapshot& doc);

// What an editor colours, in the order of the text, each piece on one line.
struct coloured {
    position start;
    std::size_t length = 0; // in code units
    span_kind kind = span_kind::tag;
};
std::vector<coloured> colours_of(const snapshot& doc);

// The code action kinds the server offers.
inline constexpr std::string_view quickfix_kind = "quickfix";
inline constexpr std::string_view fix_all_kind = "source.fixAll.trl-check";

// The command with which a client that says it can (in its
// initializationOptions, "clientCommands") writes a document's file with
// the settings given: its one argument is {"uri": ..., and the settings}.
inline constexpr std::string_view write_file_command = "trl-check.writeFile";

struct text_edit {
    range where;
    std::string new_text;
};

// A change offered: edits of the document, or the file written with other
// settings (by write_file_command).
struct code_action {
    std::string title;
    std::string_view kind;
    std::vector<shown_diagnostic> diagnostics; // what it mends
    bool preferred = false;
    std::optional<file_settings> write_file;
    std::vector<text_edit> edits; // when it does not write the file
};

// The code actions for a range of a document; `only` is the list of kinds
// wanted (none: any).  What the editor hides of the file is mended by a
// range that touches the first line: by write_file_command when the client
// runs it, by an edit of the letters of a Latin-1 file.
std::vector<code_action> code_actions_for(const snapshot& doc, const check_result& result, range at,
                                          const std::optional<std::vector<std::string>>& only,
                                          bool client_writes_files);

} // namespace trl::lsp
