// Shared parts of the device commands (program, read, verify, erase, clock):
// the --port and --family options, the link on a real serial port, the text
// progress bar on stderr, and the way a link failure is reported.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/korvid/CliSupport.h"
#include "core/link/Link.h"
#include "core/link/LinkError.h"
#include "core/link/LinkObserver.h"
#include "platform/SerialPorts.h"

namespace korvid::cli {

// The port --port names (COM1 when absent); the command table's dispatcher
// has checked the name.
std::string PortOption(const Options& options);

// A link on the port named by --port. Ctrl-C and the other ending signals
// release the port on their way.
struct DeviceLink {
    explicit DeviceLink(const Options& options) {
        ReleasePortsOnSignals();
        link.PortName = PortOption(options);
    }
    std::unique_ptr<SerialDevice> device = MakeSerialDevice();
    Link link{*device};
};

// The Device Operation window as text on stderr: one bar per stage.
class StderrProgress final : public LinkObserver {
public:
    StderrProgress();
    ~StderrProgress() override;
    void ShowProgress(std::string_view text) override;
    void StepProgress() override;
    void HideProgress() override;
    void ShowIrcResults(const IrcResults& results) override;

private:
    void Draw();
    // Ends the bar's line; `completed`: the stage is known to have finished.
    void EndLine(bool completed = false);
    std::string text_;
    int position_ = 0;
    bool active_ = false;
    bool terminal_ = false;
};

// The error line of a link failure: "korvid: MESSAGE.", as every error line
// of the program starts with its name.
std::string LinkErrorLine(const LinkFailure& failure);

// Runs `body`; a link failure prints its error line (and a note: line with
// the device path and the system's reason) and gives kExitFailure.
int RunOnLink(Link& link, const std::function<int()>& body);

}  // namespace korvid::cli
