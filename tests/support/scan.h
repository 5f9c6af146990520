// Helpers for the scanner tests: running trllex over memory and streams,
// feeding pipes, a plain longest-match scanner to compare with, and running
// code in a child process.
#pragma once

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "checker/lex.trl.h"

// What one trllex call gave.
struct Tok {
    int code;
    std::ptrdiff_t leng;
    int val;
    long long line;
    std::string text;
    bool operator==(const Tok&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Tok& t);

// Calls trllex on the current buffer until it returns 0 (the last entry),
// starting with lineno and trllval at 0.
std::vector<Tok> scan_current();
// The same over a copy of text (trl_scan_bytes), over a stream read through
// a buffer of its own, over a temporary file and over a pipe that a thread
// fills in chunks of the given sizes (cycled) with short pauses.  (A pipe's
// chunks do not cut the refills: a read of the stream waits for a whole
// block.)  The stream and the file are read through a buffer with
// buffer_size bytes of room: a small one is refilled a few bytes at a time
// (at most buffer_size - 1), and grows under a match that fills it.
std::vector<Tok> scan_memory(std::string_view text);
std::vector<Tok> scan_stream(FILE* in, int buffer_size = TRL_BUF_SIZE);
std::vector<Tok> scan_file(std::string_view text, int buffer_size = TRL_BUF_SIZE);
std::vector<Tok> scan_pipe(std::string_view text, const std::vector<std::size_t>& chunks = {});

// The same over a temporary file through the inline token path of the parse
// loop (lex.trl.inline.h), which reads most tokens inline and calls trllex
// for the rest: code, value and line of each token (length and text empty).
std::vector<Tok> scan_inline(std::string_view text, int buffer_size = TRL_BUF_SIZE);

// The tokens without their length and text, as scan_inline gives them.
std::vector<Tok> without_text(std::vector<Tok> toks);

// The same through the record-keeping scanner (trl_text_scan), which
// neither needs nor writes a terminator and leaves the globals alone;
// `after_failure` as error recovery reads on.
std::vector<Tok> scan_text(std::string_view text, bool after_failure = false);
// Whether that scanner, over the whole text, recorded where a long match
// failed (the memo of failures of scan_engine.h).
bool records_failures(std::string_view text);

// The tokens as the rules define them, by the plain longest match: each
// match runs the automaton from its start to where no transition is left
// (or to the end) and backs up to the last accepting state, remembering
// nothing from one match to the next.  Its time is quadratic in a long
// run that backs up, so it serves texts of some thousand bytes.
std::vector<Tok> scan_plain(std::string_view text);

// The tokens as the rule file at `rule_file` (the one the tables were
// generated from) defines them, found without the automaton: at each place
// the longest match of the backtracking matcher of the generator's tests
// (tests/lexgen/matchers.h), which walks the rules' pattern trees; the
// tokens and actions of the rules are the tables'.  Slower still than
// scan_plain: for texts of some hundred bytes.
std::vector<Tok> scan_backtracking(const std::string& rule_file, std::string_view text);

// A temporary file holding text, positioned at its start.
FILE* file_with(std::string_view text);

// The codes of a scan without the final 0 (which must be there).
std::vector<int> codes(const std::vector<Tok>& toks);

// Runs f in a forked child; a child that comes back from f exits with 99.
struct ChildResult {
    int status;      // exit status, -1 when killed by a signal
    std::string err; // everything written on standard error
};
ChildResult in_child(const std::function<void()>& f);

// Memory for the tests' programs (malloc and realloc, wrapped by the
// linker): as it comes, but the n-th allocation from now (0 = the next one),
// or every reallocation, can be made to fail.
extern int alloc_calls;
void fail_allocation(int n);
void fail_reallocation();
