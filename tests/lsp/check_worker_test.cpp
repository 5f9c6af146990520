// The language server's check worker alone, held at the start of a check
// while versions come in and documents close: a burst of changes is checked
// once, at its last version; the result of a version older than the
// document's newest is not published; nothing is published for a document
// after it is closed.  The worker is held by its checking hook, not by
// waiting for time to pass, so every interleaving here is the one written.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "checker/trl-check/lsp/check_worker.h"
#include "checker/trl-check/lsp/document.h"

namespace {

using namespace trl::lsp;

// A text of `turns` turns, each with one error: a version's report says
// which text it was made of.
std::string text_with_errors(int turns)
{
    std::string text;
    for (int i = 1; i <= turns; ++i)
        text += "g012abc3_00" + std::to_string(i) + "_ABC_000000: ja.\n\n";
    return text;
}

// What the worker did, in order: "check a 1" when it began to check
// version 1 of a, "publish a 1 errors 1" when it published that check,
// "close a" when a's close ran.
class watched_worker {
public:
    ~watched_worker() { let_go(); } // before the worker is destroyed

    // Version `version` of `uri`, with as many errors, submitted.
    std::shared_ptr<const snapshot> submit(const std::string& uri, long version)
    {
        auto doc =
            make_snapshot(uri, version, ++generation_, encoding::utf8, text_with_errors(static_cast<int>(version)));
        worker_.submit(doc);
        return doc;
    }
    void close(const std::string& uri)
    {
        worker_.forget(uri, [&] { record("close " + uri); });
    }

    // Checks wait at their start from now on ...
    void hold()
    {
        const std::lock_guard<std::mutex> lock(lock_);
        held_ = true;
    }
    // ... until the worker is let go; until then, waits for it to be held.
    void wait_until_held()
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [&] { return waiting_; });
    }
    void let_go()
    {
        {
            const std::lock_guard<std::mutex> lock(lock_);
            held_ = false;
        }
        changed_.notify_all();
    }

    // Everything submitted checked, then what happened.
    std::vector<std::string> drained_events()
    {
        worker_.drain();
        const std::lock_guard<std::mutex> lock(lock_);
        return events_;
    }
    check_worker& worker() { return worker_; }

private:
    void record(const std::string& event)
    {
        const std::lock_guard<std::mutex> lock(lock_);
        events_.push_back(event);
    }
    void checking(const snapshot& doc)
    {
        std::unique_lock<std::mutex> lock(lock_);
        events_.push_back("check " + doc.uri + " " + std::to_string(doc.version));
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_; });
        waiting_ = false;
    }
    void published(const snapshot& doc, const check_result& result)
    {
        record("publish " + doc.uri + " " + std::to_string(doc.version) + " errors " +
               std::to_string(result.report.errors));
    }

    std::mutex lock_;
    std::condition_variable changed_;
    bool held_ = false;
    bool waiting_ = false;
    std::vector<std::string> events_;
    std::uint64_t generation_ = 0;
    check_worker worker_{[this](const snapshot& doc, const check_result& result, double) { published(doc, result); },
                         [this](const snapshot& doc) { checking(doc); }};
};

// While version 1 of a is being checked, versions 2 to 5 of a and 1 to 3 of
// b come in: a is checked next at version 5 (it changed first), then b at
// 3; version 1's result, older than a's newest by then, is not published.
TEST(LspCheckWorker, ABurstOfChangesIsCheckedOnceAtItsLastVersion)
{
    watched_worker w;
    w.hold();
    const auto first = w.submit("a", 1);
    w.wait_until_held();
    for (long v = 2; v <= 5; ++v)
        w.submit("a", v);
    std::shared_ptr<const snapshot> last;
    for (long v = 1; v <= 3; ++v)
        last = w.submit("b", v);
    w.let_go();
    EXPECT_EQ(w.drained_events(), (std::vector<std::string>{"check a 1", "check a 5", "publish a 5 errors 5",
                                                            "check b 3", "publish b 3 errors 3"}));
    // The answers of requests: the check of the newest version, none of an
    // older one.
    EXPECT_EQ(w.worker().report_for(*first), nullptr);
    const auto report = w.worker().report_for(*last);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->report.errors, 3);
}

// A version that comes in while the one before it is checked: the older
// check's result is dropped, the newer one checked and published; a
// document not changed meanwhile is published as checked.
TEST(LspCheckWorker, AStaleResultIsDropped)
{
    watched_worker w;
    w.submit("a", 1);
    EXPECT_EQ(w.drained_events(), (std::vector<std::string>{"check a 1", "publish a 1 errors 1"}));
    w.hold();
    const auto stale = w.submit("a", 2);
    w.wait_until_held();
    w.submit("a", 3);
    w.let_go();
    EXPECT_EQ(w.drained_events(), (std::vector<std::string>{"check a 1", "publish a 1 errors 1", "check a 2",
                                                            "check a 3", "publish a 3 errors 3"}));
    EXPECT_EQ(w.worker().report_for(*stale), nullptr);
}

// A document closed while its check runs, or while it waits for one behind
// another document: nothing is published for it after its close (and what
// waited is not checked at all).  Opened again, it is checked and published
// as before.
TEST(LspCheckWorker, ACloseIsNotOvertakenByALateCheck)
{
    watched_worker w;
    w.hold();
    const auto closed = w.submit("a", 1);
    w.wait_until_held();
    w.close("a");
    w.let_go();
    EXPECT_EQ(w.drained_events(), (std::vector<std::string>{"check a 1", "close a"}));
    EXPECT_EQ(w.worker().report_for(*closed), nullptr);

    w.hold();
    w.submit("b", 1);
    w.wait_until_held();
    w.submit("c", 2);
    w.close("c");
    w.let_go();
    w.submit("a", 2);
    EXPECT_EQ(w.drained_events(),
              (std::vector<std::string>{"check a 1", "close a", "check b 1", "close c", "publish b 1 errors 1",
                                        "check a 2", "publish a 2 errors 2"}));
}

} // namespace
