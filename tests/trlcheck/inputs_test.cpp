// The folder walker that trl-check (and the other programs taking folders)
// use: files by suffix in any case of its letters, sorted, once each, and
// every path that gives nothing with the reason.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/inputs.h"
#include "tests/support/process.h"

namespace {

using inputs::input_file;
using kind = input_file::kind;

struct seen {
    std::string path; // below the temporary folder
    kind what;
    std::string error;
    bool operator==(const seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const seen& s)
{
    return os << s.path << ' ' << static_cast<int>(s.what) << ' ' << s.error;
}

std::vector<seen> collect(const test_support::temp_dir& dir, const std::vector<std::string>& names,
                          std::string_view suffix)
{
    const std::string base = dir.path().string() + "/";
    std::vector<std::string> paths;
    for (const std::string& n : names)
        paths.push_back(n == "-" ? n : base + n);
    std::vector<seen> v;
    for (const input_file& f : inputs::collect_inputs(paths, suffix)) {
        const std::string path = f.path.starts_with(base) ? f.path.substr(base.size()) : f.path;
        v.push_back({path, f.what, f.error});
    }
    return v;
}

TEST(Inputs, SuffixInAnyCaseSortedOnce)
{
    const test_support::temp_dir dir;
    for (const char* name : {"c/z.trl", "c/B.TRL", "c/a.Trl", "c/sub/y.tRl", "c/x.trl.txt", "c/trl", "c/w.tr"})
        dir.write(name, "x");
    const std::vector<seen> expected = {
        {"c/B.TRL", kind::file, ""},
        {"c/a.Trl", kind::file, ""},
        {"c/sub/y.tRl", kind::file, ""},
        {"c/z.trl", kind::file, ""},
    };
    EXPECT_EQ(collect(dir, {"c"}, ".trl"), expected);
    EXPECT_EQ(collect(dir, {"c"}, ".TRL"), expected);
    // A file named twice, or named and found in its folder, comes once.
    EXPECT_EQ(collect(dir, {"c/z.trl", "c", "c/z.trl"}, ".trl"), expected);
    // A file named on its own is taken whatever its name.
    EXPECT_EQ(collect(dir, {"c/x.trl.txt", "-"}, ".trl"),
              (std::vector<seen>{{"-", kind::file, ""}, {"c/x.trl.txt", kind::file, ""}}));
}

TEST(Inputs, PathsThatGiveNothing)
{
    const test_support::temp_dir dir;
    dir.write("notes/readme.txt", "x");
    dir.write("deep/a/b/readme.txt", "x");
    std::filesystem::create_directories(dir / "none");
    dir.write("mixed/ok.trl", "x");
    ASSERT_EQ(mkfifo((dir / "mixed/pipe.trl").c_str(), 0600), 0);
    std::filesystem::create_directory_symlink(dir / "mixed", dir / "mixed/loop.trl");
    std::filesystem::create_symlink(dir / "notes/readme.txt", dir / "mixed/link.trl");
    const std::string none = "no files ending in '.trl' in this folder";
    EXPECT_EQ(collect(dir, {"none", "notes", "deep", "missing.trl", "mixed"}, ".trl"),
              (std::vector<seen>{
                  {"deep", kind::empty_folder, none},
                  {"missing.trl", kind::unusable, "No such file or directory"},
                  // A link to a file is followed, one to a folder not.
                  {"mixed/link.trl", kind::file, ""},
                  {"mixed/ok.trl", kind::file, ""},
                  {"mixed/pipe.trl", kind::unusable, "not a regular file"},
                  {"none", kind::empty_folder, none},
                  {"notes", kind::empty_folder, none},
              }));
}

} // namespace
