// The acceptance cases of the checker, in the folder that the build was
// configured with (QT_ACCEPTANCE_CASES; by default beside the checkout, in
// ../shared/acceptance/velmar/cases).  A test that needs them skips when
// they are missing on a developer's machine, saying so (ctest counts it as
// skipped, and configuring the build names it), and fails under CI
// (CI=true): a green run there always ran it.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/acceptance_cases.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace test_support {

inline bool under_ci()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
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
