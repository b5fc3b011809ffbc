// korvid-sim: the simulated tool on a pseudo-terminal. Prints the slave's
// path (and links it to --link PATH), then answers a client that opens it
// like a serial port, until it is terminated.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include <memory>

#include "family/Family.h"
#include "core/image/FileIo.h"
#include "sim/ChipSerialPort.h"
#include "sim/PtyBridge.h"
#include "sim/SimDriver.h"
#include "sim/Stimulus.h"
#include "sim/ToolDebug.h"
#include "sim/ToolFirmware.h"
#include "sim/VcdWriter.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: korvid-sim [--family 28l|52] [--baud 57600|19200] [--brandel] [--firmware N]\n"
    "                  [--seed N] [--irc-offset X] [--link PATH] [--fast] [--verbose] [--trace]\n"
    "                  [--stimulus FILE] [--vcd OUT.vcd] [--serial RXPIN,TXPIN:BAUD [--serial-link PATH]]\n"
    "  faults: [--fail-status N --fail-after K] [--silent-after K] [--bad-detect I]\n"
    "          [--garbage-after K]\n";

bool ParseNumber(const char* text, long min, long max, long& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 0);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    value = v;
    return true;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "korvid-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvid;
    const Family* family = &Sx28lFamily();
    ToolOptions options;
    long baud = 57600;
    double ircOffset = 0.03;
    std::string linkPath;
    bool verbose = false;
    bool trace = false;
    bool fast = false;
    std::string stimulusPath, vcdPath, serialLink;
    SerialPins serialPins;
    bool serial = false;

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        long v = 0;
        auto number = [&](long min, long max) {
            if (!ParseNumber(next, min, max, v)) return false;
            ++i;
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--family") {
            family = next ? FamilyByName(next) : nullptr;
            if (!family) return Usage("--family takes 28l or 52");
            ++i;
        } else if (a == "--baud") {
            if (!number(0, 1000000) || (v != 57600 && v != 19200)) return Usage("--baud takes 57600 or 19200");
            baud = v;
        } else if (a == "--brandel") {
            options.brandel = true;
        } else if (a == "--firmware") {
            if (!number(0, 255)) return Usage("--firmware takes a version 0 to 255");
            options.firmwareVersion = static_cast<std::uint8_t>(v);
        } else if (a == "--seed") {
            if (!number(0, 0xFFFF)) return Usage("--seed takes a number 0 to 0xFFFF");
            options.seed = static_cast<std::uint16_t>(v);
        } else if (a == "--irc-offset") {
            char* end = nullptr;
            ircOffset = next ? std::strtod(next, &end) : 0;
            if (!next || *end != '\0' || !(ircOffset > -0.5 && ircOffset < 0.5))
                return Usage("--irc-offset takes a fraction between -0.5 and 0.5");
            ++i;
        } else if (a == "--link") {
            if (!next) return Usage("--link takes a path");
            linkPath = next;
            ++i;
        } else if (a == "--serial") {
            if (!next || !ParseSerialPins(next, serialPins)) return Usage("--serial takes RXPIN,TXPIN:BAUD (RB.7,RB.6:9600)");
            serial = true;
            ++i;
        } else if (a == "--serial-link") {
            if (!next) return Usage("--serial-link takes a path");
            serialLink = next;
            ++i;
        } else if (a == "--stimulus" || a == "--vcd") {
            if (!next) return Usage(a + " takes a file name");
            (a == "--vcd" ? vcdPath : stimulusPath) = next;
            ++i;
        } else if (a == "--fast") {
            fast = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (a == "--trace") {
            trace = true;
        } else if (a == "--fail-status") {
            if (!number(0, 255)) return Usage("--fail-status takes a status byte 0 to 255");
            options.failStatus = static_cast<int>(v);
        } else if (a == "--fail-after") {
            if (!number(0, 1L << 30)) return Usage("--fail-after takes a count");
            options.failAfterStatuses = v;
        } else if (a == "--silent-after") {
            if (!number(0, 1L << 30)) return Usage("--silent-after takes a byte count");
            options.silentAfterBytes = v;
        } else if (a == "--bad-detect") {
            if (!number(0, 5)) return Usage("--bad-detect takes a character index 0 to 5");
            options.badDetectIndex = static_cast<int>(v);
        } else if (a == "--garbage-after") {
            if (!number(0, 1L << 30)) return Usage("--garbage-after takes a byte count");
            options.garbageAfterBytes = v;
        } else {
            return Usage("unknown option '" + a + "'");
        }
    }

    // The chip's pins in the debug session: driven on a schedule, and a
    // waveform of them. Both files are checked before the tool starts.
    const StimulusPins pins = StimulusPins::Of(*family, family->is52() ? 5 : 3);
    if (!serialLink.empty() && !serial) return Usage("--serial-link needs --serial");
    if (serial && (!(pins.bonded[serialPins.rxPort] & (1u << serialPins.rxBit)) ||
                   !(pins.bonded[serialPins.txPort] & (1u << serialPins.txBit))))
        return Usage("--serial: the chip has no such pin");
    Stimulus stimulus;
    if (!stimulusPath.empty()) {
        std::string text, reason;
        const ReadResult r = ReadFileToString(stimulusPath, text, 64u << 20, &reason);
        if (r != ReadResult::Ok) {
            std::fprintf(stderr, "korvid-sim: cannot read %s: %s\n", stimulusPath.c_str(),
                         r == ReadResult::TooLarge ? "larger than 64 MB" : reason.c_str());
            return 1;
        }
        std::vector<StimulusError> errors;
        // Timing at the tool's initial 50 MHz (the session's clock may differ).
        if (!ParseStimulus(text, pins, stimulus, errors) || !CheckStimulusTiming(stimulus, {}, errors)) {
            for (const StimulusError& e : errors)
                std::fprintf(stderr, "%s:%d:%d: error: %s\n", stimulusPath.c_str(), e.line, e.column,
                             e.message.c_str());
            return 1;
        }
    }
    VcdWriter vcd;
    if (!vcdPath.empty()) {
        std::string message;
        if (!vcd.Open(vcdPath, family->is52() ? "SX52" : "SX28L", pins, {}, message)) {
            std::fprintf(stderr, "korvid-sim: %s\n", message.c_str());
            return 1;
        }
    }

    ToolFirmware firmware(*family, options);
    firmware.Chip().ircOffset = ircOffset;
    ToolDebugRunner debugRunner(*family);  // runs the chip's program on the emulator
    debugRunner.realTime = true;            // in step with the time that passes
    firmware.SetRunner(&debugRunner);
    SimDriver driver(debugRunner.Cpu(), stimulus, {debugRunner.clockHz, 1});
    if (vcd.isOpen()) driver.AddSink(&vcd);
    // The chip's own serial port on a second terminal, served as the
    // debugged program runs (in step with real time).
    std::unique_ptr<ChipSerialPort> serialPort;
    if (serial) {
        serialPort = std::make_unique<ChipSerialPort>(serialPins, SimTimeBase{debugRunner.clockHz, 1});
        std::string why;
        if (!serialPort->Open(&why) || (!serialLink.empty() && !ClaimLink(serialLink, serialPort->SlavePath(), &why))) {
            std::fprintf(stderr, "korvid-sim: --serial: %s\n", why.c_str());
            return 1;
        }
        serialPort->Attach(driver);
    }
    if (!stimulusPath.empty() || vcd.isOpen() || serial) debugRunner.SetDriver(&driver);
    PtyBridge bridge(firmware, static_cast<std::uint32_t>(baud));
    std::string reason;
    if (!bridge.Open(&reason)) {
        std::fprintf(stderr, "korvid-sim: %s\n", reason.c_str());
        return 1;
    }
    if (!linkPath.empty() && !ClaimLink(linkPath, bridge.SlavePath(), &reason)) {
        std::fprintf(stderr, "korvid-sim: %s\n", reason.c_str());
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);  // its terminal closed: the link and the waveform are cleaned up all the same
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", bridge.SlavePath().c_str());
    if (serialPort) std::printf("%s\n", serialPort->SlavePath().c_str());  // the chip's serial port
    std::fflush(stdout);
    if (trace) bridge.SetTrace(stderr);
    bridge.SetPaced(!fast);  // --fast: answers at once instead of at the line's pace
    bridge.Run(g_stop, verbose ? stderr : nullptr);
    if (!linkPath.empty()) ReleaseLink(linkPath, bridge.SlavePath());
    if (serialPort && !serialLink.empty()) ReleaseLink(serialLink, serialPort->SlavePath());
    if (vcd.isOpen()) {
        driver.Reached();
        std::string message;
        if (!vcd.Commit(driver.SessionCycle(), message)) {
            std::fprintf(stderr, "korvid-sim: %s\n", message.c_str());
            return 1;
        }
    }
    return 0;
}
