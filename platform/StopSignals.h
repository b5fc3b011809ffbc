// Stop requests from outside the program (Ctrl-C, a terminal that went
// away, `kill`) as a flag that the long steps poll, so that each can end
// cleanly instead of the process ending where it stands.
#pragma once

#include "platform/StopFlag.h"

namespace korvid {

// The stop signals of a simulation (SIGINT, SIGTERM, SIGHUP and, unless
// told otherwise, SIGPIPE) set one flag instead of ending the process, so
// that each stage can end cleanly: no temporary file stays behind. The
// previous handlers come back at destruction. One at a time per process.
class StopSignals {
public:
    explicit StopSignals(bool withPipe = true);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // Non-zero once a stop signal came.
    static StopFlag* Flag();

private:
    bool withPipe_;
};

// Sleeps up to `ms` milliseconds; a stop signal ends the sleep early.
void SleepUnlessStopped(int ms);

}  // namespace korvid
