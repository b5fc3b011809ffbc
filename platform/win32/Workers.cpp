#include "platform/Workers.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/StopSignals.h"

namespace korvid {

// Windows has no fork: each worker is a thread of this process, and what
// it may throw (a failed allocation included) ends only that worker, as
// "no result". A worker that crashes outright takes the program with it.
struct WorkerPool::Running {
    struct Worker {
        std::size_t tag = 0;
        std::thread thread;
        bool done = false;
        WorkerEnd end;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Worker>> workers;
};

WorkerPool::WorkerPool() : running_(std::make_unique<Running>()) {}

WorkerPool::~WorkerPool() {
    // No thread may outlive the pool that holds its result.
    StopAll();
    for (auto& w : running_->workers)
        if (w->thread.joinable()) w->thread.join();
}

bool WorkerPool::Start(std::size_t tag, const std::function<std::string()>& work, std::string& reason) {
    auto worker = std::make_unique<Running::Worker>();
    worker->tag = tag;
    Running::Worker* w = worker.get();
    Running* pool = running_.get();
    try {
        w->thread = std::thread([pool, w, work] {
            WorkerEnd end;
            try {
                end.result = work();
                end.kind = WorkerEnd::Kind::Result;
            } catch (...) {
                end = WorkerEnd{};
            }
            std::lock_guard<std::mutex> hold(pool->lock);
            w->end = std::move(end);
            w->done = true;
            pool->changed.notify_all();
        });
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    }
    std::lock_guard<std::mutex> hold(pool->lock);
    pool->workers.push_back(std::move(worker));
    return true;
}

std::size_t WorkerPool::running() const {
    std::lock_guard<std::mutex> hold(running_->lock);
    return running_->workers.size();
}

bool WorkerPool::Wait(const std::function<void(std::size_t, const WorkerEnd&)>& ended, std::string&) {
    std::vector<std::unique_ptr<Running::Worker>> finished;
    {
        std::unique_lock<std::mutex> hold(running_->lock);
        auto& workers = running_->workers;
        if (workers.empty()) return true;
        auto anyDone = [&] {
            for (const auto& w : workers)
                if (w->done) return true;
            return false;
        };
        // A stop (Ctrl-C) is seen within a moment even while every worker
        // still runs: the caller passes it on.
        while (!anyDone() && !*StopSignals::Flag()) running_->changed.wait_for(hold, std::chrono::milliseconds(100));
        for (std::size_t i = 0; i < workers.size();) {
            if (workers[i]->done) {
                finished.push_back(std::move(workers[i]));
                workers.erase(workers.begin() + std::ptrdiff_t(i));
            } else {
                ++i;
            }
        }
    }
    for (auto& w : finished) {
        w->thread.join();
        ended(w->tag, w->end);
    }
    return true;
}

// The workers poll the same stop flag as the program.
void WorkerPool::StopAll() {
    if (!running_->workers.empty()) *StopSignals::Flag() = 1;
}

}  // namespace korvid
