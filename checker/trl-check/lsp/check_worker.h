// The thread that checks documents for the language server.
//
// Note on speed.  The thread that reads the client's messages never
// checks: it applies a change to a copy of the text, hands the new
// snapshot (text, line starts, version, generation) to this worker and
// reads on.  The worker keeps, per document, only the newest snapshot
// waiting, so a burst of changes is checked once, at its last version.  A
// check that is running when a newer version comes in cannot be stopped
// half way (the checker has no such point), but its result is dropped
// unless its generation is still the document's newest, and the newer
// version is checked right after it; so what is published is never older
// than what the client has already been told about, and a change waits
// for at most one check before its own.  Documents wait their turn in the
// order they changed first, so one busy document does not starve the
// others.  Publishing happens under the worker's lock, so that a
// didClose's empty list cannot be overtaken by a late check.  A document's
// file (on_disk.h) is checked when it comes with a version that read it
// again, not with every version: what it says is kept until then.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "language/check.h"
#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/on_disk.h"

namespace trl::lsp {

// The check of one version of a document: the checker's report on the
// editor's text, and what the editor hides of the document's file.
struct check_result {
    file_report report;
    std::vector<file_note> file_notes;
};

class check_worker {
public:
    // Called on the worker's thread with a check's result still current,
    // and the milliseconds the check took.
    using publish_fn = std::function<void(const snapshot&, const check_result&, double)>;
    // Called on the worker's thread, outside its lock, as it begins to
    // check a version: a test sees what is checked, and can hold the
    // worker there while it submits and forgets.
    using checking_fn = std::function<void(const snapshot&)>;

    explicit check_worker(publish_fn publish, checking_fn checking = {});
    ~check_worker();
    check_worker(const check_worker&) = delete;
    check_worker& operator=(const check_worker&) = delete;

    // The newest version of a document, to be checked.
    void submit(std::shared_ptr<const snapshot> doc);
    // The document is closed: nothing more is published for it.  `then`
    // runs while nothing can be published.
    void forget(const std::string& uri, const std::function<void()>& then);
    // Waits until every version submitted has been checked (or dropped).
    void drain();
    // The check of this version of the document, waiting for it if need
    // be; null if a newer version or a close has come since.
    std::shared_ptr<const check_result> report_for(const snapshot& doc);

private:
    void run();

    std::mutex lock_;
    std::condition_variable wake_;    // work or stop for the worker
    std::condition_variable checked_; // a check has ended
    std::deque<std::string> order_;   // documents waiting, first changed first
    std::map<std::string, std::shared_ptr<const snapshot>> pending_;
    std::map<std::string, std::uint64_t> newest_; // generation of each open document
    std::map<std::string, std::pair<std::uint64_t, std::shared_ptr<const check_result>>> reports_;
    // The notes of the file each document was last checked with.
    std::map<std::string, std::pair<std::shared_ptr<const file_bytes>, std::vector<file_note>>> notes_;
    bool busy_ = false;
    bool stop_ = false;
    publish_fn publish_;
    checking_fn checking_;
    std::thread thread_; // last: starts when everything else is there
};

} // namespace trl::lsp
