// One assembly of a document and what the editor features read from it:
// the error, the tokens with their classes, the symbols with their
// definitions and uses, and the warnings of the SX checks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/asm/Assembler.h"
#include "core/asm/AssemblyState.h"
#include "core/asm/SourceFacts.h"
#include "lsp/Document.h"

namespace korvid::lsp {

struct Settings {
    const Family* family = nullptr;
    Dialect dialect = Dialect::Strict;
};

// "; korvid: family=52 dialect=extended" in the first lines of a source
// overrides the client's settings.
Settings SettingsFromSource(const std::string& units, Settings defaults);

enum class SymbolKind : std::uint8_t { Label, LocalLabel, Constant, Variable, Macro };

struct Symbol {
    std::string key;   // upper case; a local label's key is its global label's + ":NAME"
    std::string name;  // as written at its definition
    SymbolKind kind;
    std::uint32_t start, end;  // the name at its definition (assembler offsets)
    int parent = -1;           // a local label's global label (symbol index)
    std::optional<std::int32_t> value;
};

// How a token reads in the source.
enum class TokenClass : std::uint8_t {
    Comment, String, Number, Operator, Punctuation, Error,
    Instruction, Directive, DeviceWord, Register, StatusBit, OperandWord, WatchFormat,
    Symbol,     // a defined symbol (its kind is the symbol's)
    Undefined,  // a name no definition in the source gives
    MacroParameter,
};

struct ClassifiedToken {
    SourceToken token;
    TokenClass cls;
    int symbol = -1;          // for Symbol
    bool definition = false;  // the name at a symbol's definition
    std::string key;          // names: the key it is looked up by
};

struct Warning {
    std::uint32_t start, end;  // assembler offsets
    std::string code;
    std::string message;
};

class Analysis {
public:
    Analysis();
    ~Analysis();

    void Run(const Document& doc, Settings defaults);

    Settings settings;
    bool failed = false;
    std::string errorMessage;
    std::uint32_t errorStart = 0, errorEnd = 0;
    bool extendedAccepts = false;  // strict failed, the extended dialect accepts it
    const Family* otherFamily = nullptr;  // failed, the other family's assembler accepts it
    std::optional<ErrorNote> note;        // failed: the word behind the error

    std::vector<ClassifiedToken> tokens;
    std::vector<Symbol> symbols;
    std::unordered_map<std::string, int> byKey;
    std::vector<Warning> warnings;

    // The token at an assembler offset (the one containing it, or ending at
    // it), or nullptr.
    const ClassifiedToken* TokenAt(std::uint32_t offset) const;
    // Uses of a symbol (its definition included), in source order.
    std::vector<const ClassifiedToken*> UsesOf(int symbol) const;
    // The global label in force at an offset (for local labels), "" at the top.
    std::string PrefixAt(std::uint32_t offset) const;

    const AssemblyState& state() const { return *state_; }

private:
    void Classify();
    void RunChecks();
    // Warnings about korvid comments that say what the server does not
    // know (a family, a dialect, a check code), so that a typo is not
    // silently without effect.
    void CheckKorvidComments();
    std::unique_ptr<AssemblyState> state_;
    std::vector<char> list_;
    std::string text_;  // the assembler's text (NUL-terminated)
    std::vector<SourceToken> raw_;
    std::vector<std::pair<std::uint32_t, std::string>> prefixes_;  // offset -> prefix from there on
    // The keywords of the current family and dialect, by name.
    std::unordered_map<std::string, KeywordClass> vocabulary_;
    Settings vocabularyOf_;
};

}  // namespace korvid::lsp
