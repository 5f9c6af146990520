// The acceptance cases beside the checkout (../shared/acceptance/velmar).
// A test that needs them skips when they are missing on a developer's
// machine, and fails under CI (CI=true): a green run there always ran it.
#pragma once

#include <gtest/gtest.h>

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
#define REQUIRE_ACCEPTANCE_CASES(dir)                                                                   \
    const std::filesystem::path dir = ACCEPTANCE_CASES;                                                 \
    if (!std::filesystem::is_directory(dir)) {                                                          \
        if (test_support::under_ci())                                                                   \
            FAIL() << "no acceptance cases at " << dir << " (CI=true: they must be there)";             \
        GTEST_SKIP() << "no acceptance cases at " << dir;                                               \
    }
