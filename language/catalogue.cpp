#include "language/catalogue.h"

#include <array>
#include <utility>

#include "checker/stack_limit.h"
#include "common/text.h"

namespace trl {

namespace {

// One line of an example, indented, its bytes by the escaping rule.
void show_line(std::string& out, std::string_view line)
{
    out += "    ";
    out += text::escape_bytes(line);
    out += '\n';
}

// The figures that explanations name, from velmar's stack limit: {limit}
// entries, which hold a turn of about {words} words (a word and its blank
// take two), and {half}, half such a turn.
std::string with_figures(std::string_view s)
{
    static constexpr std::pair<std::string_view, int> figures[] = {
        {"{limit}", velmar_stack_limit}, {"{words}", velmar_stack_limit / 2}, {"{half}", velmar_stack_limit / 4}};
    std::string out;
    while (!s.empty()) {
        const std::size_t open = s.find('{');
        out += s.substr(0, open);
        if (open == std::string_view::npos)
            break;
        s.remove_prefix(open);
        bool named = false;
        for (const auto& [name, value] : figures)
            if (s.starts_with(name)) {
                out += std::to_string(value);
                s.remove_prefix(name.size());
                named = true;
            }
        if (!named) {
            out += '{';
            s.remove_prefix(1);
        }
    }
    return out;
}

void show_example(std::string& out, const char* title, std::string_view text)
{
    out += title;
    out += '\n';
    // One line per line of the file; an empty line shows as such, and a
    // file whose last line has no line end is said to be so.
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos) {
            show_line(out, text.substr(at));
            out += "    (no line end)\n";
            return;
        }
        if (nl == at)
            out += "    (an empty line)\n";
        else
            show_line(out, text.substr(at, nl - at));
        at = nl + 1;
    }
    if (text.empty())
        out += "    (an empty file)\n";
}

} // namespace

const code_info* find_code(std::string_view id)
{
    for (const code_info& e : catalogue()) {
        const std::string_view own = e.id;
        if (own.size() != id.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < own.size() && same; ++i)
            same = own[i] == (id[i] >= 'a' && id[i] <= 'z' ? static_cast<char>(id[i] - 'a' + 'A') : id[i]);
        if (same)
            return &e;
    }
    return nullptr;
}

std::string explain(const code_info& e)
{
    std::string out = std::string(e.id) + " (" + (e.warning ? "warning" : "error") + "): " + e.title + "\n\n";
    out += with_figures(e.explanation);
    if (e.consistency)
        out += "With --strict this warning counts as an error.\n";
    if (*e.incorrect || *e.correct) {
        // The examples are files of their own; a name matters only to a
        // code about names.
        const std::string in_file = std::string_view(e.example_file) == code_info{}.example_file
                                        ? ":"
                                        : std::string(" (a file named ") + e.example_file + "):";
        out += '\n';
        show_example(out, ("Incorrect" + in_file).c_str(), e.incorrect);
        out += '\n';
        show_example(out, ("Correct" + in_file).c_str(), e.correct);
    } else {
        out += '\n';
        out += with_figures(e.example_note);
    }
    return out;
}

} // namespace trl
