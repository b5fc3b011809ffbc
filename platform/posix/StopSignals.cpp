#include "platform/StopSignals.h"

#include <poll.h>
#include <csignal>

namespace korvid {

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnStopSignal(int) { g_stop = 1; }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// The handlers before the object's, given back at its end.
struct sigaction g_old[4]{};

}  // namespace

StopSignals::StopSignals(bool withPipe) : withPipe_(withPipe) {
    g_stop = 0;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;  // no SA_RESTART: a blocked read returns
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 4; ++i)
        if (kStopSignals[i] != SIGPIPE || withPipe_) sigaction(kStopSignals[i], &sa, &g_old[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 4; ++i)
        if (kStopSignals[i] != SIGPIPE || withPipe_) sigaction(kStopSignals[i], &g_old[i], nullptr);
}

StopFlag* StopSignals::Flag() { return &g_stop; }

void SleepUnlessStopped(int ms) { (void)::poll(nullptr, 0, ms); }

}  // namespace korvid
