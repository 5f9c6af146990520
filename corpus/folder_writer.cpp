#include "corpus/folder_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "common/text.h"
#include "convert/wav.h"

namespace corpus {

namespace {

namespace fs = std::filesystem;

std::string describe_errno(int e)
{
    return std::error_code(e, std::generic_category()).message();
}

// Copies the recording's samples to `f`; false with the reason in
// `error` when they cannot be read (a write error is close's to name).
bool copy_samples(FILE* f, const recording& r, std::vector<char>& buffer, std::string& error)
{
    FILE* in = std::fopen(r.path.c_str(), "rb");
    if (!in) {
        error = text::printable(r.path) + ": " + describe_errno(errno);
        return false;
    }
    bool ok = fseeko(in, static_cast<off_t>(r.header_bytes), SEEK_SET) == 0;
    for (auto left = static_cast<std::uint64_t>(r.samples) * 2; ok && left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const std::size_t got = std::fread(buffer.data(), 1, want, in);
        ok = got == want && std::fwrite(buffer.data(), 1, got, f) == got;
        left -= got;
    }
    if (!ok && !std::ferror(f))
        error = text::printable(r.path) + ": shorter than its header says";
    std::fclose(in);
    return ok;
}

bool write_silence(FILE* f, std::uint64_t bytes, std::vector<char>& buffer)
{
    std::fill(buffer.begin(), buffer.end(), 0);
    for (std::uint64_t left = bytes; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        if (std::fwrite(buffer.data(), 1, n, f) != n)
            return false;
        left -= n;
    }
    return true;
}

// The name beside `final` that a file is written under, or kept under.
fs::path temporary(const fs::path& final, std::string_view ending)
{
    return final.parent_path() /
           (".quenda-corpus-" + std::to_string(::getpid()) + "-" + final.filename().string() + std::string(ending));
}

} // namespace

bool folder_writer::write(const std::string& name, std::string_view bytes, std::string& error)
{
    FILE* f = open(name, error);
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return close(f, name, ok, error);
}

bool folder_writer::write_wav(const std::string& name, const recording& r, std::string& error)
{
    const recording* const parts[] = {&r};
    return write_wav(name, parts, 0, error);
}

bool folder_writer::write_wav(const std::string& name, std::span<const recording* const> parts, std::int64_t gap,
                              std::string& error)
{
    std::uint64_t data = 0;
    for (const recording* r : parts)
        data += static_cast<std::uint64_t>(r->samples) * 2;
    data += static_cast<std::uint64_t>(gap) * 2 * (parts.size() - 1);
    if (data > wav::max_data_size) {
        error = text::printable(parts.size() == 1 ? parts[0]->path : name) + ": too many samples for a WAV file";
        return false;
    }
    FILE* f = open(name, error);
    if (!f)
        return false;
    const auto head = wav::header(static_cast<std::uint32_t>(parts[0]->rate), static_cast<std::uint32_t>(data));
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    std::vector<char> buffer(std::size_t{1} << 16);
    for (std::size_t i = 0; ok && i < parts.size(); ++i) {
        if (i > 0)
            ok = write_silence(f, static_cast<std::uint64_t>(gap) * 2, buffer);
        ok = ok && copy_samples(f, *parts[i], buffer, error);
    }
    return close(f, name, ok, error);
}

bool folder_writer::commit(std::string& error)
{
    std::vector<std::pair<fs::path, fs::path>> aside; // where the old file is, its name
    std::vector<fs::path> placed;
    bool ok = true;
    for (const auto& [temp, name] : files_) {
        std::error_code ec;
        std::error_code no_status; // a name not there yet
        const fs::file_status old = fs::symlink_status(name, no_status);
        if (fs::exists(old) && !fs::is_directory(old)) { // a folder stays, and the renaming fails
            const fs::path kept = temporary(name, ".old");
            fs::rename(name, kept, ec);
            if (!ec)
                aside.emplace_back(kept, name);
        }
        if (!ec)
            fs::rename(temp, name, ec);
        if (ec) {
            error = text::printable(name.string()) + ": " + ec.message();
            ok = false;
            break;
        }
        placed.push_back(name);
    }
    std::error_code ec;
    if (ok) {
        for (const auto& [kept, name] : aside)
            fs::remove(kept, ec);
        files_.clear();
        made_.clear();
        return true;
    }
    for (const fs::path& name : placed)
        fs::remove(name, ec);
    for (const auto& [kept, name] : aside)
        fs::rename(kept, name, ec);
    return false;
}

void folder_writer::discard()
{
    for (const auto& [temp, name] : files_) {
        std::error_code ec;
        fs::remove(temp, ec);
    }
    files_.clear();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        std::error_code ec;
        fs::remove(*it, ec); // only when empty
    }
    made_.clear();
}

FILE* folder_writer::open(const std::string& name, std::string& error)
{
    const fs::path final = dir_ / name;
    const fs::path temp = temporary(final, ".tmp");
    // The folders on its way that are not there yet (wav/), made here
    // and removed with the files should the export fail.
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = final.parent_path(); p != dir_ && !p.empty() && !fs::exists(p, ec); p = p.parent_path())
        missing.push_back(p);
    fs::create_directories(final.parent_path(), ec);
    made_.insert(made_.end(), missing.rbegin(), missing.rend());
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = text::printable(temp.string()) + ": " + describe_errno(errno);
        return nullptr;
    }
    files_.emplace_back(temp, final);
    return f;
}
bool folder_writer::close(FILE* f, const std::string& name, bool ok, std::string& error)
{
    const int saved = errno;
    ok = std::fflush(f) == 0 && ok && !std::ferror(f);
    const int flush_error = errno ? errno : saved;
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok && error.empty())
        error = text::printable((dir_ / name).string()) + ": " + describe_errno(flush_error ? flush_error : EIO);
    return ok;
}

} // namespace corpus
