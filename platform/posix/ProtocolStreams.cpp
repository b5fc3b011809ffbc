#include "platform/ProtocolStreams.h"

#include <csignal>

namespace korvid {

// A POSIX stream is binary already.
void SetStdioBinary() {}

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace korvid
