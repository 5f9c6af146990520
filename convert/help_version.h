// The command line of the converters: --help and --version answered
// before their name=value words are parsed, and only when one of them is
// the sole argument: --help prints the usage text that help= shows, on
// standard output; --version prints `version`.  Then the words.
#pragma once

#include "args/kestargs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// True when the answer was given.  Ends the process with status -1 (255)
// and a message when standard output cannot take it.
inline bool answered_help_or_version(int argc, char** argv, const arg_entry* table, const char* version)
{
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--help") == 0)
        printusage(stdout, argv[0], table);
    else if (std::strcmp(argv[1], "--version") == 0)
        std::fputs(version, stdout);
    else
        return false;
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%s: could not write to standard output: %s\n", argv[0], std::strerror(errno));
        std::exit(-1);
    }
    return true;
}

// The command line of a converter: --help or --version answered (true, and
// the program has nothing more to do), else its name=value words read into
// the table's variables (kestargs ends the process on a usage error) and,
// with `verbose` set by them, printed on standard error.
inline bool read_command_line(arg_entry* table, int argc, char** argv, const char* version, char** progname,
                              const int& verbose)
{
    if (answered_help_or_version(argc, argv, table, version))
        return true;
    kestargs(table, &argc, &argv, progname);
    if (verbose)
        printargs(stderr, *progname, table);
    return false;
}
