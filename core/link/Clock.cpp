#include "core/link/Clock.h"

#include "core/link/Link.h"

namespace korvid {

std::uint32_t FindClockSetting(std::uint32_t frequency) {
    const std::int64_t target = frequency / 2;
    std::int64_t best = 1000000;
    std::uint32_t setting = 0;
    for (int p = 7; p >= 0; --p) {
        for (std::int64_t m = 4; m <= 130; ++m) {
            for (std::int64_t d = 20; d <= 100; ++d) {
                std::int64_t osc = 20000000 * m / d;
                if (osc < 25000000 || osc > 75000000) continue;
                std::int64_t err = (osc >> p) - target;
                if (err < 0) err = -err;
                if (err <= best) {
                    best = err;
                    setting = static_cast<std::uint32_t>(((m - 3) << 15) | (1 << 14) | (p << 11) | ((d - 2) << 4) |
                                                         (osc >= 40000000 ? 8 : 0));
                }
            }
        }
    }
    return setting;
}

void StartClock(Link& link, std::uint32_t frequency) {
    // The generator runs from 400 kHz to 110 MHz; outside that range the
    // search has no defined result, so a frequency from elsewhere (an SXC
    // file, say) is held to the nearest end.
    if (frequency < kClockMinHz) frequency = kClockMinHz;
    if (frequency > kClockMaxHz) frequency = kClockMaxHz;
    std::uint32_t setting = FindClockSetting(frequency);
    link.SendByte(kCmdSetClock);
    link.SendByte(static_cast<std::uint8_t>(setting & 0xFF));
    link.SendByte(static_cast<std::uint8_t>((setting >> 8) & 0xFF));
    link.SendByte(static_cast<std::uint8_t>((setting >> 16) & 0xFF));
    link.Flush();
    link.CheckStatus();
}

void StopClock(Link& link) {
    link.SendByte(kCmdStopClock);
    link.Flush();
}

}  // namespace korvid
