// What the quenda-corpus tests share besides tests/support: the program run
// with arguments, turns and recordings to pair, and the files it wrote.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/quenda_maker.h"

inline test_support::run_result run_corpus(const std::vector<std::string>& args,
                                           const test_support::run_options& options = {})
{
    return test_support::run(QUENDA_CORPUS_PATH, args, options);
}

// A turn of a transliteration: "KEY_000000: WORDS .", and its empty line.
inline std::string turn(const std::string& key, const std::string& words)
{
    return key + "_000000: " + words + " .\n\n";
}

// A version-1 recording of n samples at `rate`.
inline std::string recording(std::size_t n, std::int32_t rate = 16000)
{
    return quenda_maker::version1(static_cast<std::int32_t>(n / 256), quenda_maker::sample_data(n), rate);
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
