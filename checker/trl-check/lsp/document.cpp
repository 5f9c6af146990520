#include "checker/trl-check/lsp/document.h"

#include <utility>

namespace trl::lsp {

std::shared_ptr<const snapshot> make_snapshot(std::string uri, long version, std::uint64_t generation, encoding units,
                                              std::string text, std::shared_ptr<const file_bytes> file)
{
    auto s = std::make_shared<snapshot>();
    s->uri = std::move(uri);
    s->version = version;
    s->generation = generation;
    s->units = units;
    s->text = std::move(text);
    s->lines = line_index(s->text);
    s->file = std::move(file);
    return s;
}

position read_position(const json& p)
{
    const json& line = p.at("line");
    const json& character = p.at("character");
    if (!line.is_number_unsigned() || !character.is_number_unsigned())
        throw rpc_error(error_code::invalid_params, "a position's line and character are numbers from 0 up");
    return {line.get<std::size_t>(), character.get<std::size_t>()};
}

void apply_change(std::string& text, const json& change, encoding units)
{
    const std::string& replacement = change.at("text").get_ref<const std::string&>();
    if (!change.contains("range")) {
        text = replacement;
        return;
    }
    const json& range = change.at("range");
    const line_index lines(text);
    const position_map map(text, lines, units);
    std::size_t from = map.offset(read_position(range.at("start")));
    std::size_t to = map.offset(read_position(range.at("end")));
    if (to < from)
        std::swap(from, to);
    text.replace(from, to - from, replacement);
}

} // namespace trl::lsp
