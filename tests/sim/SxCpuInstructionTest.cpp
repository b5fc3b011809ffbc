// Single instructions of the emulator: results and flags, on both the
// general executor (single steps) and the decoded run loop, for global and
// banked registers, in both families.
#include <gtest/gtest.h>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

// Debugger address of banked register 10h with FSR selecting bank 1.
int BankedAddress(const SxCpu& cpu) { return cpu.family().is52() ? 0x10 : 0x30; }
std::uint8_t Bank1Fsr(const SxCpu& cpu) { return cpu.family().is52() ? 0x10 : 0x20; }

struct AluCase {
    const char* name;
    int op;          // opcode with the fr field 0
    int w, f, c;     // W, the register, carry in
    bool carryX;
    int wantW, wantF;
    int wantFlags;   // C, DC, Z after
};

// 0x7F+0x02 etc. are the manual's check vectors; the rest pin down borrow
// semantics, the carry-in rule and which flags each instruction leaves.
const AluCase kAluCases[] = {
    {"AddW_7F_02", 0x1C0, 0x02, 0x7F, 0, false, 0x81, 0x7F, DC},
    {"AddW_81_82", 0x1C0, 0x82, 0x81, 0, false, 0x03, 0x81, C},
    {"AddW_80_80_Z", 0x1C0, 0x80, 0x80, 0, false, 0x00, 0x80, C | Z},
    {"AddW_CarryIgnored", 0x1C0, 0x02, 0x7F, 1, false, 0x81, 0x7F, DC},
    {"AddW_CarryX", 0x1C0, 0x02, 0x7F, 1, true, 0x82, 0x7F, DC},
    {"AddW_CarryXToZero", 0x1C0, 0xFF, 0x00, 1, true, 0x00, 0x00, C | DC | Z},
    {"AddFr", 0x1E0, 0x0F, 0x01, 0, false, 0x0F, 0x10, DC},
    {"Sub_35_06", 0x0A0, 0x06, 0x35, 0, false, 0x06, 0x2F, C},
    {"Sub_Borrow", 0x0A0, 0x06, 0x05, 0, false, 0x06, 0xFF, 0},
    {"Sub_Equal", 0x0A0, 0x10, 0x10, 0, false, 0x10, 0x00, C | DC | Z},
    {"Sub_CarryXBorrowIn", 0x0A0, 0x06, 0x35, 0, true, 0x06, 0x2E, C},
    {"Sub_CarryXNoBorrow", 0x0A0, 0x06, 0x35, 1, true, 0x06, 0x2F, C},
    {"MovWFrMinusW", 0x080, 0x35, 0x06, 1, false, 0xD1, 0x06, DC},
    {"MovWFrMinusW_Equal", 0x080, 0x42, 0x42, 0, false, 0x00, 0x42, C | DC | Z},
    {"Inc_WrapsZ_KeepsC", 0x2A0, 0x00, 0xFF, 1, true, 0x00, 0x00, C | Z},
    {"Dec_ToZero", 0x0E0, 0x00, 0x01, 0, true, 0x00, 0x00, Z},
    {"MovWInc", 0x280, 0x00, 0x41, 0, false, 0x42, 0x41, 0},
    {"MovWDec_Z", 0x0C0, 0x33, 0x01, 0, false, 0x00, 0x01, Z},
    {"Rl_ThroughCarry", 0x360, 0x00, 0x81, 0, false, 0x00, 0x02, C},
    {"Rl_CarryIn", 0x360, 0x00, 0x00, 1, false, 0x00, 0x01, 0},  // Z untouched by rotates
    {"Rr_ThroughCarry", 0x320, 0x00, 0x01, 1, false, 0x00, 0x80, C},
    {"MovWRl", 0x340, 0x00, 0x40, 1, false, 0x81, 0x40, 0},
    {"MovWRr", 0x300, 0x00, 0x02, 0, false, 0x01, 0x02, 0},
    {"Swap", 0x3A0, 0x00, 0x3C, 0, false, 0x00, 0xC3, 0},
    {"MovWSwap", 0x380, 0x00, 0x12, 0, false, 0x21, 0x12, 0},
    {"Not", 0x260, 0x00, 0xFF, 0, false, 0x00, 0x00, Z},
    {"MovWNot", 0x240, 0x00, 0x0F, 0, false, 0xF0, 0x0F, 0},
    {"Clr", 0x060, 0x12, 0x34, 0, false, 0x12, 0x00, Z},
    {"Test_Zero", 0x220, 0x12, 0x00, 0, false, 0x12, 0x00, Z},
    {"Test_NonZero", 0x220, 0x12, 0x80, 1, false, 0x12, 0x80, C},
    {"MovWFr", 0x200, 0x12, 0x00, 0, false, 0x00, 0x00, Z},
    {"MovFrW", 0x020, 0x5A, 0x00, 0, false, 0x5A, 0x5A, 0},
    {"AndW", 0x140, 0xF0, 0x0F, 0, false, 0x00, 0x0F, Z},
    {"AndFr", 0x160, 0x3C, 0x0F, 0, false, 0x3C, 0x0C, 0},
    {"OrW", 0x100, 0x00, 0x00, 0, false, 0x00, 0x00, Z},
    {"OrFr", 0x120, 0x30, 0x03, 0, false, 0x30, 0x33, 0},
    {"XorW", 0x180, 0x55, 0x55, 0, false, 0x00, 0x55, Z},
    {"XorFr", 0x1A0, 0xFF, 0x0F, 0, false, 0xFF, 0xF0, 0},
};

// The flags an instruction does not write must survive: start with the
// complement of the expected C/DC/Z where the instruction leaves them.
void RunAluCase(const Family& family, const AluCase& k, bool banked, bool fast) {
    SxCpu cpu(family);
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.carryX = k.carryX; });
    const int fr = banked ? kBanked : kR;
    Program p;
    p.At(0x010, {k.op | fr});
    Load(cpu, p);
    cpu.SetPc(0x010);
    cpu.SetFsr(Bank1Fsr(cpu));
    const int address = banked ? BankedAddress(cpu) : kR;
    cpu.Poke(address, static_cast<std::uint8_t>(k.f));
    cpu.SetW(static_cast<std::uint8_t>(k.w));
    cpu.SetStatus(static_cast<std::uint8_t>(k.c ? C : 0));
    if (fast) cpu.Run(1); else cpu.Step();
    SCOPED_TRACE(::testing::Message() << k.name << (banked ? " banked" : " global") << (fast ? " run" : " step"));
    EXPECT_EQ(cpu.w(), k.wantW);
    EXPECT_EQ(cpu.Peek(address), k.wantF);
    // Flags the instruction does not touch keep their value: C was the
    // carry in, DC and Z were clear.
    EXPECT_EQ(cpu.status() & (C | DC | Z), k.wantFlags);
    EXPECT_EQ(cpu.pc(), 0x011);
    EXPECT_EQ(cpu.cycles(), 1u);
}

class SxCpuAlu : public BothFamilies {};

TEST_P(SxCpuAlu, ResultsAndFlagsOnBothPathsAndAddressings) {
    for (const AluCase& k : kAluCases)
        for (bool banked : {false, true})
            for (bool fast : {false, true}) RunAluCase(*GetParam(), k, banked, fast);
}

TEST_P(SxCpuAlu, LiteralFormsAndBitOperations) {
    SxCpu cpu(*GetParam());
    cpu.Configure(TestConfig(cpu));
    Program p;
    p.At(0x010, {0xC3C,          // MOV W,#3Ch
                 0xE0F,          // AND W,#0Fh -> 0C
                 0xD30,          // OR W,#30h -> 3C
                 0xF3C,          // XOR W,#3Ch -> 00, Z
                 0x040 | 0x000,  // CLR W
                 0x500 | (7 << 5) | kR,  // SETB kR.7
                 0x400 | (0 << 5) | kR,  // CLRB kR.0
                 0x503,          // STC
                 0x443});        // CLZ
    Load(cpu, p);
    cpu.Poke(kR, 0x01);
    StepTo(cpu, 0x013);
    EXPECT_EQ(cpu.w(), 0x3C);
    cpu.Step();
    EXPECT_EQ(cpu.w(), 0x00);
    EXPECT_TRUE(cpu.status() & Z);
    StepTo(cpu, 0x019);
    EXPECT_EQ(cpu.Peek(kR), 0x80);
    EXPECT_EQ(cpu.status() & (C | Z), C);
}

TEST_P(SxCpuAlu, StatusAsDestinationKeepsTimeOutBitsAndLetsFlagsWin) {
    SxCpu cpu(*GetParam());
    cpu.Configure(TestConfig(cpu));
    Program p;
    p.At(0x010, {0xC00,    // MOV W,#0
                 0x023,    // MOV STATUS,W  (TO, PD read-only)
                 0x063});  // CLR STATUS -> Z set by the flag logic
    Load(cpu, p);
    const std::uint8_t tope = cpu.status() & (TO | PD);
    StepTo(cpu, 0x012);
    EXPECT_EQ(cpu.status(), tope);
    cpu.Step();
    EXPECT_EQ(cpu.status(), tope | Z);
}

// Every instruction that can write STATUS, with STATUS as its destination
// (directly and through IND with FSR = 3): the page bits and the other
// written bits take the result, C, DC and Z come from the flag logic where
// the instruction sets them, and TO and PD never change.
struct StatusWriteCase {
    const char* name;
    int op;          // the instruction with fr = STATUS (03h)
    int w;
    int before;      // STATUS before, TO and PD included
    int want;        // STATUS after
    bool viaInd;     // also run as the same instruction on IND (fr = 00h)
};

const StatusWriteCase kStatusWrites[] = {
    {"AddPageFromResult", 0x1E3, 0x20, 0x18, 0x38, true},
    {"AddCarryOut", 0x1E3, 0x10, 0xF9, 0x19, true},
    {"SubPageFromResult", 0x0A3, 0xE0, 0x18, 0x3A, true},
    {"MovFrW", 0x023, 0xE5, 0x18, 0xFD, true},
    {"Clr", 0x063, 0x00, 0xFF, 0x1C, true},
    {"Inc", 0x2A3, 0x00, 0x1F, 0x38, true},
    {"Dec", 0x0E3, 0x00, 0x38, 0x3B, true},
    {"Or", 0x123, 0x41, 0x18, 0x59, true},
    {"AndZeroFlagWins", 0x163, 0x04, 0xFF, 0x18, true},
    {"XorToZero", 0x1A3, 0x18, 0x18, 0x1C, true},
    {"Not", 0x263, 0x00, 0x18, 0xFB, true},
    {"Test", 0x223, 0x00, 0x3C, 0x38, true},
    {"RlCarryFromBit7", 0x363, 0x00, 0x99, 0x3B, true},
    {"RrCarryFromBit0", 0x323, 0x00, 0x18, 0x1C, true},
    {"Swap", 0x3A3, 0x00, 0x1A, 0xB9, true},
    {"IncszWraps", 0x3E3, 0x00, 0xFF, 0x18, true},
    {"Decsz", 0x2E3, 0x00, 0x38, 0x3F, true},
    {"SetbPageBit", 0x5E3, 0x00, 0x18, 0x98, true},
    {"ClrbTimeOutIgnored", 0x483, 0x00, 0x18, 0x18, true},
    {"Stc", 0x503, 0x00, 0x18, 0x19, true},
    {"Clz", 0x443, 0x00, 0x1C, 0x18, true},
    {"AddWFlagsOnly", 0x1C3, 0xE8, 0x18, 0x1F, true},
    {"MovWFrMinusWFlagsOnly", 0x083, 0x18, 0x18, 0x1F, true},
    {"ClrW", 0x040, 0x00, 0x18, 0x1C, false},
    {"Page5", 0x015, 0x00, 0x18, 0xB8, false},
    {"ClrWdt", 0x004, 0x00, 0x00, 0x18, false},
};

TEST_P(SxCpuAlu, EveryStatusWriterOnBothPaths) {
    for (const StatusWriteCase& k : kStatusWrites) {
        for (bool ind : {false, true}) {
            if (ind && !k.viaInd) continue;
            for (bool fast : {false, true}) {
                SxCpu cpu(*GetParam());
                cpu.Configure(TestConfig(cpu));
                Program p;
                p.At(0x010, {ind ? k.op & ~0x1F : k.op});
                Load(cpu, p);
                cpu.SetPc(0x010);
                cpu.SetFsr(ind ? 0x03 : 0x00);
                cpu.SetW(static_cast<std::uint8_t>(k.w));
                cpu.SetStatus(static_cast<std::uint8_t>(k.before));
                if (fast) cpu.Run(1); else cpu.Step();
                SCOPED_TRACE(::testing::Message() << k.name << (ind ? " via IND" : "") << (fast ? " run" : " step"));
                EXPECT_EQ(cpu.status(), k.want);
            }
        }
    }
}

KORVID_BOTH_FAMILIES(SxCpuAlu);

// --- skips -------------------------------------------------------------------

struct SkipCase {
    const char* name;
    int op;        // with fr field 0 (bit 0 for bit tests)
    int f;
    bool taken;
    int wantF, wantW;
};

const SkipCase kSkipCases[] = {
    {"SbSet", 0x700, 0x01, true, 0x01, 0x77},
    {"SbClear", 0x700, 0xFE, false, 0xFE, 0x77},
    {"SnbClear", 0x600, 0x00, true, 0x00, 0x77},
    {"SnbSet", 0x600, 0x01, false, 0x01, 0x77},
    {"IncszToZero", 0x3E0, 0xFF, true, 0x00, 0x77},
    {"Incsz", 0x3E0, 0x10, false, 0x11, 0x77},
    {"DecszToZero", 0x2E0, 0x01, true, 0x00, 0x77},
    {"Decsz", 0x2E0, 0x00, false, 0xFF, 0x77},
    {"MovszIncToZero", 0x3C0, 0xFF, true, 0xFF, 0x00},
    {"MovszDec", 0x2C0, 0x05, false, 0x05, 0x04},
};

class SxCpuSkip : public BothFamilies {};

TEST_P(SxCpuSkip, SkipInstructionsOnBothPaths) {
    for (const SkipCase& k : kSkipCases) {
        for (bool fast : {false, true}) {
            SCOPED_TRACE(::testing::Message() << k.name << (fast ? " run" : " step"));
            SxCpu cpu(*GetParam());
            cpu.Configure(TestConfig(cpu));
            Program p;
            p.At(0x010, {k.op | kR, 0x000, 0x000});
            Load(cpu, p);
            cpu.SetPc(0x010);
            cpu.Poke(kR, static_cast<std::uint8_t>(k.f));
            cpu.SetW(0x77);
            cpu.SetStatus(0);
            if (fast) {
                cpu.Run(1);
            } else {
                cpu.Step();
                EXPECT_EQ(cpu.skipPending(), k.taken);
                EXPECT_EQ(cpu.pc(), 0x011);
                if (k.taken) cpu.Step();  // passes over the annulled word
                EXPECT_FALSE(cpu.skipPending());
            }
            EXPECT_EQ(cpu.pc(), k.taken ? 0x012 : 0x011);
            EXPECT_EQ(cpu.cycles(), k.taken ? 2u : 1u);
            EXPECT_EQ(cpu.instructions(), 1u);
            EXPECT_EQ(cpu.Peek(kR), k.wantF);
            EXPECT_EQ(cpu.w(), k.wantW);
            EXPECT_EQ(cpu.status() & (C | DC | Z), 0);  // no flags
        }
    }
}

TEST_P(SxCpuSkip, SkippingPageOrBankAlsoSkipsTheWordAfterIt) {
    struct Layout { std::initializer_list<int> after; int wantPc; std::uint64_t wantCycles; };
    const Layout layouts[] = {
        {{0x011, 0xA40, 0x000}, 0x013, 3},          // SB; PAGE; JMP -> both skipped
        {{0x011, 0x019, 0xA40, 0x000}, 0x014, 4},   // PAGE, BANK, JMP
        {{0x000, 0x011, 0x000}, 0x012, 2},          // an ordinary word: PAGE then runs
    };
    for (const Layout& l : layouts) {
        for (bool fast : {false, true}) {
            SxCpu cpu(*GetParam());
            cpu.Configure(TestConfig(cpu));
            Program p;
            p.At(0x010, {0x700 | kR});  // SB kR.0
            p.At(0x011, l.after);
            Load(cpu, p);
            cpu.SetPc(0x010);
            cpu.Poke(kR, 1);
            if (fast) {
                cpu.Run(1);
            } else {
                cpu.Step();
                cpu.Step();
            }
            EXPECT_EQ(cpu.pc(), l.wantPc);
            EXPECT_EQ(cpu.cycles(), l.wantCycles);
            EXPECT_EQ(cpu.status() & 0xE0, 0);  // the skipped PAGE did nothing
        }
    }
}

TEST_P(SxCpuSkip, SkipAlwaysSkipsBecausePcReadsAsTheNextAddress) {
    // The assembler's SKIP is SB PC.0 at an even address, SNB PC.0 at an odd one.
    for (int address : {0x020, 0x021, 0x0FF, 0x1FE}) {
        for (bool fast : {false, true}) {
            SxCpu cpu(*GetParam());
            cpu.Configure(TestConfig(cpu));
            Program p;
            p.At(address, {(address & 1) ? 0x602 : 0x702});
            Load(cpu, p);
            cpu.SetPc(static_cast<std::uint16_t>(address));
            if (fast) {
                cpu.Run(1);
            } else {
                cpu.Step();
                cpu.Step();
            }
            EXPECT_EQ(cpu.pc(), address + 2) << std::hex << address;
        }
    }
}

TEST_P(SxCpuSkip, SkipAtTheTopOfMemoryWrapsToZero) {
    SxCpu cpu(*GetParam());
    cpu.Configure(TestConfig(cpu));
    const int top = cpu.config().programSize - 1;
    Program p;
    p.At(top - 1, {0x700 | kR});
    p.At(0, {0x000});
    cpu.LoadProgram(p.words.data(), 4096);
    cpu.Reset(SxReset::PowerOn);
    cpu.SetPc(static_cast<std::uint16_t>(top - 1));
    cpu.Poke(kR, 1);
    cpu.Run(1);
    EXPECT_EQ(cpu.pc(), 0);
}

KORVID_BOTH_FAMILIES(SxCpuSkip);

}  // namespace
}  // namespace korvid::testing
