// Standard input and output of korvid.js in node (the WebAssembly build,
// on node's own descriptors): a build without threads, whose debug adapter
// looks for requests between slices of a run on its one thread.
//
// A read of standard input goes to node's fs.readSync, which waits while
// the descriptor is in blocking mode. While the chip runs, the input is
// switched to non-blocking mode and a read that finds nothing fails at once
// (EAGAIN): that is the look for waiting input. While nothing else is to
// do, it is switched back and a read waits for the client without spending
// the processor. The switch is the one node's own stream on standard input
// makes (a pipe, a socket or a terminal); a file has none, and its reads
// never wait. Only a look makes node's stream: until then the input is the
// descriptor as the program was given it (the language server reads it
// so).
#include "rpc/StdioTransport.h"

#include <emscripten.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/ProgramStart.h"

// Sets standard input to blocking (1) or non-blocking (0) reads: 1 when it
// was switched, 0 when it has no such switch (a file, whose reads never wait).
EM_JS(int, korvid_stdin_set_blocking, (int blocking), {
    try {
        var handle = process.stdin._handle;
        if (!handle || typeof handle.setBlocking != 'function') return 0;
        return handle.setBlocking(!!blocking) == 0 ? 1 : 0;
    } catch (e) {
        return 0;
    }
});

// Waits `ms` milliseconds without spending the processor.
EM_JS(void, korvid_pause_ms, (int ms), { Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, ms); });

namespace korvid::rpc {

struct StdioTransport::Side {
    enum class Mode { AsGiven, Blocking, NonBlocking, NoSwitch };
    Mode mode = Mode::AsGiven;
    std::string ahead;  // bytes a look took in, for the next Read
    bool ended = false;

    // One read of the descriptor: the count, 0 at the end (or on a failure),
    // -1 when nothing waits on non-blocking input.
    long ReadOnce(char* data, std::size_t size) {
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, data, size);
            if (n >= 0) return long(n);
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
            return 0;
        }
    }
    void Switch(bool blocking) {
        if (mode == Mode::NoSwitch || mode == (blocking ? Mode::Blocking : Mode::NonBlocking)) return;
        if (mode == Mode::AsGiven && blocking) return;  // reads as given wait already
        mode = korvid_stdin_set_blocking(blocking ? 1 : 0) ? (blocking ? Mode::Blocking : Mode::NonBlocking)
                                                           : Mode::NoSwitch;
    }
};

StdioTransport::StdioTransport() : side_(std::make_unique<Side>()) {
    IgnoreBrokenPipes();
    UseStdioAsBytes();
}
StdioTransport::~StdioTransport() = default;

std::size_t StdioTransport::Read(char* data, std::size_t size) {
    Side& s = *side_;
    if (!s.ahead.empty()) {
        const std::size_t n = std::min(size, s.ahead.size());
        std::copy_n(s.ahead.data(), n, data);
        s.ahead.erase(0, n);
        return n;
    }
    if (s.ended) return 0;
    s.Switch(true);
    for (;;) {
        const long n = s.ReadOnce(data, size);
        if (n > 0) return std::size_t(n);
        if (n == 0) {
            s.ended = true;
            return 0;
        }
        // Still non-blocking (the switch back failed): look again shortly.
        korvid_pause_ms(1);
    }
}

bool StdioTransport::Write(std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        // Output that shares the input's descriptor (one socket both ways)
        // is non-blocking while the chip runs: a full buffer is waited out.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            korvid_pause_ms(1);
            continue;
        }
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

bool StdioTransport::TellsInputWaiting() const { return true; }

bool StdioTransport::InputWaiting() {
    Side& s = *side_;
    if (s.ended || !s.ahead.empty()) return true;
    s.Switch(false);
    if (s.mode == Side::Mode::NoSwitch) return true;  // a file: a read returns at once
    char chunk[65536];
    const long n = s.ReadOnce(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) s.ended = true;
    s.ahead.assign(chunk, std::size_t(n));
    return true;
}

}  // namespace korvid::rpc
