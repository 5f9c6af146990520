// A scripted client of trl-check --lsp: the messages of a session framed
// into one input, the built server run on it (with a time limit), and its
// framed output read back as JSON values.  Bodies are written as the
// client's editor would, bytes of a text that are not UTF-8 included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "json.h"
#include "process.h"

namespace lsp_test {

using test_support::json;

class script {
public:
    // A request; returns its id.
    int request(std::string_view method, const json& params);
    void notify(std::string_view method, const json& params);
    // A body with its header, and bytes as they are.
    void frame(std::string_view body);
    void raw(std::string_view bytes) { input_ += bytes; }

    // initialize (offering utf-8 positions or not) and initialized.
    void initialize(bool offer_utf8);
    void open(const std::string& uri, std::string_view text, int version = 1);
    // A didChange with the ranges given as [line, character, line,
    // character] and the texts that replace them, applied in turn.
    void change(const std::string& uri, int version, const std::vector<std::vector<std::size_t>>& ranges,
                const std::vector<std::string>& texts);
    void finish();   // shutdown and exit

    const std::string& input() const { return input_; }
    int last_id() const { return next_id_ - 1; }

private:
    // `message` as a body, with each string "\u0001N" in it replaced by
    // texts[N] written as raw JSON string content.
    void frame_with_texts(const json& message, const std::vector<std::string>& texts);

    std::string input_;
    int next_id_ = 1;
};

struct session {
    test_support::run_result run;
    std::vector<json> messages;   // in the order the server sent them
    std::string problem;          // what was wrong with the framing, if anything

    // The answer to request `id`; null when there is none (or several).
    json response(int id) const;
    // The publishDiagnostics params for `uri`, in order.
    std::vector<json> published(const std::string& uri) const;
};

session run_server(const script& s, int timeout_seconds = 60);

// The document's URI in tests.
inline std::string uri_of(std::string_view name)
{
    return "file:///lsp-test/" + std::string(name);
}

} // namespace lsp_test
