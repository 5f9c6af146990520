// A turn identification as one value.  A turn begins with it:
//
//   g071ach1_001_ABC_004711: <*tGER> ja .
//   ^dialog  ^turn   ^CD-ROM number  ^language marker (optional)
//            number
//               ^speaker code
//
// the dialog name (a small letter, three digits, three small letters, a
// digit), '_', the turn number (three digits), '_', the speaker code (two
// capitals and a capital or a digit), '_', the CD-ROM number (six digits);
// then ':' and a blank, and there may follow a language marker ("<*tGER> ")
// for the whole turn.  The key of a turn is its identification without the
// CD-ROM number ("g071ach1_001_ABC"): recordings are named by it.
//
// The layout is written here once; everything that takes an identification
// apart asks this type.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <optional>
#include <string_view>

namespace trl {

class turn_id {
public:
    // Where each part stands in the identification, and how long it is.
    struct part {
        std::size_t at;
        std::size_t size;
    };
    static constexpr part dialog_part{0, 8};
    static constexpr part number_part{9, 3};
    static constexpr part speaker_part{13, 3};
    static constexpr part cdrom_part{17, 6};
    static constexpr std::size_t size = 23;         // "g071ach1_001_ABC_004711"
    static constexpr std::size_t key_size = 16;     // "g071ach1_001_ABC"
    static constexpr std::size_t language_size = 3; // "GER"

    // An empty value: every byte zero, no language.  The reader's turn has
    // one until its identification is read.
    turn_id() = default;

    // The identification that `identification` is, exactly its 23 bytes,
    // with the language of its marker ("GER" for "<*tGER> "; empty: none).
    // Nothing when either has another shape (a language is three capitals).
    static std::optional<turn_id> parse(std::string_view identification, std::string_view language = {});

    // The identification at the start of a turn's text: its 23 bytes and
    // the ':' after them, and the language of a marker that follows as
    // ": <*tGER> ".  What comes after is not looked at.  Nothing when the
    // text does not begin so (a comment between the parts, say).
    static std::optional<turn_id> read(std::string_view turn_text);

    // Whether a name has the shape of a dialog name ("g071ach1").
    static bool is_dialog_name(std::string_view name);

    std::string_view text() const { return view(part{0, size}); }    // "g071ach1_001_ABC_004711"
    std::string_view dialog() const { return view(dialog_part); }    // "g071ach1"
    std::string_view number() const { return view(number_part); }    // "001"
    std::string_view speaker() const { return view(speaker_part); }  // "ABC"
    std::string_view cdrom() const { return view(cdrom_part); }      // "004711"
    std::string_view key() const { return view(part{0, key_size}); } // "g071ach1_001_ABC"
    // The turn number as a number: 1 for "001".
    int number_value() const
    {
        const char* n = bytes_.data() + number_part.at;
        return (n[0] - '0') * 100 + (n[1] - '0') * 10 + (n[2] - '0');
    }
    // The language of the turn's marker ("GER"), or empty.
    std::string_view language() const
    {
        return bytes_[size] != 0 ? std::string_view(bytes_.data() + size, language_size) : std::string_view();
    }

    // Two values are equal when every part is, the language too; they sort
    // by the identification's bytes, then the language.  (Two turns with
    // one identification are the same turn whatever their languages: compare
    // text() for that.)
    friend bool operator==(const turn_id&, const turn_id&) = default;
    friend std::strong_ordering operator<=>(const turn_id&, const turn_id&) = default;

private:
    std::string_view view(part p) const { return {bytes_.data() + p.at, p.size}; }

    // The identification, then the language (zero bytes: none).
    std::array<char, size + language_size> bytes_{};
};

} // namespace trl
