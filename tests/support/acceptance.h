// The acceptance cases of the checker, in the folder that the build was
// configured with (QT_ACCEPTANCE_CASES; by default beside the checkout, in
// ../shared/acceptance/velmar/cases).  A test that needs them skips when
// they are missing on a developer's machine, saying so (ctest counts it as
// skipped, and configuring the build names it), and fails under CI
// (CI=true): a green run there always ran it.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/acceptance_cases.h"
#include "tests/support/process.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

inline bool under_ci()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

// The cases in a folder: its *.trl files, sorted.
inline std::vector<std::filesystem::path> case_files(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".trl")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The exit status a case expects: the number that begins the *.rc beside
// it ("0\n"), or -1 when there is none to read.
inline int case_status(const std::filesystem::path& trl)
{
    std::filesystem::path rc = trl;
    rc.replace_extension(".rc");
    const std::string text = read_file(rc);
    int status = -1;
    if (std::from_chars(text.data(), text.data() + text.size(), status).ec != std::errc())
        return -1;
    return status;
}

} // namespace test_support

// In a test body: the folder of the acceptance cases into `dir`, or the test
// ends here (skipped, or failed under CI).
#define REQUIRE_ACCEPTANCE_CASES(dir)                                                                                  \
    const std::filesystem::path dir = ACCEPTANCE_CASES;                                                                \
    if (!std::filesystem::is_directory(dir)) {                                                                         \
        if (test_support::under_ci())                                                                                  \
            FAIL() << "no acceptance cases at " << dir << " (CI=true: they must be there)";                            \
        GTEST_SKIP() << "no acceptance cases at " << dir                                                               \
                     << " (configure the build with -DQT_ACCEPTANCE_CASES=FOLDER to run it)";                          \
    }
