// velmar: the echo buffer that the grammar's actions fill and print, the
// parse engine running the grammar, and its error reporter.
#pragma once

// Echo buffer.  linebuf always holds a NUL-terminated string of bp
// characters.  It starts as 100 characters and grows when a lexical element
// collects more letters, so an echo line is never cut; a line longer than an
// int holds (a word of 2 GiB) or memory for it that cannot be had ends the
// check with "fatal error - echo line buffer overflow" on standard error and
// status 2, as the scanner's input buffer does.
extern char* linebuf;
extern int bp;
extern int line_size; // bytes at linebuf

// Makes room for at least one more character and the terminating NUL.
void grow_line();

// Empties the echo buffer.
void initbuffer();
// Appends the character c (a token value) to the echo buffer.  Inline: the
// grammar's actions call it for every letter.
inline void append_char(int c)
{
    if (bp > line_size - 2) [[unlikely]] // bp + 2 could overflow
        grow_line();
    linebuf[bp] = static_cast<char>(c);
    linebuf[++bp] = '\0';
}
// Writes the buffer as a turn header (an empty line, the text, end of line)
// on standard output and empties it.
void print_header();
// Writes the buffer as one line on standard output and empties it.
void print_line();
// Hands the lines written so far to standard output's stream (they are
// gathered in pieces unless it is a terminal); the end of the parse, an
// error message and the end of the process do so.
void velmar_flush_lines();

// Parser state.  trlchar is the look-ahead token code: -2 while none is held,
// 0 at the end of the input.
extern int trlchar;
extern int trlnerrs;
extern int trldebug;

// Writes "MESSAGE in line N" (N = lineno) on standard output.
int trlerror(const char* message);

// Standard output carries the check's result: every write to it is checked,
// and this flushes and closes it at the end.  A failure prints
// "velmar: write error: REASON" on standard error and ends the process
// with status 2.
void velmar_finish_output();

// Parses the whole input delivered by trllex.  Returns 0 when it is one
// dialog, 1 after the first syntax error, 2 when the stack overflows.
int trlparse();
// The same parse through the engine's loop over the tables, which a trace
// takes, without the trace: what the direct-coded parse is checked against.
int trlparse_over_tables();

// Sets the whole checker back to where a new run starts: line counter,
// scanner and its buffers (trl_scanner_reset), echo buffer and the parser's
// look-ahead and error count.
void velmar_reset();
