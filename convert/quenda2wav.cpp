// quenda2wav: writes the samples of a Quenda sound file as a 16-bit mono PCM
// WAV file, at the rate that the header gives or that the user names.
//
// The frames are the bytes that quenda2raw copies (a last odd byte dropped,
// the two bytes of each sample exchanged on request).  Their number comes
// from the input's size before anything is written, so the WAV header goes
// out first and the output may be a pipe.
#include "header.h"
#include "kestargs.h"
#include "quenda_file.h"
#include "std_fds.h"
#include "wav.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* version_text = "quenda2wav (quenda tools) 1.0\n";

// Rates that the header's isf may plausibly hold.
constexpr int min_rate = 1000;
constexpr int max_rate = 384000;

// Bytes moved per read and write.
constexpr size_t block_bytes = 65536;


// What the driver holds until the process ends.
int verbose = 0;
int swap = 0;
int rate = 0;
char* wavfile = nullptr;
char* quendafile = nullptr;
char* progname = nullptr;
char* ort_text = nullptr;
char* kan_text = nullptr;
Quenda_header_2* header = nullptr;
unsigned char buffer[block_bytes];

[[noreturn]] void fail(const char* message_format, const char* name)
{
    fprintf(stderr, message_format, progname, name);
    exit(-1);
}

// The message, then the system's reason for the failure that just happened.
[[noreturn]] void fail_errno(const char* message_format, const char* name)
{
    const int err = errno;
    fprintf(stderr, message_format, progname, name);
    errno = err;
    perror(progname);
    exit(-1);
}

[[noreturn]] void write_failed()
{
    fail_errno("%s: could not write to file %s\n", wavfile);
}

void swap_bytes(unsigned char* p, size_t n)
{
    for (size_t i = 0; i + 1 < n; i += 2) {
        const unsigned char t = p[i];
        p[i] = p[i + 1];
        p[i + 1] = t;
    }
}

bool to_stdout()
{
    return strcmp(wavfile, "-") == 0;
}

// True when the output would be the input: the file that `wavfile` names,
// or standard output for "-", is the file open as `in`.
bool output_is_input(const struct stat& in)
{
    struct stat out {};
    const int got = to_stdout() ? fstat(1, &out) : stat(wavfile, &out);
    return got == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

}  // namespace

int main(int argc, char** argv)
{
    // Standard output is written only as the WAV file itself.
    keep_std_fds(true);

    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        fputs(version_text, stdout);
        return fflush(stdout) == 0 ? 0 : -1;
    }

    arg_entry table[] = {
        {nullptr,
         "1.0 : transforms a Quenda file into a WAV soundfile, \n"
         "  usage: quenda2wav quendafile=<quendaf> wavfile=<wavf> [options]",
         ARG_USAGE, nullptr, 0},
        {"v", "verbose mode", ARG_BOOL, &verbose, 0},
        {"wavfile", "WAV file name, - for standard output", ARG_STRING, &wavfile, 1},
        {"quendafile", "Quenda file name", ARG_STRING, &quendafile, 1},
        {"rate", "sample rate in Hz, 0 for the header's isf", ARG_INT, &rate, 0},
        {"swap", "swapping short samples", ARG_BOOL, &swap, 0},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };

    kestargs(table, &argc, &argv, &progname);
    if (verbose)
        printargs(stderr, progname, table);
    if (rate < 0) {
        fprintf(stderr, "%s: error - rate %d is not a sample rate\n", progname, rate);
        exit(-1);
    }

    // Everything is checked before the output is opened: a refused
    // conversion leaves no file behind.
    FILE* in = fopen(quendafile, "r");
    if (in == nullptr)
        fail("%s: error - could not open quendafile %s\n", quendafile);
    struct stat in_stat {};
    if (fstat(fileno(in), &in_stat) != 0)
        fail_errno("%s: could not read from file %s\n", quendafile);
    if (!S_ISREG(in_stat.st_mode))
        fail("%s: error - quendafile %s is not a regular file; its size must be known before writing\n",
             quendafile);
    if (output_is_input(in_stat)) {
        fprintf(stderr, "%s: error - wavfile %s would overwrite quendafile %s\n", progname, wavfile, quendafile);
        exit(-1);
    }

    std::string why;
    switch (check_quenda_file(in, in_stat.st_size, why)) {
    case quenda_shape::plausible:
        break;
    case quenda_shape::not_quenda:
        fprintf(stderr, "%s: error - %s: %s\n", progname, quendafile, why.c_str());
        exit(-1);
    case quenda_shape::read_error:
        fail_errno("%s: could not read from file %s\n", quendafile);
    }
    header = read_header_of_this_host(in, &ort_text, &kan_text);
    if (header == nullptr)
        fail("%s: error - could not read quenda header from %s\n", quendafile);

    if (rate == 0) {
        if (header->isf < min_rate || header->isf > max_rate) {
            fprintf(stderr, "%s: error - no sample rate: isf is %d; give rate=\n", progname, header->isf);
            exit(-1);
        }
        rate = header->isf;
    }

    // Whole samples after the header; the header reader has made sure the
    // file holds the header itself.
    const std::int64_t header_bytes = std::int64_t{header->anz_header} * 512;
    const std::int64_t after = in_stat.st_size > header_bytes ? in_stat.st_size - header_bytes : 0;
    const std::uint64_t data_size = static_cast<std::uint64_t>(after) & ~std::uint64_t{1};
    if (data_size > wav::max_data_size) {
        fprintf(stderr, "%s: error - %s holds %llu bytes of samples, more than a WAV file can hold (%llu)\n",
                progname, quendafile, static_cast<unsigned long long>(data_size),
                static_cast<unsigned long long>(wav::max_data_size));
        exit(-1);
    }
    if (fseeko(in, static_cast<off_t>(header_bytes), SEEK_SET) != 0)
        fail_errno("%s: could not read from file %s\n", quendafile);

    FILE* out = to_stdout() ? stdout : fopen(wavfile, "w");
    if (out == nullptr)
        fail("%s: error - could not open wavfile %s\n", wavfile);

    const auto head = wav::header(static_cast<std::uint32_t>(rate), static_cast<std::uint32_t>(data_size));
    if (fwrite(head.data(), 1, head.size(), out) != head.size())
        write_failed();

    if (verbose && swap)
        fprintf(stderr, "%s: swapping\n", progname);

    // Exactly the promised bytes: a file that grew meanwhile is cut, one
    // that shrank leaves a WAV file that lies about its length.
    std::uint64_t left = data_size;
    while (left > 0) {
        const size_t want = left < block_bytes ? static_cast<size_t>(left) : block_bytes;
        const size_t got = fread(buffer, 1, want, in);
        if (got < want) {
            if (ferror(in))
                fail_errno("%s: could not read from file %s\n", quendafile);
            fprintf(stderr, "%s: error - quendafile %s ended %llu bytes early; the WAV file is incomplete\n",
                    progname, quendafile, static_cast<unsigned long long>(left - got));
            exit(-1);
        }
        if (swap)
            swap_bytes(buffer, got);
        if (fwrite(buffer, 1, got, out) != got)
            write_failed();
        left -= got;
    }
    // The last bytes may still wait in the stream's buffer.
    if (fclose(out) != 0)
        write_failed();

    if (verbose)
        fprintf(stderr, "%s: written %llu bytes of samples at %d Hz\n", progname,
                static_cast<unsigned long long>(data_size), rate);
    const long long count = static_cast<long long>(data_size / 2);
    const long long announced = static_cast<long long>(header->nspbk) * 256;
    if (count != announced)
        fprintf(stderr, "%s: warning - counted samples incorrect (%lld != %lld)\n", progname, count, announced);
    return 0;
}
