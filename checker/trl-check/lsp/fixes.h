// Quick fixes for diagnostics: the one place that says how a diagnostic of
// a text can be repaired.  The code actions of the server (each fix as a
// "quickfix" action, and all of a document's fixes at once as
// "source.fixAll.trl-check") are built from what it returns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"

namespace trl_check::lsp {

// A replacement of bytes of the text.
struct text_edit {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::string replacement;
};

struct quick_fix {
    std::string title;
    std::vector<text_edit> edits; // in the order of the text, not overlapping
};

// The fixes for diagnostic `d` of `text`, the best first.  None are known
// yet: the fixes come by diagnostic code, with the checker's own table of
// fixes.
std::vector<quick_fix> quick_fixes(const diagnostic& d, std::string_view text);

} // namespace trl_check::lsp
