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

constexpr OptionSpec kProgramOptions[] = {
    {"--run", "", "start the clock and let the chip run once it is programmed"},
    {"--irc", "slowest|4mhz|fastest", "calibrate the internal RC oscillator to this (over the source's IRC_CAL)"},
    kPortOption,
    kFamilyOption,
};

int RunProgram(const std::vector<std::string>& args) {
    Options options = Options::Of("program", args);
    if (!options.ok()) return UsageError("program", options.error());
    if (options.Operands().size() != 1) return UsageError("program", "expected one source or hex file");
    const Family* family = FamilyOption(options);
    if (!family) return kExitUsage;
    IrcSettings irc;
    if (auto name = options.Value("--irc")) {
        const IrcModeName* found = nullptr;
        for (const IrcModeName& m : kIrcModes)
            if (*name == m.name) found = &m;
        if (!found) return UsageError("program", "--irc takes slowest, 4mhz or fastest");
        irc.mode = found->mode;
    }
    DeviceLink port;
    if (!PortOption("program", options, port.link)) return kExitUsage;

    CoreSession session(*family);
    if (!LoadProgramImage(session, options.Operands()[0])) return kExitFailure;
    AssemblyState& s = *session.state;
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

}  // namespace

KORVID_COMMAND("program", "FILE.src|FILE.sxh [--run] [--irc slowest|4mhz|fastest] [--port COMn|PATH] [--family 28l|52]",
               RunProgram, "Assembles a source (or loads a hex file) and programs the chip with it.", kProgramOptions);

}  // namespace korvid::cli
