// libFuzzer target: trl-check's checker over arbitrary bytes in memory, as
// the program checks a file, with both reports written, and its fixes.
// Checked on every input: the positions and the ends of the offending
// texts lie in the text and agree with its line breaks, the counts agree
// with the diagnostics, the first diagnostic about the grammar is where
// velmar (run on the same bytes) stops, skipping to the end of a turn ends
// where scanning token by token does, and the reports are lines of
// printable bytes (human) and UTF-8 (JSON).  Then the text is fixed (the
// unsafe fixes too when the first byte is odd): before the first byte a
// fix changed, the errors are those of the text before; fixing the fixed
// text again changes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "language/check.h"
#include "language/fix.h"
#include "checker/lex.trl.h"
#include "language/text_scanner.h"
#include "checker/trl-check/report.h"
#include "common/text.h"
#include "checker/velmar.h"

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr; // velmar echoes
    (void)quiet;
    static trl::checker checker;
    if (size > 1u << 20)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    trl::check_options options;
    options.max_errors = 8;
    const trl::file_report report = checker.check(text, options);

    int errors = 0;
    int warnings = 0;
    std::size_t last = 0;
    bool consistency = false; // the warnings about the corpus come last, in their own order
    for (const trl::diagnostic& d : report.diagnostics) {
        const bool warning = d.warning;
        errors += !warning;
        warnings += warning;
        if (trl::info(d.kind).consistency && !consistency)
            consistency = true, last = 0;
        require(trl::info(d.kind).consistency == consistency);
        require(d.offset <= size && d.length <= size - d.offset && d.offset >= last);
        require((d.length == 0) == (d.offset == size));
        require(d.span_begin <= d.offset && d.span_end >= d.offset + d.length && d.span_end <= size);
        last = d.offset;
        long line = 1;
        std::size_t line_start = 0;
        for (std::size_t i = 0; i < d.span_end; ++i) {
            if (i == d.span_begin)
                require(d.line == line && d.line_start == line_start &&
                        d.column == static_cast<long>(d.span_begin - line_start) + 1);
            if (text[i] == '\n')
                ++line, line_start = i + 1;
        }
        require(d.end_line == line && d.end_column == static_cast<long>(d.span_end - line_start) + 1);
        if (d.span_begin == d.span_end)
            require(d.line == line && d.column == d.end_column);
        require(!d.message.empty() && !d.context.empty());
        require(warning || !d.expected.empty() || d.kind == trl::code::no_turn);
    }
    require(errors == report.errors && warnings == report.warnings && errors <= 8);

    // The human report is lines of printable bytes (and colours); the JSON
    // report is UTF-8 whatever the text's bytes.
    std::string out;
    trl::cli::format_human(out, "fuzz.trl", text, report, true);
    for (const char c : out)
        require(c == '\n' || c == '\033' || static_cast<unsigned char>(c) >= 0x20);
    out.clear();
    trl::cli::format_json(out, "fuzz.trl", report);
    require(text::is_utf8(out));

    // velmar on the same bytes.
    velmar_reset();
    trl_buffer* b = trl_scan_bytes(text.data(), static_cast<int>(size));
    const int status = trlparse();
    const std::size_t offset = static_cast<std::size_t>(trltext - b->chars);
    trl_delete_buffer(b);
    require(status >= 0 && status <= 2);
    const trl::diagnostic* first = nullptr;
    for (const trl::diagnostic& d : report.diagnostics)
        if (!first && !trl::info(d.kind).consistency)
            first = &d;
    if (status == 0) {
        require(!first);
    } else {
        require(first && first->velmar_stops);
        require(trl::info(first->kind).warning == (status == 2));
        require(first->offset == offset && first->velmar_line == lineno);
    }

    // The fixes.
    if (size > 1u << 16)
        return 0;
    const bool unsafe = size > 0 && (data[0] & 1);
    trl::check_options all;
    all.max_errors = 0;
    const trl::fix_outcome once = trl::fix_text(text, unsafe, checker, all);
    const std::size_t same = static_cast<std::size_t>(
        std::mismatch(text.begin(), text.end(), once.text.begin(), once.text.end()).first - text.begin());
    require(once.text != text || same == size);
    const trl::file_report before = checker.check(text, all);
    for (const trl::diagnostic& d : once.report.diagnostics) {
        if (d.warning || d.span_end >= same)
            break;
        require(std::any_of(before.diagnostics.begin(), before.diagnostics.end(),
                            [&](const trl::diagnostic& b) { return b.offset == d.offset && b.kind == d.kind; }));
    }
    if (once.settled) {
        const trl::fix_outcome twice = trl::fix_text(once.text, unsafe, checker, all);
        require(twice.text == once.text);
    }
    return 0;
}
