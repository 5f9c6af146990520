// Quenda sound-file headers: the record, readers, writers and dump.
//
// A header is made of 512-byte blocks: version 1 is the fixed block alone;
// version 2 adds `anz_header` - 1 blocks that carry the orthographic and the
// canonical text.  The file stores every number little-endian.  Each
// operation exists for a big-endian host (_sun: bytes of every 16- and
// 32-bit number reversed between file and record) and for a little-endian
// host (_vms: bytes copied unchanged); neither tests the host.
//
// Failures are reported on standard error, each line beginning with the
// function's name; the library keeps no state.
#pragma once

#include <cstdint>
#include <cstdio>

struct Quenda_header_2 {
    int32_t not_used1[5];
    int32_t nspbk;      // 512-byte sample blocks after the header
    int32_t anz_header; // 512-byte blocks of the whole header
    int32_t not_used2[5];
    char sprk[2];
    int16_t swdh;
    int32_t ifld1[3];
    int32_t not_used3[6];
    char kenn1[2];
    int16_t not_used4;
    char kenn2[2];
    int16_t not_used5;
    char kenn3[2];
    int16_t not_used6;
    char kenn4[2];
    int16_t not_used7;
    int32_t not_used8[35];
    int32_t isf;
    int32_t flagtype;
    int32_t flaginit;
    char ifl[32];
    int8_t day;
    int8_t month;
    int16_t year;
    char sex;
    int8_t version;
    int16_t adc_bits;
    int16_t words;
    int32_t not_useda[50];
    int16_t wdh;
    int16_t abs_ampl;
    char not_usedb[10];
};

// Readers: rewind the stream and return a new record (release with free),
// or null after a message on standard error.  The version-2 readers hand out
// the orthographic and the canonical text through `ort` and `kan` (both
// must point to writable slots): each a new NUL-terminated string (release
// with free) or null.  After a null result both are null.
// read_header_sun/_vms decide the version by `anz_header`: 1 block is
// version 1, more are version 2, fewer is no usable header.
Quenda_header_2* read_header_1_sun(FILE* f);
Quenda_header_2* read_header_1_vms(FILE* f);
Quenda_header_2* read_header_2_sun(FILE* f, char** ort, char** kan);
Quenda_header_2* read_header_2_vms(FILE* f, char** ort, char** kan);
Quenda_header_2* read_header_sun(FILE* f, char** ort, char** kan);
Quenda_header_2* read_header_vms(FILE* f, char** ort, char** kan);

// Writers: write at the stream's position; 1 when written, 0 on failure.
// They set `anz_header` in the record (1 for version 1; for version 2 the
// blocks that the fixed header and the two texts fill).  Null texts are
// written as empty ones; the texts count only for version 2.
int write_header_1_sun(FILE* f, Quenda_header_2* h);
int write_header_1_vms(FILE* f, Quenda_header_2* h);
int write_header_sun(FILE* f, Quenda_header_2* h, const char* ort, const char* kan);
int write_header_vms(FILE* f, Quenda_header_2* h, const char* ort, const char* kan);

// Reverse a 2-byte or a 4-byte item in place.
void shortvms2sun(void* item);
void longvms2sun(void* item);

// Prints the record field by field on standard output; `h` must not be null.
void disp_header_v2(const Quenda_header_2* h);
