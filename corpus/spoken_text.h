// A version-2 recording's orthographic text against the words of the turn
// it is paired with: a misnamed recording, or a text edited after the
// recording, shows as words that differ.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corpus {

// A word as the comparison sees it: its letters and digits alone, in
// small letters, each umlaut however it is spelled ("u, ü, ue; "s, ß, ss;
// in UTF-8 or Latin-1) as two ASCII letters.  Empty for a word with no
// letter (punctuation) or in angle brackets (a tag).
std::string comparable(std::string_view word);

// The words that differ: from the first word that differs to the last,
// as each text writes them.
struct text_difference {
    std::string recording;
    std::string turn;
};

// Whether the texts say the same words, letter case, punctuation, tags,
// marks and the spelling of umlauts aside; if not, where they differ.
std::optional<text_difference> compare_words(std::string_view recording_text, std::string_view turn_words);

} // namespace corpus
