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
namespace {

constexpr OptionSpec kDisasmOptions[] = {
    kFamilyOption,
    {"--wreg", "", "name register 1 WREG instead of RTCC"},
    {"--source", "", "write a source that korvid asm turns back into the same program words, ID and fuse words"},
    {"-o", "OUT.src", "with --source: the file to write (default: standard output)"},
};

int RunDisasm(const std::vector<std::string>& args) {
    Options options = Options::Of("disasm", args);
    if (!options.ok()) return UsageError("disasm", options.error());
    if (options.Operands().size() != 1) return UsageError("disasm", "expected one file");
    const bool source = options.Flag("--source");
    const auto out = options.Value("-o");
    if (out && !source) return UsageError("disasm", "-o goes with --source");
    if (source && options.Flag("--wreg")) return UsageError("disasm", "--wreg does not go with --source");
    const Family* family = FamilyOption(options);
    if (!family) return kExitUsage;
    const std::string path = options.Operands()[0];
    if (out && !OutputsAreDistinct("disasm", {path}, {{"-o", *out}})) return kExitUsage;

    CoreSession session(*family);
    if (!LoadProgramImage(session, path)) return kExitFailure;
    const AssemblyState& s = *session.state;
    if (source) {
        const DisassemblySource text = DisassembleSource(*family, s.ChipImage);
        for (const std::string& problem : text.problems)
            std::fprintf(stderr, "%s: %s: warning: %s\n", kProgramName, path.c_str(), problem.c_str());
        return WriteOutput(out.value_or(std::string(kStdStreamName)), text.text) ? kExitOk : kExitFailure;
    }
    const std::uint8_t wreg = options.Flag("--wreg") ? 1 : 0;
    const int size = ProgramSize(*family, s.ChipImage[kExtFuseIndex]);
    for (int a = 0; a < size; ++a) {
        std::uint16_t word = s.ChipImage[std::size_t(a)];
        if (!(word & kDataFlag)) continue;
        std::printf("%03X- %03X  %s\n", unsigned(a), unsigned(word & kWordMask), DisassembleWord(s, a, wreg));
    }
    return kExitOk;
}

}  // namespace

KORVID_COMMAND("disasm", "[--family 28l|52] [--wreg] FILE.sxh|FILE.src | --source FILE.sxh|FILE.src [-o OUT.src]",
               RunDisasm,
               "Prints the used program words of a hex file (or an assembled source): address, word and instruction; "
               "or, with --source, the image as a source to assemble.",
               kDisasmOptions);

}  // namespace korvid::cli
