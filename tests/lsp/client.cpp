#include "client.h"

#include <charconv>
#include <cstdio>

namespace lsp_test {

namespace {

// The content of a JSON string for raw bytes: quote, backslash and control
// characters escaped, every other byte as it is.
std::string raw_json_string(std::string_view bytes)
{
    std::string out = "\"";
    for (const char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string placeholder(std::size_t n)
{
    std::string mark(1, '\x01');
    mark += std::to_string(n);
    return mark;
}

} // namespace

void script::frame(std::string_view body)
{
    input_ += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    input_ += body;
}

void script::frame_with_texts(const json& message, const std::vector<std::string>& texts)
{
    std::string body = message.dump();
    for (std::size_t n = 0; n < texts.size(); ++n) {
        const std::string mark = json(placeholder(n)).dump();
        body.replace(body.find(mark), mark.size(), raw_json_string(texts[n]));
    }
    frame(body);
}

int script::request(std::string_view method, const json& params)
{
    frame(json{{"jsonrpc", "2.0"}, {"id", next_id_}, {"method", method}, {"params", params}}.dump());
    return next_id_++;
}

void script::notify(std::string_view method, const json& params)
{
    frame(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
}

void script::initialize(bool offer_utf8)
{
    json capabilities = json::object();
    if (offer_utf8)
        capabilities["general"]["positionEncodings"] = {"utf-8", "utf-16"};
    request("initialize", {{"processId", nullptr}, {"capabilities", capabilities}});
    notify("initialized", json::object());
}

void script::open(const std::string& uri, std::string_view text, int version)
{
    const json params = {{"textDocument", {{"uri", uri}, {"languageId", "trl"}, {"version", version}, {"text", placeholder(0)}}}};
    frame_with_texts({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"}, {"params", params}}, {std::string(text)});
}

void script::change(const std::string& uri, int version, const std::vector<std::vector<std::size_t>>& ranges,
                    const std::vector<std::string>& texts)
{
    json changes = json::array();
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const auto& r = ranges[i];
        changes.push_back({{"range",
                            {{"start", {{"line", r[0]}, {"character", r[1]}}}, {"end", {{"line", r[2]}, {"character", r[3]}}}}},
                           {"text", placeholder(i)}});
    }
    const json params = {{"textDocument", {{"uri", uri}, {"version", version}}}, {"contentChanges", changes}};
    frame_with_texts({{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"}, {"params", params}}, texts);
}

void script::finish()
{
    request("shutdown", nullptr);
    frame(R"({"jsonrpc":"2.0","method":"exit"})");
}

json session::response(int id) const
{
    json found;
    int count = 0;
    for (const json& m : messages)
        if (m.contains("id") && m["id"] == id && !m.contains("method"))
            found = m, ++count;
    return count == 1 ? found : json();
}

std::vector<json> session::published(const std::string& uri) const
{
    std::vector<json> out;
    for (const json& m : messages)
        if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri)
            out.push_back(m["params"]);
    return out;
}

session run_server(const script& s, int timeout_seconds)
{
    test_support::run_options o;
    o.in = s.input();
    o.in_is_pipe = true;
    o.timeout_seconds = timeout_seconds;
    session result;
    result.run = test_support::run(TRL_CHECK_PATH, {"--lsp"}, o);
    std::string_view out = result.run.out;
    while (!out.empty()) {
        constexpr std::string_view field = "Content-Length: ";
        const std::size_t end = out.find("\r\n\r\n");
        std::size_t length = 0;
        if (!out.starts_with(field) || end == std::string_view::npos ||
            std::from_chars(out.data() + field.size(), out.data() + end, length).ptr != out.data() + end ||
            out.size() < end + 4 + length) {
            result.problem = "badly framed output at: " + std::string(out.substr(0, 80));
            break;
        }
        result.messages.push_back(json::parse(out.substr(end + 4, length)));
        out.remove_prefix(end + 4 + length);
    }
    return result;
}

} // namespace lsp_test
