// korvid-sim: the simulated tool on a pseudo-terminal. Prints the slave's
// path (and links it to --link PATH), then answers a client that opens it
// like a serial port, until it is terminated.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "apps/common/CommandOptions.h"
#include "apps/common/SimOptions.h"
#include "family/Family.h"
#include "sim/ChipSerialPort.h"
#include "apps/common/PtyBridge.h"
#include "sim/SimSetup.h"
#include "sim/ToolDebug.h"
#include "sim/ToolFirmware.h"

namespace {

const char kUsage[] =
    "usage: korvid-sim [--family 28l|52] [--baud 57600|19200] [--brandel] [--firmware N]\n"
    "                  [--seed N] [--irc-offset X] [--link PATH] [--fast] [--verbose] [--trace]\n"
    "                  [--stimulus FILE] [--vcd OUT.vcd [--vcd-limit SIZE]]\n"
    "                  [--serial RXPIN,TXPIN:BAUD [--serial-link PATH]]\n"
    "  faults: [--fail-status N --fail-after K] [--silent-after K] [--bad-detect I]\n"
    "          [--garbage-after K]\n";

bool ParseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    value = v;
    return true;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "korvid-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "korvid-sim: %s\n", message.c_str());
    return 1;
}

// A numeric option: its range and what the message says it takes.
struct NumberOption {
    const char* name;
    long min, max;
    const char* takes;
};
constexpr NumberOption kNumbers[] = {
    {"--baud", 0, 1000000, "57600 or 19200"},
    {"--firmware", 0, 255, "a version 0 to 255"},
    {"--seed", 0, 0xFFFF, "a number 0 to 0xFFFF"},
    {"--fail-status", 0, 255, "a status byte 0 to 255"},
    {"--fail-after", 0, 1L << 30, "a count"},
    {"--silent-after", 0, 1L << 30, "a byte count"},
    {"--bad-detect", 0, 5, "a character index 0 to 5"},
    {"--garbage-after", 0, 1L << 30, "a byte count"},
};

}  // namespace

int main(int argc, char** argv) {
    using namespace korvid;
    std::vector<std::string> withValue{"--family", "--irc-offset", "--link", "--serial", "--serial-link"};
    for (const NumberOption& n : kNumbers) withValue.push_back(n.name);
    for (const std::string& name : SimFileOptionNames()) withValue.push_back(name);
    const CommandOptions args(std::vector<std::string>(argv + 1, argv + argc), withValue,
                              {"--help", "-h", "--brandel", "--fast", "--verbose", "--trace"});
    if (!args.ok()) return Usage(args.error());
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.Operands().empty()) return Usage("unexpected argument '" + args.Operands()[0] + "'");

    long numbers[std::size(kNumbers)] = {57600, -1, -1, -1, -1, -1, -1, -1};
    for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
        const auto text = args.Value(kNumbers[i].name);
        if (text && !ParseNumber(*text, kNumbers[i].min, kNumbers[i].max, numbers[i]))
            return Usage(std::string(kNumbers[i].name) + " takes " + kNumbers[i].takes);
    }
    const long baud = numbers[0];
    if (baud != 57600 && baud != 19200) return Usage("--baud takes 57600 or 19200");
    const Family* family = &Sx28lFamily();
    if (auto f = args.Value("--family")) {
        family = FamilyByName(*f);
        if (!family) return Usage("--family takes 28l or 52");
    }
    ToolOptions options;
    options.brandel = args.Flag("--brandel");
    if (numbers[1] >= 0) options.firmwareVersion = static_cast<std::uint8_t>(numbers[1]);
    if (numbers[2] >= 0) options.seed = static_cast<std::uint16_t>(numbers[2]);
    if (numbers[3] >= 0) options.failStatus = static_cast<int>(numbers[3]);
    if (numbers[4] >= 0) options.failAfterStatuses = numbers[4];
    if (numbers[5] >= 0) options.silentAfterBytes = numbers[5];
    if (numbers[6] >= 0) options.badDetectIndex = static_cast<int>(numbers[6]);
    if (numbers[7] >= 0) options.garbageAfterBytes = numbers[7];
    double ircOffset = 0.03;
    if (auto x = args.Value("--irc-offset")) {
        char* end = nullptr;
        ircOffset = std::strtod(x->c_str(), &end);
        if (x->empty() || *end != '\0' || !(ircOffset > -0.5 && ircOffset < 0.5))
            return Usage("--irc-offset takes a fraction between -0.5 and 0.5");
    }
    const std::string linkPath = args.Value("--link").value_or("");
    if (args.Value("--link") && linkPath.empty()) return Usage("--link takes a path");
    const bool verbose = args.Flag("--verbose"), trace = args.Flag("--trace"), fast = args.Flag("--fast");
    SimFiles files;
    std::string message;
    if (!ReadSimFiles(args, {}, files, message)) return Usage(message);
    const auto serialText = args.Value("--serial");
    const std::string serialLink = args.Value("--serial-link").value_or("");
    SerialPins serialPins;
    if (serialText && !ParseSerialPins(*serialText, serialPins))
        return Usage("--serial takes RXPIN,TXPIN:BAUD (RB.7,RB.6:9600)");
    if (args.Value("--serial-link") && !serialText) return Usage("--serial-link needs --serial");

    // The stop signals end the session cleanly (link and temporary waveform
    // removed). A broken pipe on stdout or stderr must not end the tool.
    StopSignals signals(false);
    std::signal(SIGPIPE, SIG_IGN);

    // The chip's pins in the debug session: driven on a schedule, and a
    // waveform of them. Both files are checked before the tool starts; the
    // timing at the tool's initial clock (the session's clock may differ).
    // The pins are the family's largest set, since the program is not known.
    const StimulusPins pins = StimulusPins::Of(*family, family->maxPortCount);
    const SimTimeBase initialBase{};
    if (serialText && (!(pins.bonded[serialPins.rxPort] & (1u << serialPins.rxBit)) ||
                       !(pins.bonded[serialPins.txPort] & (1u << serialPins.txBit))))
        return Usage("--serial: the chip has no such pin");
    Stimulus stimulus;
    SimProblem problem;
    if (files.stimulus && !LoadStimulusFile(*files.stimulus, pins, initialBase, stimulus, problem, StopSignals::Flag())) {
        for (const std::string& line : problem.located) std::fprintf(stderr, "%s\n", line.c_str());
        return problem.message.empty() ? 1 : Fail(problem.message);
    }
    VcdWriter vcd;
    if (files.vcd && !OpenWaveform(vcd, *files.vcd, *family, pins, initialBase, files.vcdLimit, {}, problem))
        return Fail(problem.message);
    vcd.stopFlag = StopSignals::Flag();

    ToolFirmware firmware(*family, options);
    firmware.Chip().ircOffset = ircOffset;
    ToolDebugRunner debugRunner(*family);  // runs the chip's program on the emulator
    debugRunner.realTime = true;            // in step with the time that passes
    firmware.SetRunner(&debugRunner);
    SimDriver driver(debugRunner.Cpu(), std::move(stimulus), {debugRunner.clockHz, 1});
    if (vcd.isOpen()) driver.AddSink(&vcd);
    // The chip's own serial port on a second terminal, served as the
    // debugged program runs (in step with real time).
    std::unique_ptr<ChipSerialPort> serialPort;
    if (serialText) {
        serialPort = std::make_unique<ChipSerialPort>(serialPins, SimTimeBase{debugRunner.clockHz, 1});
        std::string why;
        if (!serialPort->Open(&why) || (!serialLink.empty() && !ClaimLink(serialLink, serialPort->SlavePath(), &why)))
            return Fail("--serial: " + why);
        serialPort->Attach(driver);
    }
    if (files.stimulus || vcd.isOpen() || serialPort) debugRunner.SetDriver(&driver);
    PtyBridge bridge(firmware, static_cast<std::uint32_t>(baud));
    std::string reason;
    // A refusal after the serial link was claimed takes it back.
    auto failLinked = [&](const std::string& why) {
        if (serialPort && !serialLink.empty()) ReleaseLink(serialLink, serialPort->SlavePath());
        return Fail(why);
    };
    if (!bridge.Open(&reason)) return failLinked(reason);
    if (!linkPath.empty() && !ClaimLink(linkPath, bridge.SlavePath(), &reason)) return failLinked(reason);

    std::printf("%s\n", bridge.SlavePath().c_str());
    if (serialPort) std::printf("%s\n", serialPort->SlavePath().c_str());  // the chip's serial port
    std::fflush(stdout);
    if (trace) bridge.SetTrace(stderr);
    bridge.SetPaced(!fast);  // --fast: answers at once instead of at the line's pace
    // The chip's serial port is served while the chip runs; between runs
    // (halted, or no program yet) a client's exclusive flag is cleared here.
    if (serialPort) bridge.SetIdleWork([&serialPort] { serialPort->ReleaseAfterClientClose(); });
    bridge.Run(*StopSignals::Flag(), verbose ? stderr : nullptr);
    if (!linkPath.empty()) ReleaseLink(linkPath, bridge.SlavePath());
    if (serialPort && !serialLink.empty()) ReleaseLink(serialLink, serialPort->SlavePath());
    if (serialPort && serialPort->dropped > 0)
        std::fprintf(stderr, "korvid-sim: --serial: %s\n", serialPort->DroppedNote().c_str());
    if (vcd.isOpen()) {
        driver.Reached();
        if (!FinishWaveform(vcd, driver.SessionCycle(), problem)) return Fail(problem.message);
    }
    return 0;
}
