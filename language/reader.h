// The reader: a transliteration as turns and elements, read in one parse
// with velmar's grammar tables and the shared parse engine.
//
// For each turn it gives its identification (turn_id.h), its byte range
// and its elements in reading order: lexical elements (words, spelled
// letters, foreign words, noise words, disconnected words) with their
// letters and the marks written around them, events, pauses, silences,
// repairs, false starts and pronunciation comments, each with its kind,
// its byte range and the element that holds it.  The letters of a lexical
// element are the ones velmar echoes for it, each umlaut with its vowel
// ("M\"uller", where velmar echoes "M\"ller"); the line velmar echoes is
// kept beside them.
//
// A text with errors is read up to its first error.  With
// read_options::recover the reader goes on after each error with the next
// turn, as trl-check does, so that it can give the turns of a text that an
// editor is changing: a turn whose identification was read comes with
// complete = false when its text has an error.
//
// A reader object holds what one thread needs (the parse stack, the turn
// being read) and may read any number of texts one after the other;
// objects on different threads are independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "turn_id.h" // beside it, here and where it is installed

namespace trl {

// What an element is.  The lexical elements come first.
enum class kind : std::uint8_t {
    word,            // a word (also with initial and final marks)
    spelled,         // spelled letters only ("$B", "$B-$Ks")
    foreign,         // a word marked with its language ("<*ENG>hello")
    noise_word,      // a word in a noise bracket ("<:<Lachen> prima:>")
    disconnected,    // a word broken off and resumed after an interruption ("aus_ <A> _machen")
    hesitation,      // a hesitation tag ("<ah>")
    speaker_noise,   // a speaker-noise tag ("<Husten>"), as an event or in a noise bracket
    technical_noise, // a technical-noise tag ("<#Klopfen>"), likewise
    breathing,       // "<A>" or "<B>"
    event,           // "<%>"
    pause,           // "<P>", "<P>2@>"
    silence,         // "<*T>" between elements
    repair,          // "+/ ... /+"
    false_start,     // "-/ ... /-"
    pronunciation,   // a pronunciation comment "<!1 ...>" after a lexical element
};
inline constexpr int kind_count = static_cast<int>(kind::pronunciation) + 1;

constexpr bool is_lexical(kind k)
{
    return k <= kind::disconnected;
}

// The name of a kind as programs write it: "word", "noise-word",
// "false-start", ...
std::string_view kind_name(kind k);
// The kind of a name; nothing when it names none.
std::optional<kind> kind_named(std::string_view name);

// Characters in a turn's store (turn::text).
struct piece {
    std::uint32_t at = 0;
    std::uint32_t size = 0;
};

struct element {
    kind what = kind::word;
    std::size_t begin = 0; // its bytes in the text: [begin, end)
    std::size_t end = 0;
    int parent = -1; // the turn's element that holds it (repair, disconnected or noise word); -1: none
    // Lexical elements: the letters, as written (an umlaut with its vowel:
    // "M\"uller"; no length marks, apostrophes, hyphens or tags), and the
    // line velmar echoes for it.  The two differ by the umlauts' vowels,
    // and for a disconnected word interrupted by a lexical element: velmar
    // echoes the letters before the interruption on the line of the first
    // element in it.  Pronunciation comments: their words as written.
    piece letters;
    piece echo; // the letters of velmar's line as written: the line is echo_form(text(echo))
    piece tag;  // events, noise tags, pauses, silences: the tag ("<ah>", "<P>", "<*T>"); pronunciation comments: their
                // digit
    piece init_mark;           // lexical elements: the initial tag as written ("*", "<*ENG>", "<T_>", "#", "~", "--")
    piece final_mark;          // lexical elements: the final tag ("=", "%", "--", "<_T>")
    piece language;            // foreign words: the language ("ENG")
    piece speaker_mark;        // words, events, pauses: "@1" before or "1@" after
    std::uint16_t spelled = 0; // spelled letters in a lexical element
};

// One turn.
struct turn {
    turn_id id;            // "g071ach1_001_ABC_004711", and the language of its marker
    std::size_t begin = 0; // from the identification to the end of the empty line: [begin, end)
    std::size_t end = 0;
    std::size_t identification_end = 0; // just after the identification's ':'
    bool complete = false;              // read to its end without an error
    std::vector<element> elements;      // in reading order: by begin, an element before those it holds
    std::string chars;                  // where the elements' pieces are
    // A turn read in parts (read_options::elements_per_part): the part's
    // number, from 0, and whether it is the turn's last.  A part before the
    // last has end = 0 and complete = true (no error so far); a reading
    // that stops at an error without recover gives no last part.  Each part
    // holds the next elements in reading order, every element with the one
    // that holds it (parent counts within the part).
    std::uint32_t part = 0;
    bool last_part = true;

    std::string_view text(piece p) const { return {chars.data() + p.at, p.size}; }
};

struct read_options {
    // After an error, skip to the end of the turn and go on with the next.
    bool recover = false;
    // > 0: a turn is given in parts, one as soon as it holds this many
    // elements and the elements read so far are complete (nothing is open
    // that could hold them: a part ends after a lexical element outside
    // repairs and false starts).  A long turn then takes memory for a part
    // at a time rather than for all its elements.  0: whole turns.
    std::size_t elements_per_part = 0;
};

struct read_error {
    std::size_t offset = 0; // the offending token: its first byte, or the text's size at its end
    std::size_t length = 0;
    long long velmar_line = 0; // the line velmar reports it in
};

// The largest text a reader reads: every place in it fits the parse
// stack's values.
inline constexpr std::size_t max_text_size = 0x7fffffff;

struct read_result {
    long turns = 0; // turns given to the caller, complete or not, each once
    int errors = 0; // syntax errors met
    std::optional<read_error> first_error;
    bool too_large = false; // longer than max_text_size: not read

    bool ok() const { return errors == 0 && !too_large; }
};

class reader {
public:
    reader();
    ~reader();
    reader(const reader&) = delete;
    reader& operator=(const reader&) = delete;

    // Reads `text`, calling on_turn for each turn read, in order.  The turn
    // is the reader's and is reused after the call.
    read_result read(std::string_view text, const std::function<void(const turn&)>& on_turn,
                     const read_options& options = {});
    // The same reading by the engine's loop over the tables rather than by
    // the code the parser generator writes, which takes the letters of a
    // word as runs: the tests compare the two.
    read_result read_over_tables(std::string_view text, const std::function<void(const turn&)>& on_turn,
                                 const read_options& options = {});

private:
    template <bool over_tables>
    read_result read_with(std::string_view text, const std::function<void(const turn&)>& on_turn,
                          const read_options& options);

    struct state;
    std::unique_ptr<state> state_;
};

// Every turn of a text at once.
struct document {
    std::vector<turn> turns;
    read_result result;
};
document read_document(std::string_view text, const read_options& options = {});

// The written letters in other forms: the echo (each umlaut's vowel left
// out, as velmar writes it), and UTF-8 ("a "o "u "A "O "U "s as ä ö ü Ä Ö
// Ü ß).
std::string echo_form(std::string_view letters);
std::string utf8_form(std::string_view letters);
void append_echo_form(std::string& out, std::string_view letters);
void append_utf8_form(std::string& out, std::string_view letters);

} // namespace trl
