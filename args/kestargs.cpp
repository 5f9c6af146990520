// Table-driven parsing of name=value command-line arguments.
#include "args/kestargs.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

// Display names of the type codes, indexed by code.
static constexpr const char* typenames[8] = {"", "", "int", "long", "string", "boolean", "float", "double"};

// Display name of a type code; empty for a code outside the table.
static const char* type_name(int32_t type)
{
    return type >= 0 && type < static_cast<int32_t>(std::size(typenames)) ? typenames[type] : "";
}

// Codes whose variable has a value to convert and to print.
static bool has_value(int32_t type)
{
    return type >= ARG_INT && type <= ARG_DOUBLE;
}

// Text for a "%s" whose string may be missing in a faulty table.
static const char* shown(const char* s)
{
    return s != nullptr ? s : "(null)";
}

[[noreturn]] static void out_of_memory()
{
    fputs("kestargs: out of memory\n", stderr);
    exit(1);
}

[[noreturn]] static void internal_error(FILE* stream, const arg_entry& row, const char* progname)
{
    fprintf(stream, "Internal error!! unknown arg type %d for arg %s!\n", static_cast<int>(row.type), shown(row.name));
    fprintf(stream, " This should not happen!! contact %s maintainer!\n", shown(progname));
    exit(1);
}

// The first row named exactly `name` (byte-wise comparison), or null.
static arg_entry* get_arg_el(const char* name, arg_entry* table)
{
    for (arg_entry* row = table; row->type != ARG_END; ++row)
        if (row->name != nullptr && strcmp(row->name, name) == 0)
            return row;
    return nullptr;
}

// 1 when the text begins with 1, t, T, y or Y; otherwise 0.
static int get_bool_val(const char* text)
{
    if (text == nullptr)
        return 0;
    switch (text[0]) {
    case '1':
    case 't':
    case 'T':
    case 'y':
    case 'Y':
        return 1;
    default:
        return 0;
    }
}

// Rows before the terminator, usage lines included.
static int get_num_args(const arg_entry* table)
{
    int n = 0;
    while (table[n].type != ARG_END)
        ++n;
    return n;
}

// Prints the variable of a row with a value; `absent` stands for a missing string.
static void print_value(FILE* stream, const arg_entry& row, const char* absent)
{
    switch (row.type) {
    case ARG_INT:
        fprintf(stream, "%d", *static_cast<const int*>(row.target));
        break;
    case ARG_LONG:
        fprintf(stream, "%ld", *static_cast<const long*>(row.target));
        break;
    case ARG_STRING: {
        const char* s = *static_cast<char* const*>(row.target);
        fputs(s != nullptr ? s : absent, stream);
        break;
    }
    case ARG_BOOL:
        fputs(*static_cast<const int*>(row.target) != 0 ? "true" : "false", stream);
        break;
    case ARG_FLOAT:
        fprintf(stream, "%g", static_cast<double>(*static_cast<const float*>(row.target)));
        break;
    case ARG_DOUBLE:
        fprintf(stream, "%g", *static_cast<const double*>(row.target));
        break;
    default:
        break;
    }
}

// The usage text: one line per row, each optional argument with its value.
static void usage_on(FILE* stream, const char* progname, const arg_entry* table)
{
    fprintf(stream, "%s:\n", shown(progname));
    for (const arg_entry* row = table; row->type != ARG_END; ++row) {
        if (row->type == ARG_USAGE) {
            fprintf(stream, "  %s\n", shown(row->text));
            continue;
        }
        const char* tn = type_name(row->type);
        const bool named = tn[0] != '\0';
        fprintf(stream, "  %s\t%s %s%s%s%s", shown(row->name), shown(row->text), named ? "(" : "", tn, named ? ")" : "",
                row->required ? " (*REQ*)" : "");
        if (!row->required) {
            if (!has_value(row->type))
                internal_error(stream, *row, progname);
            fputs(" (", stream);
            print_value(stream, *row, "null");
            fputs(")", stream);
        }
        fputs("\n", stream);
    }
}

static void show_usage(const char* progname, const arg_entry* table)
{
    usage_on(stderr, progname, table);
}

// Ends a failed parse: the usage text, then status 1.
[[noreturn]] static void fail(unsigned char* flags, const char* progname, const arg_entry* table)
{
    free(flags);
    show_usage(progname, table);
    exit(1);
}

// Converts `value` into the variable of `row`; false when the value is refused.
static bool store_value(arg_entry& row, const char* value)
{
    switch (row.type) {
    case ARG_INT:
    case ARG_LONG: {
        char* end = nullptr;
        const long v = strtol(value, &end, 10);
        if (row.type == ARG_INT)
            *static_cast<int*>(row.target) = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
        else
            *static_cast<long*>(row.target) = v;
        return end != value;
    }
    case ARG_STRING: {
        char* copy = strdup(value);
        if (copy == nullptr)
            out_of_memory();
        *static_cast<char**>(row.target) = copy;
        return true;
    }
    case ARG_BOOL:
        *static_cast<int*>(row.target) = get_bool_val(value);
        return true;
    case ARG_FLOAT:
        // An empty or blank value makes the scan report end of input: accepted, variable unchanged.
        return sscanf(value, "%g", static_cast<float*>(row.target)) != 0;
    case ARG_DOUBLE:
        return sscanf(value, "%lg", static_cast<double*>(row.target)) != 0;
    default:
        return true;
    }
}

int kestargs(arg_entry* table, int* argc, char*** argv, char** progname_slot)
{
    char* progname = (*argv)[0];
    if (progname_slot != nullptr)
        *progname_slot = progname;

    const int rows = get_num_args(table);
    auto* flags = static_cast<unsigned char*>(calloc(static_cast<size_t>(rows) + 1, 1));
    if (flags == nullptr)
        out_of_memory();
    int nset = 0;

    if (*argc > 0) {
        ++*argv;
        --*argc;
    }

    while (*argc > 0) {
        char* word = **argv;
        char* eq = strchr(word, '=');
        if (eq == nullptr)
            break;
        *eq = '\0';
        const char* name = word;
        const char* value = eq + 1;

        arg_entry* row = get_arg_el(name, table);
        if (strcasecmp(name, "help") == 0)
            fail(flags, progname, table);
        if (row == nullptr) {
            fprintf(stderr, "Unkown argument \"%s\"\n", name);
            fail(flags, progname, table);
        }

        const ptrdiff_t index = row - table;
        if (flags[index]) {
            fprintf(stderr, "Error: argument %s multiply set!\n", name);
            fail(flags, progname, table);
        }
        flags[index] = 1;
        ++nset;

        if (!has_value(row->type)) {
            free(flags);
            internal_error(stderr, *row, progname);
        }
        if (!store_value(*row, value)) {
            static constexpr const char* warnings[] = {
                nullptr, nullptr, "Warning: arg %s should be an int!\n",  "Warning: arg %s should be a long int!\n",
                nullptr, nullptr, "Warning: arg %s should be a float!\n", "Warning: arg %s should be a double!\n",
            };
            fprintf(stderr, warnings[row->type], name);
            fail(flags, progname, table);
        }

        ++*argv;
        --*argc;
    }

    bool missing = false;
    for (int i = 0; i < rows; ++i) {
        if (table[i].required && !flags[i]) {
            fprintf(stderr, "Argument \"%s\" is required, but not set!\n", shown(table[i].name));
            missing = true;
        }
    }
    if (missing)
        fail(flags, progname, table);

    free(flags);
    return nset;
}

void printargs(FILE* stream, const char* progname, const arg_entry* table)
{
    if (stream == nullptr)
        stream = stderr;
    fprintf(stream, "%s was invoked with the following argument values\n (some of which may be defaults):\n",
            progname != nullptr ? progname : "This");
    for (const arg_entry* row = table; row->type != ARG_END; ++row) {
        if (row->type == ARG_USAGE)
            continue;
        fprintf(stream, "  %s=", shown(row->name));
        if (!has_value(row->type))
            internal_error(stream, *row, progname != nullptr ? progname : "its");
        print_value(stream, *row, "(null)");
        fputs("\n", stream);
    }
}

void printusage(FILE* stream, const char* progname, const arg_entry* table)
{
    usage_on(stream != nullptr ? stream : stderr, progname, table);
}
