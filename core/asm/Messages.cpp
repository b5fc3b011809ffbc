#include "core/asm/Messages.h"

namespace korvid {

namespace {
// In the order of AsmMsg.
constexpr const char* kTexts[] = {
    "\"\\\" only allowed in MACRO definition",
    "Constant exceeds 32 bits",
    "Constant exceeds 64 digits",
    "Clock frequency must be from 400_000 to 110_000_000",
    "CALL must be to first half of page",
    "Expected a binary operator or \")\"",
    "Expected a constant, variable, unary operator, or \"(\"",
    "Expected a DEVICE parameter",
    "Expected a label",
    "Expected a label, directive, or instruction",
    "Expected a terminating quote",
    "Expected a value from 0 to 64 or end-of-line",
    "Expected a value from 1 to 32",
    "Expected \",\"",
    "Expected \",\" or end-of-line",
    "Expected end-of-line",
    "ELSE/ENDIF must be preceeded by IF",
    "EXITM/ENDM must be preceeded by MACRO",
    "Expected \"++\" or \"--\"",
    "Expression is too complex",
    "EQU must be preceded by a label",
    "\"=\" must be preceeded by a variable",
    "ENDR must be preceeded by REPT",
    "Error message contains control characters",
    "Error message exceeds 64 characters",
    "ENDIF required to end IF block",
    "ENDM required to end MACRO definition",
    "ENDR required to end REPT block",
    "Empty string",
    "Expected UDEC, SDEC, UHEX, SHEX, UBIN, SBIN, FSTR, or ZSTR",
    "Expected \"W\"",
    "Expected \"WDT\"",
    "ID cannot exceed 8 characters",
    "ID must be a string of up to 8 characters",
    "Location already contains data",
    "Label is already defined",
    "List is too large",
    "Limit of 32 nested REPTs exceeded",
    "Limit of 100,000 total REPT loops exceeded",
    "Limit of 32 WATCHs exceeded",
    "Macro argument index is out of range",
    "Macro argument is not resolvable",
    "MACRO must be preceded by a label",
    "Macro stack overflow",
    "Nothing to assemble",
    "Only one BREAK is allowed",
    "Port is out of range",
    "RESET address must be on first page",
    "REPT count must be greater than 0",
    "Redundant DEVICE parameter",
    "Symbol exceeds 32 characters",
    "Symbol table full",
    "This directive cannot be preceeded by a symbol",
    "Unrecognized character",
    "Undefined symbol",
    "Variable must be followed by \"=\"",
    "Limit of 1,048,576 total MACRO calls exceeded",
    "MACRO definition lies beyond 16 MB of source text",
    "Label address differs between passes",
    "Code size differs between passes",
    "Limit of 256 MB of source lines per pass exceeded",
    "Symbol exceeds 64 characters",
    "Expected IRC_SLOW, IRC_FAST, or IRC_4MHZ",
    "Macro parameter is already named",
};
static_assert(sizeof kTexts / sizeof kTexts[0] == static_cast<int>(AsmMsg::Count));
}  // namespace

const char* AsmMessageText(AsmMsg msg) {
    auto i = static_cast<unsigned>(msg);
    return i < static_cast<unsigned>(AsmMsg::Count) ? kTexts[i] : "";
}

}  // namespace korvid
