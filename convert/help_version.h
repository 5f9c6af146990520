// --help and --version for the converters, answered before their
// name=value words are parsed, and only when one of them is the sole
// argument: --help prints the usage text that help= shows, on standard
// output; --version prints `version`.
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
