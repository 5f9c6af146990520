// Helpers of the parser tests: run the checker in this process over text in
// memory, or run the velmar program, capturing what it writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/process.h"

struct parse_run {
    int status;      // trlparse's result, or the program's exit status
    std::string out; // standard output
    std::string err; // standard error
};

// Scans `text` from memory with trl_scan_bytes and parses it once, as the
// program does (lineno = 0, or first_line), with the trace switch set to
// `trace`.
parse_run parse_text(std::string_view text, bool trace = false, long long first_line = 0);
// The same with another parse of the checker's (trlparse_over_tables, say)
// in place of trlparse, without the trace.
parse_run parse_text_with(std::string_view text, int (*parse)());

// Runs the velmar program with `text` on standard input and `args` as
// arguments; `options` say where else its output goes (then `out` stays
// empty).
parse_run run_velmar(std::string_view text, const std::vector<std::string>& args = {},
                     test_support::run_options options = {});

// One turn: identification g012abc3_NUMBER_000000, a colon and a blank, the
// running text, the end of its line and the empty line that ends the turn.
std::string turn(std::string_view number, std::string_view text);

// The value of `line` of the file at `path` for each line that contains
// `needle` (1-based line numbers).
std::vector<int> lines_containing(const std::string& path, std::string_view needle);
