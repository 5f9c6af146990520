// The transliteration scanner and its refillable input buffers.
#pragma once

#include <cstddef>
#include <cstdio>

#include "velmar.tokens.h"

struct trl_buffer {
    FILE* stream;         // refilled from here; null for a buffer over memory
    char* chars;          // capacity bytes of text room + 2 bytes of end-of-buffer mark
    char* pos;            // scan position, saved while the buffer is not current
    std::size_t capacity; // text room without the mark
    std::ptrdiff_t count; // text bytes held, saved while the buffer is not current
    int owns_chars;       // chars was allocated here: freed on delete, may grow
    int interactive;      // a terminal: refill one line at a time
    int at_line_start;    // the next match starts at the beginning of a line
    int refill;           // read more from stream at the end of the text
    int status;           // TRL_BUFFER_NEW, TRL_BUFFER_NORMAL or TRL_BUFFER_EOF_PENDING
};

enum : int { TRL_BUFFER_NEW = 0, TRL_BUFFER_NORMAL = 1, TRL_BUFFER_EOF_PENDING = 2 };
enum : int { TRL_BUF_SIZE = 16384, TRL_READ_MAX = 8192 };

// The text of the last match, terminated in place; valid until the next call.
extern char* trltext;
extern std::ptrdiff_t trlleng;
// The first byte of the last token that carries a value, as a signed char.
extern int trllval;
// Newlines that ended a non-empty line (comment lines included).
extern long long lineno;
// The scanner's streams; standard input and output when null at the first call.
extern FILE* trlin;
extern FILE* trlout;

// Returns the next token code, a character code, or 0 at the end of input.
int trllex();
// Called at the end of the input stream; 1: no further input.
int trlwrap();

// Sets the scanner back to its state before its first call: the buffer it
// made for itself is released, a buffer made by the caller is left to the
// caller, and the next trllex starts on trlin.  lineno is not touched.
void trl_scanner_reset();

// The input buffers.  A failure (out of memory, a read error, a buffer over
// the caller's memory that a match outgrows) writes its message on standard
// error and ends the process with status 2.
trl_buffer* trl_create_buffer(FILE* stream, int size);
void trl_delete_buffer(trl_buffer* b);
void trl_init_buffer(trl_buffer* b, FILE* stream);
void trl_flush_buffer(trl_buffer* b);
void trl_switch_to_buffer(trl_buffer* b);
void trlrestart(FILE* stream);
trl_buffer* trl_scan_buffer(char* base, std::size_t size);
trl_buffer* trl_scan_string(const char* str);
trl_buffer* trl_scan_bytes(const char* bytes, std::ptrdiff_t len);
// The buffer being scanned, or null.  Its scan position and count are
// saved into it only when another buffer becomes current.
trl_buffer* trl_current_buffer();

// trl_text_scanner and trl_text_scan, the scanner that keeps its state in
// a record, are in language/text_scanner.h.
