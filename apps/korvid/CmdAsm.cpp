// korvid asm: assemble a source file into an SXH file and, on request, a
// listing file.
#include <cstdio>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "core/image/HexFile.h"
#include "session/SourceText.h"

namespace korvid::cli {
namespace {

// Beside the source with the .sxh extension; a source read from standard
// input has no name to put it beside, so its hex goes to standard output.
std::string DefaultHexName(const std::string& source) {
    if (source == kStdStreamName) return std::string(kStdStreamName);
    auto slash = source.rfind('/');
    auto dot = source.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return source.substr(0, dot) + ".sxh";
    return source + ".sxh";
}

}  // namespace

int RunAsm(const Options& options) {

    const std::string source = options.Operands()[0];
    const std::string hexPath = options.Value("-o").value_or(DefaultHexName(source));
    std::vector<NamedOutput> outputs = {{"-o", hexPath}};
    if (auto l = options.Value("-l")) outputs.push_back({"-l", *l});
    if (!OutputsAreDistinct("asm", {source}, outputs)) return kExitUsage;

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), source, ProgramKind::Source, options.Value("-l").has_value()))
        return kExitFailure;

    AssemblyState& s = session.state();
    std::string listing;
    if (options.Value("-l")) listing = ListingForDisk(std::string_view(s.ListText, s.ListLength));
    if (!SaveHex(s)) {
        PrintError("the list buffer cannot hold the hex text");
        return kExitFailure;
    }
    const std::string hex(s.ListText, s.ListLength);
    std::vector<OutputFile> files = {{hexPath, hex}};
    if (outputs.size() > 1) files.push_back({outputs[1].path, listing});
    if (!WriteOutputs(files)) return kExitFailure;
    return kExitOk;
}

}  // namespace korvid::cli
