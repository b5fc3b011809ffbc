// Work done apart from the program so that several pieces run at once
// (`korvid test -j`): each worker runs a function that returns its result
// as bytes; on POSIX in a process of its own, so that one that crashes takes
// only itself. A stop signal reaches the workers too (they inherit the
// handlers); a program killed outright takes its workers with it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace korvid {

// How a worker ended: with its result, ended by a signal, or without handing
// over a result.
struct WorkerEnd {
    enum class Kind { Result, Signalled, NoResult };
    Kind kind = Kind::NoResult;
    std::string result;
    int signal = 0;
    std::string signalName;  // "Segmentation fault"
};

class WorkerPool {
public:
    WorkerPool();
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts `work` in a worker of its own, known by `tag`. False with the
    // system's reason.
    bool Start(std::size_t tag, const std::function<std::string()>& work, std::string& reason);
    std::size_t running() const;
    // Waits until a worker has something (or a signal interrupts the wait)
    // and calls `ended` for each worker that ended, which it forgets then.
    // False with the system's reason when it cannot wait.
    bool Wait(const std::function<void(std::size_t tag, const WorkerEnd& end)>& ended, std::string& reason);
    // Asks every running worker to stop, as a stop signal would.
    void StopAll();

private:
    struct Running;
    std::unique_ptr<Running> running_;
};

}  // namespace korvid
