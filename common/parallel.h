// Work spread over threads, one way for every program: how many threads a
// run takes, work on items that may be done in any order, and the loop
// whose results are handed on in the items' order (trl-check checks its
// files this way, quenda-corpus reads its corpus).
//
// Note "In order": workers take the items from a shared counter, so that a
// slow item holds up no other; each result waits in its slot until the
// calling thread, which hands them on, comes to it.  Results are handed on
// as soon as they and every one before them are ready, so that a report is
// written while the run goes on; when the consumer stops, the workers take
// no more items.  Where the system gives no thread at all, the calling
// thread does every item and then hands the results on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

namespace parallel {

// The threads that `jobs` asks for: one per processor for 0.
unsigned job_count(unsigned jobs);

// The threads for `n` items: job_count(jobs), but no more than there are
// items, and at least one.
unsigned thread_count(unsigned jobs, std::size_t n);

// Up to `count` threads running `run`: as many as the system gives, which
// may be none.
std::vector<std::thread> start_threads(unsigned count, const std::function<void()>& run);

// Runs work(i) for i in [0, n) on `threads` threads, the calling one among
// them (fewer when the system gives no more), in no particular order.
void for_each(std::size_t n, unsigned threads, const std::function<void(std::size_t)>& work);

// Runs work(state, i) for i in [0, n) on up to `threads` threads, each
// thread with a `State` of its own (made there, by its default
// constructor), and hands each result to deliver(result, i) on the calling
// thread, in the order of i (see Note "In order").  deliver returns false
// to stop: no item is handed on after it, and the workers take no more.
// progress(done), if given, is called on the calling thread with the
// number of items done so far, after each item handed on and, while the
// next one is not ready, every tenth of a second.  `work` must not throw;
// what deliver or progress throw is thrown here once the workers have
// stopped.
template <class State, class Work, class Deliver>
void in_order(std::size_t n, unsigned threads, Work&& work, Deliver&& deliver,
              const std::function<void(std::size_t)>& progress = {})
{
    using result = std::invoke_result_t<Work&, State&, std::size_t>;
    auto report = [&](std::size_t done) {
        if (progress)
            progress(done);
    };
    if (threads <= 1) {
        State state;
        for (std::size_t i = 0; i < n; ++i) {
            result r = work(state, i);
            if (!deliver(r, i))
                return;
            report(i + 1);
        }
        return;
    }
    std::vector<std::optional<result>> slots(n);
    std::mutex lock;
    std::condition_variable ready_one;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::atomic<bool> cancel{false};
    const std::function<void()> run = [&] {
        State state;
        for (std::size_t i; !cancel.load() && (i = next.fetch_add(1)) < n;) {
            result r = work(state, i);
            {
                const std::lock_guard<std::mutex> hold(lock);
                slots[i].emplace(std::move(r));
            }
            done.fetch_add(1);
            ready_one.notify_one();
        }
    };
    // The workers stop and are waited for however the loop below ends.
    struct stopping {
        std::atomic<bool>& cancel;
        std::vector<std::thread> workers;
        ~stopping()
        {
            cancel.store(true);
            for (std::thread& w : workers)
                w.join();
        }
    } workers{cancel, start_threads(threads, run)};
    if (workers.workers.empty())
        run(); // no thread at all: every item here, then the results
    for (std::size_t i = 0; i < n; ++i) {
        std::optional<result> r;
        {
            std::unique_lock<std::mutex> hold(lock);
            while (!slots[i]) {
                ready_one.wait_for(hold, std::chrono::milliseconds(100));
                report(done.load());
            }
            r.swap(slots[i]);
        }
        if (!deliver(*r, i))
            return;
        report(done.load());
    }
}

} // namespace parallel
