// What the server reads from a text besides its diagnostics: the tokens of
// velmar's scanner, the tags the scanner knows, the turns, and the spans
// an editor colours.  Everything comes from the scanner's generated
// automaton and the grammar's tables, so that a change to lex.trl.l or
// velmar.y reaches the editor without a second list to keep in step.
//
// The known tags come from the checker (tags.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tags.h"

namespace trl_check::lsp {

using trl_check::find_tag;
using trl_check::known_tags;
using trl_check::tag_info;

// A token of the scanner: its code (as velmar.tokens.h and single bytes)
// and its bytes in the text.
struct scanned_token {
    int code = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The token that holds the byte at `offset`; code 0 when none does (the
// offset is in a comment, a skipped line end, or past the end).
scanned_token token_at(std::string_view text, std::size_t offset);

// A turn as the grammar begins it: at the first token of the text or the
// first after an empty line, where the tokens form a turn identification
// (the parser's tables take them, up to the ':' and its blank).  It ends
// with its empty line (or the text).  A turn whose identification is
// malformed is no turn here.
struct turn_info {
    std::size_t begin = 0;
    std::size_t identification_end = 0; // after the ':'
    std::size_t end = 0;                // after the empty line, or the text's end
    std::string_view name;              // "g012abc3_001_ABC_000000"
    std::string_view speaker;           // "ABC"
};
std::vector<turn_info> find_turns(std::string_view text);

// What an editor colours, and the semantic token type it is reported as.
enum class span_kind { identification, tag, comment, speaker_mark, punctuation };
inline constexpr const char* span_type_names[] = {"namespace", "keyword", "comment", "parameter", "operator"};

struct span {
    std::size_t offset = 0;
    std::size_t length = 0;
    span_kind kind = span_kind::tag;
};

// In the order of the text, not overlapping.  Comments ("; ..." lines and
// "<; ... >") are what the scanner skips between its tokens.
std::vector<span> semantic_spans(std::string_view text);

} // namespace trl_check::lsp
