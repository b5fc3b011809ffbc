// Standard input and output of korvid.js in node (the WebAssembly build,
// on node's own descriptors): a build without threads, whose debug adapter
// looks for requests between slices of a run on its one thread.
//
// A read of standard input goes to node's fs.readSync, which waits while
// the descriptor is in blocking mode. While the chip runs, the input is
// switched to non-blocking mode and a read that finds nothing fails at once
// (EAGAIN): that is the look for waiting input. While nothing else is to
// do, it is switched back and a read waits for the client without spending
// the processor. The switch is the one node's own streams make (a pipe, a
// socket or a terminal); a file has none, and its reads never wait. Only a
// look makes node's stream on the input: until then it is the descriptor
// as the program was given it.
//
// With one thread, a write that waits for a client that does not read (it
// is still writing requests) would wait for ever: the output is written
// without blocking, and while it is full the requests that wait are taken
// in, as the native adapter's reader thread takes them, until the client
// reads again.
#include "rpc/StdioTransport.h"

#include <emscripten.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/ProgramStart.h"

// Sets standard input (0) or output (1) to blocking (1) or non-blocking (0)
// access: 1 when it was switched, 0 when it has no such switch (a file,
// which never waits).
EM_JS(int, korvid_stdio_set_blocking, (int stream, int blocking), {
    try {
        var handle = (stream == 0 ? process.stdin : process.stdout)._handle;
        if (!handle || typeof handle.setBlocking != 'function') return 0;
        return handle.setBlocking(!!blocking) == 0 ? 1 : 0;
    } catch (e) {
        return 0;
    }
});

// Waits `ms` milliseconds without spending the processor.
EM_JS(void, korvid_pause_ms, (int ms), { Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, ms); });

namespace korvid::rpc {

namespace {
enum class Access { AsGiven, Blocking, NonBlocking, NoSwitch };
}  // namespace

struct StdioTransport::Side {
    Access input = Access::AsGiven, output = Access::AsGiven;
    std::string ahead;  // bytes taken in before a Read asked, for the next Read
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
    // Switches the input; `force` switches it even where it should be so
    // already (an output on the same descriptor, one socket both ways, was
    // switched since).
    void SwitchInput(bool blocking, bool force = false) {
        const Access wanted = blocking ? Access::Blocking : Access::NonBlocking;
        if (input == Access::NoSwitch) return;
        if (!force && (input == wanted || (input == Access::AsGiven && blocking))) return;  // as given: blocking
        input = korvid_stdio_set_blocking(0, blocking ? 1 : 0) ? wanted : Access::NoSwitch;
    }
    // Takes in every byte that waits on the input (none from a file, whose
    // reads never wait).
    void TakeIn() {
        SwitchInput(false);
        if (input == Access::NoSwitch) return;
        char chunk[65536];
        while (!ended) {
            const long n = ReadOnce(chunk, sizeof chunk);
            if (n < 0) return;
            if (n == 0) ended = true;
            ahead.append(chunk, std::size_t(n));
        }
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
    s.SwitchInput(true);
    bool switchedAgain = false;
    for (;;) {
        const long n = s.ReadOnce(data, size);
        if (n > 0) return std::size_t(n);
        if (n == 0) {
            s.ended = true;
            return 0;
        }
        // Non-blocking after all (given so, or switched with the output):
        // switched once more, else looked at again every millisecond.
        if (!switchedAgain && s.input != Access::NoSwitch) {
            s.SwitchInput(true, true);
            switchedAgain = true;
        } else {
            korvid_pause_ms(1);
        }
    }
}

bool StdioTransport::Write(std::string_view data) {
    Side& s = *side_;
    // Every time: a read may have switched an output that shares the
    // input's descriptor back to blocking.
    if (s.output != Access::NoSwitch)
        s.output = korvid_stdio_set_blocking(1, 0) ? Access::NonBlocking : Access::NoSwitch;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            s.TakeIn();
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
    s.SwitchInput(false);
    if (s.input == Access::NoSwitch) return true;  // a file: a read returns at once
    char chunk[65536];
    const long n = s.ReadOnce(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) s.ended = true;
    s.ahead.assign(chunk, std::size_t(n));
    return true;
}

}  // namespace korvid::rpc
