#include "language/turn_id.h"

#include <algorithm>

namespace trl {

namespace {

bool small(char c)
{
    return c >= 'a' && c <= 'z';
}
bool capital(char c)
{
    return c >= 'A' && c <= 'Z';
}
bool digit(char c)
{
    return c >= '0' && c <= '9';
}

bool all_digits(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), digit);
}

// "g071ach1_001_ABC_004711": the parts, each followed by '_' but the last.
bool is_identification(std::string_view s)
{
    if (s.size() != turn_id::size)
        return false;
    const auto part = [&](turn_id::part p) { return s.substr(p.at, p.size); };
    const auto after = [&](turn_id::part p) { return s[p.at + p.size]; };
    const std::string_view speaker = part(turn_id::speaker_part);
    return turn_id::is_dialog_name(part(turn_id::dialog_part)) && after(turn_id::dialog_part) == '_' &&
           all_digits(part(turn_id::number_part)) && after(turn_id::number_part) == '_' && capital(speaker[0]) &&
           capital(speaker[1]) && (capital(speaker[2]) || digit(speaker[2])) && after(turn_id::speaker_part) == '_' &&
           all_digits(part(turn_id::cdrom_part));
}

// "GER": the language of a marker "<*tGER> ".
bool is_language(std::string_view s)
{
    return s.size() == turn_id::language_size && std::all_of(s.begin(), s.end(), capital);
}

} // namespace

bool turn_id::is_dialog_name(std::string_view n)
{
    return n.size() == dialog_part.size && small(n[0]) && digit(n[1]) && digit(n[2]) && digit(n[3]) && small(n[4]) &&
           small(n[5]) && small(n[6]) && digit(n[7]);
}

std::optional<turn_id> turn_id::parse(std::string_view identification, std::string_view language)
{
    if (!is_identification(identification))
        return std::nullopt;
    if (!language.empty() && !is_language(language))
        return std::nullopt;
    turn_id id;
    std::copy(identification.begin(), identification.end(), id.bytes_.begin());
    std::copy(language.begin(), language.end(), id.bytes_.begin() + size);
    return id;
}

std::optional<turn_id> turn_id::read(std::string_view turn_text)
{
    if (turn_text.size() <= size || turn_text[size] != ':')
        return std::nullopt;
    // ": <*tGER> ", as the scanner takes a marker.
    constexpr std::string_view opening = ": <*t";
    constexpr std::string_view closing = "> ";
    const std::string_view marked = turn_text.substr(size);
    std::string_view language;
    if (marked.starts_with(opening) && marked.size() >= opening.size() + language_size + closing.size() &&
        marked.substr(opening.size() + language_size, closing.size()) == closing &&
        is_language(marked.substr(opening.size(), language_size)))
        language = marked.substr(opening.size(), language_size);
    return parse(turn_text.substr(0, size), language);
}

} // namespace trl
