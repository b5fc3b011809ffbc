// Arbitrary bytes as a firmware test file: its statements are read and
// resolved against a small program with an interrupt, and a test that
// resolves runs for a few thousand cycles at most, so that every check's
// pin windows, decoders, halts and span counters see what the file asks.
#include <algorithm>
#include <cctype>
#include <string>

#include "core/asm/Assembler.h"
#include "sim/FirmwareTest.h"
#include "sim/SimSetup.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr const char* kProgram =
    " DEVICE SX28L, TURBO, STACKX_OPTIONX\r RESET start\r count EQU 08h\r ORG 0\r"
    "isr INC count\r isr_end MOV W,#-50\r RETIW\r"
    "start MOV !OPTION,#%1000_1000\r MOV !RB,#0\r"
    "main MOV W,count\r MOV RB,W\r SB count.3\r BREAK\r JMP main\r"
    "trap JMP trap\r";

const korvid::AssemblyState& Program() {
    static korvid::fuzz::Session& session = [] () -> korvid::fuzz::Session& {
        korvid::fuzz::Session& s = korvid::fuzz::SessionFor(0);
        static std::string source = kProgram;
        s.state.SourceText = source.c_str();
        korvid::Assemble(s.state);
        return s;
    }();
    return session.state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvid;
    const AssemblyState& s = Program();
    const std::string text(reinterpret_cast<const char*>(data), size);
    FirmwareTest test;
    std::vector<StimulusError> errors;
    if (!ParseFirmwareTest(text, test, errors)) return 0;

    SxCpu cpu(Sx28lFamily());
    LoadCpuFromImage(cpu, Sx28lFamily(), s.ChipImage, test.freqHz ? test.freqHz : kDefaultClockFrequency);
    const SimTimeBase base = TimeBaseOf(cpu);
    ProgramNames names;
    names.registerAddress = [&](const std::string& name) {
        const auto address = FindRegister(s, name);
        return address && IsRegisterNumber(*address) ? static_cast<int>(*address) : -1;
    };
    names.labelAddress = [&](const std::string& name) {
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto v = FindSymbol(s, upper);
        return v ? static_cast<int>(*v) : -1;
    };
    names.breakAddress = s.BreakAddress == kNoBreak ? -1 : s.BreakAddress;
    names.programSize = cpu.config().programSize;
    if (!ResolveFirmwareTest(text, test, StimulusPins::Of(Sx28lFamily(), cpu.portCount()), names, base, errors))
        return 0;
    // A few thousand cycles of whatever run the file asks for.
    test.runTime.value = std::min<std::uint64_t>(test.runTime.value, test.runTime.cycles ? 5'000 : 100'000'000);
    test.hasWithin = true;
    const FirmwareTestOutcome outcome = RunFirmwareTest(cpu, test, base);
    for (const CheckOutcome& c : outcome.checks) (void)c.message.size();
    return 0;
}
