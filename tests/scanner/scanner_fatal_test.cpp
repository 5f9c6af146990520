// Fatal errors of the buffer machinery: message on standard error, status 2.
// Each runs in a child process.
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/scan.h"

namespace {

void expect_fatal(const std::function<void()>& f, const std::string& message)
{
    ChildResult r = in_child(f);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err, message + "\n");
}

TEST(Fatal, BufferOverflow)
{
    // A match filling a buffer over the caller's memory cannot grow it.
    expect_fatal(
        [] {
            static char area[] = "<;aaaa\0";
            trl_buffer* b = trl_scan_buffer(area, sizeof area);
            b->refill = 1;
            trllex();
        },
        "fatal error - scanner input buffer overflow");
    // Nor can a failed reallocation.
    FILE* f = file_with("<;" + std::string(100, 'a'));
    expect_fatal(
        [f] {
            trl_switch_to_buffer(trl_create_buffer(f, 16));
            fail_reallocation();
            trllex();
        },
        "fatal error - scanner input buffer overflow");
    std::fclose(f);
}

TEST(Fatal, ReadError)
{
    FILE* dir = std::fopen(".", "r"); // reading a directory fails
    ASSERT_NE(dir, nullptr);
    expect_fatal(
        [dir] {
            trl_switch_to_buffer(trl_create_buffer(dir, TRL_BUF_SIZE));
            trllex();
        },
        "input in flex scanner failed");
    expect_fatal(
        [dir] {
            trl_switch_to_buffer(trl_create_buffer(dir, TRL_BUF_SIZE));
            trl_current_buffer()->interactive = 1; // the byte-by-byte reading
            trllex();
        },
        "input in flex scanner failed");
    std::fclose(dir);
}

TEST(Fatal, OutOfMemory)
{
    expect_fatal(
        [] {
            fail_allocation(0); // the record
            trl_create_buffer(stdin, TRL_BUF_SIZE);
        },
        "out of dynamic memory in yy_create_buffer()");
    expect_fatal(
        [] {
            fail_allocation(1); // the array
            trl_create_buffer(stdin, TRL_BUF_SIZE);
        },
        "out of dynamic memory in yy_create_buffer()");
    expect_fatal(
        [] {
            static char area[] = "ab\0";
            fail_allocation(0);
            trl_scan_buffer(area, sizeof area);
        },
        "out of dynamic memory in yy_scan_buffer()");
    expect_fatal(
        [] {
            fail_allocation(0); // the copy
            trl_scan_string("ab");
        },
        "out of dynamic memory in yy_scan_bytes()");
    expect_fatal(
        [] {
            fail_allocation(1); // the record over the copy
            trl_scan_string("ab");
        },
        "out of dynamic memory in yy_scan_buffer()");
}

TEST(Fatal, BadBufferInScanBytes)
{
    // A negative length leaves no room for the end-of-buffer mark.
    expect_fatal([] { trl_scan_bytes("ab", -1); }, "bad buffer in yy_scan_bytes()");
    expect_fatal([] { trl_scan_bytes("ab", -2); }, "bad buffer in yy_scan_bytes()");
}

// The first call sets the scanner up on standard input and standard output.
TEST(FirstCall, BufferOnStandardInput)
{
    ChildResult r = in_child([] {
        int fds[2];
        if (pipe(fds) != 0 || write(fds[1], "ab", 2) != 2)
            _exit(3);
        close(fds[1]);
        dup2(fds[0], 0);
        clearerr(stdin);
        trl_scanner_reset(); // as in a fresh process
        trlin = trlout = nullptr;
        const bool ok = trllex() == L && trlin == stdin && trlout == stdout && trl_current_buffer() &&
                        trl_current_buffer()->stream == stdin &&
                        trl_current_buffer()->capacity == static_cast<unsigned>(TRL_BUF_SIZE) &&
                        trl_current_buffer()->owns_chars && trllex() == L && trllex() == 0;
        _exit(ok ? 0 : 1);
    });
    EXPECT_EQ(r.status, 0);
}

} // namespace
