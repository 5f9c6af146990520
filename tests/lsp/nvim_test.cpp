// A real client: headless Neovim with editors/nvim/trl-check.lua, driven by
// a script of tests/lsp that takes its steps and writes what it saw
// (nvim_support.lua has what the scripts share).
//
// nvim_errors.lua opens examples/errors.trl, waits for the diagnostics,
// adds the missing blank of the T009 diagnostic and waits for it to go,
// then asks for the code actions at the T005 diagnostic (a UTF-8 umlaut),
// applies its quick fix and waits for that to go.  Each list must be what
// trl-check --format=json says of the text at that point, ranges included.
//
// nvim_hidden.lua opens a file with a byte order mark and one with CR LF
// line ends, which Neovim reads without showing either, and applies the
// quick fix of the server's diagnostic on line 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/acceptance.h"
#include "tests/support/json.h"
#include "tests/support/process.h"

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

// Runs `script` in a headless Neovim with the configuration, in `dir`, with
// the environment words given besides those of the harness, and returns
// what the script wrote; skips the test without Neovim (fails under CI).
json run_neovim(const test_support::temp_dir& dir, const char* script, std::vector<std::string> env)
{
    const std::string nvim = "/usr/bin/nvim";
    if (!fs::exists(nvim)) {
        if (test_support::under_ci())
            ADD_FAILURE() << "no " << nvim << " (CI=true: it must be there)";
        return nullptr;
    }
    const std::string out = (dir / "out.json").string();
    test_support::run_options o;
    o.cwd = dir.path();
    o.timeout_seconds = 90;
    o.env = {"TRL_CHECK=" TRL_CHECK_PATH,
             "TRL_OUT=" + out,
             "XDG_CONFIG_HOME=" + dir.path().string(),
             "XDG_DATA_HOME=" + dir.path().string(),
             "XDG_STATE_HOME=" + dir.path().string(),
             "XDG_CACHE_HOME=" + dir.path().string()};
    o.env.insert(o.env.end(), env.begin(), env.end());
    // A user's 'fileencodings' without latin1: the configuration reads a
    // *.trl file as the checker does all the same.
    const test_support::run_result r =
        test_support::run(nvim,
                          {"--headless", "--clean", "--cmd", "set fileencodings=utf-8", "-u", TRL_NVIM_CONFIG, "-c",
                           std::string("luafile ") + script},
                          o);
    EXPECT_FALSE(r.timed_out) << r.err;
    if (!fs::exists(out)) {
        ADD_FAILURE() << "the script wrote nothing: " << r.err;
        return json::object();
    }
    const json seen = json::parse(test_support::read_file(out));
    EXPECT_FALSE(seen.contains("error")) << seen["error"];
    EXPECT_EQ(r.status, 0) << r.err;
    return seen;
}

TEST(LspNeovim, DiagnosticsAppearAndGoInNeovim)
{
    test_support::temp_dir dir;
    const std::string file =
        dir.write("errors.trl", test_support::read_file(fs::path(TRL_CHECK_EXAMPLES) / "errors.trl"));
    const json seen = run_neovim(dir, TRL_NVIM_SCRIPTS "/nvim_errors.lua", {"TRL_FILE=" + file});
    if (seen.is_null())
        GTEST_SKIP() << "no Neovim";
    ASSERT_FALSE(seen.contains("error"));

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

// A file with a byte order mark, one with CR LF line ends and a Latin-1
// one: Neovim opens each without showing their bytes (the configuration has
// set the buffer to be written without the mark and the CRs, which does not
// count as a change), the server says on line 1 what the command line says
// of those bytes, and its quick fix mends the file, after which nothing is
// left to say.
TEST(LspNeovim, WhatTheBufferDoesNotShowIsSaidOnLineOne)
{
    const std::string turns = "g012abc3_001_ABC_000000: ja .\n\ng012abc3_002_ABC_000000: so .\n\n";
    std::string crlf;
    for (const char c : turns)
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    const std::string latin1 = "g012abc3_001_ABC_000000: sch\xF6n .\n\ng012abc3_002_ABC_000000: so .\n\n";
    test_support::temp_dir dir;
    // The file's bytes, the buffer's 'fileencoding' when opened, the code of
    // the diagnostic on line 1 (the command line's first diagnostic of that
    // code says the same), the diagnostics when opened, what the fix's
    // title names, the file after it.
    struct hidden_case {
        std::string name;
        std::string bytes;
        std::string fileencoding;
        std::string code;
        std::size_t diagnostics;
        std::string fix;
        std::string after;
    };
    const hidden_case cases[] = {
        {"bom.trl", "\xEF\xBB\xBF" + turns, "utf-8", "T005", 1, "byte order mark", turns},
        {"crlf.trl", crlf, "utf-8", "T006", 1, "LF", turns},
        // The buffer also has the letter's own diagnostic, in UTF-8.
        {"latin1.trl", latin1, "latin1", "T005", 2, "conventions",
         "g012abc3_001_ABC_000000: sch\"on .\n\ng012abc3_002_ABC_000000: so .\n\n"},
    };
    std::string files;
    for (const hidden_case& c : cases)
        files.append(files.empty() ? "" : "\n").append(dir.write("a b/" + c.name, c.bytes));
    const json seen = run_neovim(dir, TRL_NVIM_SCRIPTS "/nvim_hidden.lua", {"TRL_FILES=" + files});
    if (seen.is_null())
        GTEST_SKIP() << "no Neovim";
    ASSERT_EQ(seen["files"].size(), std::size(cases)) << seen;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const hidden_case& c = cases[i];
        SCOPED_TRACE(c.name);
        const json& file = seen["files"][i];
        EXPECT_EQ(
            file["options"],
            (json{{"bomb", false}, {"fileformat", "unix"}, {"fileencoding", c.fileencoding}, {"modified", false}}));
        // Opened: at the start of line 1, the command line's message for the
        // file's bytes.
        const json& opened = file["opened"];
        ASSERT_EQ(opened.size(), c.diagnostics) << opened;
        EXPECT_EQ(opened[0]["code"], c.code);
        EXPECT_EQ(opened[0]["line"], 1);
        EXPECT_EQ(opened[0]["column"], 1);
        json said;
        const fs::path original = dir.write("original/" + c.name, c.bytes);
        for (const json& d : test_support::parse_json_lines(
                 test_support::run(TRL_CHECK_PATH, {"--format=json", original.string()}).out))
            if (d["type"] == "diagnostic" && d["code"] == c.code && said.is_null())
                said = d;
        ASSERT_FALSE(said.is_null());
        EXPECT_TRUE(opened[0]["message"].get<std::string>().starts_with(said["message"].get<std::string>() + "\n"))
            << opened[0]["message"];
        EXPECT_NE(file["fix"].get<std::string>().find(c.fix), std::string::npos) << file["fix"];
        // Fixed: the file written as the conventions want it, the buffer
        // saved, and nothing left to say.
        EXPECT_EQ(file["fixed"], json::array());
        EXPECT_EQ(file["modified_after"], false);
        EXPECT_EQ(test_support::read_file(dir / ("a b/" + c.name)), c.after);
    }
}

} // namespace
