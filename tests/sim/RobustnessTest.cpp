// Random bytes on either side of the link: the tool model never misbehaves,
// and every client operation ends (success or a link failure) in bounded time.
#include <gtest/gtest.h>

#include <random>

#include "core/link/Programming.h"
#include "tests/sim/ToolSession.h"

namespace korvid {
namespace {

TEST(Robustness, FirmwareTakesAnyByteStream) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        ToolFirmware fw(*f);
        std::mt19937 rng(7);
        std::vector<std::uint8_t> out(8192);
        const std::uint8_t detect[] = {' ', 'K', 'o', 'r', 'v', 'i', 'd'};
        for (int round = 0; round < 200; ++round) {
            fw.Receive(detect, sizeof detect);
            for (int i = 0; i < 500; ++i) fw.Receive(std::uint8_t(rng()));
            while (fw.TakeOutput(out.data(), out.size()) == out.size()) {
            }
        }
        EXPECT_EQ(fw.BytesReceived(), 200u * 507u);
    }
}

TEST(Robustness, ClientEndsOnRandomReplies) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        test::FakeTicks ticks;
        test::ScriptDevice device(ticks);
        Link link(device, ticks);
        // A real detection, then random replies of random length.
        device.onWrite = [&](const std::vector<std::uint8_t>& bytes) {
            if (bytes.size() == 7 && bytes[0] == ' ') {
                device.Answer("Korvid");
                device.Answer({std::uint8_t(rng()), std::uint8_t(rng()), 1});
                return;
            }
            for (unsigned n = rng() % 6; n > 0; --n) device.Answer({std::uint8_t(rng() % 8 == 0 ? 0 : rng())});
            if (rng() % 3) device.Answer({0, 0, 0, 0});
        };
        auto state = std::make_unique<AssemblyState>(round % 2 ? Sx52Family() : Sx28lFamily());
        IrcSettings irc;
        irc.mode = IrcMode(round % 3);
        std::uint64_t start = ticks.now;
        try {
            if (round % 2)
                ProgramDevice(link, *state, irc, NoLinkObserver(), round % 4 == 1);
            else
                ReadDevice(link, *state, NoLinkObserver(), "Reading...");
        } catch (const LinkFailure&) {
        }
        EXPECT_FALSE(link.PortOpen);
        // Each wait is bounded by its time-out (at most 1640 ms here).
        EXPECT_LT(ticks.now - start, 200000u) << round;
    }
}

}  // namespace
}  // namespace korvid
