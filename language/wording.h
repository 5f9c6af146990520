// How trl-check says what the parse found: the code of a finding, what was
// found and what could have come instead in words, the construct being
// read, the message and the hints.  Everything a reader sees of a
// diagnostic except its position is made here, from the finding and the
// text alone.
#pragma once

#include <string>
#include <string_view>

#include "language/catalogue.h"
#include "language/check.h"
#include "language/finding.h"

namespace trl {

// The code of a finding in `source`.
code choose_code(const finding& f, std::string_view source);

// Fills in what `d` says of the finding: its code, severity, the offending
// text (its span and its bytes), the expected terminals and words, the
// context, the message, the hints and a suggestion.  The position fields
// are left as they are.  `lean`: no message, hints or expected words.
void word(const finding& f, std::string_view source, diagnostic& d, bool lean = false);

// A terminal of the grammar in words: "a blank", "'<*T>t'", "the end of the
// text".
std::string_view terminal_words(int terminal);

// The bytes of a token in words: "'<Husten>'", "a tab", "byte 0xC3", "an
// empty line", "the end of the text" (no bytes).
std::string found_words(std::string_view bytes);

} // namespace trl
