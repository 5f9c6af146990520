// The language server's messages on the wire: JSON-RPC bodies, each after
// a header of "Name: value" lines ending in an empty line, of which
// Content-Length (the body's size in bytes) is the one that counts.
#pragma once

#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace trl::lsp {

using json = nlohmann::json;

// The version of JSON-RPC that every message names.
inline constexpr std::string_view jsonrpc_version = "2.0";

// The error codes of JSON-RPC and the protocol.
namespace error_code {
inline constexpr int parse_error = -32700;
inline constexpr int invalid_request = -32600;
inline constexpr int method_not_found = -32601;
inline constexpr int invalid_params = -32602;
inline constexpr int internal_error = -32603;
inline constexpr int server_not_initialized = -32002;
} // namespace error_code

// Thrown by a handler: the request is answered with this error.
struct rpc_error : std::runtime_error {
    rpc_error(int c, const std::string& message) : std::runtime_error(message), code(c) {}
    int code;
};

// The largest body taken: a larger one is refused and skipped.
inline constexpr std::size_t max_message_bytes = std::size_t{64} << 20;

// Reads the messages from a descriptor, one at a time.
class message_reader {
public:
    explicit message_reader(int fd) : fd_(fd) {}

    struct message {
        enum class kind {
            body,       // `body` holds the message
            bad_header, // no usable Content-Length: `problem` says why; the
                        // stream is searched for the next header
            too_large,  // `problem` says so; the body is skipped
            end,        // the input has ended (or cannot be read)
        };
        kind what = kind::end;
        std::string body;
        std::string problem;
    };
    message next();

private:
    bool fill();                       // reads more; false at the end
    bool take_line(std::string& line); // a header line without its line end
    bool resynchronise();              // up to the next "Content-Length"
    bool skip_body();

    int fd_;
    std::string buffer_;
    std::size_t pos_ = 0;
    std::size_t skip_ = 0; // bytes of a refused body still to skip
    bool resync_ = false;  // the next header must be searched for
};

// Writes messages from any thread, each whole, in JSON-RPC's envelope
// ("jsonrpc": "2.0" and an id or a method).  Each returns false once a
// write has failed (the client is gone).
class message_writer {
public:
    explicit message_writer(int fd) : fd_(fd) {}
    // The answer to request `id`: its result, or an error.
    bool respond(const json& id, json result);
    bool respond_error(const json& id, int code, const std::string& message);
    // A notification from the server.
    bool notify(std::string_view method, json params);

private:
    bool send(json message); // with the envelope's version added

    std::mutex lock_;
    int fd_;
    bool broken_ = false;
};

// JSON as the parser takes it holds well-formed UTF-8 only, but an editor
// may send a buffer's bytes as they are, inside its JSON strings.  A body
// that is not well-formed UTF-8 has each byte outside well-formed UTF-8
// (and each byte of the rare characters U+10FF80..U+10FFFF that stand for
// such bytes) replaced by the character U+10FF00 + byte before it is
// parsed; restore_bytes() turns those characters in a parsed text back
// into the bytes.  Texts from bodies that were well-formed UTF-8 are left
// alone.
std::string protect_bytes(std::string_view body);
void restore_bytes(std::string& text);

} // namespace trl::lsp
