// Test doubles for the link: a clock that only moves when told, and a
// serial device that records every write and answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"
#include "core/link/TickSource.h"

namespace korvid::test {

class FakeTicks final : public TickSource {
public:
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override {
        now += ms;
        slept.push_back(ms);
    }
    std::uint64_t now = 1000;
    std::vector<std::uint32_t> slept;
};

class ScriptDevice final : public SerialDevice {
public:
    explicit ScriptDevice(TickSource& ticks) : ticks_(ticks) {}

    bool Open(const std::string& path, std::string* reason) override {
        paths.push_back(path);
        if (failOpen) {
            if (reason) *reason = "no such device";
            return false;
        }
        open = true;
        return true;
    }
    bool SetLine(std::uint32_t baud, std::string*) override {
        bauds.push_back(baud);
        return true;
    }
    long Write(const std::uint8_t* data, std::size_t size) override {
        if (failWrite) return -1;
        std::size_t n = writeLimit >= 0 && size > std::size_t(writeLimit) ? std::size_t(writeLimit) : size;
        writes.emplace_back(data, data + n);
        if (echo) incoming.insert(incoming.end(), data, data + n);
        if (onWrite) onWrite(writes.back());
        return long(n);
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        ++reads;
        if (failRead) return -1;
        std::size_t n = 0;
        std::size_t limit = chunk ? chunk : size;
        while (n < size && n < limit && !incoming.empty()) {
            data[n++] = incoming.front();
            incoming.pop_front();
        }
        return long(n);
    }
    void WaitReadable(std::uint32_t timeoutMs) override {
        ++waits;
        if (incoming.empty()) ticks_.SleepMs(timeoutMs);
    }
    void Close() override {
        open = false;
        incoming.clear();  // input not yet read is lost with the port
        ++closes;
    }

    void Answer(std::initializer_list<std::uint8_t> bytes) { incoming.insert(incoming.end(), bytes); }
    void Answer(const std::string& text) { incoming.insert(incoming.end(), text.begin(), text.end()); }

    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::uint32_t> bauds;
    std::vector<std::string> paths;
    std::deque<std::uint8_t> incoming;
    std::function<void(const std::vector<std::uint8_t>&)> onWrite;
    bool echo = true;
    std::size_t chunk = 0;
    bool failOpen = false, failWrite = false, failRead = false;
    long writeLimit = -1;
    bool open = false;
    int closes = 0, reads = 0, waits = 0;

private:
    TickSource& ticks_;
};

}  // namespace korvid::test
