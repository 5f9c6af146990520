// Writing a file over its old bytes so that nothing half-written ever
// stands in its place.
#pragma once

#include <string>
#include <string_view>

namespace trl_check {

// Writes `bytes` as the new content of the file at `path`: into a new file
// in the same folder, flushed to the disk and given the old file's mode
// (and owner, where the system allows it), which is then renamed over the
// old one.  A link is followed: the file it names is replaced.  On failure
// the old file is left exactly as it was, the new one removed, and the
// reason returned; on success the result is empty.
std::string replace_file(const std::string& path, std::string_view bytes);

} // namespace trl_check
