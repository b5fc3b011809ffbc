#include "core/asm/Messages.h"

#include <cstddef>

namespace korvid {

namespace {
struct MessageRow {
    AsmMsg msg;
    const char* text;
};

constexpr MessageRow kMessages[] = {
    {AsmMsg::BackslashOutsideMacro, "\"\\\" only allowed in MACRO definition"},
    {AsmMsg::ConstantExceeds32Bits, "Constant exceeds 32 bits"},
    {AsmMsg::ConstantExceeds64Digits, "Constant exceeds 64 digits"},
    {AsmMsg::ClockFrequencyRange, "Clock frequency must be from 400_000 to 110_000_000"},
    {AsmMsg::CallFirstHalf, "CALL must be to first half of page"},
    {AsmMsg::ExpectedBinaryOperator, "Expected a binary operator or \")\""},
    {AsmMsg::ExpectedOperand, "Expected a constant, variable, unary operator, or \"(\""},
    {AsmMsg::ExpectedDeviceParameter, "Expected a DEVICE parameter"},
    {AsmMsg::ExpectedLabel, "Expected a label"},
    {AsmMsg::ExpectedLabelDirectiveInstruction, "Expected a label, directive, or instruction"},
    {AsmMsg::ExpectedTerminatingQuote, "Expected a terminating quote"},
    {AsmMsg::ExpectedValue0To64, "Expected a value from 0 to 64 or end-of-line"},
    {AsmMsg::ExpectedValue1To32, "Expected a value from 1 to 32"},
    {AsmMsg::ExpectedComma, "Expected \",\""},
    {AsmMsg::ExpectedCommaOrEndOfLine, "Expected \",\" or end-of-line"},
    {AsmMsg::ExpectedEndOfLine, "Expected end-of-line"},
    {AsmMsg::ElseEndifWithoutIf, "ELSE/ENDIF must be preceeded by IF"},
    {AsmMsg::ExitmEndmWithoutMacro, "EXITM/ENDM must be preceeded by MACRO"},
    {AsmMsg::ExpectedIncDec, "Expected \"++\" or \"--\""},
    {AsmMsg::ExpressionTooComplex, "Expression is too complex"},
    {AsmMsg::EquWithoutLabel, "EQU must be preceded by a label"},
    {AsmMsg::AssignWithoutVariable, "\"=\" must be preceeded by a variable"},
    {AsmMsg::EndrWithoutRept, "ENDR must be preceeded by REPT"},
    {AsmMsg::ErrorControlCharacters, "Error message contains control characters"},
    {AsmMsg::ErrorMessageTooLong, "Error message exceeds 64 characters"},
    {AsmMsg::EndifRequired, "ENDIF required to end IF block"},
    {AsmMsg::EndmRequired, "ENDM required to end MACRO definition"},
    {AsmMsg::EndrRequired, "ENDR required to end REPT block"},
    {AsmMsg::EmptyString, "Empty string"},
    {AsmMsg::ExpectedWatchFormat, "Expected UDEC, SDEC, UHEX, SHEX, UBIN, SBIN, FSTR, or ZSTR"},
    {AsmMsg::ExpectedW, "Expected \"W\""},
    {AsmMsg::ExpectedWdt, "Expected \"WDT\""},
    {AsmMsg::IdTooLong, "ID cannot exceed 8 characters"},
    {AsmMsg::IdNotString, "ID must be a string of up to 8 characters"},
    {AsmMsg::LocationHasData, "Location already contains data"},
    {AsmMsg::LabelAlreadyDefined, "Label is already defined"},
    {AsmMsg::ListTooLarge, "List is too large"},
    {AsmMsg::NestedReptLimit, "Limit of 32 nested REPTs exceeded"},
    {AsmMsg::TotalReptLimit, "Limit of 100,000 total REPT loops exceeded"},
    {AsmMsg::WatchLimit, "Limit of 32 WATCHs exceeded"},
    {AsmMsg::MacroArgumentIndex, "Macro argument index is out of range"},
    {AsmMsg::MacroArgumentUnresolvable, "Macro argument is not resolvable"},
    {AsmMsg::MacroWithoutLabel, "MACRO must be preceded by a label"},
    {AsmMsg::MacroStackOverflow, "Macro stack overflow"},
    {AsmMsg::NothingToAssemble, "Nothing to assemble"},
    {AsmMsg::OnlyOneBreak, "Only one BREAK is allowed"},
    {AsmMsg::PortRange, "Port is out of range"},
    {AsmMsg::ResetFirstPage, "RESET address must be on first page"},
    {AsmMsg::ReptCountPositive, "REPT count must be greater than 0"},
    {AsmMsg::RedundantDeviceParameter, "Redundant DEVICE parameter"},
    {AsmMsg::SymbolTooLong, "Symbol exceeds 32 characters"},
    {AsmMsg::SymbolTableFull, "Symbol table full"},
    {AsmMsg::DirectiveWithLabel, "This directive cannot be preceeded by a symbol"},
    {AsmMsg::UnrecognizedCharacter, "Unrecognized character"},
    {AsmMsg::UndefinedSymbol, "Undefined symbol"},
    {AsmMsg::VariableWithoutAssign, "Variable must be followed by \"=\""},
    {AsmMsg::TotalMacroCallLimit, "Limit of 1,048,576 total MACRO calls exceeded"},
    {AsmMsg::MacroTooFarIntoSource, "MACRO definition lies beyond 16 MB of source text"},
    {AsmMsg::LabelChangedBetweenPasses, "Label address differs between passes"},
    {AsmMsg::CodeChangedBetweenPasses, "Code size differs between passes"},
    {AsmMsg::ScanLimit, "Limit of 256 MB of source lines per pass exceeded"},
    {AsmMsg::LongSymbolTooLong, "Symbol exceeds 64 characters"},
    {AsmMsg::ExpectedIrcMode, "Expected IRC_SLOW, IRC_FAST, or IRC_4MHZ"},
    {AsmMsg::DuplicateMacroParameter, "Macro parameter is already named"},
};
struct NoteRow {
    AsmNote note;
    const char* text;
};

constexpr NoteRow kNotes[] = {
    {AsmNote::None, ""},
    {AsmNote::ReservedOperand, "{word} is {class}, which cannot name a label or stand for a value"},
    {AsmNote::ReservedLabel, "{word} is {class}, which cannot name a label"},
    {AsmNote::UnknownWord, "{word} is no instruction, directive or macro defined above, so it is read as a label"},
    {AsmNote::ExtendedDeviceWord,
     "{word} is a DEVICE word of the extended dialect; the strict dialect writes {strict}"},
    {AsmNote::ExtendedDeviceWordAlone,
     "{word} is a DEVICE word of the extended dialect; the strict dialect has none for it"},
    {AsmNote::ListLines, "a listing holds at most {limit} lines"},
    {AsmNote::ListBytes, "the list buffer holds {limit} bytes"},
};

// A text table holds one row per enum value, row i holding value i, so that
// a message or note added in one place only does not build.
template <class Row, class Key, std::size_t N>
constexpr bool OneRowPerValueInOrder(const Row (&rows)[N], Key Row::*key) {
    if (N != static_cast<std::size_t>(Key::Count)) return false;
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(rows[i].*key) != i) return false;
    return true;
}
static_assert(OneRowPerValueInOrder(kMessages, &MessageRow::msg), "kMessages: one row per AsmMsg, in order");
static_assert(OneRowPerValueInOrder(kNotes, &NoteRow::note), "kNotes: one row per AsmNote, in order");

template <class Row, class Key, std::size_t N>
const char* TextOf(const Row (&rows)[N], Key value) {
    const auto i = static_cast<std::size_t>(value);
    return i < N ? rows[i].text : "";
}
}  // namespace

const char* AsmMessageText(AsmMsg msg) { return TextOf(kMessages, msg); }

const char* AsmNoteText(AsmNote note) { return TextOf(kNotes, note); }

}  // namespace korvid
