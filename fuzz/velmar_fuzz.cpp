// libFuzzer target: the whole checker (scanner and parser) over arbitrary
// bytes, as the program runs it on one input, and the same bytes through
// the engine's loop over the tables: the direct-coded parse, its runs of
// letters taken in one loop, must give the same status and write the same
// echo and message, byte for byte.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "checker/lex.trl.h"
#include "checker/velmar.h"

namespace {

struct outcome {
    int status;
    std::string out;
};

// Runs `parse` on the bytes with standard output sent to a temporary file,
// and returns its status and what it wrote there.
outcome parse_bytes(const std::uint8_t* data, std::size_t size, int (*parse)())
{
    static const int out_fd = [] {
        std::FILE* file = std::tmpfile();
        if (!file || dup2(fileno(file), STDOUT_FILENO) < 0)
            std::abort();
        return STDOUT_FILENO;
    }();
    if (std::fflush(stdout) != 0 || ftruncate(out_fd, 0) != 0 || lseek(out_fd, 0, SEEK_SET) != 0)
        std::abort();
    velmar_reset();
    trl_buffer* b = trl_scan_bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    outcome o{parse(), {}};
    trl_delete_buffer(b);
    if (std::fflush(stdout) != 0)
        std::abort();
    char block[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(out_fd, block, sizeof block, at);
        if (n < 0)
            std::abort();
        if (n == 0)
            break;
        o.out.append(block, static_cast<std::size_t>(n));
        at += n;
    }
    return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1u << 20)
        return 0;
    const outcome direct = parse_bytes(data, size, trlparse);
    if (direct.status < 0 || direct.status > 2)
        std::abort();
    const outcome tables = parse_bytes(data, size, trlparse_over_tables);
    if (tables.status != direct.status || tables.out != direct.out)
        std::abort();
    return 0;
}
