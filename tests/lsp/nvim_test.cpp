// A real client: headless Neovim with editors/nvim/trl-check.lua opens
// examples/errors.trl, waits for the diagnostics, adds the missing blank
// of the T009 diagnostic and waits for it to go, then asks for the code
// actions at the T005 diagnostic (a UTF-8 umlaut), applies its quick fix
// and waits for that to go (tests/lsp/nvim_errors.lua takes the steps and
// writes what it saw).  Each list must be what trl-check --format=json says
// of the text at that point, ranges included.
#include <gtest/gtest.h>

#include <filesystem>

#include "acceptance.h"
#include "json.h"
#include "process.h"

namespace {

namespace fs = std::filesystem;
using test_support::json;

// The offset of a 1-based line and byte column in a text.
std::size_t offset_of(const std::string& text, long line, long column)
{
    std::size_t at = 0;
    for (long l = 1; l < line; ++l)
        at = text.find('\n', at) + 1;
    return at + static_cast<std::size_t>(column - 1);
}

// trl-check's diagnostics of a file as nvim_errors.lua writes them.  An
// editor's range covers whole characters: an end inside a UTF-8 character
// (the bytes after it continuation bytes) moves to the character's end.
json cli_diagnostics(const std::string& path)
{
    const std::string text = test_support::read_file(path);
    const test_support::run_result r = test_support::run(TRL_CHECK_PATH, {"--format=json", path});
    json out = json::array();
    for (const json& d : test_support::parse_json_lines(r.out)) {
        if (d["type"] != "diagnostic")
            continue;
        long end_column = d["end_column"];
        for (std::size_t at = offset_of(text, d["end_line"], end_column);
             at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; ++at)
            ++end_column;
        out.push_back({{"line", d["line"]},
                       {"column", d["column"]},
                       {"end_line", d["end_line"]},
                       {"end_column", end_column},
                       {"code", d["code"]}});
    }
    return out;
}

TEST(LspNeovim, DiagnosticsAppearAndGoInNeovim)
{
    const std::string nvim = "/usr/bin/nvim";
    if (!fs::exists(nvim)) {
        if (test_support::under_ci())
            FAIL() << "no " << nvim << " (CI=true: it must be there)";
        GTEST_SKIP() << "no " << nvim;
    }
    test_support::temp_dir dir;
    const std::string file =
        dir.write("errors.trl", test_support::read_file(fs::path(TRL_CHECK_EXAMPLES) / "errors.trl"));
    const std::string out = (dir / "out.json").string();
    test_support::run_options o;
    o.cwd = dir.path();
    o.timeout_seconds = 90;
    o.env = {"TRL_CHECK=" TRL_CHECK_PATH,
             "TRL_FILE=" + file,
             "TRL_OUT=" + out,
             "XDG_CONFIG_HOME=" + dir.path().string(),
             "XDG_DATA_HOME=" + dir.path().string(),
             "XDG_STATE_HOME=" + dir.path().string(),
             "XDG_CACHE_HOME=" + dir.path().string()};
    const test_support::run_result r =
        test_support::run(nvim, {"--headless", "--clean", "-u", TRL_NVIM_CONFIG, "-c", "luafile " TRL_NVIM_SCRIPT}, o);
    ASSERT_FALSE(r.timed_out) << r.err;
    const json seen = json::parse(test_support::read_file(out));
    ASSERT_FALSE(seen.contains("error")) << seen["error"];
    EXPECT_EQ(r.status, 0) << r.err;

    const json opened = cli_diagnostics(fs::path(TRL_CHECK_EXAMPLES) / "errors.trl");
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(seen["steps"]["opened"], opened);

    // The text with the blank added where nvim_errors.lua added it.
    std::string fixed = test_support::read_file(fs::path(TRL_CHECK_EXAMPLES) / "errors.trl");
    fixed.insert(offset_of(fixed, seen["fixed_at"]["line"], seen["fixed_at"]["column"]), 1, ' ');
    const json after = cli_diagnostics(dir.write("fixed.trl", fixed));
    EXPECT_EQ(after.size(), opened.size() - 1);
    EXPECT_EQ(seen["steps"]["blank_added"], after);

    // The quick fix of the UTF-8 umlaut: the diagnostic covered the whole
    // letter (two bytes, one character), and the buffer has the
    // conventions' "o in its place, nothing else changed.
    const json& fix = seen["fix"];
    const std::size_t umlaut = offset_of(fixed, fix["line"], fix["column"]);
    ASSERT_EQ(fixed.substr(umlaut, 2), "\xC3\xB6");
    EXPECT_EQ(fix["end_column"], fix["column"].get<long>() + 2);
    EXPECT_NE(fix["title"].get<std::string>().find("\"o"), std::string::npos) << fix["title"];
    fixed.replace(umlaut, 2, "\"o");
    EXPECT_EQ(seen["text"], fixed);
    const json after_fix = cli_diagnostics(dir.write("umlaut.trl", fixed));
    EXPECT_EQ(after_fix.size(), after.size() - 1);
    EXPECT_EQ(seen["steps"]["fix_applied"], after_fix);
}

} // namespace
