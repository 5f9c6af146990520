// The JSON that the programs write (trl-check's report, quenda-corpus's
// records): objects field by field and lists item by item, in the order
// given, without blanks.  Every string goes through
// text::append_json_string, the one escaping rule of common/text.h, so that
// each line is valid UTF-8 and no byte is lost.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>

namespace json_writer {

// Whole numbers: not bool, which JSON writes otherwise, nor a char, which
// is a letter.
template <class T>
concept whole_number = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char>;

class array;

// {"type":"word","count":3}
class object {
public:
    object& field(std::string_view name, std::string_view text);
    object& field(std::string_view name, const char* text) { return field(name, std::string_view(text)); }
    object& field(std::string_view name, const std::string& text) { return field(name, std::string_view(text)); }
    template <whole_number I> object& field(std::string_view name, I n) { return raw(name, std::to_string(n)); }
    object& field(std::string_view name, const object& value) { return raw(name, value.str()); }
    object& field(std::string_view name, const array& value);
    // A value or null.
    template <class T> object& field(std::string_view name, const std::optional<T>& value)
    {
        return value ? field(name, *value) : null(name);
    }
    object& null(std::string_view name) { return raw(name, "null"); }
    // A value written as JSON already: a number with its decimals ("0.256").
    object& raw(std::string_view name, std::string_view json);

    std::string str() const { return out_ + '}'; }
    // The object as a line of JSON Lines.
    std::string line() const { return out_ + "}\n"; }

private:
    void name(std::string_view n);
    std::string out_ = "{";
};

// ["a","b"], [1,2]
class array {
public:
    array& add(std::string_view text);
    template <whole_number I> array& add(I n) { return raw(std::to_string(n)); }
    array& add(const object& value) { return raw(value.str()); }
    array& raw(std::string_view json);

    std::string str() const { return out_ + ']'; }

private:
    void comma();
    std::string out_ = "[";
};

// The strings of a list, in its order.
template <class List> array strings(const List& list)
{
    array a;
    for (const auto& s : list)
        a.add(std::string_view(s));
    return a;
}

} // namespace json_writer
