// The exact wording of trl-check's report, kept in one golden file
// (wording.golden beside this file): for each input of the table below,
// the report trl-check prints on it, diagnostics and summary.  Other tests
// look at what a diagnostic means; this one at how it reads, so that a
// change of a message, a hint or the words for what was expected shows
// here as a difference of text.
//
// After a deliberate change of wording, write the file anew and read the
// difference before committing it:
//
//   TRL_CHECK_WORDING_REWRITE=1 ctest --preset default -R TrlCheckWording
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "language/catalogue.h"
#include "tests/support/trl_check.h"

namespace {

using test_support::read_file;
using test_support::run_options;
using test_support::temp_dir;
using test_support::write_file;

struct wording_case {
    wording_case(std::string n, std::string t, std::string f = "input.trl", std::vector<std::string> o = {})
        : name(std::move(n)), text(std::move(t)), file(std::move(f)), options(std::move(o))
    {}
    std::string name; // the section of the golden file
    std::string text;
    std::string file;                 // the name it is checked under
    std::vector<std::string> options; // before the file's name
};

const std::string id = "g012abc3_001_ABC_000000: ";

// A turn of `words` words "a": 4998 of them fill velmar's stack.
std::string long_turn(int words)
{
    std::string t = id;
    for (int i = 0; i < words; ++i)
        t += "a ";
    return t + ".\n\n";
}

// The incorrect example of each code of the catalogue, then inputs for the
// other ways a code is said: each part of an identification, each kind of
// byte, tags with and without a suggestion, errors after the first of a
// turn, the warnings' variants and the options that change the wording.
std::vector<wording_case> cases()
{
    std::vector<wording_case> all;
    for (const trl::code_info& e : trl::catalogue())
        if (*e.incorrect)
            all.emplace_back(std::string(e.id) + " example", e.incorrect, e.example_file);
    const std::vector<wording_case> more = {
        {"no identification", "ja .\n\n"},
        {"punctuation twice at the end", id + "ja . .\n\n"},
        {"event in a word", id + "ja<Lachen> .\n\n"},
        {"text cut off after the identification", id},
        {"text cut off in a word", id + "ja so"},
        {"text ends without its empty line", id + "ja .\n"},
        {"empty text", ""},
        {"comment lines only", "; one\n; two\n"},
        {"quote before another letter", id + "\"x .\n\n"},
        {"word mark inside a word", id + "ja~so .\n\n"},
        {"Latin-1 letter", id + "sch\xF6n .\n\n"},
        {"byte order mark", "\xEF\xBB\xBF" + id + "ja .\n\n"},
        {"tab", id + "ja\tso .\n\n"},
        {"NUL byte", id + std::string("ja\0so .\n\n", 9)},
        {"lone CR", id + "ja .\r\r"},
        {"dialog name", "G012abc3_001_ABC_000000: ja .\n\n"},
        {"turn number", "g012abc3_01_ABC_000000: ja .\n\n"},
        {"speaker code", "g012abc3_001_aBC_000000: ja .\n\n"},
        {"no blank after the colon", "g012abc3_001_ABC_000000:ja .\n\n"},
        {"malformed language marker", id + "<*tGERM> ja .\n\n"},
        {"empty line before the first turn", "\n" + id + "ja .\n\n"},
        {"empty line doubled", id + "ja .\n\n\ng012abc3_002_ABC_000000: so .\n\n"},
        {"tag right after a word", id + "ja<PP>x .\n\n"},
        {"two blanks after the colon", id + " ja .\n\n"},
        {"tag without a near one", id + "ja <Quatsch> so .\n\n"},
        {"tag in the other case", id + "ja <p> so .\n\n"},
        {"unclosed tag at the end of the line", id + "ja <Lachen\n\n"},
        {"turn after a comment, no empty line", id + "ja .\n; note\ng012abc3_002_ABC_000000: so .\n\n"},
        {"several errors in a turn", id + "ja.  so <Hust> , , gut .\n\n"},
        {"turn too long for velmar", long_turn(4998)},
        {"identification used three times", id + "ja .\n\n" + id + "so .\n\n" + id + "gut .\n\n"},
        {"one turn out of order", "g012abc3_003_ABC_000000: ja .\n\ng012abc3_040_ABC_000000: so .\n\n"
                                  "g012abc3_005_ABC_000000: gut .\n\n"},
        {"warnings as errors",
         "g012abc3_001_ABC_000000: ja .\n\ng013abc3_002_ABC_000000: so .\n\n",
         "input.trl",
         {"--strict"}},
        {"error limit", id + "ja. so. gut.\n\ng012abc3_002_ABC_000000: ja.\n\n", "input.trl", {"--max-errors=2"}},
    };
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

// The golden file: for each case a line "== NAME: TEXT" (the text with its
// bytes escaped, a long one cut short), then trl-check's report, the time
// taken left out.
std::string section(const wording_case& c, const std::string& report)
{
    std::string shown = text::escape_bytes(c.text);
    if (shown.size() > 120)
        shown = shown.substr(0, 100) + "... (" + std::to_string(c.text.size()) + " bytes)";
    return "== " + c.name + ": " + shown + "\n" + without_time(report);
}

// The sections of a golden file by case name, in its order.
std::map<std::string, std::string> sections(const std::string& golden, std::vector<std::string>& order)
{
    std::map<std::string, std::string> by_name;
    std::string* current = nullptr;
    for (std::size_t at = 0; at < golden.size();) {
        std::size_t end = golden.find('\n', at);
        end = end == std::string::npos ? golden.size() : end + 1;
        const std::string line = golden.substr(at, end - at);
        if (line.rfind("== ", 0) == 0) {
            const std::string name = line.substr(3, line.find(": ") - 3);
            order.push_back(name);
            current = &by_name[name];
        }
        if (current)
            *current += line;
        at = end;
    }
    return by_name;
}

TEST(TrlCheckWording, ReportsReadAsTheGoldenFile)
{
    const temp_dir dir;
    std::string actual;
    std::set<std::string> codes;
    for (const wording_case& c : cases()) {
        write_file(dir / c.file, c.text);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--color=never", c.file});
        run_options in_dir;
        in_dir.cwd = dir.path();
        const test_support::run_result r = test_support::run(TRL_CHECK_PATH, args, in_dir);
        EXPECT_EQ(r.err, "") << c.name;
        std::filesystem::remove(dir / c.file);
        actual += section(c, r.out);
        for (const trl::code_info& e : trl::catalogue()) {
            std::string said = "[";
            said.append(e.id).append("]:");
            if (r.out.find(said) != std::string::npos)
                codes.insert(e.id);
        }
    }
    // Every code of the catalogue is said somewhere.
    for (const trl::code_info& e : trl::catalogue())
        EXPECT_TRUE(codes.count(e.id)) << e.id << " is not in any report";

    if (std::getenv("TRL_CHECK_WORDING_REWRITE")) {
        write_file(TRL_CHECK_WORDING, actual);
        GTEST_SKIP() << "wrote " << TRL_CHECK_WORDING;
    }
    // Compared case by case, so that a difference names its input.
    std::vector<std::string> expected_order;
    std::vector<std::string> actual_order;
    const auto expected = sections(read_file(TRL_CHECK_WORDING), expected_order);
    const auto got = sections(actual, actual_order);
    EXPECT_EQ(actual_order, expected_order) << "cases added or removed: rewrite the golden file";
    for (const auto& [name, text] : got) {
        const auto it = expected.find(name);
        if (it != expected.end()) {
            EXPECT_EQ(text, it->second) << name;
        }
    }
}

} // namespace
