// Table-driven parsing of name=value command-line arguments.
#pragma once

#include <cstdint>
#include <cstdio>

// Type codes of an argument table row.
enum : int32_t {
    ARG_END = 0,    // terminator of the table
    ARG_USAGE = 1,  // a line of usage text, no argument
    ARG_INT = 2,    // int
    ARG_LONG = 3,   // long
    ARG_STRING = 4, // char*, a newly allocated copy of the value
    ARG_BOOL = 5,   // int, 0 or 1
    ARG_FLOAT = 6,  // float
    ARG_DOUBLE = 7, // double
};

// One row of an argument table; a table ends at the first row of type 0.
struct arg_entry {
    const char* name; // as typed before the "="; null rows are never matched
    const char* text; // description, or the usage text of a type-1 row
    int32_t type;     // one of the type codes above
    void* target;     // the caller's variable
    int32_t required; // nonzero: the argument must be given
};

// Parses the name=value words after the program name into the table's
// variables.  Returns the number of arguments set; on any error prints a
// message and the usage text on standard error and ends the process with
// status 1.  Afterwards *argc and *argv describe the words not consumed.
// An int value beyond the int range is clamped to it; a failed allocation
// prints "kestargs: out of memory" and ends the process with status 1.
int kestargs(arg_entry* table, int* argc, char*** argv, char** progname_slot /* may be null */);

// Lists every argument with its current value on `stream` (standard error
// when null).
void printargs(FILE* stream /* null: standard error */, const char* progname /* may be null */, const arg_entry* table);

// Prints the usage text that an argument error or help= shows, on `stream`
// (standard error when null): for a program's --help.
void printusage(FILE* stream /* null: standard error */, const char* progname, const arg_entry* table);
