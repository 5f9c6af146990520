// JSON output of the programs read back with a parser made for the job
// (it refuses invalid JSON and strings that are not UTF-8).
#pragma once

#include <nlohmann/json.hpp>

#include <string_view>
#include <vector>

namespace test_support {

using json = nlohmann::json;

// One value per non-empty line; throws json::parse_error on a bad line.
// As nlohmann::ordered_json, the fields of each object in the order written.
template <class Json = json> std::vector<Json> parse_json_lines(std::string_view text)
{
    std::vector<Json> values;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        if (!line.empty())
            values.push_back(Json::parse(line));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    }
    return values;
}

} // namespace test_support
