#include "checker/trl-check/lsp/transport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "checker/trl-check/lsp/ascii_case.h"
#include "common/text.h"

namespace trl::lsp {

namespace {

constexpr std::size_t read_size = 1 << 16;
constexpr std::size_t max_header_line = 8192;
constexpr std::string_view length_field = "content-length";
constexpr char32_t byte_marks = 0x10FF00; // + byte, for bytes 0x80..0xFF

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool message_reader::fill()
{
    if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    const std::size_t old = buffer_.size();
    buffer_.resize(old + read_size);
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.data() + old, read_size);
        if (got < 0 && errno == EINTR)
            continue;
        buffer_.resize(old + (got > 0 ? static_cast<std::size_t>(got) : 0));
        return got > 0;
    }
}

bool message_reader::take_line(std::string& line)
{
    for (;;) {
        const std::size_t nl = buffer_.find('\n', pos_);
        if (nl != std::string::npos) {
            std::size_t end = nl;
            if (end > pos_ && buffer_[end - 1] == '\r')
                --end;
            line.assign(buffer_, pos_, end - pos_);
            pos_ = nl + 1;
            return true;
        }
        if (buffer_.size() - pos_ > max_header_line) {
            // No line end in sight: the rest is no header.
            line.assign(buffer_, pos_, max_header_line);
            pos_ += max_header_line;
            return true;
        }
        if (!fill())
            return false;
    }
}

bool message_reader::resynchronise()
{
    for (;;) {
        const auto it =
            std::search(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_), buffer_.end(), length_field.begin(),
                        length_field.end(), [](char x, char y) { return ascii_lower(x) == y; });
        if (it != buffer_.end()) {
            pos_ = static_cast<std::size_t>(it - buffer_.begin());
            resync_ = false;
            return true;
        }
        // Keep what could be the start of the field name.
        pos_ = std::max(pos_, buffer_.size() - std::min(buffer_.size(), length_field.size() - 1));
        if (!fill())
            return false;
    }
}

bool message_reader::skip_body()
{
    while (skip_ > 0) {
        if (pos_ == buffer_.size() && !fill())
            return false;
        const std::size_t n = std::min(skip_, buffer_.size() - pos_);
        pos_ += n;
        skip_ -= n;
    }
    return true;
}

message_reader::message message_reader::next()
{
    message m;
    if (!skip_body() || (resync_ && !resynchronise()))
        return m;

    // The header: lines up to an empty one.  Empty lines before it (between
    // messages) are passed over.
    std::string line;
    bool any = false;
    bool have_length = false;
    std::string bad;
    std::uint64_t length = 0;
    for (;;) {
        if (!take_line(line))
            return m;
        if (line.empty()) {
            if (any)
                break;
            continue;
        }
        any = true;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            // Not a header at all: the next one is searched for from here.
            m.what = message::kind::bad_header;
            m.problem = "malformed header: a line without ':'";
            resync_ = true;
            return m;
        }
        if (!same_ignoring_case(trim(std::string_view(line).substr(0, colon)), length_field))
            continue; // Content-Type and others
        const std::string_view value = trim(std::string_view(line).substr(colon + 1));
        const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
        if (value.empty() || ec != std::errc() || p != value.data() + value.size()) {
            if (bad.empty())
                bad = "Content-Length '" + text::escape_bytes(value) + "' is not a number";
        } else {
            have_length = true;
        }
    }
    if (bad.empty() && !have_length)
        bad = "no Content-Length";
    if (!bad.empty()) {
        m.what = message::kind::bad_header;
        m.problem = "malformed header: " + bad;
        resync_ = true;
        return m;
    }
    if (length > max_message_bytes) {
        m.what = message::kind::too_large;
        m.problem = "message of " + std::to_string(length) + " bytes refused: the limit is " +
                    std::to_string(max_message_bytes) + " bytes";
        skip_ = length;
        return m;
    }
    while (buffer_.size() - pos_ < length)
        if (!fill())
            return m;
    m.what = message::kind::body;
    m.body.assign(buffer_, pos_, length);
    pos_ += length;
    return m;
}

bool message_writer::send(json message)
{
    message["jsonrpc"] = jsonrpc_version;
    const std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
    const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    const std::lock_guard<std::mutex> hold(lock_);
    if (broken_)
        return false;
    for (std::string_view part : {std::string_view(header), std::string_view(body)}) {
        while (!part.empty()) {
            const ssize_t n = ::write(fd_, part.data(), part.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                broken_ = true;
                return false;
            }
            part.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    return true;
}

bool message_writer::respond(const json& id, json result)
{
    return send({{"id", id}, {"result", std::move(result)}});
}

bool message_writer::respond_error(const json& id, int code, const std::string& message)
{
    return send({{"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

bool message_writer::notify(std::string_view method, json params)
{
    return send({{"method", method}, {"params", std::move(params)}});
}

std::string protect_bytes(std::string_view body)
{
    std::string out;
    out.reserve(body.size() + body.size() / 8);
    for (std::size_t i = 0; i < body.size();) {
        const auto b = static_cast<unsigned char>(body[i]);
        if (b < 0x80) {
            out += body[i++];
            continue;
        }
        const text::utf8_char c = text::decode_utf8(body.substr(i));
        if (c.length > 0 && c.code_point < byte_marks + 0x80) {
            out.append(body, i, c.length);
            i += c.length;
            continue;
        }
        // A stray byte, or a character that the marks use: each byte marked.
        for (std::size_t k = 0; k < std::max<std::size_t>(c.length, 1); ++k)
            text::append_utf8(out, byte_marks + static_cast<unsigned char>(body[i + k]));
        i += std::max<std::size_t>(c.length, 1);
    }
    return out;
}

void restore_bytes(std::string& s)
{
    std::size_t to = 0;
    for (std::size_t from = 0; from < s.size();) {
        const auto b = static_cast<unsigned char>(s[from]);
        if (b == 0xF4) {
            const text::utf8_char c = text::decode_utf8(std::string_view(s).substr(from));
            if (c.length == 4 && c.code_point >= byte_marks + 0x80) {
                s[to++] = static_cast<char>(c.code_point - byte_marks);
                from += 4;
                continue;
            }
        }
        s[to++] = s[from++];
    }
    s.resize(to);
}

} // namespace trl::lsp
