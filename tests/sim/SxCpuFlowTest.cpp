// Program flow of the emulator: jumps and the page bits, calls and the
// stack, computed jumps, indirect and banked addressing, IREAD, reset.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

class SxCpuFlow : public CpuOfEachFamily {};

TEST_P(SxCpuFlow, JumpsTakeThePageBitsAndCallsClearBit8) {
    Program p;
    p.At(0x010, {0x011,     // PAGE 200h
                 0xB05});   // JMP 105h -> 305h
    p.At(0x305, {0x010,     // PAGE 0
                 0x9F0});   // CALL 0F0h (bit 8 of the page offset is 0)
    p.At(0x0F0, {0x00C});   // RET
    Load(cpu, p);
    StepTo(cpu, 0x305);
    EXPECT_EQ(cpu.cycles(), 3u + 1u + 3u);  // reset jump, PAGE, JMP
    StepTo(cpu, 0x0F0);
    EXPECT_EQ(cpu.stackEntry(0), 0x307);
    cpu.Step();
    EXPECT_EQ(cpu.pc(), 0x307);
}

// The run loop keeps the page bits apart from STATUS: every way of
// changing them must reach the next jump within the same run.
TEST_P(SxCpuFlow, JumpsInARunFollowEveryChangeOfThePageBits) {
    struct Case {
        const char* what;
        std::initializer_list<int> code;  // at 010h, followed by JMP 105h
        int target;
    };
    const Case cases[] = {
        {"PAGE 200h", {0x011}, 0x305},
        {"SETB STATUS.5", {0x5A3}, 0x305},
        {"MOV W,#20h; MOV STATUS,W", {0xC20, 0x023}, 0x305},
        {"PAGE 200h; CLRB STATUS.5", {0x011, 0x4A3}, 0x105},
        {"SETB STATUS.5; PAGE 0", {0x5A3, 0x010}, 0x105},
    };
    for (const Case& c : cases) {
        Program p;
        std::vector<int> code(c.code);
        code.push_back(0xB05);  // JMP 105h
        for (std::size_t i = 0; i < code.size(); ++i) p.At(0x010 + static_cast<int>(i), {code[i]});
        p.At(0x105, {0xB05});   // JMP 105h: stays on page 0
        p.At(0x305, {0xB05});   // JMP 105h: stays on page 2
        SxCpu run{*GetParam()};
        run.Configure(TestConfig(run));
        Load(run, p);
        run.Run(200);
        EXPECT_EQ(run.pc(), c.target) << c.what;
    }
}

TEST_P(SxCpuFlow, RetKeepsThePageBitsRetpRestoresThem) {
    struct Case {
        std::uint16_t ret;
        int pageBits, jumpTarget;
    };
    for (const Case& c : {Case{0x00C, 0x20, 0x240},     // RET: page 1 kept
                          Case{0x00D, 0x00, 0x040}}) {  // RETP: page 0 restored
        Program p;
        p.At(0x010, {0x011, 0x930,   // PAGE 200h; CALL 230h
                     0xA40});         // JMP 040h
        p.At(0x230, {c.ret});
        Load(cpu, p);
        StepTo(cpu, 0x012);
        EXPECT_EQ(cpu.status() & 0xE0, c.pageBits);
        cpu.Step();
        EXPECT_EQ(cpu.pc(), c.jumpTarget);
    }
}

TEST_P(SxCpuFlow, ComputedJumpIntoRetwTable) {
    Program p;
    p.At(0x010, {0x011,          // PAGE 200h
                 0xC02,          // MOV W,#2
                 0x900,          // CALL 200h
                 0x020 | kR,     // MOV kR,W
                 0x010,          // PAGE 0
                 0xA15});        // JMP $
    p.At(0x200, {0x1E2,          // JMP PC+W
                 0x861, 0x862, 0x863, 0x864});  // RETW 'a'..'d'
    for (bool fast : {false, true}) {
        Load(cpu, p);
        if (fast) cpu.Run(40); else StepTo(cpu, 0x015);
        EXPECT_EQ(cpu.Peek(kR), 0x63);
        EXPECT_EQ(cpu.pc(), 0x015);
    }
}

TEST_P(SxCpuFlow, JumpPcPlusWDoesNotCarryIntoBit8AndSetsFlags) {
    Program p;
    p.At(0x1F0, {0x1E2});  // JMP PC+W at page offset 1F0h: next is F1h
    Load(cpu, p);
    cpu.SetPc(0x1F0);
    cpu.SetW(0x20);        // F1h + 20h = 111h -> 11h, carry out
    cpu.SetStatus(0);
    cpu.Step();
    EXPECT_EQ(cpu.pc(), 0x011);
    EXPECT_EQ(cpu.status() & C, C);
    EXPECT_EQ(cpu.cycles(), 3u);

    // Any write to PC clears bit 8 and takes the page bits.
    p.At(0x120, {0x022});  // MOV PC,W (JMP W)
    Load(cpu, p);
    cpu.SetPc(0x120);
    cpu.SetStatus(0x20);   // PAGE 200h
    cpu.SetW(0x44);
    cpu.Run(1);
    EXPECT_EQ(cpu.pc(), 0x244);
}

TEST_P(SxCpuFlow, CompatibleModeJumpsTakeTwoCycles) {
    if (GetParam()->is52()) GTEST_SKIP() << "the 52 family runs in turbo mode only";
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.turbo = false; });
    Program p;
    p.At(0x010, {0x000, 0xA10});
    Load(cpu, p);
    cpu.Run(2 + 1 + 2);  // reset jump, NOP, JMP
    EXPECT_EQ(cpu.pc(), 0x010);
    EXPECT_EQ(cpu.instructions(), 3u);
    EXPECT_EQ(cpu.clocks(), 20u);
}

TEST_P(SxCpuFlow, StackDropsTheOldestEntryAndRepeatsTheBottom) {
    for (int levels : {8, 2}) {
        if (levels == 2 && GetParam()->is52()) continue;  // always 8 levels
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.stackExtension = levels == 8; });
        // Ten nested calls: 020h calls 021h, which calls 022h, ...
        Program p;
        for (int i = 0; i < 10; ++i) p.At(0x020 + i, {0x921 + i});
        p.At(0x080, {0x00C});  // RET
        Load(cpu, p, 0x020);
        StepTo(cpu, 0x02A);
        // Pop everything and more: the newest `levels` return addresses come
        // back in order, then the bottom one again and again.
        for (int i = 0; i < 12; ++i) {
            cpu.SetPc(0x080);
            cpu.Step();
            const int want = i < levels ? 0x02A - i : 0x02A - (levels - 1);
            EXPECT_EQ(cpu.pc(), want) << "levels " << levels << " pop " << i;
        }
    }
}

// A debugger's stack traps: calls and returns within the levels run as
// they do without them (same place, same cycles); one CALL too many, or a
// return with no CALL's address left, ends the run after it.
TEST_P(SxCpuFlow, StackTrapsStopAtAnOverflowOrUnderflowOnly) {
    Program calls;  // 020h calls 021h, which calls 022h, ... (nine deep)
    for (int i = 0; i < 9; ++i) calls.At(0x020 + i, {0x921 + i});
    calls.At(0x029, {0xA29});                   // JMP $
    Program loop;
    loop.At(0x020, {0x930, 0xA20});             // CALL 030h; JMP 020h
    loop.At(0x030, {0x932, 0x00D});             // CALL 032h; RETP
    loop.At(0x032, {0x805});                    // RETW 5
    Program under;
    under.At(0x020, {0x930, 0x00C});            // CALL 030h; RET (nothing left)
    under.At(0x030, {0x00C});                   // RET
    struct Case {
        const char* what;
        const Program& program;
        SxStop stop;
        SxCpu::StackFault fault;
        int at;
    };
    const Case cases[] = {
        {"nine calls deep", calls, SxStop::Trap, SxCpu::StackFault::Overflow, 0x028},
        {"calls and returns in a loop", loop, SxStop::Budget, SxCpu::StackFault::None, 0},
        {"a return too many", under, SxStop::Trap, SxCpu::StackFault::Underflow, 0x021},
    };
    for (const Case& c : cases) {
        SxCpu plain{*GetParam()};
        plain.Configure(TestConfig(plain));
        Load(plain, c.program, 0x020);
        cpu.SetStackTraps(true);
        Load(cpu, c.program, 0x020);
        EXPECT_EQ(cpu.Run(1000), c.stop) << c.what;
        EXPECT_EQ(cpu.stackFault(), c.fault) << c.what;
        if (c.fault == SxCpu::StackFault::None) {
            plain.Run(1000);
            EXPECT_EQ(std::make_tuple(cpu.pc(), cpu.w(), cpu.cycles()), std::make_tuple(plain.pc(), plain.w(), plain.cycles()))
                << c.what;
            continue;
        }
        EXPECT_EQ(cpu.stackFaultAt(), c.at) << c.what;
        // Without the traps the chip runs on.
        EXPECT_EQ(plain.Run(1000), SxStop::Budget) << c.what;
        EXPECT_EQ(plain.stackFault(), SxCpu::StackFault::None) << c.what;
    }
}

TEST_P(SxCpuFlow, IreadReadsAProgramWordThroughModeAndW) {
    Program p;
    p.At(0x310, {0xABC});
    p.At(0x010, {0x053,          // MODE 3
                 0xC10,          // MOV W,#10h
                 0x041});        // IREAD
    Load(cpu, p);
    StepTo(cpu, 0x012);
    const std::uint64_t before = cpu.cycles();
    cpu.Step();
    EXPECT_EQ(cpu.w(), 0xBC);
    EXPECT_EQ(cpu.mode() & 0x0F, 0x0A);
    EXPECT_EQ(cpu.cycles() - before, 4u);
    if (GetParam()->is52()) {
        EXPECT_EQ(cpu.mode(), 0x1A);  // bit 4 kept
    }
}

TEST_P(SxCpuFlow, ModeMoves) {
    Program p;
    p.At(0x010, {0xC07, 0x043,   // MOV W,#7; MOV M,W
                 0x05C,          // MODE 0Ch
                 0x042});        // MOV W,M
    Load(cpu, p);
    EXPECT_EQ(cpu.mode(), GetParam()->is52() ? 0x1F : 0x0F);  // after reset
    StepTo(cpu, 0x012);
    EXPECT_EQ(cpu.mode(), 0x07);
    StepTo(cpu, 0x014);
    EXPECT_EQ(cpu.w(), 0x0C);
}

TEST_P(SxCpuFlow, UnusedOpcodesDoNothing) {
    Program p;
    p.At(0x010, {0x001, 0x044, 0x04F, 0x00A, 0x00B});
    Load(cpu, p);
    cpu.SetW(0x12);
    const std::uint8_t status = cpu.status();
    StepTo(cpu, 0x015);
    EXPECT_EQ(cpu.w(), 0x12);
    EXPECT_EQ(cpu.status(), status);
    EXPECT_EQ(cpu.cycles(), 3u + 5u);
}

TEST_P(SxCpuFlow, ResetState) {
    Program p;
    p.At(0x010, {0xC00, 0x002, 0x05A, 0x011});  // OPTION = 0; MODE 0Ah; PAGE 1
    Load(cpu, p);
    EXPECT_EQ(cpu.pc(), cpu.config().programSize - 1);
    EXPECT_EQ(cpu.option(), 0xFF);
    EXPECT_EQ(cpu.status() & (TO | PD | 0xE0), TO | PD);
    StepTo(cpu, 0x014);
    cpu.Reset(SxReset::External);
    EXPECT_EQ(cpu.pc(), cpu.config().programSize - 1);
    EXPECT_EQ(cpu.option(), 0xFF);
    EXPECT_EQ(cpu.status() & 0xE0, 0);
    EXPECT_EQ(cpu.mode(), GetParam()->is52() ? 0x1F : 0x0F);
    EXPECT_EQ(cpu.fsr() & 0xE0, 0);
}

KORVID_BOTH_FAMILIES(SxCpuFlow);

// A 28 family part with less memory than the largest.
void ConfigurePart(SxCpu& cpu, int programSize, int bankCount) {
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.programSize = programSize; c.bankCount = bankCount; });
}

TEST(SxCpuMemory, SmallPartsWrapAtTheirSize) {
    SxCpu cpu(Sx28lFamily());
    ConfigurePart(cpu, 512, 1);
    Program p;
    p.At(0x1FF, {0x000});
    p.At(0x000, {0x000});
    cpu.LoadProgram(p.words.data(), 4096);
    cpu.Reset(SxReset::PowerOn);
    EXPECT_EQ(cpu.pc(), 0x1FF);
    cpu.Step();
    EXPECT_EQ(cpu.pc(), 0x000);
    // One bank: the missing FSR bank bits read as ones.
    EXPECT_EQ(cpu.fsr() & 0xE0, 0xE0);
    cpu.SetFsr(0x00);
    EXPECT_EQ(cpu.fsr(), 0xE0);
}

TEST(SxCpuMemory, FourBankPartsForceFsrBit7) {
    SxCpu cpu(Sx28lFamily());
    ConfigurePart(cpu, 2048, 4);
    cpu.SetFsr(0x35);
    EXPECT_EQ(cpu.fsr(), 0xB5);
}

// Indirect and banked addressing: one table per family, each row an FSR
// value, the fr used, and the debugger address that must receive the
// write (−1: nothing).
struct AddressCase { int fsr; int fr; int address; };

void CheckAddressing(const Family& family, const AddressCase* cases, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const AddressCase& k = cases[i];
        SxCpu cpu(family);
        cpu.Configure(TestConfig(cpu));
        Program p;
        p.At(0x010, {0x020 | k.fr});  // MOV fr,W
        Load(cpu, p);
        cpu.SetPc(0x010);
        cpu.SetFsr(static_cast<std::uint8_t>(k.fsr));
        std::array<std::uint8_t, 256> before{};
        for (int a = 5; a < 256; ++a) before[a] = cpu.Peek(a);
        cpu.SetW(0xA5);
        cpu.Run(1);
        SCOPED_TRACE(::testing::Message() << "FSR " << std::hex << k.fsr << " fr " << k.fr);
        for (int a = 5; a < 256; ++a) {
            if (!family.is52() && a >= 16 && !(a & 0x10)) continue;  // aliases of the globals
            EXPECT_EQ(cpu.Peek(a), a == k.address ? 0xA5 : before[a]) << std::hex << a;
        }
    }
}

TEST(SxCpuMemory, Addressing28) {
    const AddressCase cases[] = {
        {0x35, 0x00, 0x35},  // indirect into bank 1
        {0x35, 0x1A, 0x3A},  // semi-direct in the bank FSR selects
        {0xE0, 0x1F, 0xFF},  // top bank
        {0x28, 0x00, 0x08},  // FSR bit 4 clear: the global register, bank bits ignored
        {0x28, 0x0C, 0x0C},  // globals ignore FSR
        {0x00, 0x00, -1},    // IND through itself: the write goes nowhere
    };
    CheckAddressing(Sx28lFamily(), cases, std::size(cases));
}

TEST(SxCpuMemory, Addressing52) {
    const AddressCase cases[] = {
        {0x35, 0x00, 0x35},  // indirect: linear RAM
        {0xF0, 0x00, 0xF0},
        {0x35, 0x1A, 0x3A},  // semi-direct: (FSR & F0h) | (fr & 0Fh)
        {0x0B, 0x00, 0x0B},  // indirect below 10h: the global register
        {0x00, 0x00, -1},
    };
    CheckAddressing(Sx52Family(), cases, std::size(cases));
}

TEST(SxCpuMemory, BankInstructionPerFamily) {
    SxCpu cpu28(Sx28lFamily());
    cpu28.Configure(TestConfig(cpu28));
    SxCpu cpu52(Sx52Family());
    cpu52.Configure(TestConfig(cpu52));
    Program p;
    p.At(0x010, {0x01D});  // BANK 5
    for (SxCpu* cpu : {&cpu28, &cpu52}) {
        Load(*cpu, p);
        cpu->SetPc(0x010);
        cpu->SetFsr(0x8F);
        cpu->Run(1);
    }
    EXPECT_EQ(cpu28.fsr(), 0xAF);  // FSR bits 7:5
    EXPECT_EQ(cpu52.fsr(), 0xDF);  // FSR bits 6:4, bit 7 kept
}

TEST(SxCpuMemory, SemiDirectBankZeroOnThe52IsNotTheGlobals) {
    SxCpu cpu(Sx52Family());
    cpu.Configure(TestConfig(cpu));
    Program p;
    p.At(0x010, {0x018,            // BANK 0
                 0xC5A, 0x02B,     // MOV W,#5Ah; MOV 0Bh,W (global)
                 0xCA5, 0x03B,     // MOV W,#A5h; MOV 1Bh,W (linear 0Bh)
                 0x20B});          // MOV W,0Bh
    Load(cpu, p);
    cpu.SetFsr(0x00);
    cpu.Run(3 + 6);
    EXPECT_EQ(cpu.w(), 0x5A);
    EXPECT_EQ(cpu.Peek(0x0B), 0x5A);
}

TEST(SxCpuMemory, RtccOrWAtAddress1) {
    SxCpu cpu(Sx28lFamily());
    cpu.Configure(TestConfig(cpu));
    Program p;
    p.At(0x010, {0xC7F, 0x002,    // OPTION = 7Fh: RTW = 0, address 1 is W
                 0xC33, 0x2A1});  // MOV W,#33h; INC 1 -> W = 34h
    Load(cpu, p);
    StepTo(cpu, 0x014);
    EXPECT_EQ(cpu.w(), 0x34);
}

}  // namespace
}  // namespace korvid::testing
