// Working fields of the assembler core (symbol table, scanner state, macro
// frames, REPT stack, per-line list fields). Fixed sizes only: nothing here
// grows during an assembly.
#pragma once

#include <cstdint>
#include <optional>

#include "core/asm/AssemblyState.h"
#include "core/asm/Dialect.h"
#include "core/asm/Messages.h"
#include "core/asm/SourceFacts.h"
#include "core/asm/Tokens.h"

namespace korvid {

struct AssemblyState;
struct Family;

inline constexpr std::uint32_t kSymbolStorageSize = 98901;
inline constexpr int kSymbolBuckets = 256;
inline constexpr std::uint32_t kSymbolIndexSize = 16384;  // > storage / smallest entry
inline constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
inline constexpr int kMaxNameLength = 64;     // longest name of any dialect
inline constexpr int kStrictNameLength = 32;
inline constexpr int kMaxKeyLength = 2 * kMaxNameLength;
inline constexpr std::uint32_t kMacroFrameAreaSize = 99900;
inline constexpr std::uint32_t kNoFrame = 0xFFFFFFFFu;
inline constexpr int kMaxReptDepth = 32;
inline constexpr std::uint32_t kMaxReptTotal = 100000;
inline constexpr int kUndoSlots = 4;
inline constexpr int kPostfixSize = 255;
inline constexpr int kOperatorStackSize = 256;
inline constexpr int kValueStackSize = 16;
inline constexpr int kMaxErrorText = 64;
// Bytes the scanner may pass over in one pass (repetition and macro
// expansion rescan the source), so that no source runs for minutes.
inline constexpr std::uint64_t kMaxScannedBytesPerPass = 256ull << 20;

struct ReptEntry {
    std::uint32_t iteration;
    std::uint32_t count;
    std::uint32_t offset;  // just after the REPT line's count
};

struct UndoSlot {
    std::uint32_t pos;
    std::uint8_t stringMode;
};

struct AsmWork {
    AssemblyState* state = nullptr;
    const Family* family = nullptr;
    const char* src = nullptr;

    int pass = 0;
    Dialect dialect = Dialect::Strict;
    int nameLimit = kStrictNameLength;
    std::uint32_t LocationCounter = 0;
    std::uint32_t AddressMask = 0x7FF;

    // Symbol table: 256 chains of entries laid out in one storage area.
    // Entry: next (32-bit offset, kNoEntry at the end), kind (8-bit), value
    // (32-bit), key bytes, NUL.
    std::uint32_t buckets[kSymbolBuckets] = {};
    std::uint32_t tails[kSymbolBuckets] = {};  // last entry of each chain
    // A lookup index over the same entries (open addressing on a mixing
    // hash), so that finding a name does not walk a long chain. It maps each
    // key to its first entry, which is what a chain walk would find.
    std::uint32_t index[kSymbolIndexSize] = {};
    std::uint32_t storageUsed = 0;
    std::uint32_t keywordStorageEnd = 0;  // entries below this offset are keywords
    std::uint8_t storage[kSymbolStorageSize] = {};

    // Scanner.
    std::uint32_t pos = 0;
    std::uint8_t stringMode = 0;  // 0 none, 1 comma due, 2 character due
    std::uint64_t scannedBytes = 0;  // bytes scanned in this pass
    UndoSlot undo[kUndoSlots] = {};
    std::uint8_t undoIndex = 0;
    bool caseSensitive = false;
    bool skipLookup = false;      // skipped lines: names are not looked up
    Tok kind = Tok::EndOfLine;    // the last token read
    std::int32_t value = 0;
    bool atEnd = false;           // the last end of line was the end of the text
    std::uint32_t entry = kNoEntry;  // symbol entry of the last name (or kNoEntry)
    char name[kMaxNameLength + 1] = {};  // the last name as read
    int nameLength = 0;
    char key[kMaxKeyLength + 1] = {};    // its table key (prefix + name for ":name")
    int keyLength = 0;

    // Expressions.
    std::uint8_t postfix[kPostfixSize] = {};
    int postfixLength = 0;
    int pendingOperators = 0;
    int parenDepth = 0;
    bool unresolved = false;
    bool mustDefine = false;
    bool stoppedAtMinusW = false;
    std::uint32_t exprEndOverride = 0;  // end of an expression stopped at "-W"
    std::int32_t valueStack[kValueStackSize] = {};

    // Labels.
    char pendingKey[kMaxKeyLength + 1] = {};
    int pendingKeyLength = 0;
    bool hasPendingLabel = false;
    bool hasLabel = false;  // a label (new or known) stood at the line start
    std::uint32_t labelStart = 0, labelEnd = 0;  // span of the line's label
    std::uint32_t knownLabel = kNoEntry;  // pass 2: the entry of a label from pass 1
    char prefix[kMaxNameLength + 1] = {};  // global-label prefix
    int prefixLength = 0;

    // IF, REPT, macros.
    std::uint32_t ifDepth = 0;
    std::uint32_t activeDepth = 0;
    ReptEntry rept[kMaxReptDepth] = {};
    int reptDepth = 0;
    std::uint32_t reptTotal = 0;
    std::uint32_t macroCalls = 0;
    std::uint8_t frameArea[kMacroFrameAreaSize] = {};
    std::uint32_t frame = kNoFrame;  // current frame (offset in frameArea)
    std::uint8_t callCounter[4] = {1, 1, 1, 1};
    bool defining = false;
    bool jumpPending = false;
    std::uint32_t jumpOffset = 0;

    // Directives.
    std::uint16_t usedFuse = 0;
    std::uint16_t usedExtFuse = 0;
    std::uint8_t usedPieces = 0;          // pieces of options written apart
    std::uint16_t pieceBits[2] = {};      // bits set by a piece: [0] fuse, [1] extended fuse
    bool breakSeen = false;
    std::optional<IrcMode> ircCalibration;  // IRC_CAL of this pass
    bool endSeen = false;
    char errorText[kMaxErrorText + 1] = {};
    std::uint32_t passWords = 0;      // program words stored in this pass
    std::uint32_t passOneWords = 0;   // the count of pass 1

    // Per-line list fields.
    std::uint32_t lineStart = 0;
    Tok lineFirstKind = Tok::EndOfLine;  // the line's first token and its span
    std::uint32_t lineFirstStart = 0, lineFirstEnd = 0;
    std::uint64_t listedBytes = 0;    // list text of this pass, written or not (ListWanted)
    std::uint64_t lineListStart = 0;  // listedBytes where the current line's listing began
    std::uint32_t showValue = 0;
    std::int32_t wordsStored = 0;  // -1: the line shows a value ("=" form)
    bool addressShown = false;
    bool listSuppressed = false;
    std::uint32_t lineFrame = kNoFrame;
    bool noExpand = false;
    bool expandAfterLine = false;  // EXPAND takes effect from the next line
    std::uint32_t column = 0;
    std::int32_t dollar = 0;   // "$": address at which the line started
    std::int32_t percent = 0;  // "%": iteration of the innermost REPT

    // What the second pass stored where, and the operand values it cut
    // (SourceFacts.h).
    InstructionFact facts[kProgramWords] = {};
    std::uint32_t factCount = 0;
    FieldCut cuts[kMaxFieldCuts] = {};
    std::uint32_t cutCount = 0;
    // The word behind the error that ended the assembly (ErrorNote).
    AsmNote note = AsmNote::None;
    std::uint32_t noteStart = 0, noteEnd = 0;
    // The resolved target of the last jump or call operand read.
    bool targetRead = false;
    std::uint32_t targetValue = 0, targetStart = 0, targetEnd = 0;
};

// Thrown (after ErrorMessage is set) to unwind to the driver.
struct AsmAbort {};

}  // namespace korvid
