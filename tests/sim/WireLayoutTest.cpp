// The facts both ends of the link and every user of the memory layout take
// from one place, checked against fixed values so that a change that both
// sides follow alike still shows.
#include <gtest/gtest.h>

#include <vector>

#include "family/Layout.h"
#include "sim/SxCpu.h"
#include "tests/sim/ToolDebugRig.h"

namespace korvid {
namespace {

using test::DebugRig;

class Wire : public ::testing::TestWithParam<const Family*> {};

// The resume payload the host sends for a known state, byte for byte, and
// the state block the tool answers after applying it.
TEST_P(Wire, ResumePayloadAndStateBlockBytes) {
    const Family& family = *GetParam();
    DebugRig rig(family);
    ASSERT_TRUE(rig.Load(std::string(family.is52() ? "" : " DEVICE SX28L, TURBO, STACKX_OPTIONX\n") +
                         " ORG 10h\nstart JMP start\n RESET start\n"));
    ASSERT_TRUE(rig.Start());
    ChipState& s = rig.session.State;
    s.W = 0x5A;
    s.ProgramCounter = 0x123;
    s.registers[3] = 0x65;
    s.IntFlag = 1;
    s.SkipFlag = 1;
    s.registers[4] = 0x3C;
    s.registers[13] = 0x33;
    s.registers[14] = 0x11;
    s.registers[15] = 0x22;
    s.M = 0x0A;
    s.Breakpoint = 0x456;
    rig.session.Resume(kModeResync);
    const std::vector<std::uint8_t> expected = {7,    28,   4,    0x5A, 0,    0x01, 8,    0x23, 0x10, 0x7D,
                                                0x20, 0x3C, 0,    0x11, 0,    0x22, 0,    0xF7, 0,    0xF7,
                                                0,    0xF7, 0,    0x04, 0x40, 0x56, 0,    0x0A, 0x80, 0x33};
    ASSERT_FALSE(rig.t.PlainWrites().empty());
    EXPECT_EQ(rig.t.PlainWrites().back(), expected);

    std::uint8_t block[24] = {};
    rig.runner.ReadState(rig.t.firmware.Chip(), 24, block);
    EXPECT_EQ(block[0] & 0x7F, 0x0A);  // MODE
    EXPECT_EQ(block[1], 0x5A);         // W
    EXPECT_EQ(block[2], 0x23);         // PC low, high
    EXPECT_EQ(block[3], 0x01);
    EXPECT_EQ(block[4], 0x7D);  // page bits, Z/DC/C, interrupt and skip flags
    EXPECT_EQ(block[5], 0x3C);  // FSR
    EXPECT_EQ(block[6], 0x33);  // 0Dh, 0Eh, 0Fh
    EXPECT_EQ(block[7], 0x11);
    EXPECT_EQ(block[8], 0x22);
}

INSTANTIATE_TEST_SUITE_P(Families, Wire, ::testing::Values(&Sx28lFamily(), &Sx52Family()),
                         [](const auto& info) { return info.param->is52() ? "Sx52" : "Sx28l"; });

// The layout by extended fuse word, and the emulator and the debugger
// taking the same figures from it.
TEST(Layout, ByFamilyAndExtendedFuseWord) {
    struct Case {
        const Family* family;
        std::uint16_t ext;
        int size;
        std::uint16_t mask;
        int banks;
        std::uint8_t forced;
        int ports;
    } cases[] = {
        {&Sx28lFamily(), 0x000, 512, 0x1FF, 1, 0xE0, 2},  {&Sx28lFamily(), 0x001, 1024, 0x3FF, 1, 0xE0, 2},
        {&Sx28lFamily(), 0x002, 2048, 0x7FF, 4, 0x80, 2}, {&Sx28lFamily(), 0x403, 2048, 0x7FF, 8, 0x00, 3},
        {&Sx28lFamily(), 0xBFF, 2048, 0x7FF, 8, 0x00, 2}, {&Sx52Family(), 0x000, 4096, 0xFFF, 16, 0x00, 5},
        {&Sx52Family(), 0xFFF, 4096, 0xFFF, 16, 0x00, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.family->name << " ext " << std::hex << c.ext);
        const Layout layout = LayoutOf(*c.family, c.ext);
        EXPECT_EQ(layout.programSize, c.size);
        EXPECT_EQ(layout.addressMask, c.mask);
        EXPECT_EQ(layout.bankCount, c.banks);
        EXPECT_EQ(layout.forcedFsrBits, c.forced);
        EXPECT_EQ(layout.portCount, c.ports);
        EXPECT_EQ(ProgramSize(*c.family, c.ext), c.size);

        const SxCpuConfig config = SxCpuConfigFromFuses(*c.family, c.family->blankFuse, c.ext);
        EXPECT_EQ(config.programSize, c.size);
        EXPECT_EQ(config.bankCount, c.banks);
        SxCpu cpu(*c.family);
        cpu.Configure(config);
        cpu.SetFsr(0x10);
        EXPECT_EQ(cpu.fsr(), 0x10 | c.forced);
    }
}

TEST(Layout, IndirectAddressesOfTheGlobalRegisters) {
    EXPECT_EQ(IndirectRegister(Sx28lFamily(), 0x2C), 0x0C);  // bit 4 clear: a global register
    EXPECT_EQ(IndirectRegister(Sx28lFamily(), 0x3C), 0x3C);
    EXPECT_EQ(IndirectRegister(Sx28lFamily(), 0x1FF), 0xFF);
    EXPECT_EQ(IndirectRegister(Sx52Family(), 0x2C), 0x2C);  // linear on the 52
}

}  // namespace
}  // namespace korvid
