// A link to the simulated tool in the same process, with a tap that records
// every write as the tool decoded it and the reply time-out in force while
// its answer was awaited.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "core/link/Irc.h"
#include "core/link/Link.h"
#include "core/link/LinkError.h"
#include "core/link/LinkObserver.h"
#include "sim/InProcessToolDevice.h"
#include "sim/ToolFirmware.h"
#include "tests/link/ScriptDevice.h"

namespace korvid::test {

struct WriteEvent {
    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> plain;  // as the tool decoded it (empty before detection)
    std::uint32_t timeout = 0;        // ReplyTimeout when its answer was read
    bool answered = false;
};

class TapDevice final : public SerialDevice {
public:
    TapDevice(SerialDevice& inner, ToolFirmware& firmware) : inner_(inner), firmware_(firmware) {
        firmware_.plainLog = &plain_;
    }
    Link* link = nullptr;
    std::vector<WriteEvent> events;

    bool Open(const std::string& path, std::string* reason) override { return inner_.Open(path, reason); }
    bool SetLine(std::uint32_t baud, std::string* reason) override { return inner_.SetLine(baud, reason); }
    long Write(const std::uint8_t* data, std::size_t size) override {
        std::size_t before = plain_.size();
        long n = inner_.Write(data, size);
        WriteEvent e;
        if (n > 0) e.raw.assign(data, data + n);
        e.plain.assign(plain_.begin() + long(before), plain_.end());
        events.push_back(std::move(e));
        return n;
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        if (!events.empty() && !events.back().answered && link) {
            events.back().answered = true;
            events.back().timeout = link->ReplyTimeout;
        }
        return inner_.Read(data, size);
    }
    void WaitReadable(std::uint32_t ms) override { inner_.WaitReadable(ms); }
    void Close() override { inner_.Close(); }

private:
    SerialDevice& inner_;
    ToolFirmware& firmware_;
    std::vector<std::uint8_t> plain_;
};

// Records what the link shows the user.
struct RecordingObserver final : LinkObserver {
    std::vector<std::string> texts;
    int steps = 0;
    int hides = 0;
    int ircShown = 0;
    IrcResults irc;
    void ShowProgress(std::string_view text) override { texts.emplace_back(text); }
    void StepProgress() override { ++steps; }
    void HideProgress() override { ++hides; }
    void ShowIrcResults(const IrcResults& r) override {
        ++ircShown;
        irc = r;
    }
};

struct ToolSession {
    explicit ToolSession(const Family& f, ToolOptions options = {}, std::uint32_t toolBaud = 57600)
        : family(f),
          firmware(f, options),
          inner(firmware, ticks, toolBaud),
          tap(inner, firmware),
          link(tap, ticks),
          state(std::make_unique<AssemblyState>(f)) {
        tap.link = &link;
    }
    // Runs `f`; returns the link failure's text, or "" when it succeeded.
    template <typename F>
    std::string Run(F&& f) {
        try {
            f();
        } catch (const LinkFailure& e) {
            return e.Text();
        }
        return "";
    }
    // The plain bytes of every write after detection.
    std::vector<std::vector<std::uint8_t>> PlainWrites() const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const WriteEvent& e : tap.events)
            if (!e.plain.empty()) out.push_back(e.plain);
        return out;
    }

    const Family& family;
    FakeTicks ticks;
    ToolFirmware firmware;
    InProcessToolDevice inner;
    TapDevice tap;
    Link link;
    std::unique_ptr<AssemblyState> state;
    IrcSettings irc;
    RecordingObserver observer;
};

// An image with a recognisable pattern in the first `words` program words,
// an ID and the memory code for `words` (28L).
inline void FillImage(AssemblyState& s, int words) {
    for (int i = 0; i < kProgramWords; ++i)
        s.DeviceImage[std::size_t(i)] = i < words ? std::uint16_t(kDataFlag | ((i * 37 + 5) & 0xFFF)) : 0x0FFF;
    for (int i = 0; i < kIdWords; ++i) s.DeviceImage[std::size_t(kIdBase + i)] = std::uint16_t(0x0FF0 | (i & 0xF));
    if (!s.family->is52()) {
        std::uint16_t code = words == 512 ? 0 : words == 1024 ? 1 : 3;
        s.DeviceImage[kExtFuseIndex] = std::uint16_t((s.DeviceImage[kExtFuseIndex] & ~3u) | code);
    }
    s.DeviceImage[kFuseIndex] = 0x0FF3;
}

}  // namespace korvid::test
