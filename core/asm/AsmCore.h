// Internal routines of the assembler core, shared by its files. Everything
// works on the one AsmWork of the assembly state; errors unwind through
// AsmAbort after the message has been set.
#pragma once

#include <cstdint>

#include "core/asm/AsmWork.h"
#include "core/asm/AssemblyState.h"
#include "core/asm/Messages.h"

namespace korvid {

inline bool Has(const AsmWork& w, DialectDifference d) { return DialectHas(w.dialect, d); }

// The last token is the word THEN and the dialect lets it end an IF,
// IFDEF or IFNDEF line (an expression stops in front of it).
inline bool IsThen(const AsmWork& w) {
    return w.kind == Tok::Undefined && Has(w, DialectDifference::ThenEndsIf) && w.nameLength == 4 &&
           w.name[0] == 'T' && w.name[1] == 'H' && w.name[2] == 'E' && w.name[3] == 'N';
}

// Errors (AsmErrors.cpp). The span is whatever ErrorStart/ErrorEnd hold.
[[noreturn]] void Fail(AsmWork& w, AsmMsg msg);
[[noreturn]] void FailWithText(AsmWork& w, const char* text);
void SetSpan(AsmWork& w, std::uint32_t start, std::uint32_t end);
// The word behind the coming error, for its note (ErrorNote, Assembler.h).
void NoteWord(AsmWork& w, AsmNote note, std::uint32_t start, std::uint32_t end);
// Whether a symbol entry is one of the assembler's own words.
bool IsKeywordEntry(const AsmWork& w, std::uint32_t entry);
// Before an error on the token just read: notes a keyword that stands
// where a label or value was meant (valueExpected: an operand was due), or
// the instruction name that begins the line when the token is a statement
// word (the line's first word was meant as a label).
void NoteMisplacedWord(AsmWork& w, bool valueExpected);

// Symbol table (SymbolTable.cpp).
void BuildSymbolTable(AsmWork& w);
std::uint32_t LookupSymbol(const AsmWork& w, const char* key, int length);
// The same lookup by walking the key's hash chain (kept for checking the index).
std::uint32_t LookupSymbolInChain(const AsmWork& w, const char* key, int length);
std::uint32_t EnterSymbol(AsmWork& w, const char* key, int length, Tok kind, std::int32_t value);
Tok EntryKind(const AsmWork& w, std::uint32_t entry);
std::int32_t EntryValue(const AsmWork& w, std::uint32_t entry);
void SetEntryValue(AsmWork& w, std::uint32_t entry, std::int32_t value);
int KeywordCount(const Family& family);

// Scanner (Scanner.cpp). ReadToken leaves the token in w.kind / w.value and
// sets ErrorStart/ErrorEnd to its span.
Tok ReadToken(AsmWork& w);
void UnreadToken(AsmWork& w);
// Reads tokens to the end of the line (the end of line included) without
// looking names up, so that only scanner errors are raised.
void SkipRestOfLine(AsmWork& w);
// Requires the end of line next ("Expected end-of-line").
void RequireEndOfLine(AsmWork& w);
void RequireComma(AsmWork& w);

// Expressions (Expression.cpp). After a complete expression ErrorStart and
// ErrorEnd span it. w.unresolved tells whether an undefined symbol (or an
// unresolved macro argument) made the value 0.
std::int32_t ReadExpression(AsmWork& w, bool mustDefine);
inline std::int32_t ReadPassExpression(AsmWork& w) { return ReadExpression(w, w.pass == 2); }
inline std::int32_t ReadDefinedExpression(AsmWork& w) { return ReadExpression(w, true); }

// Word store and the operand fields (Code.cpp).
void StoreWord(AsmWork& w, std::uint32_t word);
void StoreWordAt(AsmWork& w, std::uint32_t address, std::uint32_t word);
std::uint32_t RegisterField(const AsmWork& w, std::int32_t value);
std::uint32_t BitField(const AsmWork& w, std::int32_t value);

// Notes a resolved second-pass value outside [low, high] that is cut to
// `bits` bits without an error, for editors (SourceFacts.cpp).
void NoteCut(AsmWork& w, std::int32_t value, std::int32_t low, std::int32_t high, std::uint32_t stored, int bits,
             bool literal = false);

// Labels (Labels.cpp).
void EnterPendingLabel(AsmWork& w, std::int32_t value);
void SetGlobalPrefix(AsmWork& w, const char* text, int length);

// Instructions (Instructions.cpp).
void AssembleInstruction(AsmWork& w, int number);

// Directives (the table and handlers in Directives.cpp, the block
// directives' handlers in Blocks.cpp). RunDirective applies the label rule
// and runs the handler.
void RunDirective(AsmWork& w, int number);
void CallMacro(AsmWork& w, std::int32_t macroValue);
std::uint32_t OutermostCallOffset(const AsmWork& w);
std::uint32_t FrameArgumentCount(const AsmWork& w);
// A name read inside a macro body that names one of the current call's
// macro parameters: its argument number (1..).
bool FindMacroParameter(const AsmWork& w, const char* name, int length, std::int32_t& number);
// Argument n of the current call; unresolved is set when it was unresolved.
std::int32_t FrameArgument(const AsmWork& w, std::uint32_t n, bool& unresolved);

// Listing (Listing.cpp).
void RecordListEntry(AsmWork& w, std::uint32_t sourceOffset);
void ListLine(AsmWork& w);

}  // namespace korvid
