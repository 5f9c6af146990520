// libFuzzer target: trl-check's checker over arbitrary bytes in memory, as
// the program checks a file, with both reports written.  Checked on every
// input: the positions lie in the text and agree with its line breaks,
// the counts agree with the diagnostics, the first diagnostic is where
// velmar (run on the same bytes) stops, skipping to the end of a turn
// ends where scanning token by token does, and the reports are lines of
// printable bytes (human) and UTF-8 (JSON).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "lex.trl.h"
#include "lex.trl.text.h"
#include "report.h"
#include "skip.h"
#include "text.h"
#include "velmar.h"

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;   // velmar echoes
    (void)quiet;
    static trl_check::checker checker;
    if (size > 1u << 20)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    trl_check::check_options options;
    options.max_errors = 8;
    const trl_check::file_report report = checker.check(text, options);

    int errors = 0;
    int warnings = 0;
    std::size_t last = 0;
    for (const trl_check::diagnostic& d : report.diagnostics) {
        const bool warning = trl_check::info(d.kind).warning;
        errors += !warning;
        warnings += warning;
        require(d.offset <= size && d.length <= size - d.offset && d.offset >= last);
        require((d.length == 0) == (d.offset == size));
        last = d.offset;
        long line = 1;
        std::size_t line_start = 0;
        for (std::size_t i = 0; i < d.offset; ++i)
            if (text[i] == '\n')
                ++line, line_start = i + 1;
        require(d.line == line && d.line_start == line_start && d.column == static_cast<long>(d.offset - line_start) + 1);
        require(!d.message.empty() && !d.context.empty());
        require(warning || !d.expected.empty() || d.kind == trl_check::code::no_turn);
    }
    require(errors == report.errors && warnings == report.warnings && errors <= 8);

    trl_text_scanner plain;
    trl_text_scanner_start(plain, text.data(), size);
    trl_text_scanner fast = plain;
    int code;
    while ((code = trl_text_scan(plain)) != END && code != 0) {
    }
    require(trl_check::skip_past_end(fast) == (code == END));
    require(fast.pos == plain.pos && fast.lineno == plain.lineno && fast.at_line_start == plain.at_line_start);

    // The human report is lines of printable bytes (and colours); the JSON
    // report is UTF-8 whatever the text's bytes.
    std::string out;
    trl_check::format_human(out, "fuzz.trl", text, report, true);
    for (const char c : out)
        require(c == '\n' || c == '\033' || static_cast<unsigned char>(c) >= 0x20);
    out.clear();
    trl_check::format_json(out, "fuzz.trl", report);
    require(text::is_utf8(out));

    // velmar on the same bytes.
    velmar_reset();
    trl_buffer* b = trl_scan_bytes(text.data(), static_cast<int>(size));
    const int status = trlparse();
    const std::size_t offset = static_cast<std::size_t>(trltext - b->chars);
    trl_delete_buffer(b);
    require(status >= 0 && status <= 2);
    if (status == 0) {
        require(report.diagnostics.empty());
    } else {
        require(!report.diagnostics.empty());
        const trl_check::diagnostic& d = report.diagnostics[0];
        require(trl_check::info(d.kind).warning == (status == 2));
        require(d.offset == offset && d.velmar_line == lineno);
    }
    return 0;
}
