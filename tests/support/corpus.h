// What the quenda-corpus tests share besides tests/support: the program run
// with arguments.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"

inline test_support::run_result run_corpus(const std::vector<std::string>& args,
                                           const test_support::run_options& options = {})
{
    return test_support::run(QUENDA_CORPUS_PATH, args, options);
}
