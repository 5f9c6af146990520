// What a header implies, and the checks before a reader runs.
#include "header/info.h"
#include "header/layout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <type_traits>

Quenda_header_2* read_header_of_this_host(FILE* f, char** ort, char** kan)
{
    if constexpr (std::is_same_v<quenda::Host, quenda::Vms>)
        return read_header_vms(f, ort, kan);
    else
        return read_header_sun(f, ort, kan);
}

int write_header_of_this_host(FILE* f, Quenda_header_2* h, const char* ort, const char* kan)
{
    if constexpr (std::is_same_v<quenda::Host, quenda::Vms>)
        return write_header_vms(f, h, ort, kan);
    else
        return write_header_sun(f, h, ort, kan);
}

namespace quenda {

namespace {

constexpr auto block = static_cast<std::int64_t>(block_size);

} // namespace

file_check check_fixed_header(const unsigned char* fixed, std::int64_t file_bytes)
{
    file_check c;
    if (file_bytes != unknown_size && file_bytes < block) {
        c.problem = "not a Quenda file: too short for a header (" + std::to_string(file_bytes) + " bytes)";
        return c;
    }
    c.anz_header = block_number(fixed, field("anz_header"));
    if (c.anz_header < 1) {
        c.problem = "not a Quenda file: anz_header is " + std::to_string(c.anz_header) + ", below 1";
        return c;
    }
    c.header_bytes = std::int64_t{c.anz_header} * block;
    if (file_bytes != unknown_size && c.header_bytes > file_bytes)
        c.problem = "not a Quenda file: header larger than the file (anz_header " + std::to_string(c.anz_header) +
                    " is " + std::to_string(c.header_bytes) + " bytes, the file " + std::to_string(file_bytes) + ")";
    return c;
}

file_check check_quenda_file(FILE* f, std::int64_t file_bytes)
{
    unsigned char fixed[block_size] = {};
    if (file_bytes == unknown_size || file_bytes >= block) {
        std::rewind(f);
        if (std::fread(fixed, 1, block_size, f) != block_size) {
            if (!std::ferror(f))
                errno = EIO; // shorter than its size a moment ago
            file_check c;
            c.read_error = true;
            return c;
        }
    }
    return check_fixed_header(fixed, file_bytes);
}

file_info describe_file(const Quenda_header_2& h, std::int64_t file_bytes)
{
    file_info i;
    i.version = h.anz_header > 1 ? 2 : 1;
    i.header_bytes = std::int64_t{h.anz_header} * block;
    const std::int64_t after = file_bytes > i.header_bytes ? file_bytes - i.header_bytes : 0;
    i.samples = after / 2;
    i.odd_byte = after % 2 != 0;
    i.announced_samples = std::int64_t{h.nspbk} * (block / 2); // 16-bit samples
    i.rate_plausible = plausible_rate(h.isf);
    if (i.rate_plausible)
        i.seconds = static_cast<double>(i.samples) / h.isf;
    return i;
}

void signal_scan::add(const unsigned char* bytes, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        if (held_ < 0) {
            held_ = bytes[k];
            continue;
        }
        const auto sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(held_ | bytes[k] << 8));
        held_ = -1;
        ++count_;
        sum_ += sample;
        const std::int32_t magnitude = sample < 0 ? -std::int32_t{sample} : sample;
        if (magnitude > peak_)
            peak_ = magnitude;
        run_ = magnitude >= full_scale ? run_ + 1 : 0;
        if (run_ > longest_run_)
            longest_run_ = run_;
    }
}

signal_summary signal_scan::summary() const
{
    signal_summary s;
    s.samples = count_;
    s.peak = peak_;
    s.clipped_run = longest_run_;
    s.mean = count_ > 0 ? static_cast<double>(sum_) / static_cast<double>(count_) : 0;
    return s;
}

bool scan_samples(FILE* f, const file_info& i, signal_summary& out)
{
    if (fseeko(f, static_cast<off_t>(i.header_bytes), SEEK_SET) != 0)
        return false;
    signal_scan scan;
    unsigned char buffer[65536];
    for (std::int64_t left = i.samples * 2; left > 0;) {
        const std::size_t want =
            left < static_cast<std::int64_t>(sizeof buffer) ? static_cast<std::size_t>(left) : sizeof buffer;
        const std::size_t got = std::fread(buffer, 1, want, f);
        scan.add(buffer, got);
        if (got < want) {
            if (!std::ferror(f))
                errno = EIO; // shorter than its size a moment ago
            return false;
        }
        left -= static_cast<std::int64_t>(got);
    }
    out = scan.summary();
    return true;
}

std::vector<recording_problem> check_recording(const Quenda_header_2& h, const file_info& i, const signal_summary& s)
{
    std::vector<recording_problem> found;
    auto add = [&](recording_fault fault, std::string words) { found.push_back({fault, std::move(words)}); };
    // The announced blocks hold from (nspbk - 1) x 256 + 1 samples (a short
    // last block) to nspbk x 256; no block, no samples.
    const std::int64_t least = i.announced_samples > 0 ? i.announced_samples - block_samples + 1 : 0;
    const std::string counts = std::to_string(i.samples) + " samples in the file, " +
                               std::to_string(i.announced_samples) + " announced (nspbk " + std::to_string(h.nspbk) +
                               ")";
    if (i.samples < least)
        add(recording_fault::truncated, counts);
    else if (i.samples > i.announced_samples)
        add(recording_fault::extra_samples, counts);
    if (i.odd_byte)
        add(recording_fault::odd_byte, "an odd byte after the last sample");
    if (i.samples == 0)
        add(recording_fault::no_samples, "no samples after the header");
    if (!i.rate_plausible)
        add(recording_fault::implausible_rate, "isf " + std::to_string(h.isf) + " is not a plausible sample rate (" +
                                                   std::to_string(min_plausible_rate) + " to " +
                                                   std::to_string(max_plausible_rate) + ")");
    if (s.samples == 0)
        return found;
    if (s.clipped_run >= min_clipped_run)
        add(recording_fault::clipped, "clipped: " + std::to_string(s.clipped_run) +
                                          " samples in a row at full scale (" + std::to_string(min_clipped_run) +
                                          " or more are clipping)");
    if (s.peak <= silence_peak)
        add(recording_fault::silent, "silent: no sample louder than " + std::to_string(silence_peak) + " (of " +
                                         std::to_string(full_scale) + ")");
    if (s.mean > max_dc_offset || s.mean < -max_dc_offset) {
        char words[120];
        std::snprintf(words, sizeof words, "a DC offset of %.1f (the mean sample; beyond %.0f is large)", s.mean,
                      max_dc_offset);
        add(recording_fault::dc_offset, words);
    }
    return found;
}

open_status open_regular_file(const char* path, FILE*& f, struct stat& st)
{
    f = nullptr;
    // Without O_NONBLOCK, opening a FIFO waits for a writer; a regular file
    // reads the same either way, but the flag is cleared all the same.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return open_status::cannot_open;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return open_status::cannot_open;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return open_status::not_regular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || (f = ::fdopen(fd, "r")) == nullptr) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return open_status::cannot_open;
    }
    return open_status::opened;
}

} // namespace quenda
