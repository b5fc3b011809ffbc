#include "ui/QuitSignals.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace korvid {

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};

// The pipe's ends (one object a process); -1 while there is none.
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

QuitSignals::QuitSignals(std::function<void(int signal)> quit) : quit_(std::move(quit)) {
    int fds[2];
    if (g_writeEnd.load() >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_readEnd = fds[0];
    g_writeEnd = fds[1];
    notifier_ = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Read(); });
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction sa {};
        if (::sigaction(kSignals[i], nullptr, &g_old[i]) != 0 || g_old[i].sa_handler == SIG_IGN) continue;
        sa.sa_handler = Handler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        (void)::sigaction(kSignals[i], &sa, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        if (g_old[i].sa_handler != SIG_IGN) (void)::sigaction(kSignals[i], &g_old[i], nullptr);
    notifier_.reset();
    ::close(g_writeEnd.exchange(-1));
    ::close(g_readEnd.exchange(-1));
}

// Each signal read is handed on in turn; `quit` may run a nested event loop
// (a question to the user), during which a later signal is read there.
void QuitSignals::Read() {
    unsigned char number = 0;
    while (::read(g_readEnd.load(), &number, 1) == 1) {
        if (quit_) quit_(number);
        if (g_readEnd.load() < 0) return;
    }
}

}  // namespace korvid
