// Reads the header of quendafile=FILE through the installed libraries and
// prints its block counts and orthographic text.
#include <bit>
#include <cstdio>
#include <cstdlib>

#include "header.h"
#include "kestargs.h"

int main(int argc, char** argv)
{
    char* file = nullptr;
    arg_entry table[] = {
        {nullptr, "reads a Quenda header", ARG_USAGE, nullptr, 0},
        {"quendafile", "Quenda file name", ARG_STRING, &file, 1},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    kestargs(table, &argc, &argv, nullptr);
    std::FILE* f = std::fopen(file, "rb");
    if (!f) {
        std::free(file);
        return 2;
    }
    char* ort = nullptr;
    char* kan = nullptr;
    Quenda_header_2* h = std::endian::native == std::endian::little ? read_header_vms(f, &ort, &kan)
                                                                     : read_header_sun(f, &ort, &kan);
    if (!h)
        return 3;
    std::printf("nspbk %d anz_header %d ort %s\n", h->nspbk, h->anz_header, ort ? ort : "(none)");
    // What the libraries hand out belongs to the caller.
    std::free(h);
    std::free(ort);
    std::free(kan);
    std::free(file);
    std::fclose(f);
    return 0;
}
