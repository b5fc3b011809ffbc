#include "apps/korvid/CliSupport.h"

#include <algorithm>
#include <cstdio>

#include "apps/korvid/CommandTable.h"
#include "core/image/FileIo.h"

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

void NormalizeSource(std::string& text) { text = AssemblerText(text, ControlBytes::Remove); }

SettingsRequest ProgramChoice(const Options& options) {
    SettingsRequest request;
    if (auto name = options.Value("--family")) request.family = FamilyByName(*name);
    if (options.Value("--dialect")) request.dialect = g_dialect;
    return request;
}

std::string DiagnosticLines(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& d : diagnostics) text += DiagnosticText(d, std::string(kProgramName) + ": ");
    return text;
}

bool LoadProgramImage(ProgramSession& session, const SettingsRequest& choice, const std::string& path,
                      std::optional<ProgramKind> kind, bool listing) {
    LoadRequest request;
    request.path = path;
    request.listing = listing;
    request.settings = choice;
    request.kind = kind;
    const bool loaded = session.Load(request);
    std::fputs(DiagnosticLines(session.diagnostics()).c_str(), stderr);
    return loaded;
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
