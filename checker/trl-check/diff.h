// A unified diff of a text and its fixed form, as `diff -u` writes it and
// `patch` reads it.
#pragma once

#include <string>
#include <string_view>

namespace trl::cli {

// The hunks that turn `before` into `after`, with three lines of context,
// under the header "--- PATH" and "+++ PATH"; nothing when they are the
// same.  The hunks are those of a shortest script of lines removed and
// added (a fix may put an empty line between two turns anywhere), as long
// as one is found within a budget of work proportional to the text; past
// it (line ends mended in a whole long text) the lines are paired where
// they stand, which is the shortest script when every line changed in
// place.
std::string unified_diff(std::string_view path, std::string_view before, std::string_view after);

} // namespace trl::cli
