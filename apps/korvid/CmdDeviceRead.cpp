// korvid read: read the chip into an SXH file.
#include <cstdio>

#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/image/HexFile.h"
#include "platform/PortName.h"
#include "core/link/Programming.h"

namespace korvid::cli {
int RunRead(const Options& options) {
    auto out = options.Value("-o");
    if (!out) return UsageError("read", "-o OUT.sxh is required");
    const Family* family = FamilyOption(options);
    DeviceLink port(options);
    // The hex must not go into the tool's own line.
    if (!OutputsAreDistinct("read", {PortDevicePath(port.link.PortName)}, {{"-o", *out}}, "the port"))
        return kExitUsage;

    CoreSession session(*family);
    AssemblyState& s = *session.state;
    int status = RunOnLink(port.link, [&] {
        StderrProgress progress;
        ReadDevice(port.link, s, progress, "Reading...");
        return kExitOk;
    });
    if (status != kExitOk) return status;  // nothing is written after a failed read
    s.ChipImage = s.DeviceImage;
    std::string message;
    if (!SaveHexFile(s, *out, message)) {
        std::fprintf(stderr, "korvid: %s\n", message.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace korvid::cli
