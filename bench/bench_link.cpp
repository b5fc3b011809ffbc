// Programming and reading a 2048-word image through the simulated tool in
// the same process: the cost of the link's byte handling (batching,
// scrambling, echo skipping) and of the firmware model, without a port.
#include <benchmark/benchmark.h>

#include <memory>

#include "core/asm/AssemblyState.h"
#include "core/link/Link.h"
#include "core/link/Programming.h"
#include "sim/InProcessToolDevice.h"
#include "sim/ToolFirmware.h"

namespace {

using namespace korvid;

// Time that passes only when the link waits (the settle time after opening).
class InstantTicks final : public TickSource {
public:
    std::uint64_t NowMs() override { return now_; }
    void SleepMs(std::uint32_t ms) override { now_ += ms; }

private:
    std::uint64_t now_ = 0;
};

struct Bench {
    InstantTicks ticks;
    ToolFirmware firmware{Sx28lFamily()};
    InProcessToolDevice device{firmware, ticks};
    Link link{device, ticks};
    std::unique_ptr<AssemblyState> state = std::make_unique<AssemblyState>(Sx28lFamily());
    IrcSettings irc;
    Bench() {
        for (int i = 0; i < 2048; ++i) state->DeviceImage[std::size_t(i)] = std::uint16_t((i * 37) & 0xFFF);
    }
};

void BM_ProgramDevice2048(benchmark::State& st) {
    Bench b;
    for (auto _ : st) {
        b.device.written.clear();
        ProgramDevice(b.link, *b.state, b.irc, NoLinkObserver(), false);
    }
    // Bytes the client wrote (the tool echoes as many and answers a few
    // more); the payload is 2048 + 16 + 2 words of two bytes.
    st.counters["client_bytes"] = double(b.device.written.size());
    st.counters["payload_bytes"] = 2.0 * (2048 + 16 + 2);
}
BENCHMARK(BM_ProgramDevice2048);

void BM_ReadDevice2048(benchmark::State& st) {
    Bench b;
    for (auto _ : st) ReadDevice(b.link, *b.state, NoLinkObserver(), "Reading...");
}
BENCHMARK(BM_ReadDevice2048);

}  // namespace
