#include "apps/korvid/CommandTable.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "apps/common/SimOptions.h"
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CmdDeviceCommon.h"
#include "platform/PortName.h"

namespace korvid::cli {

void PrintError(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kProgramName, message.c_str()); }

namespace {

constexpr OptionSpec kAsmOptions[] = {
    kFamilyOption,
    {"-o", "OUT.sxh", "the hex file (default: beside the source with .sxh; - for standard output)"},
    {"-l", "OUT.lst", "also write the listing"},
};
constexpr OptionSpec kCyclesOptions[] = {
    kFamilyOption,
    {"--json", "", "give the spans, routines and the interrupt routine as one JSON document"},
};
constexpr OptionSpec kDapOptions[] = {
    {"--stdio", "", "talk to the client on standard input and output (the default)"},
    {"--port", "N", "listen on 127.0.0.1 port N (1 to 65535) and serve the first client that connects"},
};
constexpr OptionSpec kDebugOptions[] = {
    {"--no-program", "", "do not program the chip: it already holds this program's debug image"},
    kPortOption,
    kFamilyOption,
};
constexpr OptionSpec kDebugImageOptions[] = {
    kFamilyOption,
    {"--freq", "HZ", "the chip's clock for the kernel's serial timing (400000 to 110000000; default the source's FREQ)"},
    {"-o", "OUT.sxh", "write the prepared image as a hex file instead of the summary"},
};
constexpr OptionSpec kDeviceOptions[] = {kPortOption, kFamilyOption};
constexpr OptionSpec kProgramOptions[] = {
    {"--run", "", "start the clock and let the chip run once it is programmed"},
    {"--irc", "slowest|4mhz|fastest", "calibrate the internal RC oscillator to this (over the source's IRC_CAL)"},
    kPortOption,
    kFamilyOption,
};
constexpr OptionSpec kReadOptions[] = {
    {"-o", "OUT.sxh", "the hex file to write (required)"},
    kPortOption,
    kFamilyOption,
};
constexpr OptionSpec kDisasmOptions[] = {
    kFamilyOption,
    {"--wreg", "", "name register 1 WREG instead of RTCC"},
    {"--source", "", "write a source that korvid asm turns back into the same program words, ID and fuse words"},
    {"-o", "OUT.src", "with --source: the file to write (default: standard output)"},
};
constexpr OptionSpec kHexOptions[] = {kFamilyOption};
constexpr OptionSpec kLspOptions[] = {
    {"--stdio", "", "talk to the editor on standard input and output (the only way; clients pass it)"},
};
constexpr OptionSpec kTestOptions[] = {
    {"-j", "N", "run N files at a time, each in a process of its own (default: the number of processors)", "--jobs"},
    {"--junit", "OUT.xml", "also write the results as JUnit XML"},
    {"--vcd-dir", "DIR", "write a waveform of each failing test into DIR"},
};

// korvid sim's options in the order the help lists them; the stimulus and
// waveform rows are the ones korvid-sim takes too.
std::vector<OptionSpec> SimOptionRows() {
    std::vector<OptionSpec> rows = {
        kFamilyOption,
        {"--cycles", "N", "run N instruction cycles"},
        {"--for", "TIME", "run for a time: 10us, 2.5ms, 1s, 2000c (cycles)"},
        {"--until-break", "", "run until the source's BREAK address executes (at most 10 s without a limit)"},
        {"--clock", "HZ", "the chip's clock (default the source's FREQ, else 50 MHz)"},
    };
    for (const OptionSpec& o : SimFileOptions()) rows.push_back(o);
    const OptionSpec more[] = {
        {"--vcd-reg", "REG,...", "registers to show in the waveform as 8-bit values (W, FSR, a symbol, an address)"},
        {"--gtkw", "OUT.gtkw", "a GTKWave save file that opens the waveform with its signals"},
        {"--uart-out", "PIN:BAUD", "decode 8N1 serial output on a pin to standard output (RB.6:9600)"},
        {"--serial", "RXPIN,TXPIN:BAUD",
         "give the chip a serial port on a pseudo-terminal (RB.7,RB.6:9600), paced to real time"},
        {"--serial-link", "PATH", "a symbolic link to that terminal"},
    };
    rows.insert(rows.end(), std::begin(more), std::end(more));
    return rows;
}
const std::vector<OptionSpec> kSimOptions = SimOptionRows();

constexpr OperandCount kOneSource{1, 1, "expected one source file"};
constexpr OperandCount kOneProgram{1, 1, "expected one source or hex file"};
constexpr OperandCount kNone{0, 0};

const Command kCommands[] = {
    {"asm", "[--family 28l|52] FILE.src [-o OUT.sxh] [-l OUT.lst]", RunAsm,
     "Assembles a source (- for standard input) into an SXH hex file.", kAsmOptions, kOneSource},
    {"clock", "HZ|off [--port COMn|PATH] [--family 28l|52]", RunClock,
     "Sets the tool's clock generator to a frequency (4000000, 4M, 400k; 400 kHz to 110 MHz) or stops it.",
     kDeviceOptions, {1, 1, "expected a frequency in Hz or off"}},
    {"cycles", "[--family 28l|52] [--json] FILE [FROM..TO ...]", RunCycles,
     "Gives the fewest and most cycles of each span FROM..TO over every path (labels, LABEL:local or addresses); "
     "without spans each called routine and the interrupt routine against its period.",
     kCyclesOptions, {1, kAnyNumber, "expected a source file"}},
    {"dap", "[--stdio | --port N]", RunDap,
     "Serves the Debug Adapter Protocol to an editor: a program debugged on the emulator or, through korvid-sim or a "
     "real tool, on the chip.",
     kDapOptions, kNone},
    {"debug", "FILE.src [--no-program] [--port COMn|PATH] [--family 28l|52]", RunDebug,
     "Debugs a program on the chip from a script: assembles it, programs the debug image, resets the chip and reads "
     "commands from standard input; every halt prints the program counter, its instruction and its listing line.",
     kDebugOptions, kOneSource, ScriptWordHelp},
    {"debugimage", "[--family 28l|52] [--freq HZ] FILE.src|FILE.sxh [-o OUT.sxh]", RunDebugImage,
     "Prepares a program for in-circuit debugging as the Debug command does and shows (or writes) the image that "
     "would be programmed.",
     kDebugImageOptions, kOneProgram},
    {"disasm", "[--family 28l|52] [--wreg] FILE.sxh|FILE.src | --source FILE.sxh|FILE.src [-o OUT.src]", RunDisasm,
     "Prints the used program words of a hex file (or an assembled source): address, word and instruction; or, with "
     "--source, the image as a source to assemble.",
     kDisasmOptions, {1, 1, "expected one file"}},
    {"erase", "[--port COMn|PATH] [--family 28l|52]", RunErase, "Erases the chip.", kDeviceOptions, kNone},
    {"hex", "[--family 28l|52] FILE.sxh", RunHex,
     "Shows what an SXH file holds: the configuration words, the ID, the program size and the highest used address.",
     kHexOptions, {1, 1, "expected one hex file"}},
    {"lsp", "[--stdio]", RunLsp,
     "Serves SX sources to an editor over the Language Server Protocol: errors as you type, SX checks, hover, "
     "navigation, rename, outline, completion.",
     kLspOptions, kNone},
    {"program", "FILE.src|FILE.sxh [--run] [--irc slowest|4mhz|fastest] [--port COMn|PATH] [--family 28l|52]",
     RunProgram, "Assembles a source (or loads a hex file) and programs the chip with it.", kProgramOptions,
     kOneProgram},
    {"read", "-o OUT.sxh [--port COMn|PATH] [--family 28l|52]", RunRead, "Reads the chip into an SXH file.",
     kReadOptions, kNone},
    {"sim",
     "FILE.src|FILE.sxh [--family 28l|52] [--cycles N | --for TIME] [--clock HZ] [--stimulus FILE] "
     "[--vcd OUT.vcd [--vcd-reg REG,...] [--gtkw OUT.gtkw] [--vcd-limit SIZE]] [--uart-out PIN:BAUD] "
     "[--until-break] [--serial RXPIN,TXPIN:BAUD [--serial-link PATH]]",
     RunSim,
     "Runs a program on the emulated chip from a power-on reset and prints the registers, the cycles and the time at "
     "the end.",
     kSimOptions, kOneProgram},
    {"test", "[-j N] [--junit OUT.xml] [--vcd-dir DIR] [FILE.test|FOLDER...]", RunTest,
     "Runs firmware test files (NAME.test, or every *.test under the folders given; default .) on the emulator and "
     "says which pass.",
     kTestOptions, {0, kAnyNumber}},
    {"verify", "FILE.src|FILE.sxh [--port COMn|PATH] [--family 28l|52]", RunVerify,
     "Reads the chip and compares it with a source or hex file, part by part (exit status 3 when they differ).",
     kDeviceOptions, kOneProgram},
};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(std::string_view name) {
    for (const Command& c : kCommands)
        if (c.name == name) return &c;
    return nullptr;
}

int RunCommand(const Command& command, const std::vector<std::string>& args) {
    const Options options = Options::Of(command.name, args);
    const std::string name(command.name);
    if (!options.ok()) return UsageError(name, options.error());
    const std::vector<std::string>& operands = options.Operands();
    const OperandCount& count = command.operands;
    if (operands.size() > count.max && count.max == 0) return UsageError(name, "unexpected argument " + operands[0]);
    if (operands.size() < count.min || operands.size() > count.max) return UsageError(name, std::string(count.wrong));
    if (!FamilyOption(options)) return kExitUsage;
    const bool takesPort = std::any_of(command.options.begin(), command.options.end(), [](const OptionSpec& o) {
        return o.name == kPortOption.name && o.value == kPortOption.value;
    });
    if (takesPort && !IsValidPortName(PortOption(options)))
        return UsageError(name, "--port takes COM1 to COM4 or a device path");
    return command.run(options);
}

std::vector<OptionSpec> OptionsOf(const Command& command) {
    std::vector<OptionSpec> rows;
    bool dialect = false;
    for (const OptionSpec& o : command.options) dialect = dialect || o.name == kDialectOption.name;
    for (const OptionSpec& o : command.options) {
        rows.push_back(o);
        if (o.name == kFamilyOption.name && !dialect) rows.push_back(kDialectOption);
    }
    return rows;
}

// A paragraph in lines of at most 79 characters, broken between words.
static std::string Wrapped(std::string_view text) {
    std::string out, line;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(at, end - at);
        if (!line.empty() && line.size() + 1 + word.size() > 79) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + std::string(word);
        at = end + 1;
    }
    return out + line + "\n";
}

std::string CommandHelp(const Command& command) {
    std::string text = "usage: " + std::string(kProgramName) + " " + std::string(command.name) + " " +
                       std::string(command.usage) + "\n";
    if (!command.summary.empty()) text += "\n" + Wrapped(command.summary);
    std::vector<OptionSpec> rows = OptionsOf(command);
    rows.push_back({"-h", "", "this help", "--help"});
    text += "\noptions:\n" + OptionHelpLines(rows);
    if (command.moreHelp) text += "\n" + command.moreHelp();
    return text;
}

}  // namespace korvid::cli
