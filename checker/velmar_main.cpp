// velmar [FILE]: checks the transliteration in FILE, or on standard input
// when no FILE (or "-") is given.  Echoes the turn numbers and the letters of
// each lexical element, reports the first syntax error, and exits with the
// parse result: 0 accepted, 1 rejected, 2 stack overflow, or a failure of the
// input or of standard output.  A usage error or a FILE that cannot be read
// is reported on standard error and ends with status 2.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "checker/lex.trl.h"
#include "common/std_fds.h"
#include "checker/velmar.h"
#include "common/version.h"

namespace {

constexpr const char* usage_line = "usage: velmar [FILE]\n";

constexpr const char* help_text = "Checks that a dialogue transliteration follows the corpus conventions.\n"
                                  "Reads FILE, or standard input when no FILE (or -) is given, and writes for\n"
                                  "every turn an empty line and the turn number, then the letters of each word,\n"
                                  "one word a line.  The first syntax error ends the check with\n"
                                  "\"parse error in line N\".\n"
                                  "\n"
                                  "  -h, --help   this text\n"
                                  "  --version    the program's version\n"
                                  "\n"
                                  "Exit status: 0 for a well-formed transliteration, 1 for a syntax error, 2 for\n"
                                  "a turn too long for the parser's stack, a FILE that cannot be read, a usage\n"
                                  "error or a failed write.\n";

constexpr const char* version_text = "velmar (quenda tools) " QUENDA_TOOLS_VERSION "\n";

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "velmar: %s\n", message.c_str());
    std::exit(2);
}

[[noreturn]] void usage_error(const std::string& message)
{
    fail(message + " (" + std::string(usage_line, std::strlen(usage_line) - 1) + ")");
}

// Writes a text that answers an option on standard output and ends.
[[noreturn]] void answer(const char* text)
{
    std::fputs(text, stdout);
    velmar_finish_output();
    std::exit(0);
}

// The FILE argument, or null for standard input.  --help and --version are
// answered where they stand; what follows them is not looked at.
const char* parse_arguments(int argc, char** argv)
{
    const char* file = nullptr;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options_end && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--")
                options_end = true;
            else if (arg == "-h" || arg == "--help")
                answer((std::string(usage_line) + help_text).c_str());
            else if (arg == "--version")
                answer(version_text);
            else
                usage_error("unknown option '" + std::string(arg) + "'");
            continue;
        }
        if (file)
            usage_error("more than one file given");
        file = argv[i];
    }
    return file && std::strcmp(file, "-") != 0 ? file : nullptr;
}

// Opens the text to check for the scanner.  A folder opens as a file on this
// system, but cannot be read as one: it is refused here, by its name.
std::FILE* open_input(const char* path)
{
    // Standard output is the check's result: a closed one must not become
    // the descriptor of the file.
    keep_std_fds(true);
    std::FILE* in = std::fopen(path, "rb");
    if (!in)
        fail(std::string(path) + ": " + std::strerror(errno));
    struct stat st;
    if (fstat(fileno(in), &st) == 0 && S_ISDIR(st.st_mode))
        fail(std::string(path) + ": " + std::strerror(EISDIR));
    return in;
}

} // namespace

int main(int argc, char** argv)
{
    const char* file = parse_arguments(argc, argv);
    // Echo lines leave in large blocks, unless a person watches them.
    static char out_buffer[1 << 16];
    if (!isatty(1))
        std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    trlin = file ? open_input(file) : stdin;
    velmar_reset();
    const int result = trlparse();
    velmar_finish_output();
    return result;
}
