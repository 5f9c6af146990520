// quenda2raw: copies the samples of a Quenda sound file into a headerless
// raw file of 16-bit samples, exchanging the two bytes of each on request.
#include "header.h"
#include "kestargs.h"
#include "std_fds.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Samples moved per read and write.
constexpr size_t block_samples = 32768;

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "the header readers exist for little- and big-endian hosts only");

// The version-detecting header reader of this host's byte order.
Quenda_header_2* read_header(FILE* f, char** ort, char** kan)
{
    if constexpr (std::endian::native == std::endian::little)
        return read_header_vms(f, ort, kan);
    else
        return read_header_sun(f, ort, kan);
}

// True when both names lead to one existing file (path, hard link or symbolic link).
bool same_file(const char* a, const char* b)
{
    struct stat sa {};
    struct stat sb {};
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

[[noreturn]] void write_failed(const char* progname, const char* rawfile)
{
    const int err = errno;
    fprintf(stderr, "%s: could not write to file %s\n", progname, rawfile);
    errno = err;
    perror(progname);
    exit(-1);
}

void swap_bytes(uint16_t* samples, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        samples[i] = static_cast<uint16_t>((samples[i] << 8) | (samples[i] >> 8));
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
uint16_t samples[block_samples];

}  // namespace

int main(int argc, char** argv)
{
    keep_std_fds();
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

    kestargs(table, &argc, &argv, &progname);
    if (verbose)
        printargs(stderr, progname, table);

    // Opening the output empties it: never when it is the input itself.
    if (same_file(rawfile, quendafile)) {
        fprintf(stderr, "%s: error - rawfile %s would overwrite quendafile %s\n", progname, rawfile, quendafile);
        exit(-1);
    }

    FILE* out = fopen(rawfile, "w");
    if (out == nullptr) {
        fprintf(stderr, "%s: error - could not open rawfile %s\n", progname, rawfile);
        exit(-1);
    }
    FILE* in = fopen(quendafile, "r");
    if (in == nullptr) {
        fprintf(stderr, "%s: error - could not open quendafile %s\n", progname, quendafile);
        exit(-1);
    }

    header = read_header(in, &ort_text, &kan_text);
    if (header == nullptr) {
        fprintf(stderr, "%s: error - could not read quenda header from %s\n", progname, quendafile);
        exit(-1);
    }
    fseeko(in, static_cast<off_t>(std::int64_t{header->anz_header} * 512), SEEK_SET);

    if (verbose && swap)
        fprintf(stderr, "%s: swapping\n", progname);

    // Whole samples only: a last odd byte is never part of a complete item.
    // A short read is the end of the samples, whether end of file or error.
    long count = 0;
    for (;;) {
        const size_t got = fread(samples, sizeof samples[0], block_samples, in);
        if (got == 0)
            break;
        if (swap)
            swap_bytes(samples, got);
        const size_t stored = fwrite(samples, sizeof samples[0], got, out);
        count += static_cast<long>(stored);
        if (stored < got)
            write_failed(progname, rawfile);
        if (got < block_samples)
            break;
    }
    // The last samples may still wait in the stream's buffer.
    if (fclose(out) != 0)
        write_failed(progname, rawfile);

    if (verbose)
        fprintf(stderr, "%s: written %ld bytes\n", progname, count * 2);
    const long announced = static_cast<long>(header->nspbk) * 256;
    if (count != announced)
        fprintf(stderr, "%s: warning - counted samples incorrect (%ld != %ld)\n", progname, count, announced);
    return 0;
}
