// The symbol lookup other subsystems use (the command-line debugger's
// addresses and registers, the simulator's waveform registers), so that
// they need not read the assembler's working fields.
#include "core/asm/AsmCore.h"
#include "core/asm/Assembler.h"

#include <cctype>
#include <string>

#include "family/NumberSyntax.h"
#include "family/Registers.h"

namespace korvid {

std::optional<std::int32_t> FindSymbol(const AssemblyState& state, std::string_view name) {
    if (!state.work || name.empty() || name.size() > static_cast<std::size_t>(kMaxKeyLength)) return std::nullopt;
    const std::uint32_t e = LookupSymbol(*state.work, name.data(), static_cast<int>(name.size()));
    if (e == kNoEntry || EntryKind(*state.work, e) == Tok::Undefined) return std::nullopt;
    return EntryValue(*state.work, e);
}

std::optional<long> FindRegister(const AssemblyState& state, std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const auto named = RegisterNamed(upper)) return *named;
    // A symbol or number names a file register only: 100h is not M.
    auto inFile = [](long v) { return v >= 0 && v < 256 ? v : -1L; };
    for (std::string_view key : {std::string_view(upper), text})
        if (const auto v = FindSymbol(state, key)) return inFile(*v);
    if (const auto v = ParseNumber(text, 16)) return inFile(*v);
    return std::nullopt;
}

}  // namespace korvid
