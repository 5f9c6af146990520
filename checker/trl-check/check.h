// The checker of trl-check: one transliteration in memory, every error
// found, each with its position, what was found and expected, the
// construct being read, a code and hints.
//
// It runs velmar's grammar tables with the shared parse engine over the
// record-keeping scanner, so the first error it finds is the token at which
// velmar stops.  After an error it skips to the end of the turn (the next
// empty line) and goes on with the next turn.  What it finds at a token
// (finding.h) is said in words by wording.h.  A checker object holds what
// one thread needs (the parse stack) and may check any number of texts one
// after the other; objects on different threads are independent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "parse_engine.h"

namespace trl_check {

struct diagnostic {
    code kind = code::unexpected_token;
    // The offending token: its first byte and length in the text; at the
    // end of the input, the text's size and 0.
    std::size_t offset = 0;
    std::size_t length = 0;
    long line = 0;                // physical line of offset, 1-based
    long column = 0;              // byte column of offset, 1-based
    std::size_t line_start = 0;   // offset of the first byte of that line
    long long velmar_line = 0;    // the line velmar prints for it
    std::string found;            // the token's text, bytes escaped (text::escape_bytes)
    std::string message;
    std::vector<std::string_view> expected;   // in words, in the grammar's order
    std::string_view context;                 // the construct being read, in words
    std::vector<std::string> hints;
};

struct file_report {
    std::vector<diagnostic> diagnostics;   // in the order of the text
    long turns = 0;                        // turns begun
    int errors = 0;
    int warnings = 0;
    bool stopped = false;   // the error limit was reached before the end
};

struct check_options {
    int max_errors = 100;   // errors per text before the check stops; 0: no limit
};

class checker {
public:
    checker();
    file_report check(std::string_view text, const check_options& options = {});

private:
    // The stack of the parse, kept from text to text.
    std::vector<trl_engine::entry> stack_;
};

} // namespace trl_check
