// The messages of the assembler core. Each text is paired with its enum
// value in one table (Messages.cpp), checked against this order.
#pragma once

#include <cstdint>

namespace korvid {

enum class AsmMsg : std::uint8_t {
    BackslashOutsideMacro,
    ConstantExceeds32Bits,
    ConstantExceeds64Digits,
    ClockFrequencyRange,
    CallFirstHalf,
    ExpectedBinaryOperator,
    ExpectedOperand,
    ExpectedDeviceParameter,
    ExpectedLabel,
    ExpectedLabelDirectiveInstruction,
    ExpectedTerminatingQuote,
    ExpectedValue0To64,
    ExpectedValue1To32,
    ExpectedComma,
    ExpectedCommaOrEndOfLine,
    ExpectedEndOfLine,
    ElseEndifWithoutIf,
    ExitmEndmWithoutMacro,
    ExpectedIncDec,
    ExpressionTooComplex,
    EquWithoutLabel,
    AssignWithoutVariable,
    EndrWithoutRept,
    ErrorControlCharacters,
    ErrorMessageTooLong,
    EndifRequired,
    EndmRequired,
    EndrRequired,
    EmptyString,
    ExpectedWatchFormat,
    ExpectedW,
    ExpectedWdt,
    IdTooLong,
    IdNotString,
    LocationHasData,
    LabelAlreadyDefined,
    ListTooLarge,
    NestedReptLimit,
    TotalReptLimit,
    WatchLimit,
    MacroArgumentIndex,
    MacroArgumentUnresolvable,
    MacroWithoutLabel,
    MacroStackOverflow,
    NothingToAssemble,
    OnlyOneBreak,
    PortRange,
    ResetFirstPage,
    ReptCountPositive,
    RedundantDeviceParameter,
    SymbolTooLong,
    SymbolTableFull,
    DirectiveWithLabel,
    UnrecognizedCharacter,
    UndefinedSymbol,
    VariableWithoutAssign,
    TotalMacroCallLimit,
    MacroTooFarIntoSource,
    LabelChangedBetweenPasses,
    CodeChangedBetweenPasses,
    ScanLimit,
    LongSymbolTooLong,
    ExpectedIrcMode,
    DuplicateMacroParameter,
    Count
};

// The NUL-terminated text of a message (static storage).
const char* AsmMessageText(AsmMsg msg);

// Notes that name the word behind an error (ErrorNote, Assembler.h). A text
// holds {word} (the word as written), {class} (what kind of word it is),
// {strict} (the strict dialect's DEVICE word) or {limit} (a listing limit).
enum class AsmNote : std::uint8_t {
    None,
    ReservedOperand,          // a keyword where a label or value was expected
    ReservedLabel,            // a keyword written as a label
    UnknownWord,              // an unknown word read as a label before an operation
    ExtendedDeviceWord,       // a DEVICE word of the extended dialect, with a strict one
    ExtendedDeviceWordAlone,  // the same without a strict word
    ListLines,                // the listing's line limit
    ListBytes,                // the list buffer's size
    Count
};

const char* AsmNoteText(AsmNote note);

}  // namespace korvid
