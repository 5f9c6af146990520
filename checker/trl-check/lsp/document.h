// An open document as the server keeps it: one immutable snapshot per
// version, shared between the thread that reads the client's messages and
// the one that checks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "checker/trl-check/lsp/on_disk.h"
#include "checker/trl-check/lsp/positions.h"
#include "checker/trl-check/lsp/transport.h"

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

// A Position of the protocol ({"line": n, "character": n}); rpc_error
// invalid_params when it is not one.
position read_position(const json& p);

// Applies one entry of a didChange's contentChanges to `text`: the whole
// text when it has no range, else the range replaced (positions in the
// encoding `units`; a range given end first is taken start first).
void apply_change(std::string& text, const json& change, encoding units);

} // namespace trl::lsp
