// Helpers shared by the commands of the `korvid` tool: option parsing, a
// core state with its list buffer, loading a program image (a source or a
// hex file) and saying its diagnostics.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "apps/common/CommandOptions.h"
#include "apps/common/OutputClash.h"
#include "core/asm/AssemblyState.h"
#include "core/image/FileIo.h"
#include "session/ProgramSession.h"

namespace korvid::cli {

// The programs' option scanner; every command that takes --family also
// takes --dialect (the assembler's dialect).
class Options : public CommandOptions {
public:
    Options(const std::vector<std::string>& args, const std::vector<std::string>& withValue,
            const std::vector<std::string>& flags = {})
        : CommandOptions(args, WithDialect(withValue), flags) {}
    // The options of the command's row in the command table (OptionsOf), the
    // rows its help lists.
    static Options Of(std::string_view command, const std::vector<std::string>& args);

private:
    struct FromTable {};
    Options(FromTable, std::span<const OptionSpec> rows, const std::vector<std::string>& args)
        : CommandOptions(args, rows) {}
    static std::vector<std::string> WithDialect(std::vector<std::string> withValue);
};

// "--family 28l|52" (default 28l); nullptr and a message on stderr when the
// value is unknown.
const Family* FamilyOption(const Options& options);

// Prints "korvid NAME: MESSAGE" and the usage line; returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

// A core state with its own 500,000-byte list buffer, as the main window
// sets it up.
struct CoreSession {
    explicit CoreSession(const Family& family);
    std::unique_ptr<AssemblyState> state;
    std::vector<char> listBuffer;
    std::string source;  // the text handed to the assembler (NUL after it)
};

// Source text as the assembler takes it (AssemblerText, control bytes removed).
void NormalizeSource(std::string& text);

// The program choices of the options: --family and --dialect when given
// (FamilyOption has checked their values).
SettingsRequest ProgramChoice(const Options& options);

// The diagnostics as the command line says them: located lines as
// "FILE:LINE:COLUMN: error: ...", the others after "korvid: ".
std::string DiagnosticLines(const std::vector<Diagnostic>& diagnostics);

// Loads a program for a command (ProgramSession: a source is assembled, a
// hex file loaded and adopted as the chip image, as the Device window
// does) in the family and dialect of the options, the source's korvid
// comment, its DEVICE line or the default. Prints the diagnostics on
// stderr; false when the program cannot be used. Without `listing` a
// source is assembled without list text (only the image is wanted).
bool LoadProgramImage(ProgramSession& session, const SettingsRequest& choice, const std::string& path,
                      std::optional<ProgramKind> kind = std::nullopt, bool listing = true);

// Writes the outputs of a command, all or none (WriteFilesAtomically; "-"
// is standard output); prints "korvid: MESSAGE" on failure.
bool WriteOutput(const std::string& path, const std::string& data);
bool WriteOutputs(const std::vector<OutputFile>& files);

// False, with "korvid CMD: ..." on stderr, when an output is one of the
// inputs or two outputs are one file (same device and inode, links and
// "./" spellings included). Call it before reading or writing anything;
// the command then exits with kExitUsage. `inputKind` names what the inputs
// are in the message ("the input file", "the port").
bool OutputsAreDistinct(const std::string& command, const std::vector<std::string>& inputs,
                        const std::vector<NamedOutput>& outputs, const std::string& inputKind = "the input file");

}  // namespace korvid::cli
