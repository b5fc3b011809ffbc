// Helpers shared by the commands of the `korvid` tool: option parsing, a
// core state with its list buffer, source loading as the editor hands text
// to the assembler, error locations, and loading a program image from a
// source or hex file.
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

// "standard input" for "-", else the path: the name messages use.
std::string DisplayName(const std::string& path);

// Reads a source file ("-": standard input) and turns it into the text the assembler takes: CR LF
// and bare LF become CR, other control bytes except TAB are removed.
bool LoadSource(const std::string& path, std::string& text, std::string& message);
void NormalizeSource(std::string& text);

// 1-based line and column of a byte offset in CR-separated text.
struct TextPosition {
    int line;
    int column;
};
TextPosition PositionOf(const std::string& text, std::uint32_t offset);

// Loads and assembles `path` into session.state. On an assembly error
// prints "FILE:LINE:COLUMN: error: MESSAGE" on stderr; on a file error prints
// "korvid: MESSAGE". Returns true on success.
bool AssembleFile(CoreSession& session, const std::string& path);

// Loads a hex file into the device image (LoadHexFile). Prints a refusal or
// violation and returns false; a missing-fuse warning is printed as
// "korvid: FILE: warning: ..." and accepted.
bool LoadHexImage(CoreSession& session, const std::string& path);

// Loads a program image for a device command: FILE.src (or any name not
// ending in .sxh/.hex/.obj) is assembled; a hex file is loaded with LoadHex
// and adopted as the chip image, as the Device window does. Prints its own
// errors; a hex warning is printed as "korvid: FILE: warning: ..." and accepted.
bool LoadProgramImage(CoreSession& session, const std::string& path);

// True when the name ends in .sxh, .hex or .obj (any case).
bool IsHexFileName(const std::string& path);

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
