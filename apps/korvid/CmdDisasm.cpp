// korvid disasm: the used program words of an SXH file (or an assembled
// source) as the Registers window shows them: address, "- ", the word, and
// the instruction text.
#include <cstdio>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "core/image/Disassembler.h"

namespace korvid::cli {
namespace {

int RunDisasm(const std::vector<std::string>& args) {
    Options options(args, {"--family"}, {"--wreg"});
    if (!options.ok()) return UsageError("disasm", options.error());
    if (options.Operands().size() != 1) return UsageError("disasm", "expected one file");
    const Family* family = FamilyOption(options);
    if (!family) return kExitUsage;

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), options.Operands()[0])) return kExitFailure;
    const AssemblyState& s = session.state();
    const std::uint8_t wreg = options.Flag("--wreg") ? 1 : 0;
    const int size = ProgramSize(session.family(), s.ChipImage[kExtFuseIndex]);
    for (int a = 0; a < size; ++a) {
        std::uint16_t word = s.ChipImage[std::size_t(a)];
        if (!(word & kDataFlag)) continue;
        std::printf("%03X- %03X  %s\n", unsigned(a), unsigned(word & kWordMask), DisassembleWord(s, a, wreg));
    }
    return kExitOk;
}

}  // namespace

KORVID_COMMAND("disasm", "[--family 28l|52] [--wreg] FILE.sxh|FILE.src", RunDisasm);

}  // namespace korvid::cli
