// A unified diff of a text and its fixed form, as `diff -u` writes it and
// `patch` reads it.
#pragma once

#include <string>
#include <string_view>

namespace trl_check {

// The hunks that turn `before` into `after`, with three lines of context,
// under the header "--- PATH" and "+++ PATH"; nothing when they are the
// same.  Lines are compared where they stand: the fixes change bytes
// within lines and add lines only at the end, so that is where a line's
// change shows, and any other change still comes out as a diff that
// applies.
std::string unified_diff(std::string_view path, std::string_view before, std::string_view after);

} // namespace trl_check
