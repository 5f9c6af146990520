// How trl-check mends what it finds: one table of fixes keyed by the code
// of the diagnostic they mend (each entry checked against the catalogue
// when the program is built), the fixes of one diagnostic as edits of the
// text's bytes, all the safe fixes of a text as one list, and the whole of
// --fix: fixes applied until nothing more can be fixed.
//
// Safe fixes change only how a text is written, never what it says: line
// ends, a byte order mark, umlauts typed as UTF-8 or Latin-1 letters, the
// missing end of the text.  They mend every such byte that is an error
// (every one outside a comment), whether or not a diagnostic names it, and
// once they mend a CR LF line end, those in comments too.
// Unsafe fixes change what stands in a turn (a blank put in or taken out,
// a tab, a misspelled tag), and each is applied only where the turn,
// checked again with it, has no error inside the text it changed or at
// its edges.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/catalogue.h"
#include "language/check.h"

namespace trl {

// A replacement of the bytes [offset, offset + length) of a text.
struct edit {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::string replacement;
};

struct fix {
    code kind = code::unexpected_token; // the code of what it mends
    fix_tier tier = fix_tier::safe;
    std::string title;       // what it does, for a person
    std::vector<edit> edits; // in the order of the text, not overlapping
};

// The fixes of one text.
class fixer {
public:
    // A text that is well-formed UTF-8 as a whole is read as UTF-8, any
    // other as Latin-1.
    explicit fixer(std::string_view text);

    // The fix of a diagnostic of the text, if the table has one that
    // applies to it.
    std::optional<fix> fix_for(const diagnostic& d) const;

    // Every safe fix of the text, by the report of a check of it: in the
    // order of the text, not overlapping.
    std::vector<fix> safe_fixes(const file_report& report) const;

private:
    std::string_view text_;
    bool utf8_;
};

// Marks each error among the diagnostics of a text that the table has a
// fix for with that fix's tier (diagnostic::fixable): what --fix, or --fix
// with --unsafe-fixes, would mend.  By the table alone: an unsafe fix is
// applied only where its turn checks clean with it.
void mark_fixable(std::string_view text, std::vector<diagnostic>& diagnostics);

// Edits applied to a text (in order, not overlapping).
std::string apply_edits(std::string_view text, const std::vector<edit>& edits);

// What --fix makes of a text.
struct fix_outcome {
    std::string text;      // the fixed text (the text itself when nothing was fixed)
    code_counts applied{}; // the fixes applied, by the code of what they mended
    bool settled = true;   // a check found nothing more to fix (false: the passes ran out)
    file_report report;    // the check of the fixed text, with the options given
};

// Fixes the text until a check finds nothing more to fix, at most 8 passes:
// the safe fixes, and with `unsafe` the unsafe ones too.  `options` are
// those of the report on the result.
fix_outcome fix_text(std::string_view text, bool unsafe, checker& ck, const check_options& options);

} // namespace trl
