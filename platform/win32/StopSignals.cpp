#include "platform/StopSignals.h"

#include <windows.h>

namespace korvid {

namespace {

volatile std::sig_atomic_t g_stop = 0;

// Ctrl-C, Ctrl-Break and the console window closing raise the flag instead
// of ending the process; each stage then ends cleanly. (The close event
// ends the process when the handler returns, so its stage gets until then.)
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            g_stop = 1;
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

// A pipe whose reader went away fails the write on Windows (there is no
// signal to stop for), so `withPipe` changes nothing here.
StopSignals::StopSignals(bool withPipe) : withPipe_(withPipe) {
    g_stop = 0;
    (void)::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() { (void)::SetConsoleCtrlHandler(OnConsoleEvent, FALSE); }

StopFlag* StopSignals::Flag() { return &g_stop; }

void SleepUnlessStopped(int ms) {
    // In slices, so that a stop ends the sleep soon.
    for (int left = ms; left > 0 && !g_stop; left -= 20) ::Sleep(DWORD(left < 20 ? left : 20));
}

}  // namespace korvid
