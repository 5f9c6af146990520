// What the parse finds wrong at one token, before anything is said about
// it: which token (where it is and what it is) and the configuration of the
// parse when it was read.  The checker (check.cpp) finds these; the wording
// (wording.h) chooses a code for each and says it in words.
#pragma once

#include <cstddef>
#include <vector>

namespace trl {

struct finding {
    enum class kind {
        syntax_error, // the token cannot continue the text
        velmar_stack, // velmar's parser stack is full at this token
    };
    // Where the parse stood when the token was read.
    enum class place {
        start_of_text, // nothing read yet
        between_turns, // after a complete turn
        in_turn,
    };

    kind what = kind::syntax_error;
    std::size_t offset = 0;    // the token's first byte; at the end of the text, its size
    std::size_t length = 0;    // 0 at the end of the text
    long long velmar_line = 0; // velmar's line count at the token
    int token = 0;             // the scanner's code for it; 0: the end of the text

    // What the parse could have gone on with (syntax errors only).
    std::vector<int> expected; // terminals of the grammar, in its order
    int construct = 0;         // the innermost described construct being read; 0: none
    place where = place::in_turn;
    bool after_blank = false; // a blank and then the token would have been taken
    // The tokens of the turn read before this one, when the parse of the
    // turn has not been resumed after an error; -1 otherwise.  It says
    // which symbol of a turn identification was due.
    int turn_tokens = -1;
};

} // namespace trl
