// korvid debugimage: prepares a program for in-circuit debugging as the
// Debug command does and shows (or writes, with -o) the device image that
// would be programmed: kernel, stub and redirected reset jump.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "core/image/DebugImage.h"
#include "core/image/DebugKernel.h"
#include "core/image/HexFile.h"

namespace korvid::cli {
namespace {

// The message with its CR LF line ends as plain line ends.
std::string PlainLines(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p)
        if (*p != '\r') out += *p;
    return out;
}

bool ParseFrequency(const std::string& text, std::uint32_t& hz) {
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || v < 400000 || v > 110000000) return false;
    hz = std::uint32_t(v);
    return true;
}

void PrintSummary(const AssemblyState& s) {
    const Image& d = s.DeviceImage;
    const int size = ProgramSize(*s.family, d[kExtFuseIndex]);
    const int stub = d[std::size_t(size - 1)] & 0x1FF;
    const bool turbo = s.family->fuseOn(FuseField::Turbo, {d[kFuseIndex], d[kExtFuseIndex]});
    const KernelDelay delay = ComputeKernelDelay(s.ClockFrequency, turbo);
    std::printf("program size:   %d words\n", size);
    std::printf("fuse word:      0x%03X\n", d[kFuseIndex] & kWordMask);
    std::printf("clock:          %u Hz, %s mode\n", s.ClockFrequency, turbo ? "turbo" : "compatible");
    std::printf("kernel:         0x%03X to 0x%03X, entry 0x%03X\n", size - 137, size - 2, size - 137 + kKernelEntryWord);
    std::printf("stub:           0x%03X (PAGE, JMP)\n", stub);
    std::printf("reset word:     0x%03X (program's own: 0x%03X)\n", d[std::size_t(size - 1)] & kWordMask,
                d[std::size_t(size - 3)] & kWordMask);
    if (delay.longForm)
        std::printf("bit delay:      16-bit form, count complement 0x%02X%02X\n", delay.high, delay.low);
    else
        std::printf("bit delay:      8-bit form, count 0x%02X, trim %u\n", delay.low, delay.high);
}

}  // namespace

int RunDebugImage(const Options& options) {

    const std::string path = options.Operands()[0];
    if (auto out = options.Value("-o"))
        if (!OutputsAreDistinct("debugimage", {path}, {{"-o", *out}})) return kExitUsage;
    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), path)) return kExitFailure;
    AssemblyState& s = session.state();
    if (auto freq = options.Value("--freq")) {
        if (!ParseFrequency(*freq, s.ClockFrequency))
            return UsageError("debugimage", "--freq takes a frequency from 400000 to 110000000 Hz");
    }
    PrepareDebugImage(s);
    if (s.ErrorFlag) {
        PrintError(path + ": " + PlainLines(s.ErrorMessage));
        return kExitFailure;
    }
    auto out = options.Value("-o");
    if (!out) {
        PrintSummary(s);
        return kExitOk;
    }
    // SaveHex writes the chip image: hand it the prepared device image.
    s.ChipImage = s.DeviceImage;
    if (!SaveHex(s)) {
        PrintError("the list buffer is too small for the hex text");
        return kExitFailure;
    }
    return WriteOutput(*out, std::string(s.ListText, s.ListLength)) ? kExitOk : kExitFailure;
}

}  // namespace korvid::cli
