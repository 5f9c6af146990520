#include "checker/trl-check/lsp/fixes.h"

namespace trl::lsp {

std::vector<quick_fix> quick_fixes(const diagnostic& d, std::string_view text)
{
    std::vector<quick_fix> out;
    if (std::optional<fix> f = fixer(text).fix_for(d)) {
        std::string title = f->title;
        if (!title.empty())
            title[0] = static_cast<char>(title[0] >= 'a' && title[0] <= 'z' ? title[0] - 'a' + 'A' : title[0]);
        out.push_back({std::move(title), std::move(f->edits), f->tier == fix_tier::safe});
    }
    return out;
}

std::vector<edit> safe_edits(std::string_view text, const file_report& report, std::optional<code> only)
{
    std::vector<edit> out;
    for (fix& f : fixer(text).safe_fixes(report))
        if (!only || f.kind == *only)
            out.insert(out.end(), std::make_move_iterator(f.edits.begin()), std::make_move_iterator(f.edits.end()));
    return out;
}

} // namespace trl::lsp
