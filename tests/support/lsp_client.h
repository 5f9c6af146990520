// A scripted client of trl-check --lsp: the messages of a session framed
// into one input, the built server run on it (with a time limit), and its
// framed output read back as JSON values.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"
#include "tests/support/json.h"
#include "tests/support/process.h"

namespace lsp_test {

using test_support::json;

inline std::string uri_of(std::string_view name)
{
    return "file:///lsp-test/" + std::string(name);
}

// Stands for texts[n] in a message given to script::send.
inline std::string text_mark(std::size_t n)
{
    std::string mark(1, '\x01');
    return mark += std::to_string(n);
}

// The model of positions: the line of a byte offset and its code units
// since the line's start (a byte outside well-formed UTF-8 is one), by
// counting from the line's start each time.
inline std::pair<std::size_t, std::size_t> model_position(std::string_view text, std::size_t offset, bool utf8)
{
    const std::size_t from = text.substr(0, offset).rfind('\n') + 1; // npos + 1 == 0
    std::size_t units = 0;
    for (std::size_t i = from; i < offset;) {
        const text::utf8_char c = text::decode_utf8(text.substr(i, offset - i));
        const std::size_t bytes = c.length ? c.length : 1;
        units += utf8 ? bytes : c.code_point > 0xFFFF ? 2 : 1;
        i += bytes;
    }
    return {static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(from), '\n')),
            units};
}

struct script {
    std::string input;
    int last_id = 0;

    void frame(std::string_view body)
    {
        (input += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n") += body;
    }

    // A message whose strings text_mark(n) become texts[n] byte for byte,
    // as an editor sends a buffer that is not UTF-8: only quotes,
    // backslashes and control characters escaped.
    void send(json message, const std::vector<std::string>& texts = {})
    {
        message["jsonrpc"] = "2.0";
        std::string body = message.dump();
        for (std::size_t n = 0; n < texts.size(); ++n) {
            std::string raw = "\"";
            for (const char c : texts[n]) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                raw += c == '"' || c == '\\'                  ? std::string{'\\', c}
                       : static_cast<unsigned char>(c) < 0x20 ? escaped
                                                              : std::string(1, c);
            }
            const std::string mark = json(text_mark(n)).dump();
            body.replace(body.find(mark), mark.size(), raw + '"');
        }
        frame(body);
    }
    int request(std::string_view method, const json& params)
    {
        send({{"id", ++last_id}, {"method", method}, {"params", params}});
        return last_id;
    }
    void notify(std::string_view method, const json& params) { send({{"method", method}, {"params", params}}); }
    void exit() { notify("exit", nullptr); }

    void initialize(bool offer_utf8)
    {
        json capabilities = json::object();
        if (offer_utf8)
            capabilities["general"]["positionEncodings"] = {"utf-8", "utf-16"};
        request("initialize", {{"processId", nullptr}, {"capabilities", capabilities}});
        notify("initialized", json::object());
    }
    void open(const std::string& uri, const std::string& text, int version = 1)
    {
        send(
            {{"method", "textDocument/didOpen"},
             {"params",
              {{"textDocument", {{"uri", uri}, {"languageId", "trl"}, {"version", version}, {"text", text_mark(0)}}}}}},
            {text});
    }
    // A didChange of ranges [line, character, line, character], each
    // replaced by its text in turn.
    void change(const std::string& uri, int version, const std::vector<std::vector<std::size_t>>& ranges,
                const std::vector<std::string>& texts)
    {
        json changes = json::array();
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            const auto& r = ranges[i];
            changes.push_back(
                {{"range",
                  {{"start", {{"line", r[0]}, {"character", r[1]}}}, {"end", {{"line", r[2]}, {"character", r[3]}}}}},
                 {"text", text_mark(i)}});
        }
        send({{"method", "textDocument/didChange"},
              {"params", {{"textDocument", {{"uri", uri}, {"version", version}}}, {"contentChanges", changes}}}},
             texts);
    }
    void finish() { request("shutdown", nullptr), exit(); }
};

struct session {
    test_support::run_result run;
    std::vector<json> messages; // in the order the server sent them
    bool framed = true;         // the output was well framed

    // The answer to request `id`; null when there is none (or several).
    json response(int id) const
    {
        json found;
        int count = 0;
        for (const json& m : messages)
            if (m.contains("id") && m["id"] == id && !m.contains("method"))
                found = m, ++count;
        return count == 1 ? found : json();
    }
    std::vector<json> published(const std::string& uri) const
    {
        std::vector<json> out;
        for (const json& m : messages)
            if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri)
                out.push_back(m["params"]);
        return out;
    }
};

inline session run_server(const script& s)
{
    test_support::run_options o;
    o.in = s.input;
    o.in_is_pipe = true;
    o.timeout_seconds = 60;
    session result;
    result.run = test_support::run(TRL_CHECK_PATH, {"--lsp"}, o);
    constexpr std::string_view field = "Content-Length: ";
    for (std::string_view out = result.run.out; !out.empty() && result.framed;) {
        const std::size_t end = out.find("\r\n\r\n");
        std::size_t length = 0;
        result.framed = out.starts_with(field) && end != std::string_view::npos &&
                        std::from_chars(out.data() + field.size(), out.data() + end, length).ptr == out.data() + end &&
                        out.size() >= end + 4 + length;
        if (result.framed)
            result.messages.push_back(json::parse(out.substr(end + 4, length)));
        out.remove_prefix(result.framed ? end + 4 + length : 0);
    }
    return result;
}

} // namespace lsp_test
