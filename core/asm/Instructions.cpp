// Instruction handlers: operands to 12-bit program words.
#include "core/asm/AsmCore.h"

namespace korvid {

namespace {
// "#" before the operand of BANK and PAGE, where the dialect ignores it.
void SkipHashMark(AsmWork& w) {
    if (!Has(w, DialectDifference::HashBeforeBankPage)) return;
    if (ReadToken(w) != Tok::Hash) UnreadToken(w);
}

enum class Form : std::uint8_t {
    Special,    // own handler below
    Fixed,      // base
    Fr,         // base | fr
    Bit,        // base | bit
    FrJump,     // base | fr; jump
    BitJump,    // base | bit; jump
    FixedJump,  // base; jump
    Compare,    // compare-and-skip, base = pattern byte
    CompareJump,
    BitAdd,     // ADDB/SUBB: skip on the bit, then base | fr
    Logic,      // AND/OR/XOR, base = index into kLogic
};

struct InstrForm {
    Form form;
    std::uint16_t base;
};

// Indexed by instruction number.
constexpr InstrForm kForms[kInstrCount] = {
    {Form::Special, 0},       // MOV
    {Form::Special, 0},       // ADD
    {Form::Special, 0},       // SUB
    {Form::Logic, 0},         // AND
    {Form::Logic, 1},         // OR
    {Form::Logic, 2},         // XOR
    {Form::Special, 0},       // CLR
    {Form::Fr, 0x2A0},        // INC
    {Form::Fr, 0x0E0},        // DEC
    {Form::Fr, 0x360},        // RL
    {Form::Fr, 0x320},        // RR
    {Form::Fr, 0x3A0},        // SWAP
    {Form::Special, 0},       // NOT
    {Form::Special, 0},       // TEST
    {Form::Bit, 0x400},       // CLRB
    {Form::Fixed, 0x403},     // CLC
    {Form::Fixed, 0x443},     // CLZ
    {Form::Bit, 0x500},       // SETB
    {Form::Fixed, 0x503},     // STC
    {Form::Fixed, 0x543},     // STZ
    {Form::BitAdd, 0x2A0},    // ADDB
    {Form::BitAdd, 0x0E0},    // SUBB
    {Form::Special, 0},       // MOVB
    {Form::Special, 0},       // MOVSZ
    {Form::Fr, 0x3E0},        // INCSZ
    {Form::FrJump, 0x3E0},    // IJNZ
    {Form::Fr, 0x2E0},        // DECSZ
    {Form::FrJump, 0x2E0},    // DJNZ
    {Form::Compare, 0xCD},    // CSE
    {Form::Compare, 0x89},    // CSNE
    {Form::Compare, 0x63},    // CSA
    {Form::Compare, 0x45},    // CSAE
    {Form::Compare, 0x01},    // CSB
    {Form::Compare, 0x27},    // CSBE
    {Form::CompareJump, 0x89},  // CJE  = CSNE + jump
    {Form::CompareJump, 0xCD},  // CJNE = CSE
    {Form::CompareJump, 0x27},  // CJA  = CSBE
    {Form::CompareJump, 0x01},  // CJAE = CSB
    {Form::CompareJump, 0x45},  // CJB  = CSAE
    {Form::CompareJump, 0x63},  // CJBE = CSA
    {Form::Bit, 0x700},       // SB
    {Form::Fixed, 0x703},     // SC
    {Form::Fixed, 0x743},     // SZ
    {Form::Bit, 0x600},       // SNB
    {Form::Fixed, 0x603},     // SNC
    {Form::Fixed, 0x643},     // SNZ
    {Form::BitJump, 0x600},   // JB
    {Form::FixedJump, 0x603}, // JC
    {Form::FixedJump, 0x643}, // JZ
    {Form::BitJump, 0x700},   // JNB
    {Form::FixedJump, 0x703}, // JNC
    {Form::FixedJump, 0x743}, // JNZ
    {Form::Special, 0},       // SKIP
    {Form::Special, 0},       // JMP
    {Form::Special, 0},       // CALL
    {Form::Special, 0},       // RETW
    {Form::Fixed, 0x00C},     // RET
    {Form::Fixed, 0x00D},     // RETP
    {Form::Fixed, 0x00E},     // RETI
    {Form::Fixed, 0x00F},     // RETIW
    {Form::Special, 0},       // PAGE
    {Form::Special, 0},       // BANK
    {Form::Special, 0},       // MODE
    {Form::Fixed, 0x003},     // SLEEP
    {Form::Fixed, 0x041},     // IREAD
    {Form::Fixed, 0x000},     // NOP
    {Form::Special, 0},       // LSET
    {Form::Special, 0},       // LJMP
    {Form::Special, 0},       // LCALL
};

// AND, OR, XOR words: W,#lit / W,fr / fr,W.
struct LogicWords {
    std::uint16_t withLiteral, toW, toRegister;
};
constexpr LogicWords kLogic[3] = {{0xE00, 0x140, 0x160}, {0xD00, 0x100, 0x120}, {0xF00, 0x180, 0x1A0}};

std::uint32_t Fr(AsmWork& w) {
    std::int32_t v = ReadPassExpression(w);
    std::uint32_t field = RegisterField(w, v);
    NoteCut(w, v, 0, 0xFF, field, 8);
    return field;
}
// An 8-bit literal: -128..255 fit (a negative value is its two's complement).
// Below that the cut is noted as a literal's: editors take -255..-129 as the
// field's value modulo 256 (MOV W,#-217 holds 39, the RTCC reload that
// RETIW adds for 217 counts).
std::uint32_t Lit(AsmWork& w) {
    std::int32_t v = ReadPassExpression(w);
    std::uint32_t field = static_cast<std::uint32_t>(v) & 0xFF;
    NoteCut(w, v, -128, 0xFF, field, 8, true);
    return field;
}
// A MODE value: the word holds 4 bits. Values up to the family's MODE width
// are not noted: the 52 keeps MODE bit 4 itself, and sources state it.
std::uint32_t ModeLit(AsmWork& w) {
    std::int32_t v = ReadPassExpression(w);
    std::uint32_t field = static_cast<std::uint32_t>(v) & 0x0F;
    NoteCut(w, v, 0, w.family->modeMask, field, 4);
    return field;
}
std::uint32_t Bit(AsmWork& w) {
    std::int32_t v = ReadPassExpression(w);
    std::uint32_t field = BitField(w, v);
    NoteCut(w, v, 0, 0x7FF, field, 11);
    return field;
}
std::uint32_t Address(AsmWork& w) { return static_cast<std::uint32_t>(ReadPassExpression(w)); }

// A jump or call target: kept for the instruction's fact when resolved.
std::uint32_t Target(AsmWork& w) {
    std::uint32_t addr = Address(w);
    w.targetRead = !w.unresolved;
    w.targetValue = addr;
    w.targetStart = w.state->ErrorStart;
    w.targetEnd = w.state->ErrorEnd;
    return addr;
}

std::uint32_t PageWord(std::uint32_t addr) { return 0x010 | ((addr >> 9) & 7); }

// A jump to addr, optionally as "@addr" (PAGE first).
void Jump(AsmWork& w) {
    bool page = ReadToken(w) == Tok::At;
    if (!page) UnreadToken(w);
    std::uint32_t addr = Target(w);
    if (page) StoreWord(w, PageWord(addr));
    StoreWord(w, 0xA00 | (addr & 0x1FF));
}

std::uint32_t CallAddress(AsmWork& w) {
    std::uint32_t addr = Target(w);
    if (addr & 0x100) Fail(w, AsmMsg::CallFirstHalf);
    return addr;
}

// LSET: one CLRB/SETB of a STATUS page bit for each page bit of the memory.
void SetPageBits(AsmWork& w, std::uint32_t addr) {
    for (std::uint32_t bit = 9; bit <= 11; ++bit) {
        if (!(w.AddressMask & (1u << bit))) continue;
        std::uint32_t statusBit = (bit - 4) << 5 | 3;  // STATUS.5, .6, .7
        StoreWord(w, (((addr >> bit) & 1) ? 0x500 : 0x400) | statusBit);
    }
}

// The second operand of "op fr,...": W gives one word (`toRegister` | fr);
// "#lit" or fr2 (or M for MOV) load W first.
void ToRegister(AsmWork& w, std::uint32_t fr, std::uint32_t toRegister, bool allowM) {
    Tok t = ReadToken(w);
    if (t == Tok::W) {
        StoreWord(w, toRegister | fr);
        return;
    }
    if (t == Tok::Hash) {
        StoreWord(w, 0xC00 | Lit(w));
    } else if (t == Tok::M && allowM) {
        StoreWord(w, 0x042);
    } else {
        UnreadToken(w);
        StoreWord(w, 0x200 | Fr(w));
    }
    StoreWord(w, toRegister | fr);
}

// "#lit" or fr into W, then `last`.
void LoadThen(AsmWork& w, std::uint32_t last) {
    if (ReadToken(w) == Tok::W) {
        StoreWord(w, last);
        return;
    }
    if (w.kind == Tok::Hash) {
        StoreWord(w, 0xC00 | Lit(w));
    } else {
        UnreadToken(w);
        StoreWord(w, 0x200 | Fr(w));
    }
    StoreWord(w, last);
}

void Mov(AsmWork& w) {
    Tok t = ReadToken(w);
    if (t == Tok::W) {
        RequireComma(w);
        Tok s = ReadToken(w);
        std::int32_t v = w.value;
        if (s == Tok::Hash) {
            StoreWord(w, 0xC00 | Lit(w));
        } else if (s == Tok::IncDec) {
            StoreWord(w, (v == 0 ? 0x280 : 0x0C0) | Fr(w));
        } else if (s == Tok::Arith && v == kOpShl) {
            StoreWord(w, 0x340 | Fr(w));
        } else if (s == Tok::Arith && v == kOpShr) {
            StoreWord(w, 0x300 | Fr(w));
        } else if (s == Tok::Arith && v == kOpDiv) {
            StoreWord(w, 0x240 | Fr(w));
        } else if (s == Tok::Compare && v == kOpNe) {
            StoreWord(w, 0x380 | Fr(w));
        } else if (s == Tok::M) {
            StoreWord(w, 0x042);
        } else {
            UnreadToken(w);
            std::uint32_t fr = Fr(w);
            if (w.stoppedAtMinusW) {
                ReadToken(w);  // the W after "-"
                StoreWord(w, 0x080 | fr);
            } else {
                StoreWord(w, 0x200 | fr);
            }
        }
        return;
    }
    if (t == Tok::M) {
        RequireComma(w);
        Tok s = ReadToken(w);
        if (s == Tok::W) {
            StoreWord(w, 0x043);
        } else if (s == Tok::Hash) {
            StoreWord(w, 0x050 | ModeLit(w));
        } else {
            UnreadToken(w);
            StoreWord(w, 0x200 | Fr(w));
            StoreWord(w, 0x043);
        }
        return;
    }
    if (t == Tok::Bang) {
        if (ReadToken(w) == Tok::Option) {
            RequireComma(w);
            LoadThen(w, 0x002);
            return;
        }
        UnreadToken(w);
        std::int32_t port = ReadPassExpression(w);
        if (!w.unresolved && (port < 5 || port > 11)) Fail(w, AsmMsg::PortRange);
        if (w.unresolved) port = 5;  // pass 1 placeholder; pass 2 has the value
        RequireComma(w);
        LoadThen(w, static_cast<std::uint32_t>(port));
        return;
    }
    UnreadToken(w);
    std::uint32_t fr = Fr(w);
    RequireComma(w);
    ToRegister(w, fr, 0x020, true);
}

void Compare(AsmWork& w, std::uint8_t pattern) {
    std::uint32_t a = Fr(w);
    RequireComma(w);
    std::uint32_t first, second, p;
    if (ReadToken(w) == Tok::Hash) {
        p = pattern >> 4;
        std::uint32_t k = Lit(w);
        if (p & 2) {
            first = 0xC00 | ((k ^ 0xFF) & 0xFF);
            second = 0x1C0 | a;
        } else {
            first = 0xC00 | k;
            second = 0x080 | a;
        }
    } else {
        UnreadToken(w);
        p = pattern & 0x0F;
        std::uint32_t b = Fr(w);
        if (p & 2) {
            first = 0x200 | a;
            second = 0x080 | b;
        } else {
            first = 0x200 | b;
            second = 0x080 | a;
        }
    }
    StoreWord(w, first);
    StoreWord(w, second);
    StoreWord(w, ((p & 4) ? 0x703 : 0x603) + ((p & 8) ? 0x040 : 0));
}

void Special(AsmWork& w, int number) {
    switch (number) {
        case kMov: Mov(w); return;
        case kAdd:
            if (ReadToken(w) == Tok::W) {
                RequireComma(w);
                StoreWord(w, 0x1C0 | Fr(w));
                return;
            }
            UnreadToken(w);
            {
                std::uint32_t fr = Fr(w);
                RequireComma(w);
                ToRegister(w, fr, 0x1E0, false);
            }
            return;
        case kSub: {
            std::uint32_t fr = Fr(w);
            RequireComma(w);
            ToRegister(w, fr, 0x0A0, false);
            return;
        }
        case kClr: {
            Tok t = ReadToken(w);
            if (t == Tok::W) {
                StoreWord(w, 0x040);
            } else if (t == Tok::Wdt) {
                StoreWord(w, 0x004);
            } else if (t == Tok::Bang) {
                if (ReadToken(w) != Tok::Wdt) Fail(w, AsmMsg::ExpectedWdt);
                StoreWord(w, 0x004);
            } else {
                UnreadToken(w);
                StoreWord(w, 0x060 | Fr(w));
            }
            return;
        }
        case kNot:
        case kTest:
            if (ReadToken(w) == Tok::W) {
                StoreWord(w, number == kNot ? 0xFFF : 0xD00);
                return;
            }
            UnreadToken(w);
            StoreWord(w, (number == kNot ? 0x260 : 0x220) | Fr(w));
            return;
        case kMovb: {
            std::uint32_t dst = Bit(w);
            RequireComma(w);
            bool inverted = ReadToken(w) == Tok::Arith && w.value == kOpDiv;
            if (!inverted) UnreadToken(w);
            std::uint32_t src = Bit(w);
            StoreWord(w, (inverted ? 0x600 : 0x700) | src);
            StoreWord(w, 0x400 | dst);
            StoreWord(w, (inverted ? 0x700 : 0x600) | src);
            StoreWord(w, 0x500 | dst);
            return;
        }
        case kMovsz: {
            if (ReadToken(w) != Tok::W) Fail(w, AsmMsg::ExpectedW);
            RequireComma(w);
            if (ReadToken(w) != Tok::IncDec) Fail(w, AsmMsg::ExpectedIncDec);
            std::uint32_t base = w.value == 0 ? 0x3C0 : 0x2C0;
            StoreWord(w, base | Fr(w));
            return;
        }
        case kSkip: StoreWord(w, (w.LocationCounter & 1) ? 0x602 : 0x702); return;
        case kJmp: {
            Tok t = ReadToken(w);
            if (t == Tok::W) {
                StoreWord(w, 0x022);
                return;
            }
            if (t == Tok::Constant && w.value == 2) {
                if (ReadToken(w) == Tok::Arith && w.value == kOpAdd) {
                    if (ReadToken(w) == Tok::W) {
                        StoreWord(w, 0x1E2);
                        return;
                    }
                    UnreadToken(w);
                }
                UnreadToken(w);
            }
            UnreadToken(w);
            Jump(w);
            return;
        }
        case kCall: {
            bool page = ReadToken(w) == Tok::At;
            if (!page) UnreadToken(w);
            std::uint32_t addr = CallAddress(w);
            if (page) StoreWord(w, PageWord(addr));
            StoreWord(w, 0x900 | (addr & 0xFF));
            return;
        }
        case kRetw:
            for (;;) {
                StoreWord(w, 0x800 | Lit(w));
                Tok t = ReadToken(w);
                if (t == Tok::Comma) continue;
                if (t != Tok::EndOfLine) Fail(w, AsmMsg::ExpectedCommaOrEndOfLine);
                UnreadToken(w);
                return;
            }
        case kPage: SkipHashMark(w); StoreWord(w, PageWord(Address(w))); return;
        case kBank: SkipHashMark(w); StoreWord(w, 0x018 | ((Address(w) >> w.family->bankShift) & 7)); return;
        case kMode:
            if (ReadToken(w) != Tok::Hash) UnreadToken(w);
            StoreWord(w, 0x050 | ModeLit(w));
            return;
        case kLset: SetPageBits(w, Address(w)); return;
        case kLjmp: {
            std::uint32_t addr = Target(w);
            SetPageBits(w, addr);
            StoreWord(w, 0xA00 | (addr & 0x1FF));
            return;
        }
        case kLcall: {
            std::uint32_t addr = CallAddress(w);
            SetPageBits(w, addr);
            StoreWord(w, 0x900 | (addr & 0xFF));
            return;
        }
        default: return;
    }
}
}  // namespace

namespace {
void EncodeInstruction(AsmWork& w, int number) {
    const InstrForm f = kForms[number];
    switch (f.form) {
        case Form::Special: Special(w, number); return;
        case Form::Fixed: StoreWord(w, f.base); return;
        case Form::Fr: StoreWord(w, f.base | Fr(w)); return;
        case Form::Bit: StoreWord(w, f.base | Bit(w)); return;
        case Form::FrJump:
            StoreWord(w, f.base | Fr(w));
            RequireComma(w);
            Jump(w);
            return;
        case Form::BitJump:
            StoreWord(w, f.base | Bit(w));
            RequireComma(w);
            Jump(w);
            return;
        case Form::FixedJump:
            StoreWord(w, f.base);
            Jump(w);
            return;
        case Form::Compare: Compare(w, static_cast<std::uint8_t>(f.base)); return;
        case Form::CompareJump:
            Compare(w, static_cast<std::uint8_t>(f.base));
            RequireComma(w);
            Jump(w);
            return;
        case Form::BitAdd: {
            std::uint32_t fr = Fr(w);
            RequireComma(w);
            bool inverted = ReadToken(w) == Tok::Arith && w.value == kOpDiv;
            if (!inverted) UnreadToken(w);
            StoreWord(w, (inverted ? 0x700 : 0x600) | Bit(w));
            StoreWord(w, f.base | fr);
            return;
        }
        case Form::Logic: {
            const LogicWords& l = kLogic[f.base];
            if (ReadToken(w) == Tok::W) {
                RequireComma(w);
                if (ReadToken(w) == Tok::Hash) {
                    StoreWord(w, l.withLiteral | Lit(w));
                } else {
                    UnreadToken(w);
                    StoreWord(w, l.toW | Fr(w));
                }
                return;
            }
            UnreadToken(w);
            std::uint32_t fr = Fr(w);
            RequireComma(w);
            ToRegister(w, fr, l.toRegister, false);
            return;
        }
    }
}

}  // namespace

void AssembleInstruction(AsmWork& w, int number) {
    if (number < 0 || number >= kInstrCount) return;
    // The mnemonic's span: the token just read.
    const std::uint32_t start = w.state->ErrorStart, end = w.state->ErrorEnd;
    const std::uint32_t address = w.LocationCounter, before = w.passWords;
    w.targetRead = false;
    EncodeInstruction(w, number);
    if (w.pass != 2 || w.factCount >= static_cast<std::uint32_t>(kProgramWords)) return;
    w.facts[w.factCount++] = {start,
                              end,
                              address,
                              static_cast<std::uint16_t>(w.passWords - before),
                              static_cast<std::uint8_t>(number),
                              w.frame != kNoFrame,
                              w.targetRead,
                              w.targetValue,
                              w.targetStart,
                              w.targetEnd};
}

}  // namespace korvid
