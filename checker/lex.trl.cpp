// The transliteration scanner: the match loop over the generated automaton,
// and the refillable input buffers it runs on.
#include "lex.trl.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "lex.trl.text.h"

// Scanner state.
char* trltext;
int trlleng;
int trllval;
int lineno;
FILE* trlin;
FILE* trlout;

// Buffer state and the scanner's own bookkeeping.
namespace {

int yy_start = 0;
int yy_init = 1;
char yy_hold_char;
trl_buffer* yy_current_buffer;
char* yy_c_buf_p;
int yy_n_chars;
trl_buffer* yy_own_buffer;   // the buffer the scanner made for itself, if any

namespace dfa = trl_dfa;

// Reads up to max bytes of the current buffer's stream into buf: a terminal
// up to and including a newline, anything else in one block.
int yy_read(char* buf, int max)
{
    FILE* in = yy_current_buffer->stream;
    if (!in)
        return 0;   // a buffer without a stream has nothing more to give
    if (yy_current_buffer->interactive) {
        int c = '*';
        int n = 0;
        while (n < max && (c = std::getc(in)) != EOF && c != '\n')
            buf[n++] = static_cast<char>(c);
        if (c == '\n')
            buf[n++] = '\n';
        if (c == EOF && std::ferror(in))
            yy_fatal_error("input in flex scanner failed");
        return n;
    }
    std::size_t n = std::fread(buf, 1, static_cast<std::size_t>(max), in);
    if (n == 0 && std::ferror(in))
        yy_fatal_error("input in flex scanner failed");
    return static_cast<int>(n);
}

// The first call's set-up.
[[gnu::noinline]] void yy_initialize()
{
    yy_init = 0;
    if (!yy_start)
        yy_start = 1;
    if (!trlin)
        trlin = stdin;
    if (!trlout)
        trlout = stdout;
    if (!yy_current_buffer)
        yy_current_buffer = yy_own_buffer = trl_create_buffer(trlin, TRL_BUF_SIZE);
    trl_load_buffer_state();
}

enum : int { yy_end_of_input = 0, yy_start_over = -1 };

// Whether the NUL byte at cp is input (it lies within the held text) rather
// than the end-of-buffer mark.  The first look at a new buffer takes its
// count and stream.
inline bool yy_nul_is_text(const char* cp)
{
    if (yy_current_buffer->status == TRL_BUFFER_NEW) {
        yy_n_chars = yy_current_buffer->count;
        yy_current_buffer->stream = trlin;
        yy_current_buffer->status = TRL_BUFFER_NORMAL;
    }
    return cp < yy_current_buffer->chars + yy_n_chars;
}

// One match that starts at yy_bp in start state `state` and is not complete
// after its first byte: runs the automaton, refills the buffer when the
// match reaches its end, and sets trltext, trlleng, the held byte and the
// scan position.  A match that runs into the end of the buffer goes on from
// the state it has reached once the buffer is refilled: the kept text is
// not scanned again, so a token is scanned once however many refills it
// spans.  Returns the rule to carry out, yy_end_of_input when trllex
// returns 0, or yy_start_over when more input was arranged at the end of
// the stream.
[[gnu::noinline]] int yy_match_long(char* yy_bp, int state)
{
    char* cp = yy_bp;
    int last_state = 0;   // no rule yet: a match of nothing finds no action
    char* last_cpos = yy_bp;

    for (;;) {
        for (;;) {
            const int cls = dfa::byte_class[static_cast<unsigned char>(*cp)];
            if (cls == dfa::nul_class && !yy_nul_is_text(cp)) [[unlikely]]
                break;
            const int to = dfa::next[state][cls];
            if (!to)
                goto find_action;
            state = to;
            ++cp;
            if (const int stop = dfa::stop[state]) {
                last_state = state;
                last_cpos = cp;
                if (stop == 2)
                    goto find_action;
            }
        }

        // The end of the buffer: refill.  The refill moves the kept text,
        // so positions are carried over as offsets from its start.
        trltext = yy_bp;
        const std::ptrdiff_t matched = cp - yy_bp;
        const std::ptrdiff_t last_offset = last_cpos - yy_bp;
        yy_c_buf_p = cp + 1;   // past the mark's first byte
        switch (yy_get_next_buffer()) {
        case EOB_ACT_END_OF_FILE:
            yy_c_buf_p = trltext;
            return trlwrap() ? yy_end_of_input : yy_start_over;
        case EOB_ACT_CONTINUE_SCAN:
            yy_bp = trltext;
            cp = yy_bp + matched;
            last_cpos = yy_bp + last_offset;
            continue;
        default:   // EOB_ACT_LAST_MATCH: the kept text is all there is
            yy_bp = trltext;
            cp = yy_bp + matched;
            last_cpos = yy_bp + last_offset;
            goto find_action;
        }
    }

find_action:
    if (!dfa::stop[state]) {   // back up to the last accepting state
        cp = last_cpos;
        state = last_state;
    }
    const int rule = dfa::accept[state];
    cp -= dfa::tail_length[rule];   // give the trailing context back

    trltext = yy_bp;
    trlleng = static_cast<int>(cp - yy_bp);
    yy_hold_char = *cp;
    *cp = '\0';
    yy_c_buf_p = cp;
    if (trlleng > 0)
        yy_current_buffer->at_line_start = cp[-1] == '\n';
    if (rule == 0)
        yy_fatal_error("fatal flex scanner internal error--no action found");
    return rule;
}

} // namespace

int trlwrap()
{
    return 1;
}

int trllex()
{
    if (yy_init) [[unlikely]]
        yy_initialize();

    for (;;) {
        char* cp = yy_c_buf_p;
        *cp = yy_hold_char;   // undo the terminator of the previous match
        const int start = yy_start + yy_current_buffer->at_line_start;
        const int cls = dfa::byte_class[static_cast<unsigned char>(*cp)];
        int rule = dfa::one_byte_rule[start][cls];
        if (rule != 0) [[likely]] {
            // A complete match of one byte: what yy_match_long does,
            // without the loop.
            trltext = cp;
            trlleng = 1;
            yy_current_buffer->at_line_start = *cp == '\n';
            yy_c_buf_p = ++cp;
            yy_hold_char = *cp;
            *cp = '\0';
        } else {
            rule = yy_match_long(cp, start);
            if (rule == yy_end_of_input)
                return 0;
            if (rule == yy_start_over)
                continue;
        }

        // A rule written as a token needs no code; the others run theirs.
        if (const int token = dfa::rule_token[rule])
            return trl_token_code(token, rule, *trltext, trllval);
        switch (rule) {
#include "lex.trl.actions.inc"
        default:
            yy_fatal_error("fatal flex scanner internal error--no action found");
        }
    }
}

void trl_scanner_reset()
{
    if (yy_current_buffer == yy_own_buffer)
        yy_current_buffer = nullptr;
    trl_delete_buffer(yy_own_buffer);
    yy_own_buffer = nullptr;
    yy_current_buffer = nullptr;
    yy_c_buf_p = nullptr;
    yy_n_chars = 0;
    yy_hold_char = '\0';
    yy_init = 1;
    yy_start = 0;
    trltext = nullptr;
    trlleng = 0;
}

trl_buffer* trl_current_buffer()
{
    return yy_current_buffer;
}

int yy_get_next_buffer()
{
    trl_buffer* b = yy_current_buffer;

    if (yy_c_buf_p > b->chars + yy_n_chars + 1)
        yy_fatal_error("fatal flex scanner internal error--end of buffer missed");

    if (!b->refill)
        return yy_c_buf_p - trltext == 1 ? EOB_ACT_END_OF_FILE : EOB_ACT_LAST_MATCH;

    // Keep the unfinished match: move it to the front.
    const int kept = static_cast<int>(yy_c_buf_p - trltext) - 1;
    if (trltext != b->chars)   // a long match stays at the front through many refills
        std::memmove(b->chars, trltext, static_cast<std::size_t>(kept));

    if (b->status == TRL_BUFFER_EOF_PENDING) {
        b->count = yy_n_chars = 0;
    } else {
        long long room = static_cast<long long>(b->capacity) - kept - 1;
        while (room <= 0) {
            if (!b->owns_chars)
                yy_fatal_error("fatal error - scanner input buffer overflow");
            const std::ptrdiff_t scan_offset = yy_c_buf_p - b->chars;
            const unsigned grown = b->capacity <= INT_MAX / 2 ? b->capacity * 2 : b->capacity + b->capacity / 8;
            char* chars = static_cast<char*>(yy_flex_realloc(b->chars, static_cast<std::size_t>(grown) + 2));
            if (!chars)
                yy_fatal_error("fatal error - scanner input buffer overflow");
            b->chars = chars;
            b->capacity = grown;
            yy_c_buf_p = b->chars + scan_offset;
            room = static_cast<long long>(b->capacity) - kept - 1;
        }
        if (room > TRL_READ_MAX)
            room = TRL_READ_MAX;
        b->count = yy_n_chars = yy_read(b->chars + kept, static_cast<int>(room));
    }

    int result;
    if (yy_n_chars == 0) {
        if (kept == 0) {
            result = EOB_ACT_END_OF_FILE;
            trlrestart(trlin);
        } else {
            result = EOB_ACT_LAST_MATCH;
            b->status = TRL_BUFFER_EOF_PENDING;
        }
    } else {
        result = EOB_ACT_CONTINUE_SCAN;
    }

    yy_n_chars += kept;
    b->chars[yy_n_chars] = '\0';
    b->chars[yy_n_chars + 1] = '\0';
    trltext = b->chars;
    return result;
}

int input()
{
    *yy_c_buf_p = yy_hold_char;

    if (*yy_c_buf_p == '\0' && yy_c_buf_p >= yy_current_buffer->chars + yy_n_chars) {
        // The end-of-buffer mark: refill.
        const std::ptrdiff_t offset = yy_c_buf_p - trltext;
        ++yy_c_buf_p;
        switch (yy_get_next_buffer()) {
        case EOB_ACT_LAST_MATCH:
            trlrestart(trlin);
            [[fallthrough]];
        case EOB_ACT_END_OF_FILE:
            yy_c_buf_p = trltext;   // back onto the mark, as after the scanner's own end of input
            if (trlwrap())
                return EOF;
            return input();
        default:   // EOB_ACT_CONTINUE_SCAN
            yy_c_buf_p = trltext + offset;
            break;
        }
    }

    const int c = static_cast<unsigned char>(*yy_c_buf_p);
    *yy_c_buf_p = '\0';
    yy_hold_char = *++yy_c_buf_p;
    yy_current_buffer->at_line_start = c == '\n';
    return c;
}

void yyunput(int c, char* text_start)
{
    char* cp = yy_c_buf_p;
    *cp = yy_hold_char;

    trl_buffer* b = yy_current_buffer;
    if (cp < b->chars + 2) {
        // No room in front: move the held text and its mark to the end of the array.
        const int to_move = yy_n_chars + 2;
        const std::ptrdiff_t shift = static_cast<std::ptrdiff_t>(b->capacity) + 2 - to_move;
        std::memmove(b->chars + shift, b->chars, static_cast<std::size_t>(to_move));
        cp += shift;
        text_start += shift;
        b->count = yy_n_chars = static_cast<int>(b->capacity);
        if (cp < b->chars + 2)
            yy_fatal_error("flex scanner push-back overflow");
    }

    *--cp = static_cast<char>(c);
    trltext = text_start;
    yy_hold_char = *cp;
    yy_c_buf_p = cp;
}

trl_buffer* trl_create_buffer(FILE* stream, int size)
{
    auto* b = static_cast<trl_buffer*>(yy_flex_alloc(sizeof(trl_buffer)));
    if (!b)
        yy_fatal_error("out of dynamic memory in yy_create_buffer()");
    b->capacity = static_cast<unsigned>(size);
    // Room for the end-of-buffer mark's two bytes.
    b->chars = static_cast<char*>(yy_flex_alloc(static_cast<std::size_t>(size) + 2));
    if (!b->chars)
        yy_fatal_error("out of dynamic memory in yy_create_buffer()");
    b->owns_chars = 1;
    trl_init_buffer(b, stream);
    return b;
}

void trl_delete_buffer(trl_buffer* b)
{
    if (!b)
        return;
    if (b == yy_current_buffer)
        yy_current_buffer = nullptr;
    if (b == yy_own_buffer)
        yy_own_buffer = nullptr;
    if (b->owns_chars)
        yy_flex_free(b->chars);
    yy_flex_free(b);
}

void trl_init_buffer(trl_buffer* b, FILE* stream)
{
    trl_flush_buffer(b);
    b->stream = stream;
    b->refill = 1;
    b->interactive = stream ? isatty(fileno(stream)) > 0 : 0;
}

void trl_flush_buffer(trl_buffer* b)
{
    if (!b)
        return;
    b->count = 0;
    b->chars[0] = '\0';
    b->chars[1] = '\0';
    b->pos = b->chars;
    b->at_line_start = 1;
    b->status = TRL_BUFFER_NEW;
    if (b == yy_current_buffer)
        trl_load_buffer_state();
}

void trl_switch_to_buffer(trl_buffer* b)
{
    if (yy_current_buffer == b)
        return;
    if (yy_current_buffer) {
        *yy_c_buf_p = yy_hold_char;
        yy_current_buffer->pos = yy_c_buf_p;
        yy_current_buffer->count = yy_n_chars;
    }
    yy_current_buffer = b;
    trl_load_buffer_state();
}

void trl_load_buffer_state()
{
    yy_n_chars = yy_current_buffer->count;
    trltext = yy_c_buf_p = yy_current_buffer->pos;
    trlin = yy_current_buffer->stream;
    yy_hold_char = *yy_c_buf_p;
}

void trlrestart(FILE* stream)
{
    if (!yy_current_buffer) {
        yy_current_buffer = trl_create_buffer(trlin, TRL_BUF_SIZE);
        if (!yy_own_buffer)
            yy_own_buffer = yy_current_buffer;
    }
    trl_init_buffer(yy_current_buffer, stream);
    trl_load_buffer_state();
}

trl_buffer* trl_scan_buffer(char* base, unsigned size)
{
    if (size < 2 || base[size - 2] != '\0' || base[size - 1] != '\0')
        return nullptr;
    auto* b = static_cast<trl_buffer*>(yy_flex_alloc(sizeof(trl_buffer)));
    if (!b)
        yy_fatal_error("out of dynamic memory in yy_scan_buffer()");
    b->stream = nullptr;
    b->chars = b->pos = base;
    b->capacity = size - 2;
    b->count = static_cast<int>(b->capacity);
    b->owns_chars = 0;
    b->interactive = 0;
    b->at_line_start = 1;
    b->refill = 0;
    b->status = TRL_BUFFER_NEW;
    trl_switch_to_buffer(b);
    return b;
}

trl_buffer* trl_scan_string(const char* str)
{
    return trl_scan_bytes(str, static_cast<int>(std::strlen(str)));
}

trl_buffer* trl_scan_bytes(const char* bytes, int len)
{
    // The bytes and the two bytes of the end-of-buffer mark.  A negative
    // length leaves an area too small for a buffer, refused below; nothing
    // is written outside it.
    const std::size_t size = static_cast<std::size_t>(len) + 2;
    auto* buf = static_cast<char*>(yy_flex_alloc(size));
    if (!buf)
        yy_fatal_error("out of dynamic memory in yy_scan_bytes()");
    if (len > 0)
        std::memcpy(buf, bytes, static_cast<std::size_t>(len));
    for (std::size_t i = len > 0 ? static_cast<std::size_t>(len) : 0; i < size; ++i)
        buf[i] = '\0';

    trl_buffer* b = trl_scan_buffer(buf, static_cast<unsigned>(size));
    if (!b)
        yy_fatal_error("bad buffer in yy_scan_bytes()");
    b->owns_chars = 1;
    return b;
}

[[noreturn]] void yy_fatal_error(const char* msg)
{
    std::fprintf(stderr, "%s\n", msg);
    std::exit(2);
}

// The buffer machinery's memory functions.  They are weak so that a program
// can put its own allocator underneath (the tests make allocations fail).
[[gnu::weak]] void* yy_flex_alloc(std::size_t size)
{
    return std::malloc(size);
}

[[gnu::weak]] void* yy_flex_realloc(void* ptr, std::size_t size)
{
    return std::realloc(ptr, size);
}

[[gnu::weak]] void yy_flex_free(void* ptr)
{
    std::free(ptr);
}
