// korvid disasm: the used program words of an SXH file (or an assembled
// source) as the Registers window shows them: address, "- ", the word, and
// the instruction text; with --source, a source that assembles back into
// the same image.
#include <cstdio>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "core/image/Disassembler.h"
#include "core/image/DisassemblySource.h"

namespace korvid::cli {
int RunDisasm(const Options& options) {
    const bool source = options.Flag("--source");
    const auto out = options.Value("-o");
    if (out && !source) return UsageError("disasm", "-o goes with --source");
    if (source && options.Flag("--wreg")) return UsageError("disasm", "--wreg does not go with --source");
    const std::string path = options.Operands()[0];
    if (out && !OutputsAreDistinct("disasm", {path}, {{"-o", *out}})) return kExitUsage;

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), path)) return kExitFailure;
    const AssemblyState& s = session.state();
    if (source) {
        const DisassemblySource text = DisassembleSource(session.family(), s.ChipImage);
        for (const std::string& problem : text.problems)
            std::fprintf(stderr, "%s: %s: warning: %s\n", kProgramName, path.c_str(), problem.c_str());
        return WriteOutput(out.value_or(std::string(kStdStreamName)), text.text) ? kExitOk : kExitFailure;
    }
    const std::uint8_t wreg = options.Flag("--wreg") ? 1 : 0;
    const int size = ProgramSize(session.family(), s.ChipImage[kExtFuseIndex]);
    for (int a = 0; a < size; ++a) {
        std::uint16_t word = s.ChipImage[std::size_t(a)];
        if (!(word & kDataFlag)) continue;
        std::printf("%03X- %03X  %s\n", unsigned(a), unsigned(word & kWordMask), DisassembleWord(s, a, wreg));
    }
    return kExitOk;
}

}  // namespace korvid::cli
