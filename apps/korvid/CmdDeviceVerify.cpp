// korvid verify: read the chip and compare it with a source or SXH file, part
// by part as the Device window's Verify does.
#include <cstdio>

#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/link/Programming.h"
#include "core/link/VerifyImage.h"

namespace korvid::cli {
namespace {

constexpr OptionSpec kVerifyOptions[] = {kPortOption, kFamilyOption};

int RunVerify(const std::vector<std::string>& args) {
    Options options = Options::Of("verify", args);
    if (!options.ok()) return UsageError("verify", options.error());
    if (options.Operands().size() != 1) return UsageError("verify", "expected one source or hex file");
    const Family* family = FamilyOption(options);
    if (!family) return kExitUsage;
    DeviceLink port;
    if (!PortOption("verify", options, port.link)) return kExitUsage;

    CoreSession session(*family);
    if (!LoadProgramImage(session, options.Operands()[0])) return kExitFailure;
    AssemblyState& s = *session.state;
    return RunOnLink(port.link, [&] {
        {
            StderrProgress progress;
            ReadDevice(port.link, s, progress, "Verifying...");
        }
        std::string_view part = VerifyImage(*family, s.ChipImage, s.DeviceImage);
        if (part.empty()) {
            std::printf("Device verified OK\n");
            return kExitOk;
        }
        std::printf("Verify failed at %.*s\n", int(part.size()), part.data());
        return kExitVerifyMismatch;
    });
}

}  // namespace

KORVID_COMMAND("verify", "FILE.src|FILE.sxh [--port COMn|PATH] [--family 28l|52]", RunVerify,
               "Reads the chip and compares it with a source or hex file, part by part (exit status 3 when they "
               "differ).",
               kVerifyOptions);

}  // namespace korvid::cli
