#include "common/inputs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace inputs {

namespace fs = std::filesystem;

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool has_suffix(const std::string& name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::size_t at = name.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (lower(name[at + i]) != lower(suffix[i]))
            return false;
    return true;
}

input_file unusable(std::string path, std::string why)
{
    return {std::move(path), input_file::kind::unusable, std::move(why)};
}

// Adds the files below `dir` whose names end in `suffix`.  Links to folders
// are not followed (no cycles); links to files are.  Returns the number of
// paths added (files and errors).
std::size_t walk(const fs::path& dir, std::string_view suffix, std::vector<input_file>& out)
{
    std::size_t added = 0;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        out.push_back(unusable(dir.string(), ec.message()));
        return 1;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        // The entry's own type comes with it from the folder: no system
        // call unless it is a link.
        const fs::directory_entry& e = *it;
        std::error_code own;
        const bool link = e.is_symlink(own);
        if (!link && e.is_directory(own)) {
            added += walk(e.path(), suffix, out);
            continue;
        }
        if (!has_suffix(e.path().filename().string(), suffix))
            continue;
        bool regular = !link && e.is_regular_file(own);
        if (link) {
            const fs::file_status st = e.status(own); // what the link leads to
            if (fs::is_directory(st))
                continue;
            regular = fs::is_regular_file(st);
        }
        if (own)
            out.push_back(unusable(e.path().string(), own.message()));
        else if (!regular)
            out.push_back(unusable(e.path().string(), "not a regular file"));
        else
            out.push_back({e.path().string(), input_file::kind::file, {}});
        ++added;
    }
    if (ec) {
        out.push_back(unusable(dir.string(), ec.message()));
        ++added;
    }
    return added;
}

} // namespace

std::vector<input_file> collect_inputs(const std::vector<std::string>& paths, std::string_view suffix)
{
    std::vector<input_file> out;
    for (const std::string& path : paths) {
        if (path == "-") {
            out.push_back({path, input_file::kind::file, {}});
            continue;
        }
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (ec || !fs::exists(st)) {
            out.push_back(unusable(path, ec ? ec.message() : "No such file or directory"));
            continue;
        }
        if (fs::is_directory(st)) {
            if (walk(path, suffix, out) == 0)
                out.push_back({path, input_file::kind::empty_folder,
                               "no files ending in '" + std::string(suffix) + "' in this folder"});
            continue;
        }
        out.push_back({path, input_file::kind::file, {}});
    }
    std::stable_sort(out.begin(), out.end(), [](const input_file& a, const input_file& b) { return a.path < b.path; });
    out.erase(
        std::unique(out.begin(), out.end(), [](const input_file& a, const input_file& b) { return a.path == b.path; }),
        out.end());
    return out;
}

std::string_view shown_path(std::string_view path)
{
    return path == "-" ? std::string_view("<stdin>") : path;
}

} // namespace inputs
