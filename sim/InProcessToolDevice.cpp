#include "sim/InProcessToolDevice.h"

namespace korvid {

bool InProcessToolDevice::Open(const std::string& path, std::string* reason) {
    openedPath = path;
    if (failOpen) {
        if (reason) *reason = path + ": no such device";
        return false;
    }
    open_ = true;
    ++opens;
    return true;
}

bool InProcessToolDevice::SetLine(std::uint32_t baud, std::string*) {
    lineBaud = baud;
    return true;
}

long InProcessToolDevice::Write(const std::uint8_t* data, std::size_t size) {
    if (!open_) return -1;
    std::size_t n = size;
    if (writeLimit >= 0 && n > static_cast<std::size_t>(writeLimit)) n = static_cast<std::size_t>(writeLimit);
    written.insert(written.end(), data, data + n);
    // At the wrong speed the tool sees only noise and stays silent.
    if (lineBaud == toolBaud_) firmware_.Receive(data, n);
    return static_cast<long>(n);
}

long InProcessToolDevice::Read(std::uint8_t* data, std::size_t size) {
    if (!open_) return -1;
    if (readChunk && size > readChunk) size = readChunk;
    return static_cast<long>(firmware_.TakeOutput(data, size));
}

void InProcessToolDevice::WaitReadable(std::uint32_t timeoutMs) {
    // The tool answers at once or not at all: nothing pending means the
    // whole wait passes.
    if (!firmware_.HasOutput()) ticks_.SleepMs(timeoutMs);
}

void InProcessToolDevice::Close() {
    if (open_) firmware_.Disconnect();
    open_ = false;
}

}  // namespace korvid
