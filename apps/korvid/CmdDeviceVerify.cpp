// korvid verify: read the chip and compare it with a source or SXH file, part
// by part as the Device window's Verify does.
#include <cstdio>

#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/link/Programming.h"
#include "core/link/VerifyImage.h"

namespace korvid::cli {
int RunVerify(const Options& options) {
    DeviceLink port(options);

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), options.Operands()[0], std::nullopt, false))
        return kExitFailure;
    AssemblyState& s = session.state();
    return RunOnLink(port.link, [&] {
        {
            StderrProgress progress;
            ReadDevice(port.link, s, progress, "Verifying...");
        }
        std::string_view part = VerifyImage(session.family(), s.ChipImage, s.DeviceImage);
        if (part.empty()) {
            std::printf("Device verified OK\n");
            return kExitOk;
        }
        std::printf("Verify failed at %.*s\n", int(part.size()), part.data());
        return kExitVerifyMismatch;
    });
}

}  // namespace korvid::cli
