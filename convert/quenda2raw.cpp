// quenda2raw: copies the samples of a Quenda sound file into a headerless
// raw file of 16-bit samples, exchanging the two bytes of each on request.
#include "header/header.h"
#include "convert/help_version.h"
#include "header/info.h"
#include "args/kestargs.h"
#include "common/std_fds.h"
#include "common/version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* version_text = "quenda2raw (quenda tools) " QUENDA_TOOLS_VERSION "\n";

// Bytes moved per read and write: whole samples, few enough to stay in the
// cache between the read, the exchange and the write.  On the machine where
// this was measured, writes of 256 KiB and more made the kernel's copy into
// the page cache several times slower in many runs, at random; writes of 64
// and 128 KiB never did.
constexpr size_t block_bytes = size_t{128} << 10;
static_assert(block_bytes % 2 == 0);

// Bytes asked of the kernel per copy_file_range: whole samples.
constexpr off_t kernel_chunk = off_t{1} << 30;
static_assert(kernel_chunk % 2 == 0);

// True when both names lead to one existing file (path, hard link or symbolic link).
bool same_file(const char* a, const char* b)
{
    struct stat sa {};
    struct stat sb {};
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// What the driver holds until the process ends.
int verbose = 0;
int swap = 0;
char* rawfile = nullptr;
char* quendafile = nullptr;
char* progname = nullptr;
char* ort_text = nullptr;
char* kan_text = nullptr;
Quenda_header_2* header = nullptr;

// The copy: both descriptors, the number of whole samples written, and
// whether the output holds half a sample behind its position.
int in_fd = -1;
int out_fd = -1;
long count = 0;
bool half_sample_behind = false;
alignas(64) unsigned char buffer[block_bytes];

// Cuts the output at its position when half a sample lies behind it.
bool drop_half_sample()
{
    if (!half_sample_behind)
        return true;
    half_sample_behind = false;
    const off_t end = lseek(out_fd, 0, SEEK_CUR);
    return end >= 0 && ftruncate(out_fd, end) == 0;
}

[[noreturn]] void copy_failed(const char* format, const char* file)
{
    const int err = errno;
    drop_half_sample();
    fprintf(stderr, format, progname, file);
    errno = err;
    perror(progname);
    exit(-1);
}

[[noreturn]] void write_failed()
{
    copy_failed("%s: could not write to file %s\n", rawfile);
}
[[noreturn]] void read_failed()
{
    copy_failed("%s: could not read from file %s\n", quendafile);
}

// Exchanges the two bytes of each of the `n` / 2 samples at `p`.  On x86-64
// a version for AVX2 is built beside the baseline one and chosen at start
// when the processor has it: it moves twice the bytes per instruction.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void swap_bytes(unsigned char* p, size_t n)
{
    for (size_t i = 0; i + 1 < n; i += 2) {
        uint16_t v;
        memcpy(&v, p + i, 2);
        v = static_cast<uint16_t>((v << 8) | (v >> 8));
        memcpy(p + i, &v, 2);
    }
}

// Writes all `n` bytes, however many calls it takes.
void write_all(const unsigned char* p, size_t n)
{
    while (n > 0) {
        const ssize_t done = write(out_fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            write_failed();
        p += done;
        n -= static_cast<size_t>(done);
    }
}

// Copies from the input's position to its end in blocks of whole samples.
// A read may end inside a sample: its first byte waits at the front of the
// buffer for the next read, and a last odd byte at the end of the file is
// dropped.
void copy_blocks()
{
    size_t carried = 0;
    for (;;) {
        const ssize_t got = read(in_fd, buffer + carried, sizeof buffer - carried);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            read_failed();
        if (got == 0)
            return;
        const size_t have = carried + static_cast<size_t>(got);
        const size_t whole = have & ~size_t{1};
        if (swap)
            swap_bytes(buffer, whole);
        write_all(buffer, whole);
        count += static_cast<long>(whole / 2);
        carried = have - whole;
        if (carried != 0)
            buffer[0] = buffer[whole];
    }
}

// Lets the kernel copy the whole samples that the input holds behind
// `start`, as far as it can.  Only when `start` is a multiple of the page
// size: otherwise each page of the output takes parts of two pages of the
// input, and the kernel's copy was slower than the block copy (1.4 against
// 1.2 times cat, for a header of one block), which then does it all.
//
// The kernel copy stops early where it cannot copy between these two files,
// at an error, and where the input has shrunk; the block copy goes on from
// the position reached, finds out which it was, and takes what the input
// may have grown by.  Should the kernel stop inside a sample, both positions
// step back over its first byte, which the block copy then reads again and
// writes over.
void copy_in_kernel(off_t start)
{
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0 || start % page != 0)
        return;
    struct stat st {};
    if (fstat(in_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= start)
        return;
    off_t left = (st.st_size - start) & ~off_t{1};
    while (left > 0) {
        const ssize_t done = copy_file_range(in_fd, nullptr, out_fd, nullptr,
                                             static_cast<size_t>(left < kernel_chunk ? left : kernel_chunk), 0);
        if (done <= 0)
            return;
        count += static_cast<long>(done / 2);
        left -= done;
        if (done % 2 != 0) {
            half_sample_behind = true;
            if (lseek(in_fd, -1, SEEK_CUR) < 0)
                read_failed();
            if (lseek(out_fd, -1, SEEK_CUR) < 0)
                write_failed();
            return;
        }
    }
}

// Reads the header with the reader of this host, which reports its own
// failures.  It reads the dynamic part in steps as the input delivers it,
// so a block count that the input cannot fill takes no memory beyond the
// input's bytes, from a file or a pipe alike; the unbuffered stream takes
// no byte behind the header from the descriptor.
void read_header(FILE* in)
{
    header = read_header_of_this_host(in, &ort_text, &kan_text);
    if (header == nullptr) {
        fprintf(stderr, "%s: error - could not read quenda header from %s\n", progname, quendafile);
        exit(-1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Standard output carries nothing but the raw file, as rawfile=/dev/stdout:
    // closed, that name must fail to open rather than lead to /dev/null.
    keep_std_fds(true);
    arg_entry table[] = {
        {nullptr,
         "1.0 : transforms a Quenda file into a raw soundfile, \n"
         "  usage: quenda2raw quendafile=<quendaf> rawfile=<rawf> [options]",
         ARG_USAGE, nullptr, 0},
        {"v", "verbose mode", ARG_BOOL, &verbose, 0},
        {"rawfile", "raw file name", ARG_STRING, &rawfile, 1},
        {"quendafile", "Quenda file name", ARG_STRING, &quendafile, 1},
        {"swap", "swapping short samples", ARG_BOOL, &swap, 0},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    if (read_command_line(table, argc, argv, version_text, &progname, verbose))
        return 0;

    // Opening the output empties it: never when it is the input itself.
    if (same_file(rawfile, quendafile)) {
        fprintf(stderr, "%s: error - rawfile %s would overwrite quendafile %s\n", progname, rawfile, quendafile);
        exit(-1);
    }

    out_fd = open(rawfile, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out_fd < 0) {
        fprintf(stderr, "%s: error - could not open rawfile %s\n", progname, rawfile);
        exit(-1);
    }
    FILE* in = fopen(quendafile, "r");
    if (in == nullptr) {
        fprintf(stderr, "%s: error - could not open quendafile %s\n", progname, quendafile);
        exit(-1);
    }
    // Unbuffered, the header is read without taking a byte beyond it from
    // the descriptor: an input that cannot seek goes on with the samples.
    setvbuf(in, nullptr, _IONBF, 0);
    in_fd = fileno(in);
    read_header(in);

    // The first sample.  An input that cannot seek stands there already.
    const quenda::file_info info = quenda::describe_file(*header, 0);
    const auto start = static_cast<off_t>(info.header_bytes);
    lseek(in_fd, start, SEEK_SET);

    if (verbose && swap)
        fprintf(stderr, "%s: swapping\n", progname);

    if (!swap)
        copy_in_kernel(start);
    copy_blocks();
    if (!drop_half_sample() || close(out_fd) != 0)
        write_failed();

    if (verbose)
        fprintf(stderr, "%s: written %ld bytes\n", progname, count * 2);
    const long announced = static_cast<long>(info.announced_samples);
    if (count != announced)
        fprintf(stderr, "%s: warning - counted samples incorrect (%ld != %ld)\n", progname, count, announced);
    return 0;
}
