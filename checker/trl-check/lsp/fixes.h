// Quick fixes for diagnostics: what the checker's table of fixes (fix.h)
// offers for a diagnostic of a text, and all the safe fixes of a text at
// once.  The code actions of the server (each fix as a "quickfix" action,
// the safe ones preferred, and all of a document's safe fixes as
// "source.fixAll.trl-check") are built from what these return.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/check.h"
#include "language/fix.h"

namespace trl::lsp {

using trl::edit;

struct quick_fix {
    std::string title;
    std::vector<edit> edits; // in the order of the text, not overlapping
    bool preferred = false;  // safe: it changes how the text is written, not what it says
};

// The fixes for diagnostic `d` of `text`, the best first.
std::vector<quick_fix> quick_fixes(const diagnostic& d, std::string_view text);

// Every safe fix of `text`, whose report is `report`, as one list of edits;
// with `only`, those of the diagnostics of that code.
std::vector<edit> safe_edits(std::string_view text, const file_report& report, std::optional<code> only = {});

} // namespace trl::lsp
