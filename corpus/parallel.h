// Work spread over threads.
#pragma once

#include <cstddef>
#include <functional>

namespace corpus {

// Runs work(i) for i in [0, n) on `threads` threads (the calling one among
// them; fewer when the system gives no more).
void parallel_for(std::size_t n, unsigned threads, const std::function<void(std::size_t)>& work);

} // namespace corpus
