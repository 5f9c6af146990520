// What the quenda-corpus tests share besides tests/support: the program run
// with arguments, and the files it wrote.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"

inline test_support::run_result run_corpus(const std::vector<std::string>& args,
                                           const test_support::run_options& options = {})
{
    return test_support::run(QUENDA_CORPUS_PATH, args, options);
}

// What a folder holds, each file with its bytes ("/" after a folder).
inline std::map<std::string, std::string> contents(const std::filesystem::path& dir)
{
    std::map<std::string, std::string> found;
    if (!std::filesystem::exists(dir))
        return found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = std::filesystem::relative(e.path(), dir).string();
        if (e.is_directory())
            found[name + "/"] = "";
        else
            found[name] = test_support::read_file(e.path());
    }
    return found;
}
