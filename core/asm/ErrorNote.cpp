// The note that names the word behind an assembly error (Assembler.h): the
// assembly recorded which note and where (AsmWork), this fills in the word,
// what kind of word it is, and the figures.
#include <cstring>

#include "core/asm/AsmCore.h"
#include "core/asm/Assembler.h"
#include "core/asm/SourceFacts.h"

namespace korvid {

namespace {
// What a keyword class is, as a note says it.
constexpr const char* kClassNames[] = {
    "",                             // None
    "an operator or operand word",  // OperatorWord
    "a directive name",             // Directive
    "an instruction name",          // Instruction
    "a DEVICE word",                // DeviceParam
    "a register name",              // Register
    "a status bit name",            // StatusBit
    "a WATCH format",               // WatchFormat
    "an IRC_CAL mode",              // IrcMode
};
static_assert(sizeof kClassNames / sizeof kClassNames[0] == static_cast<int>(KeywordClass::IrcMode) + 1,
              "one name per keyword class");

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

// The strict DEVICE word that sets what an extended-dialect word sets.
std::string_view StrictDeviceWord(const Family& family, std::string_view upper) {
    for (int i = 0; i < family.extendedDeviceParamCount; ++i) {
        const Family::DeviceParam& e = family.extendedDeviceParams[i];
        if (e.name != upper || e.mask == 0) continue;
        for (int j = 0; j < family.deviceParamCount; ++j) {
            const Family::DeviceParam& d = family.deviceParams[j];
            if (d.extFuse == e.extFuse && d.mask == e.mask && d.pattern == e.pattern) return d.name;
        }
    }
    return {};
}

void Replace(std::string& text, std::string_view field, std::string_view by) {
    const auto at = text.find(field);
    if (at != std::string::npos) text.replace(at, field.size(), by);
}
}  // namespace

std::optional<ErrorNote> ErrorNoteOf(const AssemblyState& failed) {
    if (failed.ErrorFlag == 0 || !failed.work || failed.work->note == AsmNote::None) return std::nullopt;
    const AsmWork& w = *failed.work;
    AsmNote note = w.note;
    const char* src = failed.SourceText ? failed.SourceText : "";
    const std::size_t length = std::strlen(src);
    const std::size_t start = std::min<std::size_t>(w.noteStart, length);
    std::string_view word(src + start,
                          std::min<std::size_t>(w.noteEnd, length) - std::min<std::size_t>(start, w.noteEnd));
    if (word.size() > 1 && word.back() == ':') word.remove_suffix(1);  // "loop:" names LOOP
    const std::string upper = Upper(word);

    std::string className, strict, figure;
    switch (note) {
        case AsmNote::ReservedOperand:
        case AsmNote::ReservedLabel: {
            const KeywordClass k = ClassifyKeyword(*failed.family, failed.dialect, upper);
            if (k == KeywordClass::None) return std::nullopt;
            // W, M and OPTION are operand words to the scanner but registers to the user.
            className = upper == "W" || upper == "M" || upper == "OPTION"
                            ? kClassNames[static_cast<int>(KeywordClass::Register)]
                            : kClassNames[static_cast<int>(k)];
            break;
        }
        case AsmNote::ExtendedDeviceWord:
            strict = StrictDeviceWord(*failed.family, upper);
            if (strict.empty()) note = AsmNote::ExtendedDeviceWordAlone;
            break;
        case AsmNote::ListLines: figure = std::to_string(kMaxListLines); break;
        case AsmNote::ListBytes: figure = std::to_string(failed.ListCapacity); break;
        default: break;
    }
    std::string text = AsmNoteText(note);
    Replace(text, "{word}", word);
    Replace(text, "{class}", className);
    Replace(text, "{strict}", strict);
    Replace(text, "{limit}", figure);
    const bool limit = note == AsmNote::ListLines || note == AsmNote::ListBytes;
    return ErrorNote{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(start + word.size()), text, limit};
}

}  // namespace korvid
