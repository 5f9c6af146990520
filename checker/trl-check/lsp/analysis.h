// What the server reads from a text besides its diagnostics: the tokens of
// velmar's scanner, the tags the scanner knows, the turns, and the spans
// an editor colours.  Everything comes from the scanner's generated
// automaton and the grammar's tables (the turns from the reader, which
// quenda-corpus reads with too), so that a change to lex.trl.l or velmar.y
// reaches the editor without a second list to keep in step.
//
// The known tags come from the checker (tags.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "language/reader.h"
#include "language/tags.h"

namespace trl::lsp {

using trl::find_tag;
using trl::known_tags;
using trl::tag_info;

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

// The turns of a text as the reader reads them (language/reader.h): each from
// its identification to its empty line (or the text's end), with the end of
// its identification.  The reader goes on after an error with the next turn,
// so a text being edited still has all its turns but those whose
// identification is malformed.
std::vector<trl::turn> read_turns(std::string_view text);

// What an editor colours (protocol.cpp names the semantic token type of
// each).
enum class span_kind { identification, tag, comment, speaker_mark, punctuation };

struct span {
    std::size_t offset = 0;
    std::size_t length = 0;
    span_kind kind = span_kind::tag;
};

// In the order of the text, not overlapping.  Comments ("; ..." lines and
// "<; ... >") are what the scanner skips between its tokens.
std::vector<span> semantic_spans(std::string_view text);

} // namespace trl::lsp
