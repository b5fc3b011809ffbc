// The pin observer: which levels it is told and from which cycle.
#include <gtest/gtest.h>

#include <vector>

#include "SxCpuHarness.h"

namespace korvid::testing {
namespace {

struct Change {
    int port;
    std::uint8_t levels;
    std::uint64_t cycle;
    bool operator==(const Change&) const = default;
};

// Keeps the reports that change a port's levels.
struct Recorder final : SxPinObserver {
    std::vector<Change> changes;
    std::uint8_t last[5] = {};
    bool seen[5] = {};
    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override {
        if (seen[port] && last[port] == levels) return;
        seen[port] = true;
        last[port] = levels;
        changes.push_back({port, levels, cycle});
    }
    std::vector<Change> Port(int port) const {
        std::vector<Change> out;
        for (const Change& c : changes)
            if (c.port == port) out.push_back(c);
        return out;
    }
};

class PinObserver : public BothFamilies {};

// MOV W,#0; MOV !RB,W; loop: SETB RB.0; CLRB RB.0; JMP loop. The reset
// jump takes cycles 0..2, so the first SETB runs in cycle 5 and the pin is
// high from cycle 6; the loop takes 5 cycles in turbo mode (4 compatible).
TEST_P(PinObserver, PinObserverSeesOutputEdgesAtTheEndOfTheWrite) {
    for (const bool turbo : {true, false}) {
        if (GetParam()->is52() && !turbo) continue;  // the 52 family is always turbo
        SxCpu cpu(*GetParam());
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.turbo = turbo; });
        Load(cpu, Program().At(0x010, {0xC00, 0x006, 0x506, 0x406, 0xA12}));
        Recorder rec;
        cpu.SetPinObserver(&rec);
        ASSERT_EQ(rec.changes.size(), static_cast<std::size_t>(cpu.portCount())) << "all ports at once";
        cpu.Run(30);
        const std::uint64_t jump = turbo ? 3 : 2;
        const std::uint64_t first = jump + 2;  // the SETB's start
        const std::uint64_t period = 2 + jump;
        std::vector<Change> want{{1, 0x00, 0}};
        for (std::uint64_t k = 0; first + k * period + 2 <= 30; ++k) {
            want.push_back({1, 0x01, first + k * period + 1});
            want.push_back({1, 0x00, first + k * period + 2});
        }
        EXPECT_EQ(rec.Port(1), want) << (turbo ? "turbo" : "compatible");
    }
}

TEST_P(PinObserver, PinObserverSeesDrivenInputsPullUpsAndOutputsWinOverDrive) {
    SxCpu cpu(*GetParam());
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.portC = true; });
    // MOV W,#01h (PLP bits are 0 for a pull-up); MOV M,#0Eh (PLP); MOV !RC,W: pull-ups on RC.1..7;
    // MOV M,#0Fh; MOV W,#7Fh; MOV !RC,W: RC.7 an output (latch 0).
    Load(cpu, Program().At(0x010, {0xC01, 0x05E, 0x007, 0x05F, 0xC7F, 0x007, 0xA16}));
    Recorder rec;
    cpu.SetPinObserver(&rec);
    cpu.Run(6);  // up to the MOV !RC,W of the pull-ups
    ASSERT_FALSE(rec.Port(2).empty());
    EXPECT_EQ(rec.Port(2).back(), (Change{2, 0xFE, 6}));
    cpu.Run(3);
    EXPECT_EQ(rec.Port(2).back(), (Change{2, 0x7E, 9})) << "RC.7 drives its latch";
    cpu.SetPortInput(2, 0x81, 0x81);  // drive RC.0 and RC.7 high
    EXPECT_EQ(rec.Port(2).back(), (Change{2, 0x7F, cpu.cycles()})) << "the output is not overridden";
}

KORVID_BOTH_FAMILIES(PinObserver);

}  // namespace
}  // namespace korvid::testing
