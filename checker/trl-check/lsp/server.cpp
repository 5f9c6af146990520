#include "checker/trl-check/lsp/server.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checker/trl-check/lsp/check_worker.h"
#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/features.h"
#include "checker/trl-check/lsp/protocol.h"
#include "checker/trl-check/lsp/transport.h"
#include "common/text.h"

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

    // The document that params' "textDocument" names; rpc_error when it
    // is not open.
    std::shared_ptr<const snapshot> document(const json& params) const;
    std::shared_ptr<const check_result> report(const snapshot& doc);

    message_reader reader_;
    message_writer writer_;
    phase phase_ = phase::waiting;
    bool bytes_protected_ = false;     // the message being handled was not UTF-8
    bool client_writes_files_ = false; // the client runs write_file_command itself
    files::file_text file_buffer_;     // for reading the documents' files
    document_store documents_;
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
            writer_.respond_error(nullptr, error_code::parse_error, m.problem);
            break;
        case message_reader::message::kind::too_large:
            log(m.problem);
            writer_.respond_error(nullptr, error_code::invalid_request, m.problem);
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
        writer_.respond_error(nullptr, error_code::parse_error, std::string("the message is no JSON: ") + e.what());
        return std::nullopt;
    }
    if (!message.is_object()) {
        writer_.respond_error(nullptr, error_code::invalid_request, "a message is a JSON object");
        return std::nullopt;
    }
    const bool is_request = message.contains("id");
    const json id = is_request ? message["id"] : json();
    if (is_request && !id.is_string() && !id.is_number_integer()) {
        writer_.respond_error(nullptr, error_code::invalid_request, "a request's id is a number or a string");
        return std::nullopt;
    }
    if (!message.contains("method") && is_request && (message.contains("result") || message.contains("error")))
        return std::nullopt; // an answer to a request of ours: we send none
    const json* version = message.contains("jsonrpc") ? &message["jsonrpc"] : nullptr;
    if (!version || *version != jsonrpc_version || !message.contains("method") || !message["method"].is_string()) {
        writer_.respond_error(id, error_code::invalid_request, "a message has \"jsonrpc\": \"2.0\" and a method name");
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
            writer_.respond_error(id, error_code::invalid_params, "params are an object or an array");
        return;
    }
    json& params = message["params"]; // null when there are none
    if (is_request && phase_ == phase::waiting && name != "initialize") {
        writer_.respond_error(id, error_code::server_not_initialized, "the server is not initialised yet");
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
        writer_.respond_error(id, error_code::method_not_found, "unknown method '" + name + "'");
        return;
    }
    if (phase_ == phase::shut_down) {
        writer_.respond_error(id, error_code::invalid_request, "the server has been shut down");
        return;
    }
    try {
        writer_.respond(id, (this->*found->request)(params));
    } catch (const rpc_error& e) {
        writer_.respond_error(id, e.code, e.what());
    } catch (const json::exception& e) {
        writer_.respond_error(id, error_code::invalid_params, std::string("bad params: ") + e.what());
    } catch (const std::exception& e) {
        log(name + ": " + e.what());
        writer_.respond_error(id, error_code::internal_error, e.what());
    }
}

void server::publish(const snapshot& doc, const check_result& result, double ms)
{
    writer_.notify("textDocument/publishDiagnostics",
                   published_diagnostics(doc.uri, doc.version, diagnostics_of(doc, result)));
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
    const client_settings client = read_client(params);
    documents_.set_units(client.units);
    client_writes_files_ = client.writes_files;
    log("initialize from " + client.name + ", positions in " + encoding_name(client.units));
    phase_ = phase::running;
    return initialize_result(client.units);
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
    std::shared_ptr<const snapshot> doc = documents_.find(uri);
    if (!doc)
        throw rpc_error(error_code::invalid_params, "no open document " + uri);
    return doc;
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
    return hover_json(hover_at(*doc, *report(*doc), at));
}

json server::completion(json& params)
{
    // The position is read first: a bad one is what an answer says before
    // a document that is not open.
    const position at = read_position(params.at("position"));
    return completion_json(completions_at(*document(params), at));
}

json server::document_symbols(json& params)
{
    return symbols_json(turn_symbols(*document(params)));
}

json server::semantic_tokens(json& params)
{
    return semantic_tokens_json(colours_of(*document(params)));
}

json server::code_actions(json& params)
{
    const auto doc = document(params);
    const auto only = read_kinds(params.value("/context/only"_json_pointer, json()));
    const range at = read_range(params.at("range"));
    return code_actions_json(doc->uri, code_actions_for(*doc, *report(*doc), at, only, client_writes_files_));
}

void server::did_open(json& params)
{
    json& item = params.at("textDocument");
    const std::string& uri = item.at("uri").get_ref<const std::string&>();
    std::string text = take_text(item.at("text"), bytes_protected_);
    std::shared_ptr<const file_bytes> file = read_file_bytes(uri, text, file_buffer_);
    worker_.submit(documents_.update(uri, item.at("version").get<long>(), std::move(text), std::move(file)));
}

void server::did_change(json& params)
{
    const auto doc = document(params);
    const long version = params.at("textDocument").at("version").get<long>();
    std::vector<text_change> changes;
    for (json& change : params.at("contentChanges"))
        changes.push_back(take_change(change, bytes_protected_));
    worker_.submit(documents_.change(*doc, version, changes));
}

void server::did_save(json& params)
{
    // The file as the editor has written it: what it hides is said again
    // (or no more).
    const auto doc = document(params);
    const bool with_text = params.contains("text") && params["text"].is_string();
    std::string text = with_text ? take_text(params["text"], bytes_protected_) : doc->text;
    std::shared_ptr<const file_bytes> file = read_file_bytes(doc->uri, text, file_buffer_);
    if (with_text || file || doc->file)
        worker_.submit(documents_.update(doc->uri, doc->version, std::move(text), std::move(file)));
}

void server::did_close(json& params)
{
    const auto doc = document(params);
    documents_.close(doc->uri);
    worker_.forget(doc->uri, [&] {
        writer_.notify("textDocument/publishDiagnostics", published_diagnostics(doc->uri, std::nullopt, {}));
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
