#include "core/link/Irc.h"

#include <cstdio>

#include "core/link/Link.h"
#include "core/link/Programming.h"
#include "family/Fuses.h"

namespace korvid {

namespace {
// Measurement order: each group only clears bits relative to the word
// before it, so a group needs one erase before it.
constexpr int kGroup1[] = {7, 3, 1, 0};
constexpr int kGroup2[] = {5, 4};
constexpr int kGroup3[] = {6, 2};
}  // namespace

std::uint16_t IrcMeasurementWord(int trim) { return WithIrcTrim(0x4FF, trim); }

std::uint32_t IrcFrequency(std::uint16_t count) { return count == 0 ? 0 : kIrcCountDividend / count; }

int ChooseIrcTrim(const std::array<std::uint16_t, 8>& counts) {
    int chosen = -1;
    std::uint32_t best = 0;
    for (int t = 0; t < 8; ++t) {
        std::uint32_t f = IrcFrequency(counts[static_cast<std::size_t>(t)]);
        if (f == 0) continue;
        std::uint32_t d = f > kIrcTarget ? f - kIrcTarget : kIrcTarget - f;
        if (chosen < 0 || d < best) {
            chosen = t;
            best = d;
        }
    }
    return chosen < 0 ? 7 : chosen;
}

void FormatIrcMhz(std::uint32_t hz, char out[16]) {
    if (hz == 0) {
        std::snprintf(out, 16, "-");
        return;
    }
    std::snprintf(out, 16, "%u.%02u", hz / 1000000u, (hz % 1000000u) / 10000u);
}

void CalibrateIrc(Link& link, IrcSettings& irc, LinkObserver& observer) {
    observer.ShowProgress("Calibrating IRC...");
    auto measure = [&](const int* trims, std::size_t n) {
        EraseDevice(link);
        for (std::size_t i = 0; i < n; ++i)
            irc.counts[static_cast<std::size_t>(trims[i])] = ProgramFuseAndMeasure(link, IrcMeasurementWord(trims[i]));
    };
    measure(kGroup1, std::size(kGroup1));
    measure(kGroup2, std::size(kGroup2));
    measure(kGroup3, std::size(kGroup3));
    irc.trim = ChooseIrcTrim(irc.counts);
}

void SettleTrim(Link& link, IrcSettings& irc, IrcMode mode, LinkObserver& observer) {
    switch (mode) {
        case IrcMode::Slowest: irc.trim = 7; break;
        case IrcMode::Fastest: irc.trim = 0; break;
        case IrcMode::FourMhz: CalibrateIrc(link, irc, observer); break;
    }
}

IrcResults MakeIrcResults(const IrcSettings& irc) {
    IrcResults r;
    r.counts = irc.counts;
    for (std::size_t t = 0; t < 8; ++t) r.frequencies[t] = IrcFrequency(irc.counts[t]);
    r.chosenTrim = irc.trim;
    return r;
}

}  // namespace korvid
