// No listening port: a page has no sockets, and node's are not reachable
// from this build's C library. The debug adapter's --port is refused with
// the way that works: the adapter on standard input and output.
#include "platform/Loopback.h"

namespace korvid {

std::unique_ptr<LoopbackListener> ListenOnLoopback(int, std::string& reason) {
    reason = "this build cannot listen on a port: use the native korvid program, "
             "or korvid dap on standard input and output";
    return nullptr;
}

}  // namespace korvid
