// Token kinds of the scanner and the numbers carried by keyword tokens
// (operators, directives, instructions).
#pragma once

#include <cstdint>

namespace korvid {

enum class Tok : std::uint8_t {
    Undefined,    // a name not in the symbol table (value 0)
    Constant,     // numbers, characters, $, %, labels, EQU symbols, registers
    Variable,     // made with "="
    Prefix,       // 0 "\", 1 "||", 3 "~"
    Not,          // the word NOT (value 4)
    Arith,        // 5 "&" ... 16 "."
    Logical,      // 17 AND, 18 OR, 19 XOR
    Compare,      // 20 "<=" ... 25 ">"
    OpenParen,
    CloseParen,
    W,
    M,
    Option,
    Wdt,
    Comma,
    Hash,         // literal mark "#"
    At,           // long-jump mark "@"
    Bang,         // direction mark "!"
    IncDec,       // 0 "++", 1 "--"
    DeviceParam,  // encoded: bit 24 extended fuse word, mask << 12, pattern
    WatchFormat,  // 0..7
    Macro,        // argument count << 24 | body offset
    Directive,    // directive number
    Instruction,  // instruction number
    EndOfLine,
    IrcMode,      // IRC_CAL operand: 0 IRC_SLOW, 1 IRC_4MHZ, 2 IRC_FAST (IrcMode order)
    MacroParam,   // a named parameter inside its macro's body: its argument number
};

// Operator codes: the values of operator tokens, also the operator bytes of
// the postfix code. kOpNegate is the prefix "-" (it has no keyword).
enum Op : std::uint8_t {
    kOpArg = 0, kOpAbs = 1, kOpNegate = 2, kOpComplement = 3, kOpNot = 4,
    kOpAnd = 5, kOpOr = 6, kOpXor = 7, kOpAdd = 8, kOpSub = 9, kOpMul = 10,
    kOpDiv = 11, kOpMod = 12, kOpShl = 13, kOpShr = 14, kOpRev = 15, kOpDot = 16,
    kOpLogAnd = 17, kOpLogOr = 18, kOpLogXor = 19,
    kOpLe = 20, kOpGe = 21, kOpEq = 22, kOpNe = 23, kOpLt = 24, kOpGt = 25,
};

enum Directive : std::uint8_t {
    kDirDevice, kDirId, kDirReset, kDirAssign, kDirEqu, kDirOrg, kDirDs, kDirDw,
    kDirIfdef, kDirIfndef, kDirIf, kDirElse, kDirEndif, kDirRept, kDirEndr,
    kDirMacro, kDirExitm, kDirEndm, kDirExpand, kDirNoexpand, kDirCase, kDirNocase,
    kDirError, kDirEnd, kDirBreak, kDirWatch, kDirFreq, kDirIrcCal, kDirCount
};

enum Instr : std::uint8_t {
    kMov, kAdd, kSub, kAnd, kOr, kXor, kClr, kInc, kDec, kRl, kRr, kSwap, kNot,
    kTest, kClrb, kClc, kClz, kSetb, kStc, kStz, kAddb, kSubb, kMovb, kMovsz,
    kIncsz, kIjnz, kDecsz, kDjnz, kCse, kCsne, kCsa, kCsae, kCsb, kCsbe, kCje,
    kCjne, kCja, kCjae, kCjb, kCjbe, kSb, kSc, kSz, kSnb, kSnc, kSnz, kJb, kJc,
    kJz, kJnb, kJnc, kJnz, kSkip, kJmp, kCall, kRetw, kRet, kRetp, kReti, kRetiw,
    kPage, kBank, kMode, kSleep, kIread, kNop, kLset, kLjmp, kLcall, kInstrCount
};

}  // namespace korvid
