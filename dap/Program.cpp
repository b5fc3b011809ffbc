#include "dap/Program.h"

#include <algorithm>
#include <cctype>

#include "base/Text.h"
#include "core/asm/Assembler.h"

namespace korvid::dap {
namespace {

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

bool DebugProgram::Load(const std::string& path, const Family& family, Dialect dialect, std::string& message) {
    path_ = path;
    labels_.clear();
    LoadRequest request;
    request.path = path;
    request.settings.family = &family;
    request.settings.dialect = dialect;
    const bool loaded = session_.Load(request);
    // The client is told the first error (or nothing on success).
    for (const Diagnostic& d : session_.diagnostics())
        if (d.severity == Severity::Error) {
            message = DiagnosticText(d);
            message.erase(message.find('\n'));
            break;
        }
    if (!loaded || session_.kind() != ProgramKind::Source) return loaded;

    // Labels: a name at the start of a line whose value is the address of
    // the code on that line (or the next line with code).
    const std::string& source = session_.source();
    const std::vector<std::uint32_t>& starts = session_.index().lineStarts();
    for (std::size_t i = 0; i < starts.size(); ++i) {
        std::size_t p = starts[i];
        if (p >= source.size() || !(std::isalpha(static_cast<unsigned char>(source[p])) || source[p] == '_')) continue;
        std::size_t e = p;
        while (e < source.size() && IsNameChar(source[e])) ++e;
        const std::string name = source.substr(p, e - p);
        const auto value = FindSymbol(state(), Upper(name));
        const auto code = CodeAtOrAfter(int(i) + 1);
        if (value && code && *value == code->second) labels_.emplace(code->second, name);
    }
    return true;
}

std::pair<std::string, int> DebugProgram::LabelOf(int address) const {
    auto it = labels_.upper_bound(address);
    if (it == labels_.begin()) return {"", 0};
    --it;
    return {it->second, address - it->first};
}

std::optional<std::int32_t> DebugProgram::Symbol(const std::string& name) const {
    if (!hasLines()) return std::nullopt;
    return FindSymbol(state(), Upper(name));
}

void DebugProgram::SetWord(int address, std::uint16_t word) {
    state().ChipImage[std::size_t(address)] = std::uint16_t((word & 0x0FFF) | kDataFlag);
}

bool DebugProgram::HoldsData(int address) const {
    return address >= 0 && address < kProgramWords && (state().ChipImage[std::size_t(address)] & kDataFlag) != 0;
}

}  // namespace korvid::dap
