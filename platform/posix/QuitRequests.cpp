#include "platform/QuitRequests.h"

#include <fcntl.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace korvid {

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};

// The pipe's ends (one a process); -1 while there is none.
std::atomic<int> g_readEnd{-1}, g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
std::array<struct sigaction, kSignals.size()> g_old{};

void Handler(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    const int fd = g_writeEnd.load();
    // A full pipe already holds a signal that the loop will act on.
    if (fd >= 0) (void)!::write(fd, &number, 1);
    errno = saved;
}

}  // namespace

bool OpenQuitRequests(int& descriptor) {
    int fds[2];
    if (g_writeEnd.load() >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    g_readEnd = fds[0];
    g_writeEnd = fds[1];
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction sa {};
        if (::sigaction(kSignals[i], nullptr, &g_old[i]) != 0 || g_old[i].sa_handler == SIG_IGN) continue;
        sa.sa_handler = Handler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        (void)::sigaction(kSignals[i], &sa, nullptr);
    }
    descriptor = fds[0];
    return true;
}

void CloseQuitRequests() {
    if (g_writeEnd.load() < 0) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        if (g_old[i].sa_handler != SIG_IGN) (void)::sigaction(kSignals[i], &g_old[i], nullptr);
    ::close(g_writeEnd.exchange(-1));
    ::close(g_readEnd.exchange(-1));
}

bool NextQuitRequest(QuitRequest& request) {
    const int fd = g_readEnd.load();
    unsigned char number = 0;
    if (fd < 0 || ::read(fd, &number, 1) != 1) return false;
    request.interrupt = number == SIGINT;
    request.exitStatus = 128 + number;
    return true;
}

}  // namespace korvid
