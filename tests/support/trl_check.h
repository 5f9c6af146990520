// What the trl-check tests share besides tests/support: turns of text, and
// the program run with arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/process.h"

// One turn: identification g012abc3_NUMBER_000000, a colon and a blank, the
// running text, the end of its line and the empty line that ends the turn.
inline std::string turn(std::string_view number, std::string_view text)
{
    return "g012abc3_" + std::string(number) + "_000000: " + std::string(text) + "\n\n";
}

// trl-check run with these arguments and `in` on standard input.
inline test_support::run_result run_trl_check(const std::vector<std::string>& args, std::string_view in = {})
{
    test_support::run_options options;
    options.in = std::string(in);
    return test_support::run(TRL_CHECK_PATH, args, options);
}
