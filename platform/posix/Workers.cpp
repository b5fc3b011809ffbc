#include "platform/Workers.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace korvid {

namespace {

struct Worker {
    pid_t pid = -1;
    int fd = -1;  // the pipe the result comes through
    std::size_t tag = 0;
    std::string data;
};

// Reaps a worker whose pipe closed and says how it ended.
WorkerEnd Collect(Worker& w) {
    ::close(w.fd);
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {}
    WorkerEnd end;
    if (WIFSIGNALED(status)) {
        end.kind = WorkerEnd::Kind::Signalled;
        end.signal = WTERMSIG(status);
        end.signalName = ::strsignal(end.signal);
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        end.kind = WorkerEnd::Kind::Result;
        end.result = std::move(w.data);
    }
    return end;
}

}  // namespace

struct WorkerPool::Running {
    std::vector<Worker> workers;
};

WorkerPool::WorkerPool() : running_(std::make_unique<Running>()) {}
WorkerPool::~WorkerPool() = default;

bool WorkerPool::Start(std::size_t tag, const std::function<std::string()>& work, std::string& reason) {
    int fds[2];
    if (::pipe(fds) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        reason = std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        // A program killed outright (kill -9) takes its workers with it: the
        // stop signal ends their work (and removes what they had not
        // finished), where an orphan would otherwise run on.
        (void)::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(4);  // it died before we asked
        const std::string data = work();
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fds[1], data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ::_exit(3);
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    running_->workers.push_back({pid, fds[0], tag, {}});
    return true;
}

std::size_t WorkerPool::running() const { return running_->workers.size(); }

bool WorkerPool::Wait(const std::function<void(std::size_t, const WorkerEnd&)>& ended, std::string& reason) {
    std::vector<Worker>& running = running_->workers;
    if (running.empty()) return true;
    std::vector<pollfd> fds;
    for (const Worker& w : running) fds.push_back({w.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
        reason = std::string("poll: ") + std::strerror(errno);
        return false;
    }
    for (std::size_t i = running.size(); i-- > 0;) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        Worker& w = running[i];
        char buffer[65536];
        const ssize_t n = ::read(w.fd, buffer, sizeof buffer);
        if (n > 0) {
            w.data.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        const std::size_t tag = w.tag;
        const WorkerEnd end = Collect(w);
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        ended(tag, end);
    }
    return true;
}

void WorkerPool::StopAll() {
    for (const Worker& w : running_->workers) ::kill(w.pid, SIGTERM);
}

}  // namespace korvid
