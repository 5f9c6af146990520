#include "common/parallel.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace parallel {

unsigned job_count(unsigned jobs)
{
    const unsigned n = jobs ? jobs : std::thread::hardware_concurrency();
    return n ? n : 1;
}

unsigned thread_count(unsigned jobs, std::size_t n)
{
    return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(job_count(jobs), n)));
}

std::vector<std::thread> start_threads(unsigned count, const std::function<void()>& run)
{
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (unsigned k = 0; k < count; ++k) {
        try {
            threads.emplace_back(run);
        } catch (const std::system_error&) {
            break; // as many as the system gives
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    return threads;
}

void for_each(std::size_t n, unsigned threads, const std::function<void(std::size_t)>& work)
{
    std::atomic<std::size_t> next{0};
    const std::function<void()> run = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < n;)
            work(i);
    };
    std::vector<std::thread> workers = start_threads(threads > 1 ? threads - 1 : 0, run);
    run();
    for (std::thread& w : workers)
        w.join();
}

} // namespace parallel
