// The directive table: one row per directive with everything the assembler
// knows of it (its keyword, number, label rule, block kind, handler and the
// dialect difference that brings it in). The symbol table enters the
// keywords from it, and the line loop runs directives through it.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/asm/Dialect.h"
#include "core/asm/Tokens.h"

namespace korvid {

struct AsmWork;

// How a label in front of a directive is treated.
enum class LabelRule : std::uint8_t {
    Own,         // required; the directive enters it itself
    Location,    // allowed; entered with the location counter (or as the handler says)
    NotAllowed,  // "This directive cannot be preceeded by a symbol"
};

// The block a directive opens, continues or closes. Conditional directives
// run on skipped lines too, so that the nesting is followed there.
enum class BlockKind : std::uint8_t { None, Conditional, Repeat, Macro };

struct DirectiveRow {
    std::string_view name;  // keyword; empty for "=", which is the operator
    Directive number;
    LabelRule label;
    BlockKind block;
    void (*run)(AsmWork&);
    // The dialect difference that makes it a keyword; Count: every dialect.
    DialectDifference dialect = DialectDifference::Count;
};

// In number order (checked where the table is defined).
extern const DirectiveRow kDirectives[kDirCount];

// Handlers of the block directives (Blocks.cpp).
void IfdefDirective(AsmWork& w);
void IfndefDirective(AsmWork& w);
void IfDirective(AsmWork& w);
void ElseDirective(AsmWork& w);
void EndifDirective(AsmWork& w);
void ReptDirective(AsmWork& w);
void EndrDirective(AsmWork& w);
void MacroDirective(AsmWork& w);
void EndMacroDirective(AsmWork& w);  // EXITM and ENDM

}  // namespace korvid
