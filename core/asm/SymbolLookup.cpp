// The symbol lookup other subsystems use (the command-line debugger's
// addresses and registers), so that they need not read the assembler's
// working fields.
#include "core/asm/AsmCore.h"
#include "core/asm/Assembler.h"

namespace korvid {

std::optional<std::int32_t> FindSymbol(const AssemblyState& state, std::string_view name) {
    if (!state.work || name.empty() || name.size() > static_cast<std::size_t>(kMaxKeyLength)) return std::nullopt;
    const std::uint32_t e = LookupSymbol(*state.work, name.data(), static_cast<int>(name.size()));
    if (e == kNoEntry || EntryKind(*state.work, e) == Tok::Undefined) return std::nullopt;
    return EntryValue(*state.work, e);
}

}  // namespace korvid
