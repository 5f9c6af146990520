// A real client: headless Neovim with editors/nvim/trl-check.lua opens
// examples/errors.trl, waits for the diagnostics, adds the missing blank
// of the T009 diagnostic, and waits for it to go (tests/lsp/nvim_errors.lua
// takes the steps and writes what it saw).  Each list must be what
// trl-check --format=json says of the text at that point.
#include <gtest/gtest.h>

#include <filesystem>

#include "acceptance.h"
#include "json.h"
#include "process.h"

namespace {

namespace fs = std::filesystem;
using test_support::json;

// trl-check's diagnostics of a file as nvim_errors.lua writes them.
json cli_diagnostics(const std::string& path)
{
    const test_support::run_result r = test_support::run(TRL_CHECK_PATH, {"--format=json", path});
    json out = json::array();
    for (const json& d : test_support::parse_json_lines(r.out))
        if (d["type"] == "diagnostic")
            out.push_back({{"line", d["line"]}, {"column", d["column"]}, {"code", d["code"]}});
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
    std::size_t at = 0;
    for (int line = 1; line < seen["fixed_at"]["line"].get<int>(); ++line)
        at = fixed.find('\n', at) + 1;
    fixed.insert(at + seen["fixed_at"]["column"].get<std::size_t>() - 1, 1, ' ');
    const json after = cli_diagnostics(dir.write("fixed.trl", fixed));
    EXPECT_EQ(after.size(), opened.size() - 1);
    EXPECT_EQ(seen["steps"]["blank_added"], after);
}

} // namespace
