#include "checker/trl-check/lsp/server.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "checker/trl-check/lsp/check_worker.h"
#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/features.h"
#include "common/text.h"
#include "checker/trl-check/lsp/transport.h"
#include "common/version.h"

namespace trl::lsp {

namespace {

void log(const std::string& what)
{
    std::fprintf(stderr, "trl-check: lsp: %s\n", what.c_str());
}

class server {
public:
    server(int in, int out)
        : reader_(in), writer_(out),
          worker_([this](const snapshot& doc, const check_result& result, double ms) { publish(doc, result, ms); })
    {}

    int run();

private:
    enum class phase { waiting, running, shut_down };
    using request_handler = json (server::*)(json& params);
    using notification_handler = void (server::*)(json& params);
    struct method {
        std::string_view name;
        request_handler request = nullptr;
        notification_handler notification = nullptr;
    };
    static const method methods[];

    std::optional<int> handle(std::string_view body);
    void answer(const json& id, json& message, bool is_request);
    void send_result(const json& id, json result);
    void send_error(const json& id, int code, const std::string& message);
    void publish(const snapshot& doc, const check_result& result, double ms);

    // Requests.
    json initialize(json& params);
    json shutdown(json& params);
    json hover(json& params);
    json completion(json& params);
    json document_symbols(json& params);
    json semantic_tokens(json& params);
    json code_actions(json& params);
    // Notifications.
    void initialized(json&) {}
    void ignored(json&) {}
    void did_open(json& params);
    void did_change(json& params);
    void did_save(json& params);
    void did_close(json& params);

    std::shared_ptr<const snapshot> document(const json& params) const;
    std::shared_ptr<const check_result> report(const snapshot& doc);
    // A new version of a document (its bytes restored), to be checked, with
    // what the editor hides of its file.
    void update(const std::string& uri, long version, std::string text, std::shared_ptr<const file_bytes> file);

    message_reader reader_;
    message_writer writer_;
    phase phase_ = phase::waiting;
    encoding units_ = encoding::utf16;
    bool bytes_protected_ = false;     // the message being handled was not UTF-8
    bool client_writes_files_ = false; // the client runs write_file_command itself
    files::file_text file_buffer_;     // for reading the documents' files
    std::uint64_t generation_ = 0;
    std::map<std::string, std::shared_ptr<const snapshot>> documents_;
    check_worker worker_; // last: its thread publishes through the members above
};

const server::method server::methods[] = {
    {"initialize", &server::initialize},
    {"shutdown", &server::shutdown},
    {"textDocument/hover", &server::hover},
    {"textDocument/completion", &server::completion},
    {"textDocument/documentSymbol", &server::document_symbols},
    {"textDocument/semanticTokens/full", &server::semantic_tokens},
    {"textDocument/codeAction", &server::code_actions},
    {"initialized", nullptr, &server::initialized},
    {"textDocument/didOpen", nullptr, &server::did_open},
    {"textDocument/didChange", nullptr, &server::did_change},
    {"textDocument/didSave", nullptr, &server::did_save},
    {"textDocument/didClose", nullptr, &server::did_close},
    // Requests are answered one at a time, before the next message is read:
    // by the time a cancellation arrives its request has its answer.
    {"$/cancelRequest", nullptr, &server::ignored},
    {"$/setTrace", nullptr, &server::ignored},
};

int server::run()
{
    for (;;) {
        message_reader::message m = reader_.next();
        switch (m.what) {
        case message_reader::message::kind::end:
            log(phase_ == phase::shut_down ? "the input has ended" : "the input has ended without shutdown and exit");
            return phase_ == phase::shut_down ? 0 : 1;
        case message_reader::message::kind::bad_header:
            log(m.problem);
            send_error(nullptr, error_code::parse_error, m.problem);
            break;
        case message_reader::message::kind::too_large:
            log(m.problem);
            send_error(nullptr, error_code::invalid_request, m.problem);
            break;
        case message_reader::message::kind::body:
            if (const std::optional<int> status = handle(m.body))
                return *status;
            break;
        }
    }
}

std::optional<int> server::handle(std::string_view body)
{
    bytes_protected_ = !text::is_utf8(body);
    json message;
    try {
        message = json::parse(bytes_protected_ ? std::string_view(protect_bytes(body)) : body);
    } catch (const json::parse_error& e) {
        send_error(nullptr, error_code::parse_error, std::string("the message is no JSON: ") + e.what());
        return std::nullopt;
    }
    if (!message.is_object()) {
        send_error(nullptr, error_code::invalid_request, "a message is a JSON object");
        return std::nullopt;
    }
    const bool is_request = message.contains("id");
    const json id = is_request ? message["id"] : json();
    if (is_request && !id.is_string() && !id.is_number_integer()) {
        send_error(nullptr, error_code::invalid_request, "a request's id is a number or a string");
        return std::nullopt;
    }
    if (!message.contains("method") && is_request && (message.contains("result") || message.contains("error")))
        return std::nullopt; // an answer to a request of ours: we send none
    const json* version = message.contains("jsonrpc") ? &message["jsonrpc"] : nullptr;
    if (!version || *version != "2.0" || !message.contains("method") || !message["method"].is_string()) {
        send_error(id, error_code::invalid_request, "a message has \"jsonrpc\": \"2.0\" and a method name");
        return std::nullopt;
    }
    if (message["method"] == "exit") {
        log(phase_ == phase::shut_down ? "exit" : "exit without shutdown");
        return phase_ == phase::shut_down ? 0 : 1;
    }
    answer(id, message, is_request);
    return std::nullopt;
}

void server::answer(const json& id, json& message, bool is_request)
{
    const std::string& name = message["method"].get_ref<const std::string&>();
    // Absent params and null ones are taken alike.
    if (message.contains("params") && !message["params"].is_null() && !message["params"].is_object() &&
        !message["params"].is_array()) {
        if (is_request)
            send_error(id, error_code::invalid_params, "params are an object or an array");
        return;
    }
    json& params = message["params"]; // null when there are none
    if (is_request && phase_ == phase::waiting && name != "initialize") {
        send_error(id, error_code::server_not_initialized, "the server is not initialised yet");
        return;
    }
    const method* found = nullptr;
    for (const method& m : methods)
        if (m.name == name)
            found = &m;
    if (!is_request) {
        if (!found || !found->notification)
            return; // unknown notifications are ignored
        if (phase_ == phase::waiting)
            return; // notifications before initialize are dropped
        try {
            (this->*found->notification)(params);
        } catch (const std::exception& e) {
            log(name + ": " + e.what());
        }
        return;
    }
    if (!found || !found->request) {
        send_error(id, error_code::method_not_found, "unknown method '" + name + "'");
        return;
    }
    if (phase_ == phase::shut_down) {
        send_error(id, error_code::invalid_request, "the server has been shut down");
        return;
    }
    try {
        send_result(id, (this->*found->request)(params));
    } catch (const rpc_error& e) {
        send_error(id, e.code, e.what());
    } catch (const json::exception& e) {
        send_error(id, error_code::invalid_params, std::string("bad params: ") + e.what());
    } catch (const std::exception& e) {
        log(name + ": " + e.what());
        send_error(id, error_code::internal_error, e.what());
    }
}

void server::send_result(const json& id, json result)
{
    writer_.send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void server::send_error(const json& id, int code, const std::string& message)
{
    writer_.send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void server::publish(const snapshot& doc, const check_result& result, double ms)
{
    writer_.send(
        {{"jsonrpc", "2.0"},
         {"method", "textDocument/publishDiagnostics"},
         {"params", {{"uri", doc.uri}, {"version", doc.version}, {"diagnostics", diagnostics_json(doc, result)}}}});
    const file_report& report = result.report;
    std::string hidden;
    if (!result.file_notes.empty())
        hidden = ", " + std::to_string(result.file_notes.size()) + " in its file that the editor hides";
    log(doc.uri + " version " + std::to_string(doc.version) + ": " + std::to_string(report.errors) + " errors, " +
        std::to_string(report.warnings) + " warnings" + hidden + " (checked in " +
        std::to_string(static_cast<long>(ms + 0.5)) + " ms)");
}

json server::initialize(json& params)
{
    if (phase_ != phase::waiting)
        throw rpc_error(error_code::invalid_request, "initialize comes once");
    if (!params.is_object())
        throw rpc_error(error_code::invalid_params, "initialize has params");
    units_ = encoding::utf16;
    const json encodings = params.value("/capabilities/general/positionEncodings"_json_pointer, json::array());
    for (const json& e : encodings)
        if (e == "utf-8")
            units_ = encoding::utf8;
    const json commands = params.value("/initializationOptions/clientCommands"_json_pointer, json::array());
    client_writes_files_ = false;
    for (const json& c : commands)
        if (c == write_file_command)
            client_writes_files_ = true;
    const std::string client = params.value("/clientInfo/name"_json_pointer, std::string("a client"));
    log("initialize from " + client + ", positions in " + encoding_name(units_));
    phase_ = phase::running;
    return {{"capabilities",
             {{"positionEncoding", encoding_name(units_)},
              {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
              {"hoverProvider", true},
              {"completionProvider", {{"triggerCharacters", {"<"}}}},
              {"documentSymbolProvider", true},
              {"codeActionProvider", {{"codeActionKinds", {quickfix_kind, fix_all_kind}}}},
              {"semanticTokensProvider", {{"legend", semantic_tokens_legend()}, {"full", true}}}}},
            {"serverInfo", {{"name", "trl-check"}, {"version", QUENDA_TOOLS_VERSION}}}};
}

json server::shutdown(json&)
{
    // What has been sent is checked and published before the answer.
    worker_.drain();
    phase_ = phase::shut_down;
    log("shutdown");
    return nullptr;
}

std::shared_ptr<const snapshot> server::document(const json& params) const
{
    const std::string& uri = params.at("textDocument").at("uri").get_ref<const std::string&>();
    const auto it = documents_.find(uri);
    if (it == documents_.end())
        throw rpc_error(error_code::invalid_params, "no open document " + uri);
    return it->second;
}

std::shared_ptr<const check_result> server::report(const snapshot& doc)
{
    std::shared_ptr<const check_result> r = worker_.report_for(doc);
    return r ? r : std::make_shared<const check_result>();
}

json server::hover(json& params)
{
    const auto doc = document(params);
    const position at = read_position(params.at("position"));
    return hover_json(*doc, *report(*doc), at);
}

json server::completion(json& params)
{
    return completion_json(*document(params), read_position(params.at("position")));
}

json server::document_symbols(json& params)
{
    return document_symbols_json(*document(params));
}

json server::semantic_tokens(json& params)
{
    return semantic_tokens_json(*document(params));
}

json server::code_actions(json& params)
{
    const auto doc = document(params);
    const json only = params.value("/context/only"_json_pointer, json());
    return code_actions_json(*doc, *report(*doc), params.at("range"), only, client_writes_files_);
}

void server::update(const std::string& uri, long version, std::string text, std::shared_ptr<const file_bytes> file)
{
    auto doc = make_snapshot(uri, version, ++generation_, units_, std::move(text), std::move(file));
    documents_[uri] = doc;
    worker_.submit(std::move(doc));
}

void server::did_open(json& params)
{
    json& item = params.at("textDocument");
    const std::string& uri = item.at("uri").get_ref<const std::string&>();
    std::string& text = item.at("text").get_ref<std::string&>();
    if (bytes_protected_)
        restore_bytes(text);
    std::shared_ptr<const file_bytes> file = read_file_bytes(uri, text, file_buffer_);
    update(uri, item.at("version").get<long>(), std::move(text), std::move(file));
}

void server::did_change(json& params)
{
    const auto doc = document(params);
    const long version = params.at("textDocument").at("version").get<long>();
    std::string text = doc->text;
    for (json& change : params.at("contentChanges")) {
        if (bytes_protected_ && change.contains("text"))
            restore_bytes(change.at("text").get_ref<std::string&>());
        apply_change(text, change, units_);
    }
    update(doc->uri, version, std::move(text), doc->file);
}

void server::did_save(json& params)
{
    // The file as the editor has written it: what it hides is said again
    // (or no more).
    const auto doc = document(params);
    const bool with_text = params.contains("text") && params["text"].is_string();
    std::string text = doc->text;
    if (with_text) {
        text = std::move(params["text"].get_ref<std::string&>());
        if (bytes_protected_)
            restore_bytes(text);
    }
    std::shared_ptr<const file_bytes> file = read_file_bytes(doc->uri, text, file_buffer_);
    if (with_text || file || doc->file)
        update(doc->uri, doc->version, std::move(text), std::move(file));
}

void server::did_close(json& params)
{
    const auto doc = document(params);
    documents_.erase(doc->uri);
    worker_.forget(doc->uri, [&] {
        writer_.send({{"jsonrpc", "2.0"},
                      {"method", "textDocument/publishDiagnostics"},
                      {"params", {{"uri", doc->uri}, {"diagnostics", json::array()}}}});
    });
}

} // namespace

int serve(int in, int out)
{
    std::signal(SIGPIPE, SIG_IGN); // a client that is gone is a failed write
    try {
        server s(in, out);
        return s.run();
    } catch (const std::exception& e) {
        log(std::string("stopped: ") + e.what());
        return 1;
    }
}

} // namespace trl::lsp
