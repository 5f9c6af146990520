// Where the check of a turn goes on after an error.
//
// Note on recovery inside a turn.  velmar stops at its first error; the
// checker goes on, and finds the errors of a turn that come after its
// first one, without reporting the consequences of an error as errors of
// their own.  At an error it looks, from the offending token on, for the
// first place where the text can go on: a blank followed by a token that
// can begin the segments of a turn (a word, a tag, a repair, ...), which
// the conventions put between the elements of a turn.  There it weighs the
// configurations of the parse that could take that blank and what follows:
// the stack as it was when the offending token was read, popped by 0, 1,
// 2, ... entries (each a configuration the parse has been in, within the
// constructs still open: a word, a repair, a noise bracket, the turn),
// each as it is (what lies between is dropped), after a word or after an
// event (what lies between stood for one), or without the blank (the
// blank was the one after the element before); and a fresh one, as right
// after a turn identification (when the error broke the construct that
// the rest belongs to, or the identification itself).  Each is run,
// without touching the real stack, over the tokens that follow, up to the
// end of the turn or a short horizon; the one that takes the most tokens
// wins, ties going to the least popped and then in the order above.  The
// parse resumes there, with the blank (or the token after it) as its
// look-ahead.  The offending token itself is such a place too, when a
// popped configuration takes it and what follows (",  ," for ",").  An empty line before such a place ends the turn as
// before: the parse resumes between turns.  Since the configuration chosen takes what follows, the next error found is
// where the text itself goes wrong again, at the position it would have if it were the only error; an error within the
// first few tokens after the place is taken for a consequence of the last one and passed over (the parse recovers
// again, silently).  The figures: tests/trlcheck/recovery_test.cpp measures how often the second of two independent
// errors of a turn is found where it is found alone, and how many diagnostics belong to neither.
#pragma once

#include <array>
#include <vector>

#include "language/grammar.h"
#include "language/text_scanner.h"
#include "parse_engine.h"

namespace trl {

// A configuration of the parse that leaves the real stack alone: the
// bottom `kept` entries of a stack, and the states pushed above them.
class virtual_stack {
public:
    virtual_stack(const trl_engine::entry* stack, int depth) : base_(stack), kept_(depth) {}

    // Takes a terminal of the grammar: the reductions it leads to and its
    // shift (for the end of the text, the acceptance).  False if the
    // configuration cannot take it; the configuration is then undefined.
    bool take(int terminal);

    // The configuration: the first kept() entries of the stack it was made
    // from, then the states above().
    int kept() const { return kept_; }
    std::vector<int> above() const { return {above_.begin(), above_.begin() + added_}; }

private:
    static constexpr int room = 128; // far above what a stretch of tokens pushes
    int top() const { return added_ ? above_[added_ - 1] : base_[kept_ - 1].state; }
    bool push(int state);

    const trl_engine::entry* base_;
    int kept_;
    int added_ = 0;
    std::array<int, room> above_;
};

// How many of `terminals`, in order, a configuration takes (it is left
// after the last one taken, or undefined).
int taken(virtual_stack& v, const std::vector<int>& terminals);

// What the parse does after an error.
struct resume {
    enum class kind {
        in_turn,     // the stack and look-ahead below
        next_turn,   // between turns, the scanner after the empty line
        end_of_text, // nothing left to check
    };
    kind what = kind::end_of_text;
    // For in_turn: the stack is the first `depth` entries of the stack at
    // the error, then the states `above`.
    int depth = 0;
    std::vector<int> above;
    int lookahead = 0;        // its code
    int value = 0;            // and value
    trl_text_scanner scanner; // after the look-ahead (next_turn: after the empty line)
};

// Where to resume after an error at a token with code `code` and value
// `value`, the scanner after it being `after`; `stack[0..depth)` is the
// stack when the token was read.  With `may_stay`, the parse may resume
// at the offending token itself, or at a blank that it is; without it (an
// error at the very token resumed at), the search begins after it, so that
// recovery always moves on.
resume find_resume(const trl_engine::entry* stack, int depth, int code, int value, const trl_text_scanner& after,
                   bool may_stay);

} // namespace trl
