// calloc as seen by the library under test: the test binary is linked with
// --wrap=calloc, so every call from the library's (and the tests') objects
// lands here first.
#include "tests/support/header_tests.h"

extern "C" void* __real_calloc(std::size_t n, std::size_t size);

namespace {
constexpr int kept = 16;
int call_count = 0;
int fail_at = 0; // 0: never
int planned = 0;
bool watching = false;
std::size_t sizes[kept];
} // namespace

extern "C" void* __wrap_calloc(std::size_t n, std::size_t size)
{
    if (!watching)
        return __real_calloc(n, size);
    const int call = call_count++;
    if (call < kept)
        sizes[call] = n * size;
    if (call + 1 == fail_at) {
        fail_at = 0;
        errno = ENOMEM;
        return nullptr;
    }
    return __real_calloc(n, size);
}

namespace alloc {
void fail_call(int n)
{
    planned = n;
}
void watch()
{
    call_count = 0;
    fail_at = planned;
    planned = 0;
    watching = true;
}
void stop()
{
    watching = false;
    fail_at = 0;
}
int calls()
{
    return call_count;
}
std::size_t size(int i)
{
    return i < kept ? sizes[i] : 0;
}
} // namespace alloc
