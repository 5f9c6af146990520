// The input buffers: refills at read boundaries, pipes, growth, terminals,
// the end of the input, buffers over memory, switching and restarting, and
// the trl-tokens tool.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/process.h"
#include "tests/support/scan.h"

using namespace std::string_literals;

namespace {

bool has_whole(const std::vector<Tok>& toks, const std::string& text)
{
    for (const Tok& t : toks)
        if (t.text == text)
            return true;
    return false;
}

// Each token (or skipped comment) is placed across the first 8192-byte read
// at every split point; file and pipe must see what memory sees.
TEST(Refill, TokenAcrossTheReadBoundary)
{
    const std::vector<std::pair<std::string, std::string>> pieces = {
        {"<#Klingeln>", "<#Klingeln>"},
        {"<R\"auspern>", "<R\"auspern>"},
        {"<*tGER> ", "<*tGER> "},
        {"123@", "123@"},
        {"<*T>t", "<*T>t"},
        {"--", "--"},
        {"\0"s, "\0"s},
        {";com\0ment\xFF\n"s, ""},
        {"<;a\0b\nc>\n "s, ""},
        {"<PP> ", ""},
    };
    for (const auto& [piece, token] : pieces) {
        for (std::size_t k = 0; k <= piece.size() + 1; ++k) {
            // A comment line as filler, so that the piece starts a line.
            std::string text(TRL_READ_MAX - k - 1, 'x');
            text.front() = ';';
            text += '\n';
            text += piece;
            text += 'z';
            std::vector<Tok> mem = scan_memory(text);
            ASSERT_EQ(scan_file(text), mem) << piece << " split " << k;
            ASSERT_EQ(scan_pipe(text, {4096, 1, 4095, 3}), mem) << piece << " split " << k;
            if (!token.empty())
                EXPECT_TRUE(has_whole(mem, token)) << piece;
            else
                EXPECT_EQ(codes(mem), std::vector<int>{L}) << piece;
        }
    }
}

std::string random_text(std::mt19937& rng, std::size_t size)
{
    static const std::vector<std::string> pieces = {
        "a",    "Z",          "1",     "12@",   "@7",   "0",        " ",     " ",     "\n",   "\n\n",
        "<hm>", "<#Klopfen>", "<#Klo", "<*T>t", "<*T>", "<*tENG> ", "<*tEN", "<PP> ", "<PP>", ";x y\n",
        ";",    "<;c>\n ",    "<;c>",  "\"a",   "\"",   "<",        ">",     "\0"s,   "\xE4", "\r",
        "-/",   "/+",         "<:",    ":>",    "<A>",  "<!",       "@",     "9",
    };
    std::string text;
    while (text.size() < size) {
        if (rng() % 200 == 0) // now and then a long comment, possibly unterminated
            text += "<;" + std::string(rng() % 20000, 'x') + (rng() % 2 ? "> " : "");
        else
            text += pieces[rng() % pieces.size()];
    }
    return text;
}

TEST(Refill, RandomTextsAgreeAcrossMemoryFilesAndPipes)
{
    std::mt19937 rng(20261208);
    for (int i = 0; i < 12; ++i) {
        const std::string text = random_text(rng, 30000 + rng() % 20000);
        std::vector<Tok> mem = scan_memory(text);
        ASSERT_EQ(scan_file(text), mem) << "text " << i;
        ASSERT_EQ(scan_pipe(text, {1, 7, 13, 333, 4099, 2, 8191}), mem) << "text " << i;
        ASSERT_EQ(scan_text(text), mem) << "text " << i;
    }
}

TEST(Refill, BlocksOfAtMost8192FromFiles)
{
    FILE* f = file_with(std::string(20000, 'a'));
    trl_buffer* b = trl_create_buffer(f, TRL_BUF_SIZE);
    trl_switch_to_buffer(b);
    EXPECT_EQ(b->interactive, 0);
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(b->count, TRL_READ_MAX);
    for (int i = 1; i < TRL_READ_MAX; ++i)
        trllex();
    EXPECT_EQ(trllex(), L); // the first byte of the second block
    EXPECT_EQ(b->count, TRL_READ_MAX);
    trl_delete_buffer(b);
    std::fclose(f);
}

// A pending match that fills the buffer doubles it; it grows when the kept
// text leaves no room, that is from capacity - 1 bytes on.
TEST(Refill, LongCommentDoublesTheBuffer)
{
    const std::vector<std::pair<std::size_t, unsigned>> cases = {
        {16382, 16384}, {16383, 32768}, {32766, 32768}, {32767, 65536}, {65535, 131072}};
    for (const auto& [length, capacity] : cases) {
        FILE* f = file_with("<;" + std::string(length - 2, 'x'));
        trl_buffer* b = trl_create_buffer(f, TRL_BUF_SIZE);
        trl_switch_to_buffer(b);
        EXPECT_EQ(trllex(), '<'); // never closed: "<" alone, then the rest
        EXPECT_EQ(b->capacity, capacity) << length;
        EXPECT_EQ(trllex(), ';');
        std::size_t letters = 0;
        while (trllex() == L)
            ++letters;
        EXPECT_EQ(letters, length - 2);
        trl_delete_buffer(b);
        std::fclose(f);
    }
    // Closed, the comment is skipped whole.
    std::vector<Tok> toks = scan_file("<;" + std::string(40000, '\n') + "> q");
    EXPECT_EQ(codes(toks), std::vector<int>{L});
    EXPECT_EQ(toks[0].line, 0);
}

// A match that runs over many refills goes on from where it was: a comment
// of megabytes is skipped whole, and a run of digits that never meets "@"
// backs up, across all of its refills, to its first digit.
TEST(Refill, MatchesSpanningManyRefills)
{
    std::string comment = "<;";
    for (int i = 0; i < 300000; ++i)
        comment += "ab\n\0xyz\xE4 "s;
    const std::string digits = "1" + std::string(200000, '0') + "x";
    for (const std::string& text : {comment + "> q", comment + ">q", digits}) {
        const std::vector<Tok> mem = scan_memory(text);
        ASSERT_EQ(scan_pipe(text, {8191, 1, 65536, 3}), mem);
        ASSERT_EQ(scan_file(text), mem);
    }
    EXPECT_EQ(scan_memory(digits).size(), digits.size() + 1); // "1" as N, each "0", "x", the end
    EXPECT_EQ(codes(scan_memory(comment + "> q")), std::vector<int>{L});
}

TEST(EndOfInput, EmptyInput)
{
    for (auto toks : {scan_memory(""), scan_file(""), scan_pipe("")})
        EXPECT_EQ(codes(toks), std::vector<int>{});
}

TEST(EndOfInput, NoFinalNewline)
{
    FILE* f = file_with("12");
    trl_buffer* b = trl_create_buffer(f, TRL_BUF_SIZE);
    trl_switch_to_buffer(b);
    EXPECT_EQ(b->status, TRL_BUFFER_NEW);
    EXPECT_EQ(trllex(), N); // "12" might have become "12@": backed up at the end
    EXPECT_EQ(b->status, TRL_BUFFER_EOF_PENDING);
    EXPECT_EQ(trllex(), N);
    EXPECT_EQ(trllex(), 0);
    EXPECT_EQ(b->status, TRL_BUFFER_NEW); // re-initialised on the same stream
    EXPECT_EQ(b->stream, f);
    EXPECT_EQ(trllex(), 0); // and it stays at the end
    trl_delete_buffer(b);
    std::fclose(f);

    EXPECT_EQ(codes(scan_file("<*tEN")), (std::vector<int>{FS, L, MC, MC}));
    EXPECT_EQ(codes(scan_file("ab\n;x")), (std::vector<int>{L, L, ';', L}));
    EXPECT_EQ(codes(scan_pipe("<;x\n")), (std::vector<int>{'<', ';', L}));
}

// A terminal is read a line at a time, and a line's tokens come out before
// the next line is typed.
TEST(Refill, TerminalLineByLine)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal";
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios mode;
    ASSERT_EQ(tcgetattr(slave, &mode), 0);
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &mode), 0);

    std::mutex m;
    std::condition_variable cv;
    int lines_done = 0;            // lines whose tokens the scanner has handed out
    std::vector<bool> before_next; // per line: its tokens came before the next line was written
    std::thread typist([&] {
        for (const char* line : {"ab\n", "\n", "cd\n", "\x04"}) {
            const int written = static_cast<int>(before_next.size());
            std::unique_lock lock(m);
            if (written > 0)
                before_next.push_back(
                    cv.wait_for(lock, std::chrono::seconds(5), [&] { return lines_done >= written; }));
            else
                before_next.push_back(true);
            lock.unlock();
            if (write(master, line, std::strlen(line)) < 0)
                std::abort();
        }
    });

    FILE* in = fdopen(slave, "r");
    trl_buffer* b = trl_create_buffer(in, TRL_BUF_SIZE);
    trl_switch_to_buffer(b);
    EXPECT_EQ(b->interactive, 1);
    auto line_done = [&] {
        std::lock_guard lock(m);
        ++lines_done;
        cv.notify_all();
    };
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(b->count, 3); // one line read, not a block
    EXPECT_EQ(trllex(), L);
    line_done();
    EXPECT_EQ(trllex(), END); // complete without looking past its newline
    line_done();
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(trllex(), L);
    line_done();
    EXPECT_EQ(trllex(), 0);
    typist.join();
    EXPECT_EQ(before_next, (std::vector<bool>{true, true, true, true}));
    trl_delete_buffer(b);
    std::fclose(in);
    close(master);
}

TEST(MemoryBuffers, ScanBufferRefusals)
{
    trl_buffer* current = trl_current_buffer();
    const int calls = alloc_calls;
    char area[] = {'a', 'b', '\0', 'x'};
    EXPECT_EQ(trl_scan_buffer(area, 0), nullptr);
    EXPECT_EQ(trl_scan_buffer(area, 1), nullptr);
    EXPECT_EQ(trl_scan_buffer(area, 4), nullptr);     // ends in "\0x"
    EXPECT_EQ(trl_scan_buffer(area, 2), nullptr);     // ends in "ab"
    EXPECT_EQ(trl_scan_buffer(area + 1, 2), nullptr); // ends in "b\0"
    EXPECT_EQ(alloc_calls, calls);
    EXPECT_EQ(trl_current_buffer(), current);

    char ok[] = {'a', 'b', '\0', '\0'};
    trl_buffer* b = trl_scan_buffer(ok, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(trl_current_buffer(), b);
    EXPECT_EQ(b->chars, ok);
    EXPECT_EQ(b->capacity, 2u);
    EXPECT_EQ(b->count, 2);
    EXPECT_EQ(b->owns_chars, 0);
    EXPECT_EQ(b->refill, 0);
    EXPECT_EQ(b->stream, nullptr);
    EXPECT_EQ(b->at_line_start, 1);
    EXPECT_EQ(codes(scan_current()), (std::vector<int>{L, L}));
    trl_delete_buffer(b); // leaves ok alone: it lives on the stack

    char empty[] = {'\0', '\0'};
    b = trl_scan_buffer(empty, 2);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(codes(scan_current()), std::vector<int>{});
    trl_delete_buffer(b);
}

TEST(MemoryBuffers, SwitchingKeepsEachBuffersPlace)
{
    trl_buffer* a = trl_scan_string("x\n\ny");
    EXPECT_EQ(trllex(), L);
    trl_buffer* b = trl_scan_string("\nqr");
    EXPECT_STREQ(a->chars, "x\n\ny"); // the terminator was taken back out
    EXPECT_EQ(a->pos, a->chars + 1);
    EXPECT_EQ(trllex(), END); // b starts at the beginning of a line
    EXPECT_EQ(trllex(), L);

    const char* at = trltext;
    trl_switch_to_buffer(b); // already current: nothing changes
    EXPECT_EQ(trltext, at);
    EXPECT_EQ(trltext[trlleng], '\0'); // q's terminator still in place of r

    trl_switch_to_buffer(a);
    lineno = 0;
    EXPECT_EQ(trllex(), END); // a's first newline is skipped, not an END
    EXPECT_EQ(lineno, 1);
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(trllex(), 0);
    trl_switch_to_buffer(b);
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(trllex(), 0);

    trl_delete_buffer(nullptr);
    EXPECT_EQ(trl_current_buffer(), b);
    trl_delete_buffer(b);
    EXPECT_EQ(trl_current_buffer(), nullptr);
    trl_delete_buffer(a);

    // Without a current buffer, trlrestart makes a fresh one.
    FILE* f = file_with("\nz");
    trlrestart(f);
    ASSERT_NE(trl_current_buffer(), nullptr);
    EXPECT_EQ(trl_current_buffer()->capacity, static_cast<unsigned>(TRL_BUF_SIZE));
    EXPECT_EQ(trl_current_buffer()->stream, f);
    EXPECT_EQ(trlin, f);
    EXPECT_EQ(codes(scan_current()), (std::vector<int>{END, L}));
    trl_delete_buffer(trl_current_buffer());
    std::fclose(f);
}

TEST(MemoryBuffers, RestartAndFlush)
{
    trl_buffer* b = trl_scan_string("abc");
    EXPECT_EQ(trllex(), L);
    FILE* f = file_with("\n<hm>");
    trlrestart(f); // the rest of "abc" is dropped; f is read into the small array, which grows
    EXPECT_EQ(trl_current_buffer(), b);
    EXPECT_EQ(b->refill, 1);
    EXPECT_EQ(codes(scan_current()), (std::vector<int>{END, HSALL}));
    EXPECT_GE(b->capacity, 5u);

    trl_flush_buffer(nullptr);
    std::rewind(f);
    trl_flush_buffer(b);
    EXPECT_EQ(b->count, 0);
    EXPECT_EQ(b->at_line_start, 1);
    EXPECT_EQ(b->status, TRL_BUFFER_NEW);
    EXPECT_EQ(codes(scan_current()), (std::vector<int>{END, HSALL}));
    trl_delete_buffer(b);
    std::fclose(f);
}

#ifndef TRL_TOKENS_PATH
#error "TRL_TOKENS_PATH names the trl-tokens program"
#endif

std::string run_trl_tokens(const std::string& input, int& status)
{
    test_support::run_options o;
    o.in = input;
    const test_support::run_result r = test_support::run(TRL_TOKENS_PATH, {}, o);
    status = r.status;
    return r.out + r.err;
}

TEST(TrlTokens, PrintsOneLinePerCall)
{
    int status = -1;
    EXPECT_EQ(run_trl_tokens("<*T>t\nab\n\ncd\n<*tEN", status),
              "277 5 60 0\n268 1 97 1\n268 1 98 1\n291 1 98 2\n268 1 99 2\n268 1 100 2\n"
              "259 2 60 3\n268 1 116 3\n266 1 69 3\n266 1 78 3\n0 1 78 3\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run_trl_tokens("a\0\xE4 <hm>"s, status),
              "268 1 97 0\n257 1 0 0\n228 1 -28 0\n265 1 -28 0\n270 4 -28 0\n0 4 -28 0\n");
    EXPECT_EQ(run_trl_tokens("", status), "0 0 0 0\n");
}

} // namespace
