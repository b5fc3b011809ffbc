// korvid erase: erase the chip.
#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/link/Programming.h"

namespace korvid::cli {
int RunErase(const Options& options) {
    DeviceLink port(options);
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

}  // namespace korvid::cli
