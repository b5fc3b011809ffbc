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

}  // namespace korvid
