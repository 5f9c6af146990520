// libFuzzer target: the whole checker (scanner and parser) over arbitrary
// bytes, as the program runs it on one input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "checker/lex.trl.h"
#include "checker/velmar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    if (size > 1u << 20)
        return 0;

    velmar_reset();
    trl_buffer* b = trl_scan_bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const int status = trlparse();
    trl_delete_buffer(b);
    if (status < 0 || status > 2)
        std::abort();
    return 0;
}
