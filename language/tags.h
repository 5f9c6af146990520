// The tags that velmar's scanner knows, for the checker's messages (an
// unknown tag and its nearest known one) and for the editor integration
// (hover, completion).
//
// Note on the known tags.  The tags are read off the scanner's automaton
// itself: every string from '<' that the automaton accepts, found by
// walking its transitions without going round a loop (a loop is a
// bracketed comment's body, which no tag has), is scanned as a text of its
// own with the real scanner, and is a tag when it comes back as one named
// token that closes its bracket ('>').  Its kind is what the grammar calls
// that token (the "%token NAME CODE "words"" line of velmar.y): the
// HESITATION, SPEAKER_NOISE and TECH_NOISE groups of lex.trl.l come back
// as HSALL, MGER and TGER, "<P>" as PAU, "<A>" as ATM.  This needs no
// build step that reads lex.trl.l a second way, and it lists exactly what
// the scanner takes, character classes included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trl {

// A tag that the scanner knows: its text, its token code, and what the
// grammar calls that token ("a hesitation tag (such as <ah>)").  The text
// is the whole match, so a language marker keeps its blank ("<*tGER> ").
struct tag_info {
    std::string text;
    int token = 0;
    std::string_view kind;
};

// Every known tag, by token and then text.
const std::vector<tag_info>& known_tags();
const tag_info* find_tag(std::string_view text);

// The known tag nearest to a tag written as `written` ("<Hust>"), when
// exactly one is nearest and it is at most 2 edits away.  An edit inserts,
// deletes or replaces one byte; replacing a letter by the same letter in
// the other case counts half, so "<p>" means "<P>" rather than "<e>".
// Null when there is none or several are equally near.
const tag_info* suggest_tag(std::string_view written);

} // namespace trl
