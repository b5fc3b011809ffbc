#include "apps/korvid/CliSupport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "apps/korvid/CommandTable.h"
#include "core/asm/Assembler.h"
#include "core/image/FileIo.h"
#include "core/image/HexFile.h"

namespace korvid::cli {

std::vector<std::string> Options::WithDialect(std::vector<std::string> withValue) {
    if (std::find(withValue.begin(), withValue.end(), "--family") != withValue.end()) withValue.push_back("--dialect");
    return withValue;
}

Options Options::Of(std::string_view command, const std::vector<std::string>& args) {
    const Command* c = FindCommand(command);
    const std::vector<OptionSpec> rows = c ? OptionsOf(*c) : std::vector<OptionSpec>{};
    return Options(FromTable{}, rows, args);
}

namespace {
// The dialect chosen with --dialect; sessions of this command assemble in it.
Dialect g_dialect = Dialect::Strict;
}  // namespace

const Family* FamilyOption(const Options& options) {
    std::string dialect = options.Value("--dialect").value_or("strict");
    if (!DialectByName(dialect, g_dialect)) {
        std::fprintf(stderr, "korvid: unknown dialect '%s' (use strict or extended)\n", dialect.c_str());
        return nullptr;
    }
    std::string name = options.Value("--family").value_or("28l");
    const Family* family = FamilyByName(name);
    if (!family) std::fprintf(stderr, "korvid: unknown family '%s' (use 28l or 52)\n", name.c_str());
    return family;
}

int UsageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "korvid %s: %s\n", command.c_str(), message.c_str());
    for (const Command& c : Commands())
        if (c.name == command)
            std::fprintf(stderr, "usage: korvid %.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.usage.size()),
                         c.usage.data());
    return kExitUsage;
}

CoreSession::CoreSession(const Family& family)
    : state(std::make_unique<AssemblyState>(family)), listBuffer(kDefaultListCapacity) {
    state->ListText = listBuffer.data();
    state->ListCapacity = kDefaultListCapacity;
    state->ClockFrequency = kDefaultClockFrequency;
    state->dialect = g_dialect;
}

void NormalizeSource(std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            out += '\r';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += '\r';
        } else if (c == '\t' || c >= 32) {
            out += char(c);
        }
    }
    text.swap(out);
}

bool LoadSource(const std::string& path, std::string& text, std::string& message) {
    // Sources of any practical size are accepted; the assembler's own limits
    // (list size, symbol storage) report what does not fit.
    constexpr std::size_t kMaxSourceBytes = 64u << 20;
    std::string reason;
    ReadResult r = ReadFileToString(path, text, kMaxSourceBytes, &reason);
    if (r == ReadResult::TooLarge) {
        message = DisplayName(path) + " is too large (more than " + std::to_string(kMaxSourceBytes) + " bytes)";
        return false;
    }
    if (r != ReadResult::Ok) {
        message = "cannot read " + DisplayName(path) + ": " + reason;
        return false;
    }
    NormalizeSource(text);
    return true;
}

std::string DisplayName(const std::string& path) {
    return path == kStdStreamName ? std::string("standard input") : path;
}

TextPosition PositionOf(const std::string& text, std::uint32_t offset) {
    TextPosition p{1, 1};
    std::size_t end = std::min<std::size_t>(offset, text.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\r') {
            ++p.line;
            p.column = 1;
        } else {
            ++p.column;
        }
    }
    return p;
}

bool AssembleFile(CoreSession& session, const std::string& path) {
    std::string message;
    if (!LoadSource(path, session.source, message)) {
        std::fprintf(stderr, "korvid: %s\n", message.c_str());
        return false;
    }
    AssemblyState& s = *session.state;
    s.SourceText = session.source.c_str();
    Assemble(s);
    if (s.ErrorFlag != 0) {
        TextPosition p = PositionOf(session.source, s.ErrorStart);
        std::fprintf(stderr, "%s:%d:%d: error: %s\n", path.c_str(), p.line, p.column, s.ErrorMessage);
        if (ExtendedDialectAccepts(s))
            std::fprintf(stderr, "%s:%d:%d: note: accepted with --dialect extended\n", path.c_str(), p.line, p.column);
        if (const Family* other = OtherFamilyAccepts(s))
            std::fprintf(stderr, "%s:%d:%d: note: assembles with --family %.*s\n", path.c_str(), p.line, p.column,
                         int(other->name.size()), other->name.data());
        return false;
    }
    return true;
}

bool IsHexFileName(const std::string& path) {
    auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "sxh" || ext == "hex" || ext == "obj";
}

bool LoadHexImage(CoreSession& session, const std::string& path) {
    AssemblyState& s = *session.state;
    std::string message;
    if (!LoadHexFile(s, path, message)) {
        std::fprintf(stderr, "korvid: %s\n", message.c_str());
        return false;
    }
    // Text that does not start with a record and does not load (or holds no
    // record at all) is a source or some other file, not a broken hex file.
    const char* first = s.ListText;
    while (*first == ' ' || *first == '\t' || *first == '\r' || *first == '\n') ++first;
    if (*first != ':' && ((s.ErrorFlag != 0 && s.ErrorMessage[0] != 'W') || !std::strchr(first, ':'))) {
        std::fprintf(stderr, "%s: %s is not a hex file (hex records start with ':'); to assemble a source use: %s asm %s\n",
                     kProgramName, path.c_str(), kProgramName, path.c_str());
        return false;
    }
    if (s.ErrorFlag != 0 && s.ErrorMessage[0] != 'W') {
        std::fprintf(stderr, "%s:%d:1: error: %s\n", path.c_str(), HexErrorLine(s), s.ErrorMessage);
        return false;
    }
    if (const std::string note = ForeignConfigNote(s); !note.empty())
        std::fprintf(stderr, "%s: %s: warning: %s\n", kProgramName, path.c_str(), note.c_str());
    if (s.ErrorFlag != 0) {
        std::string warning = s.ErrorMessage;
        std::replace(warning.begin(), warning.end(), '\r', ' ');
        warning.erase(std::remove(warning.begin(), warning.end(), '\n'), warning.end());
        std::fprintf(stderr, "%s: %s: warning: %s\n", kProgramName, path.c_str(), warning.c_str());
    }
    return true;
}

bool LoadProgramImage(CoreSession& session, const std::string& path) {
    if (!IsHexFileName(path)) return AssembleFile(session, path);
    if (!LoadHexImage(session, path)) return false;
    session.state->ChipImage = session.state->DeviceImage;
    return true;
}

bool WriteOutput(const std::string& path, const std::string& data) { return WriteOutputs({{path, data}}); }

bool WriteOutputs(const std::vector<OutputFile>& files) {
    std::string reason;
    if (!WriteFilesAtomically(files, &reason)) {
        std::fprintf(stderr, "korvid: %s; no output was written\n", reason.c_str());
        return false;
    }
    return true;
}

bool OutputsAreDistinct(const std::string& command, const std::vector<std::string>& inputs,
                        const std::vector<NamedOutput>& outputs, const std::string& inputKind) {
    const auto clash = OutputClash(inputs, outputs, inputKind);
    if (!clash) return true;
    std::fprintf(stderr, "%s %s: %s; nothing was written\n", kProgramName, command.c_str(), clash->c_str());
    return false;
}

}  // namespace korvid::cli
