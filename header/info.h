// What a Quenda header implies about its file, and whether a file can be a
// Quenda file at all before a header reader runs.
//
// A program that reads Quenda files opens the file (open_regular_file),
// lets check_quenda_file judge its size and block count, reads the header
// with read_header_of_this_host, and takes what the header implies from
// describe_file: where the samples begin, how many there are against how
// many the header announces, and how long they last.
#pragma once

#include "header.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The version-detecting reader whose numbers are plain on this host:
// read_header_vms on a little-endian host, read_header_sun on a big-endian
// one.
Quenda_header_2* read_header_of_this_host(FILE* f, char** ort, char** kan);

// The writer that matches it: write_header_vms on a little-endian host,
// write_header_sun on a big-endian one, so that the file holds every
// number little-endian.
int write_header_of_this_host(FILE* f, Quenda_header_2* h, const char* ort, const char* kan);

namespace quenda {

// Bytes of a header block, and of a block of samples (256 of 16 bits).
inline constexpr std::size_t block_size = 512;

// Sample rates (Hz) that the header's isf may plausibly hold.
inline constexpr std::int32_t min_plausible_rate = 1000;
inline constexpr std::int32_t max_plausible_rate = 384000;

constexpr bool plausible_rate(std::int64_t hz)
{
    return hz >= min_plausible_rate && hz <= max_plausible_rate;
}

// Whether a file can be a Quenda file: long enough for the fixed header,
// with at least one header block, and holding every block it announces.
// Judged before a reader runs, so that a program can say in plain words why
// a file is no Quenda file, and read the header only of one that can be.
struct file_check {
    std::int32_t anz_header = 0;   // as this host reads it; 0 without a fixed header
    std::int64_t header_bytes = 0; // anz_header x 512
    std::string problem;           // empty, or "not a Quenda file: " and the reason
    bool read_error = false;       // the fixed header could not be read; errno says why

    bool ok() const { return problem.empty() && !read_error; }
};

// The size of a stream that tells none (a pipe): the block count is judged,
// the file's size is not.
inline constexpr std::int64_t unknown_size = -1;

// Judges the file whose first 512 bytes are `fixed` (not looked at when
// `file_bytes` is below 512) and whose size is `file_bytes`.
file_check check_fixed_header(const unsigned char* fixed, std::int64_t file_bytes);

// The same for the open stream `f` of `file_bytes` bytes: reads its fixed
// header from the start.
file_check check_quenda_file(FILE* f, std::int64_t file_bytes);

// What the header `h` implies about its file of `file_bytes` bytes.
struct file_info {
    int version = 1;                    // 2 when anz_header > 1: what the readers take it for
    std::int64_t header_bytes = 0;      // anz_header x 512: the first sample's place
    std::int64_t samples = 0;           // whole 16-bit samples after the header
    bool odd_byte = false;              // a last byte that is no whole sample
    std::int64_t announced_samples = 0; // nspbk x 256
    bool rate_plausible = false;        // isf lies in the plausible range
    double seconds = 0;                 // samples / isf, when the rate is plausible
};

file_info describe_file(const Quenda_header_2& h, std::int64_t file_bytes);

// --- recording checks ---------------------------------------------------------
//
// What is wrong with a recording, judged once for every program: its size
// against the header (describe_file) and its samples (scan_samples).  The
// thresholds:

// The samples of one block; nspbk counts blocks, and a recording whose
// samples are no whole number of blocks ends in a short one (wav2quenda
// writes such files).  Fewer samples than that is truncation.
inline constexpr std::int64_t block_samples = block_size / 2;
// A sample at 32767 or -32768 is at full scale; so many of them in a row
// mean the recording is clipped.
inline constexpr std::int32_t full_scale = 32767;
inline constexpr std::int64_t min_clipped_run = 3;
// A recording none of whose samples is louder than this (about -66 dBFS) is
// silent.
inline constexpr std::int32_t silence_peak = 16;
// A mean sample beyond this (1/32 of full scale) is a large DC offset.
inline constexpr double max_dc_offset = 1024;

// Figures of a recording's samples that the checks judge.
struct signal_summary {
    std::int64_t samples = 0;
    std::int32_t peak = 0;        // the largest magnitude (32768 for -32768)
    std::int64_t clipped_run = 0; // the most samples in a row at full scale
    double mean = 0;              // the DC offset
};

// Takes samples as the file stores them (16 bits, little-endian) piece by
// piece; a sample may be split between two pieces.
class signal_scan {
public:
    void add(const unsigned char* bytes, std::size_t n);
    signal_summary summary() const;

private:
    std::int64_t count_ = 0;
    std::int64_t sum_ = 0;
    std::int64_t run_ = 0;
    std::int64_t longest_run_ = 0;
    std::int32_t peak_ = 0;
    int held_ = -1; // the first byte of a split sample
};

// Reads the i.samples samples after the header of `f`; false when a read
// fails or the file ends early (errno says why).
bool scan_samples(FILE* f, const file_info& i, signal_summary& out);

enum class recording_fault {
    truncated,        // fewer samples than the blocks that nspbk announces
    extra_samples,    // more than they hold
    odd_byte,         // a last byte that is no whole sample
    no_samples,       //
    implausible_rate, // isf outside min_plausible_rate..max_plausible_rate
    clipped,          // min_clipped_run samples in a row at full scale
    silent,           // no sample beyond silence_peak
    dc_offset,        // a mean beyond max_dc_offset
};

struct recording_problem {
    recording_fault fault;
    std::string words; // for a person: "clipped: 5 samples in a row at full scale"
};

// Every problem of the recording whose header is `h`, whose size `i`
// describes and whose samples `s` sums up, in the order of recording_fault.
// The signal is judged only when there are samples.
std::vector<recording_problem> check_recording(const Quenda_header_2& h, const file_info& i, const signal_summary& s);

// Opens `path` for reading when it names a regular file, whose size is
// known.  Does not wait for a writer when the path names a FIFO, as a
// plain open would.  On `opened`, `f` and `st` describe the file; on
// `cannot_open`, errno says why.
enum class open_status { opened, cannot_open, not_regular };
open_status open_regular_file(const char* path, FILE*& f, struct stat& st);

} // namespace quenda
