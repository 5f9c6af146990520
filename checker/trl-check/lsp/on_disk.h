// What the file of a document holds that the editor's text does not show.
//
// An editor reads a file into a text of its own before the server sees
// it: it takes a byte order mark off (and writes it back), reads CR LF line
// ends as line ends (and writes them back), and decodes a Latin-1 or UTF-16
// file into its own encoding.  The text it sends then looks clean while the
// file, which the command line, the commit hook and velmar read, is not.
// For a document whose URI names a local file, the server reads the file
// when the document is opened and when it is saved, compares its bytes with
// the editor's text of that moment, and says what the editor hides in the
// command line's words, on the text's first line.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/check.h"
#include "common/file_text.h"

namespace trl::lsp {

// The path of a file: URI of this machine (no host, or "localhost"), its
// percent escapes decoded ("file:///a%20b/%C3%B6.trl" is "/a b/ö.trl");
// nothing for another scheme or host, a relative path, a malformed escape,
// or an escaped NUL or '/' (which no file name holds).
std::optional<std::string> file_path(std::string_view uri);

// What an editor hides of a file.
enum class hidden {
    byte_order_mark, // a UTF-8 byte order mark at its start
    utf16,           // the file is UTF-16 (it starts with its byte order mark)
    crlf,            // CR LF line ends
    latin1,          // a Latin-1 file that the editor shows converted to its own encoding
};

// A file's bytes, and what the editor's text hid of them when they were read.
struct file_bytes {
    std::string bytes;
    std::vector<hidden> hides; // not empty, in the order of the enumeration
};

// What the editor hides of `file` when its text is `text`: the bytes
// of `file` compared with the text.
std::vector<hidden> hidden_in(std::string_view file, std::string_view text);

// The file of `uri` read and compared with the editor's `text`; null when
// the URI names no local file, the file cannot be read (deleted, no
// permission, not a regular file), or the editor hides nothing of it.
// `buffer` is kept from read to read.
std::shared_ptr<const file_bytes> read_file_bytes(std::string_view uri, std::string_view text,
                                                  files::file_text& buffer);

// Settings with which an editor writes a file, as Neovim names them
// ("bomb", "fileencoding", "fileformat"); those not set are left as they
// are.
struct file_settings {
    std::optional<bool> bomb = std::nullopt;
    std::string_view fileencoding = {};
    std::string_view fileformat = {};
};

// One thing the editor hides, said as the command line says it.
struct file_note {
    hidden what;
    // The command line's diagnostic of the first bytes concerned: its code,
    // message, hints and velmar's line.
    diagnostic said;
    // What to set in the editor so that it writes the file right.
    std::string_view advice;
    // The quick fix: its title, and the settings with which the editor is
    // to write the file; none for a Latin-1 file, which is mended by
    // writing its letters as the conventions do (an edit of the editor's
    // text).
    std::string_view fix_title;
    std::optional<file_settings> settings;
};

// The notes of a file read by read_file_bytes, in the order of `hides`: one
// for each thing hidden whose bytes the command line reports an error at.
std::vector<file_note> file_notes(const file_bytes& file, checker& ck);

} // namespace trl::lsp
