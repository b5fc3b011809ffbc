// korvid erase: erase the chip.
#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/link/Programming.h"

namespace korvid::cli {
namespace {

constexpr OptionSpec kEraseOptions[] = {kPortOption, kFamilyOption};

int RunErase(const std::vector<std::string>& args) {
    Options options = Options::Of("erase", args);
    if (!options.ok()) return UsageError("erase", options.error());
    if (!options.Operands().empty()) return UsageError("erase", "unexpected argument " + options.Operands()[0]);
    if (!FamilyOption(options)) return kExitUsage;
    DeviceLink port;
    if (!PortOption("erase", options, port.link)) return kExitUsage;
    return RunOnLink(port.link, [&] {
        StderrProgress progress;
        port.link.OpenLink();
        progress.ShowProgress("Erasing...");
        EraseDevice(port.link, progress);
        port.link.CloseLink();
        progress.HideProgress();
        return kExitOk;
    });
}

}  // namespace

KORVID_COMMAND("erase", "[--port COMn|PATH] [--family 28l|52]", RunErase, "Erases the chip.", kEraseOptions);

}  // namespace korvid::cli
