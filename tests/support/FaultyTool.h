// A fake tool on a pseudo-terminal for the link's bad days. It serves the
// simulated tool's firmware faithfully until `after` bytes have gone out to
// the client (echo included), then misbehaves as its fault says. Tests
// describe each case as a row: what it does and after how many bytes.
// It holds the slave open itself (read-only) so that a test can see the
// exclusive flag a client leaves behind; unlike korvid-sim it never clears it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

#include "family/Family.h"
#include "sim/ToolFirmware.h"

namespace korvid::test {

enum class Misbehaviour {
    Stall,    // nothing more: no echo, no answer
    Drip,     // echoes at once, each byte of the answers `dripMs` after the last
    Flood,    // a stream of noise in place of the rest, without end
    Garbage,  // the rest, every byte changed
    HangUp,   // the tool's side closes: the client's line hangs up
};

struct ToolFault {
    Misbehaviour what;
    std::size_t after;        // bytes served faithfully first
    unsigned dripMs = 900;
};

class FaultyTool {
public:
    explicit FaultyTool(ToolFault fault, const Family& family = Sx28lFamily());
    ~FaultyTool();
    FaultyTool(const FaultyTool&) = delete;
    FaultyTool& operator=(const FaultyTool&) = delete;

    const std::string& Path() const { return path_; }
    // The slave's exclusive flag, as the last client left it.
    bool Exclusive() const;

private:
    void Serve();
    // Sends `b` (the echo of a received byte, or an answer) as the fault
    // allows; false once the tool has hung up.
    bool Out(unsigned char b, bool echo);
    void Write(const unsigned char* data, std::size_t size);

    ToolFault fault_;
    ToolFirmware firmware_;
    int master_ = -1;
    int heldSlave_ = -1;
    std::string path_;
    std::size_t sent_ = 0;
    unsigned noise_ = 12345;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace korvid::test
