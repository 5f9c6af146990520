#include "corpus/parallel.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace corpus {

void parallel_for(std::size_t n, unsigned threads, const std::function<void(std::size_t)>& work)
{
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < n;)
            work(i);
    };
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < threads; ++k) {
        try {
            workers.emplace_back(run);
        } catch (const std::system_error&) {
            break; // as many as the system gives
        }
    }
    run();
    for (std::thread& w : workers)
        w.join();
}

} // namespace corpus
