// Writes a sample version-2 header with the writer that matches the host
// (write_header_sun on a big-endian host, write_header_vms on a
// little-endian one) to the file named by the argument.  The files written
// on two hosts of different byte order must be identical.
#include "header/header.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s file\n", argv[0]);
        return 2;
    }
    auto* h = static_cast<Quenda_header_2*>(std::calloc(1, sizeof(Quenda_header_2)));
    h->nspbk = 0x01020304;
    h->anz_header = 99; // set by the writer
    std::memcpy(h->sprk, "de", 2);
    h->swdh = -2;
    h->ifld1[0] = -5;
    h->ifld1[1] = 0x7f000001;
    h->ifld1[2] = 3;
    std::memcpy(h->kenn1, "k1", 2);
    std::memcpy(h->kenn4, "k4", 2);
    h->isf = 16000;
    h->flagtype = 0x0a0b0c0d;
    h->flaginit = -1;
    std::strcpy(h->ifl, "speaker.ifl");
    h->day = 24;
    h->month = 12;
    h->year = 1996;
    h->sex = 'w';
    h->version = 2;
    h->adc_bits = 16;
    h->words = 0x1234;
    h->wdh = -300;
    h->abs_ampl = 0x7fff;

    constexpr bool big = std::endian::native == std::endian::big;
    FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const int ok =
        big ? write_header_sun(f, h, "guten tag", "g u t @ n") : write_header_vms(f, h, "guten tag", "g u t @ n");
    if (std::fclose(f) != 0 || ok != 1)
        return 1;
    std::printf("%s-endian host: %s wrote %d blocks to %s\n", big ? "big" : "little",
                big ? "write_header_sun" : "write_header_vms", h->anz_header, argv[1]);
    std::free(h);
    return 0;
}
