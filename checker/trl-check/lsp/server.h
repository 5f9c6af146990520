// trl-check's language server: the checker in an editor, speaking the
// Language Server Protocol (JSON-RPC messages with a Content-Length header)
// on two descriptors, for one editor session.  Diagnostics are pushed for
// every version of every open document; hover explains a diagnostic's code
// or a tag, completion offers the tags after '<', the outline lists the
// turns, and semantic tokens colour identifications, tags, comments,
// speaker marks and punctuation.  Of a document that is a local file, the
// file is read when it is opened and saved, and what the editor's text does
// not show of it comes first among the diagnostics (on_disk.h).  Messages
// for people go to standard error.
//
// In layers: transport.h reads and writes the messages (and their JSON-RPC
// envelope); the server checks the envelope and dispatches each method to
// a handler, which reads its params with protocol.h, asks the document
// store (document.h), the check worker (check_worker.h) or the features
// (features.h, on plain values) and writes the answer with protocol.h.
#pragma once

namespace trl::lsp {

// Serves the client on `in` and `out` until it says exit or its input
// ends.  Returns the exit status: 0 after a shutdown request, 1 without.
int serve(int in, int out);

} // namespace trl::lsp
