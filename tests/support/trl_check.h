// What the trl-check tests share besides tests/support: turns of text, a
// report without its time, and the program run with arguments.
#pragma once

#include <cstddef>
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

// The summary's time varies from run to run: " (0.01 s)" and
// "seconds":0.012 become "" and "seconds":0.
inline std::string without_time(std::string out)
{
    auto number_end = [&](std::size_t at) {
        while (at < out.size() && ((out[at] >= '0' && out[at] <= '9') || out[at] == '.'))
            ++at;
        return at;
    };
    for (std::size_t at = 0; (at = out.find(" (", at)) != std::string::npos;) {
        const std::size_t end = number_end(at + 2);
        if (end > at + 2 && out.compare(end, 3, " s)") == 0)
            out.erase(at, end + 3 - at);
        else
            at += 2;
    }
    const std::string key = "\"seconds\":";
    for (std::size_t at = 0; (at = out.find(key, at)) != std::string::npos;) {
        at += key.size();
        out.erase(at, number_end(at) - at);
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), '0');
    }
    return out;
}

// trl-check run with these arguments and `in` on standard input.
inline test_support::run_result run_trl_check(const std::vector<std::string>& args, std::string_view in = {})
{
    test_support::run_options options;
    options.in = std::string(in);
    return test_support::run(TRL_CHECK_PATH, args, options);
}
