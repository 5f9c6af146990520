// quenda2wav: writes the samples of a Quenda sound file as a 16-bit mono PCM
// WAV file, at the rate that the header gives or that the user names.
//
// The frames are the bytes that quenda2raw copies (a last odd byte dropped,
// the two bytes of each sample exchanged on request).  Their number comes
// from the input's size before anything is written, so the WAV header goes
// out first and the output may be a pipe.
#include "header/header.h"
#include "convert/help_version.h"
#include "header/info.h"
#include "args/kestargs.h"
#include "common/std_fds.h"
#include "convert/wav.h"
#include "common/version.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* version_text = "quenda2wav (quenda tools) " QUENDA_TOOLS_VERSION "\n";

// Bytes moved per read and write.
constexpr size_t block_bytes = 65536;

// What the driver holds until the process ends.
int verbose = 0;
int swap = 0;
char rate_zero[] = "0";
char* rate_text = rate_zero; // as given; checked by rate_of()
int rate = 0;
char* wavfile = nullptr;
char* quendafile = nullptr;
char* progname = nullptr;
char* ort_text = nullptr;
char* kan_text = nullptr;
Quenda_header_2* header = nullptr;
unsigned char buffer[block_bytes];

// Every message names the input, so that the messages of a batch of
// conversions tell which recording each is about:
// "quenda2wav: error - FILE: what", or "warning".
void say(const char* level, const std::string& what)
{
    fprintf(stderr, "%s: %s - %s: %s\n", progname, level, quendafile, what.c_str());
}

[[noreturn]] void fail(const std::string& what)
{
    say("error", what);
    exit(-1);
}

// The message and the system's reason for the failure that just happened.
[[noreturn]] void fail_errno(const std::string& what)
{
    const int err = errno;
    fail(what + ": " + strerror(err));
}

[[noreturn]] void write_failed()
{
    fail_errno(std::string("could not write to wavfile ") + wavfile);
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

// The rate that `text` names: a whole number of Hz in the plausible range,
// or 0 for the header's isf; -1 for anything else.
int rate_of(const char* text)
{
    const char* end = text + strlen(text);
    int value = -1;
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end || (value != 0 && !quenda::plausible_rate(value)))
        return -1;
    return value;
}

// Reads the command line into the globals above and checks the rate; true
// when it asked for the help or the version, which are written.
bool read_arguments(int argc, char** argv)
{
    arg_entry table[] = {
        {nullptr,
         "1.0 : transforms a Quenda file into a WAV soundfile, \n"
         "  usage: quenda2wav quendafile=<quendaf> wavfile=<wavf> [options]",
         ARG_USAGE, nullptr, 0},
        {"v", "verbose mode", ARG_BOOL, &verbose, 0},
        {"wavfile", "WAV file name, - for standard output", ARG_STRING, &wavfile, 1},
        {"quendafile", "Quenda file name", ARG_STRING, &quendafile, 1},
        {"rate", "sample rate in Hz, 0 for the header's isf", ARG_STRING, &rate_text, 0},
        {"swap", "swapping short samples", ARG_BOOL, &swap, 0},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    if (read_command_line(table, argc, argv, version_text, &progname, verbose))
        return true;
    rate = rate_of(rate_text);
    if (rate < 0)
        fail(std::string("rate ") + rate_text + " is not a sample rate: a whole number of Hz from " +
             std::to_string(quenda::min_plausible_rate) + " to " + std::to_string(quenda::max_plausible_rate) +
             ", or 0 for the header's isf");
    return false;
}

// The Quenda file open at its first sample, what its header says, and the
// bytes of its whole samples.
struct input {
    FILE* file = nullptr;
    quenda::file_info info;
    std::uint64_t data_size = 0;
};

// Opens the Quenda file and reads its header, refusing a file that is not
// regular, that the output would overwrite, that is not a Quenda file or
// holds more than a WAV file can; sets the rate from the header unless one
// was given.  Everything is checked before the output is opened, so that a
// refused conversion leaves no file behind.
input open_input()
{
    FILE* in = nullptr;
    struct stat in_stat {};
    switch (quenda::open_regular_file(quendafile, in, in_stat)) {
    case quenda::open_status::opened:
        break;
    case quenda::open_status::cannot_open:
        fail_errno("could not open quendafile");
    case quenda::open_status::not_regular:
        fail("not a regular file; its size must be known before writing");
    }
    if (output_is_input(in_stat))
        fail(std::string("wavfile ") + wavfile + " would overwrite the quendafile");

    const quenda::file_check check = quenda::check_quenda_file(in, in_stat.st_size);
    if (check.read_error)
        fail_errno("could not read");
    if (!check.ok())
        fail(check.problem);
    header = read_header_of_this_host(in, &ort_text, &kan_text);
    if (header == nullptr)
        fail("could not read the header");
    const quenda::file_info info = quenda::describe_file(*header, in_stat.st_size);

    if (rate == 0) {
        if (!info.rate_plausible)
            fail("no sample rate: isf is " + std::to_string(header->isf) + "; give rate=");
        rate = header->isf;
    }
    // Whole samples after the header; the check has made sure the file
    // holds the header itself.
    const std::uint64_t data_size = static_cast<std::uint64_t>(info.samples) * 2;
    if (data_size > wav::max_data_size)
        fail("holds " + std::to_string(data_size) + " bytes of samples, more than a WAV file can hold (" +
             std::to_string(wav::max_data_size) + ")");
    if (fseeko(in, static_cast<off_t>(info.header_bytes), SEEK_SET) != 0)
        fail_errno("could not read");
    return {in, info, data_size};
}

// Copies exactly the promised bytes: a file that grew meanwhile is cut,
// one that shrank leaves a WAV file that lies about its length.
void copy_samples(FILE* in, FILE* out, std::uint64_t data_size)
{
    std::uint64_t left = data_size;
    while (left > 0) {
        const size_t want = left < block_bytes ? static_cast<size_t>(left) : block_bytes;
        const size_t got = fread(buffer, 1, want, in);
        if (got < want) {
            if (ferror(in))
                fail_errno("could not read");
            fail("ended " + std::to_string(left - got) + " bytes early; the WAV file is incomplete");
        }
        if (swap)
            swap_bytes(buffer, got);
        if (fwrite(buffer, 1, got, out) != got)
            write_failed();
        left -= got;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Standard output is written only as the WAV file itself.
    keep_std_fds(true);
    if (read_arguments(argc, argv))
        return 0;

    const input in = open_input();

    FILE* out = to_stdout() ? stdout : fopen(wavfile, "w");
    if (out == nullptr)
        fail_errno(std::string("could not open wavfile ") + wavfile);
    const auto head = wav::header(static_cast<std::uint32_t>(rate), static_cast<std::uint32_t>(in.data_size));
    if (fwrite(head.data(), 1, head.size(), out) != head.size())
        write_failed();
    if (verbose && swap)
        fprintf(stderr, "%s: swapping\n", progname);
    copy_samples(in.file, out, in.data_size);
    // The last bytes may still wait in the stream's buffer.
    if (fclose(out) != 0)
        write_failed();

    if (verbose)
        fprintf(stderr, "%s: written %llu bytes of samples at %d Hz\n", progname,
                static_cast<unsigned long long>(in.data_size), rate);
    const long long count = static_cast<long long>(in.info.samples);
    const long long announced = static_cast<long long>(in.info.announced_samples);
    if (count != announced)
        say("warning",
            "counted samples incorrect (" + std::to_string(count) + " != " + std::to_string(announced) + ")");
    return 0;
}
