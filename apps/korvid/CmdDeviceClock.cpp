// korvid clock: set the tool's clock generator to a frequency, or stop it.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/link/Clock.h"

namespace korvid::cli {
namespace {

// "4000000", "4M", "3.579545M", "400k": a frequency in Hz; false for
// anything else.
bool ParseFrequency(const std::string& text, std::uint32_t& hz) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    std::string suffix = end;
    double scale = 1;
    if (suffix == "k" || suffix == "K" || suffix == "kHz" || suffix == "KHz") scale = 1e3;
    else if (suffix == "M" || suffix == "MHz") scale = 1e6;
    else if (suffix == "Hz") scale = 1;
    else if (!suffix.empty()) return false;
    v *= scale;
    if (!(v >= 0 && v < 4e9)) return false;
    hz = static_cast<std::uint32_t>(std::llround(v));
    return true;
}

}  // namespace

int RunClock(const Options& options) {
    const std::string arg = options.Operands()[0];
    const bool off = arg == "off";
    std::uint32_t hz = 0;
    if (!off) {
        if (!ParseFrequency(arg, hz)) return UsageError("clock", "cannot read the frequency '" + arg + "'");
        if (hz < kClockMinHz || hz > kClockMaxHz)
            return UsageError("clock", "the clock runs from 400000 to 110000000 Hz");
    }
    DeviceLink port(options);
    return RunOnLink(port.link, [&] {
        port.link.RequireDebugTool();
        port.link.OpenLink();
        if (off)
            StopClock(port.link);
        else
            StartClock(port.link, hz);
        port.link.CloseLink();
        return kExitOk;
    });
}

}  // namespace korvid::cli
