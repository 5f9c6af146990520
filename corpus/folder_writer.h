// Writing a folder all or nothing (export, report): every file goes to a
// temporary name in the folder first, and only when all of them are
// complete are they renamed; a failure removes what was written, the
// folders made for it, and puts back the files that the renaming had
// replaced.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corpus/recordings.h"

namespace corpus {

// Files written under temporary names and renamed together.
class folder_writer {
public:
    explicit folder_writer(std::filesystem::path dir) : dir_(std::move(dir)) {}
    ~folder_writer() { discard(); }
    folder_writer(const folder_writer&) = delete;
    folder_writer& operator=(const folder_writer&) = delete;

    // A new file `name` (a path under the folder) with `bytes`; false with
    // the reason in `error`.
    bool write(const std::string& name, std::string_view bytes, std::string& error);

    // The same for a WAV file of the recording's samples.
    bool write_wav(const std::string& name, const recording& r, std::string& error);

    // A WAV file of the samples of `parts` one after another (all at the
    // first one's rate), `gap` samples of silence between two.
    bool write_wav(const std::string& name, std::span<const recording* const> parts, std::int64_t gap,
                   std::string& error);

    // Renames every file to its name.  A file of that name is put aside
    // first, and back when a later renaming fails.
    bool commit(std::string& error);

    // Removes the files not yet renamed and the folders made for them.
    void discard();

private:
    FILE* open(const std::string& name, std::string& error);
    bool close(FILE* f, const std::string& name, bool ok, std::string& error);

    std::filesystem::path dir_;
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> files_; // temporary name, name
    std::vector<std::filesystem::path> made_;                                    // folders made, the outer first
};

} // namespace corpus
