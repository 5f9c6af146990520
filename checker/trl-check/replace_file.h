// Writing a file over its old bytes so that nothing half-written ever
// stands in its place, and nothing another writer put there is lost.
#pragma once

#include <string>
#include <string_view>

#include "common/file_text.h"

namespace trl::cli {

// Writes `bytes` as the new content of the file at `path`, whose text
// `as_read` holds: into a new file in the same folder, given the old
// file's owner (where the system allows it), extended attributes (its
// access control list among them, where the file system takes them) and
// whole mode, flushed to the disk and renamed over the old one.  A link is
// followed: the file it names is replaced and the link stays.
//
// Refused, with nothing written: a path that is not a regular file
// (files::not_regular_reason), a file the user may not write ("not writable",
// whatever the folder allows), a file with other names (hard links, which
// a new file would part from it), and a file that is no longer as it was
// read (another file in its place, other bytes, another time: "changed
// while it was fixed; run again"), which is looked at last, just before
// the rename.  On failure the old file is left exactly as it was, the new
// one removed, and the reason returned; on success the result is empty.
std::string replace_file(const std::string& path, const files::file_text& as_read, std::string_view bytes);

} // namespace trl::cli
