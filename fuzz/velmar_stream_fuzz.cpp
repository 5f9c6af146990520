// libFuzzer target: the whole checker over arbitrary bytes read from a
// stream that hands them out in small chunks, so that tokens and comments
// are cut by refills everywhere and long matches make the buffer grow.  The
// first byte chooses the chunk sizes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "checker/lex.trl.h"
#include "checker/velmar.h"

namespace {

struct chunks {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    unsigned pattern; // chunk sizes cycle through 1 .. pattern + 1
    unsigned turn;
};

ssize_t read_chunk(void* cookie, char* buf, std::size_t want)
{
    auto* c = static_cast<chunks*>(cookie);
    std::size_t n = 1 + c->turn++ % (c->pattern + 1);
    n = std::min({n, want, c->size - c->at});
    std::memcpy(buf, c->data + c->at, n);
    c->at += n;
    return static_cast<ssize_t>(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    if (size < 1 || size > 1u << 20)
        return 0;

    chunks c{data + 1, size - 1, 0, data[0], 0};
    std::FILE* in = fopencookie(&c, "r", cookie_io_functions_t{read_chunk, nullptr, nullptr, nullptr});
    if (!in)
        std::abort();
    std::setvbuf(in, nullptr, _IONBF, 0); // each of the scanner's reads reaches the chunks
    trlin = in;
    velmar_reset(); // the scanner makes its own buffer on trlin, as for standard input
    const int status = trlparse();
    std::fclose(in);
    trlin = nullptr;
    if (status < 0 || status > 2)
        std::abort();
    return 0;
}
