// The running text of a turn, as long as a test needs, made of every
// construct of the conventions: words with marks, umlauts and length marks,
// spelled letters, foreign, noise and disconnected words, repairs and false
// starts (one holding a disconnected word that holds a repair), events,
// pauses, silences, speaker marks and pronunciation comments.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace test_support {

// Each piece may begin a turn or follow another after a blank, and ends
// with a lexical element.
inline constexpr std::array<std::string_view, 21> text_pieces = {
    "hallo",
    "M\"uller",
    "<ah> so",
    "+/einen/+ einen",
    "aus_ <A> _machen",
    "<:<Lachen> prima:>",
    "ja <P> so",
    "wegen <!1 Maier> dem",
    "$B-$Ks",
    "-/am Mon/- am",
    "ja , dann",
    "<*ENG>hello",
    "*tsch\"u<Z>ss",
    "@1ja",
    "ab_ +/ein_ <B> _mal/+ _cd",
    "<Husten> <P>2@> geht's",
    "ja1@",
    "<T_>so<_T>",
    "~y%",
    "ja <*T> so",
    "<%> ja",
};

// `count` pieces from piece `first` on (round the list), joined by blanks.
inline std::string running_text(std::size_t count, std::size_t first = 0)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += text_pieces[(first + i) % text_pieces.size()];
    }
    return text;
}

} // namespace test_support
