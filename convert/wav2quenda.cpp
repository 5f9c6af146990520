// wav2quenda: brings a 16-bit mono PCM WAV recording into the corpus as a
// Quenda sound file: a header of this host's writer, version 1 or 2, with
// the WAV file's rate as isf and what the user names (texts, sex, date,
// ifl), followed by the WAV file's samples byte for byte, so that
// quenda2wav gives back the same WAV file.
//
// The output is written to a temporary file in its folder and renamed into
// place once complete: a refused or failed conversion leaves no file behind
// and never a part of one.
#include "header/header.h"
#include "convert/help_version.h"
#include "header/info.h"
#include "args/kestargs.h"
#include "common/std_fds.h"
#include "convert/wav.h"
#include "common/version.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* version_text = "wav2quenda (quenda tools) " QUENDA_TOOLS_VERSION "\n";

// Bytes moved per read and write.
constexpr size_t block_bytes = 65536;

// The samples of one header block count: nspbk announces whole blocks.
constexpr std::int64_t block_samples = quenda::block_size / 2;

// What the driver holds until the process ends.
int verbose = 0;
char* wavfile = nullptr;
char* quendafile = nullptr;
char* progname = nullptr;
char version_two[] = "2";
char* version_text_arg = version_two;
char* ort_text = nullptr;
char* kan_text = nullptr;
char* sex_text = nullptr;
char* date_text = nullptr;
char* ifl_text = nullptr;
std::string temporary; // the output while it is written; removed on failure
unsigned char buffer[block_bytes];

// "wav2quenda: error - WAVFILE: what": each message names the input, as in
// the other converters.
[[noreturn]] void fail(const std::string& what)
{
    if (!temporary.empty())
        unlink(temporary.c_str());
    fprintf(stderr, "%s: error - %s: %s\n", progname, wavfile, what.c_str());
    exit(-1);
}

[[noreturn]] void fail_errno(const std::string& what)
{
    const int err = errno;
    fail(what + ": " + strerror(err));
}

[[noreturn]] void write_failed()
{
    fail_errno(std::string("could not write to quendafile ") + quendafile);
}

// A refused WAV file: what it holds and the command line that makes one
// this program takes.
[[noreturn]] void refuse(const std::string& what, const char* sox_options = "-b 16 -e signed-integer -c 1")
{
    fail(what + "; wav2quenda takes 16-bit mono PCM WAV files at " + std::to_string(quenda::min_plausible_rate) +
         " to " + std::to_string(quenda::max_plausible_rate) + " Hz: convert it first, for example with: sox " +
         wavfile + " " + sox_options + " converted.wav");
}

// The header's fields from the arguments; every value checked before the
// output is opened.
void fill_header(Quenda_header_2& h, std::uint32_t rate, std::int64_t samples)
{
    if (strcmp(version_text_arg, "1") == 0)
        h.version = 1;
    else if (strcmp(version_text_arg, "2") == 0)
        h.version = 2;
    else
        fail(std::string("version ") + version_text_arg + " is no Quenda header version: 1 or 2");
    if (h.version == 1 && (ort_text != nullptr || kan_text != nullptr))
        fail("a version-1 header holds no texts: give version=2 for ort= and kan=");
    if (sex_text != nullptr) {
        if (strcmp(sex_text, "m") != 0 && strcmp(sex_text, "f") != 0)
            fail(std::string("sex ") + sex_text + " is neither m nor f");
        h.sex = sex_text[0];
    }
    if (date_text != nullptr) {
        int year = 0, month = 0, day = 0, end = 0;
        if (strlen(date_text) != 10 || sscanf(date_text, "%4d-%2d-%2d%n", &year, &month, &day, &end) != 3 ||
            end != 10 || month < 1 || month > 12 || day < 1 || day > 31)
            fail(std::string("date ") + date_text + " is not a date YYYY-MM-DD");
        h.year = static_cast<std::int16_t>(year);
        h.month = static_cast<std::int8_t>(month);
        h.day = static_cast<std::int8_t>(day);
    }
    if (ifl_text != nullptr) {
        if (strlen(ifl_text) >= sizeof h.ifl)
            fail(std::string("ifl is longer than the header's ") + std::to_string(sizeof h.ifl - 1) + " bytes");
        strcpy(h.ifl, ifl_text);
    }
    h.isf = static_cast<std::int32_t>(rate);
    h.adc_bits = 16;
    // The blocks that the samples begin; a last block may be short.
    h.nspbk = static_cast<std::int32_t>((samples + block_samples - 1) / block_samples);
}

} // namespace

int main(int argc, char** argv)
{
    keep_std_fds(true);

    arg_entry table[] = {
        {nullptr,
         "1.0 : transforms a 16-bit mono PCM WAV file into a Quenda file, \n"
         "  usage: wav2quenda wavfile=<wavf> quendafile=<quendaf> [options]",
         ARG_USAGE, nullptr, 0},
        {"v", "verbose mode", ARG_BOOL, &verbose, 0},
        {"wavfile", "WAV file name", ARG_STRING, &wavfile, 1},
        {"quendafile", "Quenda file name", ARG_STRING, &quendafile, 1},
        {"version", "header version, 1 or 2", ARG_STRING, &version_text_arg, 0},
        {"ort", "orthographic text (version 2)", ARG_STRING, &ort_text, 0},
        {"kan", "canonical text (version 2)", ARG_STRING, &kan_text, 0},
        {"sex", "the speaker's sex, m or f", ARG_STRING, &sex_text, 0},
        {"date", "recording date, YYYY-MM-DD", ARG_STRING, &date_text, 0},
        {"ifl", "the header's ifl text", ARG_STRING, &ifl_text, 0},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    if (read_command_line(table, argc, argv, version_text, &progname, verbose))
        return 0;

    FILE* in = nullptr;
    struct stat in_stat {};
    switch (quenda::open_regular_file(wavfile, in, in_stat)) {
    case quenda::open_status::opened:
        break;
    case quenda::open_status::cannot_open:
        fail_errno("could not open wavfile");
    case quenda::open_status::not_regular:
        fail("not a regular file");
    }
    const wav::format format = wav::read_format(in, in_stat.st_size);
    if (format.read_error)
        fail_errno("could not read");
    if (!format.ok())
        refuse(format.problem);
    if (!quenda::plausible_rate(format.rate))
        refuse("a rate of " + std::to_string(format.rate) + " Hz", "-r 16000");

    const std::int64_t samples = format.data_size / 2; // a last odd byte is no sample
    Quenda_header_2 header{};
    fill_header(header, format.rate, samples);

    // The temporary file in the output's folder, so that the rename stays
    // on one file system; its permissions those of a file made by fopen.
    temporary = std::string(quendafile) + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        temporary.clear();
        fail_errno(std::string("could not create quendafile ") + quendafile);
    }
    const mode_t mask = umask(0);
    umask(mask);
    FILE* out = fdopen(fd, "w");
    if (out == nullptr || fchmod(fd, 0666 & ~mask) != 0)
        write_failed();

    if (write_header_of_this_host(out, &header, ort_text, kan_text) == 0)
        write_failed();
    std::int64_t left = samples * 2;
    while (left > 0) {
        const size_t want = left < static_cast<std::int64_t>(block_bytes) ? static_cast<size_t>(left) : block_bytes;
        const size_t got = fread(buffer, 1, want, in);
        if (got < want) {
            if (ferror(in))
                fail_errno("could not read");
            fail("ended " + std::to_string(left - static_cast<std::int64_t>(got)) + " bytes early");
        }
        if (fwrite(buffer, 1, got, out) != got)
            write_failed();
        left -= static_cast<std::int64_t>(got);
    }
    if (fclose(out) != 0)
        write_failed();
    if (rename(temporary.c_str(), quendafile) != 0)
        fail_errno(std::string("could not create quendafile ") + quendafile);
    temporary.clear();

    if (verbose)
        fprintf(stderr, "%s: written %lld samples at %u Hz\n", progname, static_cast<long long>(samples),
                static_cast<unsigned>(format.rate));
    return 0;
}
