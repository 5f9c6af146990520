// Work spread over threads: the threads a run takes, every item done once,
// and the loop whose results come in order: on the calling thread, as soon
// as they are ready, each thread with its own state, stopped by the
// consumer, and done by the calling thread alone when no thread can be made.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/parallel.h"

namespace {

using namespace std::chrono_literals;

TEST(Parallel, ThreadsForTheJobs)
{
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(parallel::job_count(0), processors);
    EXPECT_EQ(parallel::thread_count(0, 0), 1u);
    EXPECT_EQ(parallel::thread_count(0, 1), 1u);
    EXPECT_EQ(parallel::thread_count(0, 100000), processors);
    EXPECT_EQ(parallel::job_count(8), 8u);
    EXPECT_EQ(parallel::thread_count(8, 3), 3u);
    EXPECT_EQ(parallel::thread_count(8, 9), 8u);
    EXPECT_EQ(parallel::thread_count(8, 0), 1u);
}

TEST(Parallel, EveryItemOnce)
{
    for (const std::size_t n : {0, 1, 7, 5000})
        for (const unsigned threads : {1u, 2u, 8u}) {
            std::vector<std::atomic<int>> done(n);
            std::atomic<std::size_t> calls{0};
            parallel::for_each(n, threads, [&](std::size_t i) {
                ++done[i];
                ++calls;
            });
            EXPECT_EQ(calls.load(), n) << n << " " << threads;
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(done[i].load(), 1) << i;
        }
}

// The state of one thread: it knows the thread that made it.
struct owned_state {
    std::thread::id owner = std::this_thread::get_id();
    std::size_t items = 0;
};

// Items that take a while, each its own time, so that they are done out of
// order; the results handed on in order, once, on the calling thread; each
// state used on its own thread only; the progress counted up.
TEST(ParallelInOrder, ResultsInOrderOnTheCallingThread)
{
    const std::thread::id caller = std::this_thread::get_id();
    for (const std::size_t n : {0, 1, 7, 300})
        for (const unsigned threads : {1u, 2u, 8u}) {
            SCOPED_TRACE(std::to_string(n) + " items, " + std::to_string(threads) + " threads");
            std::atomic<int> foreign_state{0};
            std::vector<std::size_t> delivered;
            std::vector<std::size_t> progress;
            parallel::in_order<owned_state>(
                n, threads,
                [&](owned_state& s, std::size_t i) {
                    if (s.owner != std::this_thread::get_id())
                        ++foreign_state;
                    ++s.items;
                    std::this_thread::sleep_for(std::chrono::microseconds(i * 7919 % 13 * 50));
                    return std::vector<std::size_t>(3, i * 3); // a result that owns memory
                },
                [&](std::vector<std::size_t>& r, std::size_t i) {
                    EXPECT_EQ(std::this_thread::get_id(), caller);
                    EXPECT_EQ(r, std::vector<std::size_t>(3, i * 3));
                    delivered.push_back(i);
                    return true;
                },
                [&](std::size_t done) {
                    EXPECT_EQ(std::this_thread::get_id(), caller);
                    EXPECT_GE(done, delivered.size()); // what has been handed on is done
                    EXPECT_LE(done, n);
                    if (!progress.empty()) {
                        EXPECT_GE(done, progress.back());
                    }
                    progress.push_back(done);
                });
            EXPECT_EQ(foreign_state.load(), 0);
            ASSERT_EQ(delivered.size(), n);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(delivered[i], i);
            if (n > 0) {
                ASSERT_FALSE(progress.empty());
                EXPECT_EQ(progress.back(), n);
            }
        }
}

// A result is handed on while later items are still being done: the last
// item waits until the first has been handed on (a loop that gathered
// every result before handing any on would keep it waiting).
TEST(ParallelInOrder, AResultIsHandedOnAsSoonAsItIsReady)
{
    std::atomic<bool> first_delivered{false};
    std::atomic<bool> waited_in_vain{false};
    parallel::in_order<owned_state>(
        4, 2,
        [&](owned_state&, std::size_t i) {
            if (i == 3) {
                const auto until = std::chrono::steady_clock::now() + 20s;
                while (!first_delivered.load() && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(1ms);
                waited_in_vain = !first_delivered.load();
            }
            return i;
        },
        [&](std::size_t r, std::size_t i) {
            EXPECT_EQ(r, i);
            first_delivered = true;
            return true;
        });
    EXPECT_FALSE(waited_in_vain.load());
}

// The consumer stops: nothing is handed on after it, and the workers take
// few more items (each takes a millisecond; all of them would take seconds).
TEST(ParallelInOrder, TheConsumerStopsTheWork)
{
    for (const unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        std::atomic<std::size_t> worked{0};
        std::vector<std::size_t> delivered;
        parallel::in_order<owned_state>(
            10000, threads,
            [&](owned_state&, std::size_t i) {
                ++worked;
                std::this_thread::sleep_for(1ms);
                return i;
            },
            [&](std::size_t, std::size_t i) {
                delivered.push_back(i);
                return i < 5;
            });
        EXPECT_EQ(delivered, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
        if (threads == 1)
            EXPECT_EQ(worked.load(), 6u);
        else
            EXPECT_LT(worked.load(), 1000u);
    }
}

// What the consumer throws comes out of the loop once the workers have
// stopped (a thread still running at that point would end the process).
TEST(ParallelInOrder, WhatTheConsumerThrowsComesOut)
{
    for (const unsigned threads : {1u, 4u}) {
        std::atomic<std::size_t> worked{0};
        EXPECT_THROW(parallel::in_order<owned_state>(
                         2000, threads,
                         [&](owned_state&, std::size_t i) {
                             ++worked;
                             std::this_thread::sleep_for(100us);
                             return i;
                         },
                         [&](std::size_t, std::size_t i) {
                             if (i == 3)
                                 throw std::runtime_error("consumer failed");
                             return true;
                         }),
                     std::runtime_error)
            << threads;
        const std::size_t after = worked.load();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(worked.load(), after) << "a worker still runs";
    }
}

// The body of the test below, in its own process: the address space
// limited to what the process holds and a little more, then the loop run;
// exits with 0 when the calling thread did every item and handed the
// results on in order.
[[noreturn]] void run_where_no_thread_can_be_made()
{
    alarm(60); // a loop that waits for a worker that never came ends here
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (1 << 20);
    const rlimit limit{room, room};
    if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0)
        std::_Exit(3);
    bool thread_made = true;
    try {
        std::thread([] {}).join();
    } catch (const std::system_error&) {
        thread_made = false;
    }
    if (thread_made)
        std::_Exit(4); // the limit leaves room for a thread: the test proves nothing
    const std::thread::id caller = std::this_thread::get_id();
    bool ok = true;
    std::size_t next = 0;
    parallel::in_order<owned_state>(
        50, 4,
        [&](owned_state& s, std::size_t i) {
            ok = ok && s.owner == caller && std::this_thread::get_id() == caller;
            return i;
        },
        [&](std::size_t r, std::size_t i) {
            ok = ok && r == i && i == next++;
            return true;
        });
    std::_Exit(ok && next == 50 ? 0 : 1);
}

// Where no thread can be made (no address space left for a thread's
// stack), the calling thread does every item, and the results come in
// order all the same.  Run in a process of its own, started afresh (a
// forked one could reuse the stacks of threads that have ended).
TEST(ParallelInOrder, NoThreadAtAllLeavesEveryItemToTheCaller)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit leaves";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_where_no_thread_can_be_made(), ::testing::ExitedWithCode(0), "");
}

} // namespace
