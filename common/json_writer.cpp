#include "common/json_writer.h"

#include "common/text.h"

namespace json_writer {

void object::name(std::string_view n)
{
    if (out_.size() > 1)
        out_ += ',';
    text::append_json_string(out_, n);
    out_ += ':';
}

object& object::field(std::string_view n, std::string_view text)
{
    name(n);
    text::append_json_string(out_, text);
    return *this;
}

object& object::field(std::string_view n, const array& value)
{
    return raw(n, value.str());
}

object& object::raw(std::string_view n, std::string_view json)
{
    name(n);
    out_ += json;
    return *this;
}

void array::comma()
{
    if (out_.size() > 1)
        out_ += ',';
}

array& array::add(std::string_view text)
{
    comma();
    text::append_json_string(out_, text);
    return *this;
}

array& array::raw(std::string_view json)
{
    comma();
    out_ += json;
    return *this;
}

} // namespace json_writer
