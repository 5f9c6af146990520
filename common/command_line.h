// Reading the options and operands of a command line in the usual style:
// "--name", "--name=value" and "--name value" for an option that takes a
// value; one-letter options grouped ("-ql"), a letter's value the rest of
// its word or the next word ("-j4", "-j 4"); "--" ends the options; "-"
// alone is an operand (standard input).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace command_line {

struct option {
    std::string_view name; // the long name
    bool takes_value;
    char letter = 0; // its one-letter form; 0: none
};

// One option or operand, as read.
struct item {
    const option* opt = nullptr; // null: an operand
    std::string_view value;      // the operand, or the option's value (empty for one that takes none)
    std::string_view written;    // the option as written: "--jobs", "-j" (valid during the call)
};

// Calls take(item) for every option and operand of args[first...], in
// order.  False, with `error` set, at a word that `table` does not know,
// a value missing or given to an option that takes none ("unknown option
// '-x'", "option '--jobs' needs a value", "option '--quiet' takes no
// value"), or where `take` returns false (its error left as it set it).
template <class Take>
bool read(const std::vector<std::string>& args, std::size_t first, std::span<const option> table, Take&& take,
          std::string& error);

// A whole decimal number from `least` to `most`.
bool read_number(std::string_view s, long least, long most, long& value);

// 'S', as messages quote what was written.
std::string quoted(std::string_view s);

namespace detail {
const option* by_name(std::span<const option> table, std::string_view name);
const option* by_letter(std::span<const option> table, char letter);
} // namespace detail

template <class Take>
bool read(const std::vector<std::string>& args, std::size_t first, std::span<const option> table, Take&& take,
          std::string& error)
{
    bool options_end = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (options_end || arg == "-" || !arg.starts_with('-')) {
            if (!take(item{nullptr, arg, {}}))
                return false;
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        if (arg.starts_with("--")) {
            const std::string_view body = arg.substr(2);
            const std::size_t eq = body.find('=');
            const std::string_view written = arg.substr(0, eq == std::string_view::npos ? arg.size() : eq + 2);
            const option* o = detail::by_name(table, body.substr(0, eq));
            if (!o) {
                error = "unknown option " + quoted(written);
                return false;
            }
            std::string_view value;
            if (eq != std::string_view::npos) {
                if (!o->takes_value) {
                    error = "option " + quoted(written) + " takes no value";
                    return false;
                }
                value = body.substr(eq + 1);
            } else if (o->takes_value) {
                if (i + 1 >= args.size()) {
                    error = "option " + quoted(written) + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!take(item{o, value, written}))
                return false;
            continue;
        }
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const char letter_text[2] = {'-', arg[k]};
            const std::string_view letter(letter_text, 2);
            const option* o = detail::by_letter(table, arg[k]);
            if (!o) {
                error = "unknown option " + quoted(letter);
                return false;
            }
            if (!o->takes_value) {
                if (!take(item{o, {}, letter}))
                    return false;
                continue;
            }
            std::string_view value = arg.substr(k + 1);
            if (value.empty()) {
                if (i + 1 >= args.size()) {
                    error = "option " + quoted(letter) + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!take(item{o, value, letter}))
                return false;
            break;
        }
    }
    return true;
}

} // namespace command_line
