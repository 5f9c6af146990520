// The transliteration scanner: the generated automaton run by the scanner
// runtime's match loop, over refillable input buffers.
#include "checker/lex.trl.h"
#include "checker/lex.trl.inline.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "lex.trl.tables.h"
#include "scan_engine.h"

// Scanner state.
char* trltext;
std::ptrdiff_t trlleng;
int trllval;
long long lineno;
FILE* trlin;
FILE* trlout;

namespace {

using tables = trl_dfa::tables;

// Buffer state and the scanner's own bookkeeping.
int yy_init = 1;
char yy_hold_char; // the byte that the terminator of trltext displaced
trl_buffer* yy_current_buffer;
char* yy_c_buf_p;          // the scan position in the current buffer
std::ptrdiff_t yy_n_chars; // the text bytes held in the current buffer
trl_buffer* yy_own_buffer; // the buffer the scanner made for itself, if any
// Where long matches of the current buffer's text are known to fail, by
// their position in the text that the buffer has held since it became
// current; yy_origin is the position of its first byte.
scan_engine::failures yy_failures(tables::num_memo_planes);
std::int64_t yy_origin;

// The room of a buffer, without its mark, may not grow beyond this.
constexpr std::size_t max_capacity = static_cast<std::size_t>(PTRDIFF_MAX) - 2;

// Results of a refill.
enum class refilled { more, end_of_file, last_match };

[[noreturn]] void fatal(const char* msg)
{
    std::fprintf(stderr, "%s\n", msg);
    std::exit(2);
}

// Reads up to max bytes of the current buffer's stream into buf: a terminal
// up to and including a newline, anything else in one block.
std::ptrdiff_t read_input(char* buf, std::ptrdiff_t max)
{
    FILE* in = yy_current_buffer->stream;
    if (!in)
        return 0; // a buffer without a stream has nothing more to give
    if (yy_current_buffer->interactive) {
        int c = '*';
        std::ptrdiff_t n = 0;
        while (n < max && (c = std::getc(in)) != EOF && c != '\n')
            buf[n++] = static_cast<char>(c);
        if (c == '\n')
            buf[n++] = '\n';
        if (c == EOF && std::ferror(in))
            fatal("input in flex scanner failed");
        return n;
    }
    const std::size_t n = std::fread(buf, 1, static_cast<std::size_t>(max), in);
    if (n == 0 && std::ferror(in))
        fatal("input in flex scanner failed");
    return static_cast<std::ptrdiff_t>(n);
}

// The room of a buffer after growing from `capacity`: doubled, or by an
// eighth where doubling goes beyond what a buffer may hold; 0 when it
// cannot grow.
std::size_t grown_capacity(std::size_t capacity)
{
    if (capacity <= max_capacity / 2)
        return capacity == 0 ? 1 : capacity * 2;
    if (capacity < max_capacity)
        return capacity + std::max<std::size_t>(std::min(capacity / 8, max_capacity - capacity), 1);
    return 0;
}

// Makes the current buffer's scan position and count the scanner's, and
// forgets what was known about the text scanned before.
void load_buffer_state()
{
    yy_n_chars = yy_current_buffer->count;
    trltext = yy_c_buf_p = yy_current_buffer->pos;
    trlin = yy_current_buffer->stream;
    yy_hold_char = *yy_c_buf_p;
    yy_failures.clear();
    yy_origin = 0;
}

// The first call's set-up.
[[gnu::noinline]] void initialize()
{
    yy_init = 0;
    if (!trlin)
        trlin = stdin;
    if (!trlout)
        trlout = stdout;
    if (!yy_current_buffer)
        yy_current_buffer = yy_own_buffer = trl_create_buffer(trlin, TRL_BUF_SIZE);
    load_buffer_state();
}

// More text for a match that has reached the end of the held text: the
// `kept` bytes of the match from kept_begin on move to the front of the
// buffer, and as much as the stream gives (a line from a terminal, at most
// TRL_READ_MAX bytes) follows them; the buffer doubles when the kept text
// leaves no room.  trltext is the start of the kept text afterwards.
refilled refill(const char* kept_begin, std::ptrdiff_t kept)
{
    trl_buffer* b = yy_current_buffer;
    if (b->status == TRL_BUFFER_NEW) {
        b->stream = trlin;
        b->status = TRL_BUFFER_NORMAL;
    }
    if (!b->refill) {
        trltext = const_cast<char*>(kept_begin);
        return kept == 0 ? refilled::end_of_file : refilled::last_match;
    }

    if (kept_begin != b->chars) { // a long match stays at the front through many refills
        yy_origin += kept_begin - b->chars;
        std::memmove(b->chars, kept_begin, static_cast<std::size_t>(kept));
    }
    if (b->status == TRL_BUFFER_EOF_PENDING) {
        b->count = yy_n_chars = 0;
    } else {
        std::ptrdiff_t room = static_cast<std::ptrdiff_t>(b->capacity) - kept - 1;
        while (room <= 0) {
            const std::size_t grown = grown_capacity(b->capacity);
            if (!b->owns_chars || grown == 0)
                fatal("fatal error - scanner input buffer overflow");
            char* chars = static_cast<char*>(std::realloc(b->chars, grown + 2));
            if (!chars)
                fatal("fatal error - scanner input buffer overflow");
            b->chars = chars;
            b->capacity = grown;
            room = static_cast<std::ptrdiff_t>(b->capacity) - kept - 1;
        }
        b->count = yy_n_chars = read_input(b->chars + kept, std::min<std::ptrdiff_t>(room, TRL_READ_MAX));
    }

    refilled result = refilled::more;
    if (yy_n_chars == 0) {
        if (kept == 0) {
            result = refilled::end_of_file;
            trlrestart(trlin);
        } else {
            result = refilled::last_match;
            b->status = TRL_BUFFER_EOF_PENDING;
        }
    }
    yy_n_chars += kept;
    b->chars[yy_n_chars] = '\0';
    b->chars[yy_n_chars + 1] = '\0';
    trltext = b->chars;
    return result;
}

// The bytes of longest_match: the held text of the current buffer, refilled
// from its stream at its end.
struct stream_input {
    const char* base = yy_current_buffer->chars;
    const char* end = yy_current_buffer->chars + yy_n_chars;
    std::int64_t origin = yy_origin;
    std::int64_t begin_position; // where the match began
    bool nothing_left = false;

    explicit stream_input(const char* begin) : begin_position(origin + (begin - base)) {}

    const scan_engine::failures* known_failures()
    {
        if (!yy_failures.empty() && yy_failures.end() <= begin_position)
            yy_failures.clear(); // the scan has gone past it
        return &yy_failures;
    }
    scan_engine::failures& record_failures()
    {
        yy_failures.drop_before(begin_position);
        return yy_failures;
    }
    bool more(const char*& begin, scan_engine::walk& w)
    {
        const std::ptrdiff_t matched = w.cp - begin;
        const std::ptrdiff_t last = w.last_pos - begin;
        const refilled r = refill(begin, matched);
        if (r == refilled::end_of_file) {
            nothing_left = true;
            return false;
        }
        base = yy_current_buffer->chars;
        end = base + yy_n_chars;
        origin = yy_origin;
        begin = trltext;
        w.cp = begin + matched;
        w.last_pos = begin + last;
        return r == refilled::more;
    }
    bool ended_empty() const { return nothing_left; }
};

} // namespace

int trlwrap()
{
    return 1;
}

int trllex()
{
    if (yy_init) [[unlikely]]
        initialize();

    for (;;) {
        char* cp = yy_c_buf_p;
        *cp = yy_hold_char; // undo the terminator of the previous match
        const bool at_line_start = yy_current_buffer->at_line_start != 0;
        const auto& one = tables::one_byte[at_line_start][static_cast<unsigned char>(*cp)];
        if (one.code > 0) [[likely]] { // a token of one byte
            trltext = cp;
            trlleng = 1;
            yy_current_buffer->at_line_start = *cp == '\n';
            yy_c_buf_p = cp + 1;
            yy_hold_char = cp[1];
            cp[1] = '\0';
            return scan_engine::one_byte_token(one, *cp, trllval);
        }
        int rule = one.rule;
        char* after = cp + 1;
        if (rule == 0) {
            // A match decided by two bytes at hand, or the match loop; NUL
            // bytes, the end of the held text among them, come this way.
            const scan_engine::short_result m =
                scan_engine::short_match<tables>(one, cp, cp + 1 < yy_current_buffer->chars + yy_n_chars);
            rule = m.rule;
            after = cp + m.length;
        }
        if (rule == 0) {
            stream_input in(cp);
            const scan_engine::match m = scan_engine::longest_match<tables>(in, cp, tables::start(at_line_start));
            if (m.end_of_input) {
                yy_c_buf_p = trltext;
                if (trlwrap())
                    return 0;
                continue; // more input was arranged
            }
            if (m.rule == 0)
                fatal("fatal flex scanner internal error--no action found");
            rule = m.rule;
            cp = const_cast<char*>(m.begin);
            after = const_cast<char*>(m.end);
        }
        trltext = cp;
        trlleng = after - cp;
        yy_hold_char = *after;
        *after = '\0';
        yy_c_buf_p = after;
        if (after > cp)
            yy_current_buffer->at_line_start = after[-1] == '\n';

        trl_match yy{trltext, trlleng, lineno, trllval};
        if (const int code = scan_engine::token<tables>(rule, yy); code != scan_engine::skip)
            return code;
    }
}

trl_inline_scanner trl_inline_start()
{
    if (yy_init) [[unlikely]]
        initialize();
    *yy_c_buf_p = yy_hold_char; // undo the terminator of the last match
    const char* const limit = yy_failures.empty() ? yy_current_buffer->chars + yy_n_chars : nullptr;
    return {yy_c_buf_p, nullptr, nullptr, yy_current_buffer->at_line_start != 0, limit};
}

void trl_inline_finish(trl_inline_scanner r)
{
    // The last token read inline, as trllex leaves it.
    if (r.token_end == r.cp) {
        trltext = r.token;
        trlleng = r.cp - r.token;
    } else if (r.cp != yy_c_buf_p) {
        trltext = r.cp - 1;
        trlleng = 1;
    }
    yy_current_buffer->at_line_start = r.at_line_start;
    yy_c_buf_p = r.cp;
    yy_hold_char = *r.cp;
    *r.cp = '\0';
}

trl_inline_action_result trl_inline_action(int rule, char* cp, std::ptrdiff_t length, int value)
{
    trl_match yy{cp, length, lineno, value};
    const int code = tables::action(rule, yy);
    return {code, value};
}

trl_inline_step trl_inline_call_trllex(trl_inline_scanner r, int value)
{
    trl_inline_finish(r);
    trllval = value;
    const int code = trllex();
    return {trl_inline_start(), code, trllval};
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
    yy_failures.clear();
    yy_origin = 0;
    trltext = nullptr;
    trlleng = 0;
}

trl_buffer* trl_current_buffer()
{
    return yy_current_buffer;
}

trl_buffer* trl_create_buffer(FILE* stream, int size)
{
    auto* b = static_cast<trl_buffer*>(std::malloc(sizeof(trl_buffer)));
    if (!b)
        fatal("out of dynamic memory in yy_create_buffer()");
    b->capacity = static_cast<std::size_t>(size);
    // Room for the end-of-buffer mark's two bytes.
    b->chars = static_cast<char*>(std::malloc(b->capacity + 2));
    if (!b->chars)
        fatal("out of dynamic memory in yy_create_buffer()");
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
        std::free(b->chars);
    std::free(b);
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
        load_buffer_state();
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
    load_buffer_state();
}

void trlrestart(FILE* stream)
{
    if (!yy_current_buffer) {
        yy_current_buffer = trl_create_buffer(trlin, TRL_BUF_SIZE);
        if (!yy_own_buffer)
            yy_own_buffer = yy_current_buffer;
    }
    trl_init_buffer(yy_current_buffer, stream);
    load_buffer_state();
}

trl_buffer* trl_scan_buffer(char* base, std::size_t size)
{
    if (size < 2 || base[size - 2] != '\0' || base[size - 1] != '\0')
        return nullptr;
    auto* b = static_cast<trl_buffer*>(std::malloc(sizeof(trl_buffer)));
    if (!b)
        fatal("out of dynamic memory in yy_scan_buffer()");
    b->stream = nullptr;
    b->chars = b->pos = base;
    b->capacity = size - 2;
    b->count = static_cast<std::ptrdiff_t>(b->capacity);
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
    return trl_scan_bytes(str, static_cast<std::ptrdiff_t>(std::strlen(str)));
}

trl_buffer* trl_scan_bytes(const char* bytes, std::ptrdiff_t len)
{
    // The bytes and the two bytes of the end-of-buffer mark.  A negative
    // length leaves an area too small for a buffer, refused below; nothing
    // is written outside it.
    const std::size_t size = static_cast<std::size_t>(len) + 2;
    auto* buf = static_cast<char*>(std::malloc(size));
    if (!buf)
        fatal("out of dynamic memory in yy_scan_bytes()");
    if (len > 0)
        std::memcpy(buf, bytes, static_cast<std::size_t>(len));
    for (std::size_t i = len > 0 ? static_cast<std::size_t>(len) : 0; i < size; ++i)
        buf[i] = '\0';

    trl_buffer* b = trl_scan_buffer(buf, size);
    if (!b)
        fatal("bad buffer in yy_scan_bytes()");
    b->owns_chars = 1;
    return b;
}
