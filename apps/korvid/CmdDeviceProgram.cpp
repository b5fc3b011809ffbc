// korvid program: assemble a source (or load an SXH file) and program the
// chip with it, optionally starting its clock.
#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "core/link/Irc.h"
#include "core/link/Programming.h"

namespace korvid::cli {
namespace {

struct IrcModeName {
    const char* name;
    IrcMode mode;
};
constexpr IrcModeName kIrcModes[] = {
    {"slowest", IrcMode::Slowest}, {"4mhz", IrcMode::FourMhz}, {"fastest", IrcMode::Fastest}};

}  // namespace

int RunProgram(const Options& options) {
    IrcSettings irc;
    if (auto name = options.Value("--irc")) {
        const IrcModeName* found = nullptr;
        for (const IrcModeName& m : kIrcModes)
            if (*name == m.name) found = &m;
        if (!found) return UsageError("program", "--irc takes slowest, 4mhz or fastest");
        irc.mode = found->mode;
    }
    DeviceLink port(options);

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), options.Operands()[0], std::nullopt, false))
        return kExitFailure;
    AssemblyState& s = session.state();
    s.DeviceImage = s.ChipImage;
    // An explicit --irc is this run's choice, over the source's IRC_CAL.
    if (options.Value("--irc")) s.IrcCalibration.reset();
    const bool run = options.Flag("--run");
    return RunOnLink(port.link, [&] {
        RequireProgramData(s);
        StderrProgress progress;
        if (run) port.link.RequireDebugTool();
        ProgramDevice(port.link, s, irc, progress, run);
        return kExitOk;
    });
}

}  // namespace korvid::cli
