// An open document as the server keeps it: one immutable snapshot per
// version, shared between the thread that reads the client's messages and
// the one that checks; and the store of the open documents, which makes a
// new snapshot for each version.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checker/trl-check/lsp/on_disk.h"
#include "checker/trl-check/lsp/positions.h"

namespace trl::lsp {

struct snapshot {
    std::string uri;
    long version = 0;
    std::uint64_t generation = 0; // grows with every change of any document
    encoding units = encoding::utf16;
    std::string text;
    line_index lines;
    // The document's file as read when it was last opened or saved, when
    // the editor hides something of it (on_disk.h); null otherwise.
    std::shared_ptr<const file_bytes> file;

    position_map positions() const { return position_map(text, lines, units); }
};

std::shared_ptr<const snapshot> make_snapshot(std::string uri, long version, std::uint64_t generation, encoding units,
                                              std::string text, std::shared_ptr<const file_bytes> file = nullptr);

// A change of a document's text: the whole text when it has no range, else
// the range replaced.
struct text_change {
    std::optional<range> where;
    std::string text;
};

// Applies `change` to `text`, its positions in the encoding `units` (a
// range given end first is taken start first).
void apply_change(std::string& text, const text_change& change, encoding units);

// The open documents, by URI: the newest snapshot of each.
class document_store {
public:
    // The encoding of the positions of changes, as agreed at
    // initialisation.
    void set_units(encoding e) { units_ = e; }

    // The open document `uri`; null when there is none.
    std::shared_ptr<const snapshot> find(const std::string& uri) const;
    // A new version of a document (opened, or changed as a whole), with
    // what the editor hides of its file.
    std::shared_ptr<const snapshot> update(const std::string& uri, long version, std::string text,
                                           std::shared_ptr<const file_bytes> file);
    // The version of `doc` that `changes` make, applied in turn; its file
    // is kept.
    std::shared_ptr<const snapshot> change(const snapshot& doc, long version, const std::vector<text_change>& changes);
    void close(const std::string& uri) { documents_.erase(uri); }

private:
    encoding units_ = encoding::utf16;
    std::uint64_t generation_ = 0;
    std::map<std::string, std::shared_ptr<const snapshot>> documents_;
};

} // namespace trl::lsp
