#include "checker/trl-check/lsp/check_worker.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <utility>

namespace trl::lsp {

check_worker::check_worker(publish_fn publish, checking_fn checking)
    : publish_(std::move(publish)), checking_(std::move(checking)), thread_([this] { run(); })
{}

check_worker::~check_worker()
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void check_worker::submit(std::shared_ptr<const snapshot> doc)
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        newest_[doc->uri] = doc->generation;
        auto [it, added] = pending_.try_emplace(doc->uri, doc);
        if (added)
            order_.push_back(doc->uri);
        else
            it->second = std::move(doc);
    }
    wake_.notify_one();
}

void check_worker::forget(const std::string& uri, const std::function<void()>& then)
{
    const std::lock_guard<std::mutex> hold(lock_);
    pending_.erase(uri); // its place in order_ is passed over
    newest_.erase(uri);
    reports_.erase(uri);
    notes_.erase(uri);
    then();
    checked_.notify_all();
}

void check_worker::drain()
{
    std::unique_lock<std::mutex> hold(lock_);
    checked_.wait(hold, [&] { return (pending_.empty() && !busy_) || stop_; });
}

std::shared_ptr<const check_result> check_worker::report_for(const snapshot& doc)
{
    std::unique_lock<std::mutex> hold(lock_);
    std::shared_ptr<const check_result> found;
    checked_.wait(hold, [&] {
        const auto newest = newest_.find(doc.uri);
        if (stop_ || newest == newest_.end() || newest->second != doc.generation)
            return true; // there will be none
        const auto r = reports_.find(doc.uri);
        if (r == reports_.end() || r->second.first != doc.generation)
            return false;
        found = r->second.second;
        return true;
    });
    return found;
}

void check_worker::run()
{
    checker ck;
    // A long document is checked by two parses at once where the machine
    // has the processors.
    check_options options;
    options.threads = std::thread::hardware_concurrency() > 1 ? 2 : 1;
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [&] { return stop_ || !order_.empty(); });
        if (stop_)
            break;
        const std::string uri = std::move(order_.front());
        order_.pop_front();
        const auto it = pending_.find(uri);
        if (it == pending_.end())
            continue; // closed while it waited
        const std::shared_ptr<const snapshot> doc = std::move(it->second);
        pending_.erase(it);
        auto result = std::make_shared<check_result>();
        const auto noted = notes_.find(uri);
        const bool file_checked = !doc->file || (noted != notes_.end() && noted->second.first == doc->file);
        if (doc->file && file_checked)
            result->file_notes = noted->second.second;
        busy_ = true;
        hold.unlock();

        if (checking_)
            checking_(*doc);
        const auto started = std::chrono::steady_clock::now();
        try {
            result->report = ck.check(doc->text, options);
            if (!file_checked)
                result->file_notes = file_notes(*doc->file, ck);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "trl-check: lsp: cannot check %s: %s\n", doc->uri.c_str(), e.what());
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();

        hold.lock();
        busy_ = false;
        const auto newest = newest_.find(uri);
        if (newest != newest_.end() && newest->second == doc->generation) {
            reports_[uri] = {doc->generation, result};
            if (doc->file)
                notes_[uri] = {doc->file, result->file_notes};
            else
                notes_.erase(uri);
            try {
                publish_(*doc, *result, ms);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "trl-check: lsp: cannot publish for %s: %s\n", uri.c_str(), e.what());
            }
        }
        checked_.notify_all();
    }
    checked_.notify_all();
}

} // namespace trl::lsp
