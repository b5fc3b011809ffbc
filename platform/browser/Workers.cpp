// Workers on a system without processes of its own (WebAssembly in a page
// or in node): each piece of work runs to its end when it is started, in
// this thread, and its result waits for the next Wait. `korvid test -j N`
// then runs its files one after another with the same reports.
#include "platform/Workers.h"

#include <vector>

namespace korvid {

struct WorkerPool::Running {
    std::vector<std::pair<std::size_t, WorkerEnd>> finished;
};

WorkerPool::WorkerPool() : running_(std::make_unique<Running>()) {}
WorkerPool::~WorkerPool() = default;

bool WorkerPool::Start(std::size_t tag, const std::function<std::string()>& work, std::string&) {
    WorkerEnd end;
    end.kind = WorkerEnd::Kind::Result;
    end.result = work();
    running_->finished.emplace_back(tag, std::move(end));
    return true;
}

std::size_t WorkerPool::running() const { return running_->finished.size(); }

bool WorkerPool::Wait(const std::function<void(std::size_t, const WorkerEnd&)>& ended, std::string&) {
    std::vector<std::pair<std::size_t, WorkerEnd>> finished;
    finished.swap(running_->finished);
    for (const auto& [tag, end] : finished) ended(tag, end);
    return true;
}

// Nothing runs between two calls: each piece of work has already ended.
void WorkerPool::StopAll() {}

}  // namespace korvid
