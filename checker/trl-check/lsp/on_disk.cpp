#include "checker/trl-check/lsp/on_disk.h"

#include <sys/stat.h>

#include <algorithm>

#include "checker/trl-check/lsp/ascii_case.h"
#include "common/text.h"
#include "language/umlauts.h"

namespace trl::lsp {

namespace {

int hex_value(char c)
{
    c = ascii_lower(c);
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// What is said of each thing hidden, and the settings that mend it.
struct hidden_words {
    std::string_view advice;
    std::string_view fix_title;
};

const hidden_words& words_of(hidden h)
{
    static const hidden_words words[] = {
        {"the editor does not show the byte order mark at the start of the file: have it save the file without "
         "one (Neovim: :set nobomb; VS Code: Save with Encoding, UTF-8; Emacs: C-x RET f utf-8)",
         "Write the file without its byte order mark"},
        {"the editor shows this UTF-16 file decoded: have it save the file as UTF-8 without a byte order mark "
         "(Neovim: :set fileencoding=utf-8 nobomb; VS Code: Save with Encoding, UTF-8; Emacs: C-x RET f utf-8)",
         "Write the file in UTF-8 without a byte order mark"},
        {"the editor does not show the CR LF line ends of the file: have it save the file with LF line ends "
         "(Neovim: :set fileformat=unix; VS Code: LF in the status bar; Emacs: C-x RET f unix)",
         "Write the file with LF line ends"},
        {"the editor shows this Latin-1 file converted, so its diagnostics of the letters name bytes that the file "
         "does not hold: written as the conventions write them, the letters make the file ASCII",
         "Write the letters as the conventions do (\"a \"o \"u \"s)"},
    };
    return words[static_cast<std::size_t>(h)];
}

std::optional<file_settings> settings_of(hidden h)
{
    switch (h) {
    case hidden::byte_order_mark:
        return file_settings{.bomb = false};
    case hidden::utf16:
        return file_settings{.bomb = false, .fileencoding = "utf-8"};
    case hidden::crlf:
        return file_settings{.fileformat = "unix"};
    case hidden::latin1:
        break;
    }
    return std::nullopt;
}

// Whether the command line's diagnostic `d` is about a hidden thing.
bool concerns(hidden h, std::string_view bytes, const diagnostic& d)
{
    if (d.warning || d.span_begin >= bytes.size())
        return false;
    switch (h) {
    case hidden::byte_order_mark:
    case hidden::utf16:
        return d.span_begin == 0;
    case hidden::crlf:
        return d.kind == code::control_character && bytes.substr(d.span_begin).starts_with("\r\n");
    case hidden::latin1:
        break;
    }
    return d.kind == code::non_ascii_byte;
}

std::string with_lf(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] != '\r' || i + 1 == s.size() || s[i + 1] != '\n')
            out += s[i];
    return out;
}

} // namespace

std::optional<std::string> file_path(std::string_view uri)
{
    constexpr std::string_view scheme = "file:";
    if (!same_ignoring_case(uri.substr(0, scheme.size()), scheme))
        return std::nullopt;
    uri.remove_prefix(scheme.size());
    if (uri.starts_with("//")) {
        uri.remove_prefix(2);
        const std::size_t slash = uri.find('/');
        const std::string_view host = uri.substr(0, slash);
        if (slash == std::string_view::npos || !(host.empty() || same_ignoring_case(host, "localhost")))
            return std::nullopt;
        uri.remove_prefix(slash);
    }
    if (!uri.starts_with('/'))
        return std::nullopt;
    uri = uri.substr(0, uri.find_first_of("?#"));
    std::string path;
    path.reserve(uri.size());
    for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] != '%') {
            path += uri[i];
            continue;
        }
        const int high = i + 2 < uri.size() ? hex_value(uri[i + 1]) : -1;
        const int low = high >= 0 ? hex_value(uri[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0) || (high == 2 && low == 15))
            return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

std::vector<hidden> hidden_in(std::string_view file, std::string_view text)
{
    std::vector<hidden> out;
    if (file == text)
        return out;
    if (starts_utf16(file)) {
        // Every character is two bytes: the editor decoded the whole file.
        if (!text.starts_with(file.substr(0, 2)))
            out.push_back(hidden::utf16);
        return out;
    }
    std::string_view rest = file;
    if (rest.starts_with(utf8_byte_order_mark) && !text.starts_with(utf8_byte_order_mark)) {
        out.push_back(hidden::byte_order_mark);
        rest.remove_prefix(utf8_byte_order_mark.size());
    }
    const bool crlf = rest.find("\r\n") != std::string_view::npos && text.find("\r\n") == std::string_view::npos;
    if (crlf)
        out.push_back(hidden::crlf);
    // The checker reads a file that is not well-formed UTF-8 as Latin-1:
    // the editor has converted it when its text is those characters in
    // UTF-8.
    if (!text::is_utf8(rest) && text::latin1_to_utf8(crlf ? with_lf(rest) : rest) == text)
        out.push_back(hidden::latin1);
    return out;
}

std::shared_ptr<const file_bytes> read_file_bytes(std::string_view uri, std::string_view text, files::file_text& buffer)
{
    const std::optional<std::string> path = file_path(uri);
    if (!path)
        return nullptr;
    // Regular files only: reading a FIFO would wait for a writer.
    struct stat st;
    if (::stat(path->c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !buffer.load(*path))
        return nullptr;
    std::shared_ptr<file_bytes> file;
    if (std::vector<hidden> hides = hidden_in(buffer.text(), text); !hides.empty())
        file = std::make_shared<file_bytes>(file_bytes{std::string(buffer.text()), std::move(hides)});
    buffer.release();
    return file;
}

std::vector<file_note> file_notes(const file_bytes& file, checker& ck)
{
    check_options every;
    every.max_errors = 0;
    const file_report report = ck.check(file.bytes, every);
    std::vector<file_note> out;
    for (const hidden h : file.hides) {
        const auto said = std::find_if(report.diagnostics.begin(), report.diagnostics.end(),
                                       [&](const diagnostic& d) { return concerns(h, file.bytes, d); });
        // Bytes that the command line reports no error at (in a comment, or
        // passed over after an error before them in their turn) get no note:
        // a note says the command line's error.
        if (said != report.diagnostics.end())
            out.push_back({h, *said, words_of(h).advice, words_of(h).fix_title, settings_of(h)});
    }
    return out;
}

} // namespace trl::lsp
