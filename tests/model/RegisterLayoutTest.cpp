#include "model/RegisterLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvid {
namespace {

TEST(RegisterLayout, TargetFromTheExtendedFuseWord) {
    struct Case {
        std::uint16_t ext;
        int size, banks, ports;
    } cases[] = {{0x000, 512, 1, 2}, {0x001, 1024, 1, 2}, {0x002, 2048, 4, 2}, {0x403, 2048, 8, 3}, {0xBFF, 2048, 8, 2}};
    for (const Case& c : cases) {
        DebugTarget t = DebugTargetOf(Sx28lFamily(), c.ext);
        EXPECT_EQ(t.programSize, c.size);
        EXPECT_EQ(t.bankCount, c.banks);
        EXPECT_EQ(t.portCount, c.ports);
    }
    EXPECT_EQ(DebugTargetOf(Sx52Family(), 0).programSize, 4096);
}

TEST(RegisterLayout, GlobalColumnLabels) {
    std::vector<std::string> two, three, big;
    for (int r = 0; r < 16; ++r) {
        two.push_back(GlobalLabel(Sx28lFamily(), 2, r, false));
        three.push_back(GlobalLabel(Sx28lFamily(), 3, r, false));
        big.push_back(GlobalLabel(Sx52Family(), 5, r, r == 1));
    }
    EXPECT_EQ(two, (std::vector<std::string>{"IND", "RTCC", "PC", "STATUS", "FSR", "RA", "RB", "07", "08", "09", "0A",
                                             "0B", "0C", "0D", "0E", "0F"}));
    EXPECT_EQ(three[7], "RC");
    EXPECT_EQ(three[8], "08");
    EXPECT_EQ(big, (std::vector<std::string>{"IND", "WREG", "PC", "STATUS", "FSR", "RA", "RB", "RC", "RD", "RE", "0A",
                                             "0B", "0C", "0D", "0E", "0F"}));
    EXPECT_EQ(GlobalHeader(0x6D), "6x ");
    EXPECT_EQ(GlobalHeader(0x1F), "0x ");
    EXPECT_EQ(GlobalHeader(0xFF), "Ex ");
}

TEST(RegisterLayout, RamColumns) {
    struct Case {
        const Family* family;
        int banks;
        std::vector<std::string> headers;
    } cases[] = {
        {&Sx28lFamily(), 1, {"Fx"}},
        {&Sx28lFamily(), 4, {"9x", "Bx", "Dx", "Fx"}},
        {&Sx28lFamily(), 8, {"1x", "3x", "5x", "7x", "9x", "Bx", "Dx", "Fx"}},
        {&Sx52Family(), 0, {"1x", "2x", "3x", "4x", "5x", "6x", "7x", "8x", "9x", "Ax", "Bx", "Cx", "Dx", "Ex", "Fx"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (int k = 0; k < RamColumns(*c.family, c.banks); ++k) got.push_back(RamColumnHeader(*c.family, c.banks, k));
        EXPECT_EQ(got, c.headers);
    }
    EXPECT_EQ(RamColumnBase(Sx28lFamily(), 4, 0), 0x90);
    EXPECT_EQ(RamColumnBase(Sx52Family(), 0, 14), 0xF0);
}

TEST(RegisterLayout, StylesOfBanksAndTheFsrTarget) {
    // 28L, FSR into bank 2 (0x5A): bank registers of other banks get the
    // light background, 0x5A the blue frame, globals neither.
    const Family& f = Sx28lFamily();
    EXPECT_EQ(CellStyle(f, 0x5A, 1, 1, 0x5A, false), kStyleFsrTarget);
    EXPECT_EQ(CellStyle(f, 0x5B, 1, 1, 0x5A, false), 0);
    EXPECT_EQ(CellStyle(f, 0x3A, 1, 1, 0x5A, false), kStyleOtherBank);
    EXPECT_EQ(CellStyle(f, 0x3A, 2, 1, 0x5A, false), kStyleOtherBank | kStyleChanged);
    EXPECT_EQ(CellStyle(f, 0x07, 2, 1, 0x5A, false), kStyleChanged);
    EXPECT_EQ(CellStyle(f, 0x5A, 2, 1, 0x5A, true), 13);
    EXPECT_EQ(CellStyle(f, kCellW, 2, 1, 0x5A, false), kStyleChanged);
    // FSR with bit 4 clear addresses a global register.
    EXPECT_EQ(FsrTarget(f, 0x4D), 0x0D);
    EXPECT_EQ(FsrTarget(Sx52Family(), 0x4D), 0x4D);
    // 52: banks of 16 registers by the high nibble.
    EXPECT_FALSE(InOtherBank(Sx52Family(), 0x4F, 0x4D));
    EXPECT_TRUE(InOtherBank(Sx52Family(), 0x50, 0x4D));
    EXPECT_FALSE(InOtherBank(Sx52Family(), 0x05, 0x4D));
}

struct MoveCase {
    int from;
    CursorKey key;
    int to;
};

void ExpectMoves(const Family& f, int banks, const std::vector<MoveCase>& cases) {
    for (const MoveCase& c : cases)
        EXPECT_EQ(MoveCursor(f, banks, c.from, c.key), c.to)
            << f.title << " banks " << banks << " from " << c.from << " key " << int(c.key);
}

TEST(RegisterLayout, CursorMoves28L) {
    using K = CursorKey;
    ExpectMoves(Sx28lFamily(), 8,
                {{0, K::Down, 1}, {15, K::Down, kCellM}, {kCellM, K::Down, kCellW}, {kCellW, K::Down, 0x10},
                 {0x1F, K::Down, 0x30}, {0x30, K::Down, 0x31}, {255, K::Down, 0},
                 {0, K::Up, 255}, {kCellM, K::Up, 15}, {kCellW, K::Up, kCellM}, {0x10, K::Up, kCellW},
                 {0x30, K::Up, 0x1F}, {0x35, K::Up, 0x34}, {5, K::Up, 4},
                 {3, K::Right, kCellM}, {kCellM, K::Right, kCellW}, {kCellW, K::Right, 0x10}, {0x13, K::Right, 0x33},
                 {0xF7, K::Right, 7},
                 {7, K::Left, 0xF7}, {0x33, K::Left, 0x13}, {0x13, K::Left, kCellW}, {kCellW, K::Left, kCellM},
                 {kCellM, K::Left, 0}});
    ExpectMoves(Sx28lFamily(), 1,
                {{kCellW, K::Down, 0xF0}, {0xF0, K::Up, kCellW}, {0xFF, K::Down, 0}, {kCellW, K::Right, 0xF0},
                 {0xF4, K::Left, kCellW}, {0xF4, K::Right, 4}, {4, K::Left, 0xF4}});
    ExpectMoves(Sx28lFamily(), 4,
                {{kCellW, K::Down, 0x90}, {0x90, K::Up, kCellW}, {0x9F, K::Down, 0xB0}, {0xB0, K::Up, 0x9F},
                 {0x95, K::Left, kCellW}, {0xB5, K::Left, 0x95}});
}

TEST(RegisterLayout, CursorMoves52) {
    using K = CursorKey;
    ExpectMoves(Sx52Family(), 0,
                {{0, K::Down, 1}, {15, K::Down, kCellM}, {kCellM, K::Down, kCellW}, {kCellW, K::Down, 16},
                 {0x1F, K::Down, 0x20}, {255, K::Down, 0},
                 {0, K::Up, 255}, {16, K::Up, kCellW}, {kCellW, K::Up, kCellM}, {kCellM, K::Up, 15}, {0x20, K::Up, 0x1F},
                 {3, K::Right, kCellM}, {kCellM, K::Right, kCellW}, {kCellW, K::Right, 16}, {0x13, K::Right, 0x23},
                 {0xEF, K::Right, 0xFF}, {0xF3, K::Right, 3},
                 {3, K::Left, 0xF3}, {0x13, K::Left, kCellW}, {0x23, K::Left, 0x13}, {kCellW, K::Left, kCellM},
                 {kCellM, K::Left, 0}});
}

TEST(RegisterLayout, CursorWalksEveryShownCell) {
    // Down from register 0 visits each shown cell once before coming back,
    // and Up retraces the same path.
    struct Case {
        const Family* family;
        int banks;
        int cells;
    } cases[] = {{&Sx28lFamily(), 1, 16 + 2 + 16},
                 {&Sx28lFamily(), 4, 16 + 2 + 64},
                 {&Sx28lFamily(), 8, 16 + 2 + 128},
                 {&Sx52Family(), 0, 256 + 2}};
    for (const Case& c : cases) {
        int cell = 0, steps = 0;
        do {
            int next = MoveCursor(*c.family, c.banks, cell, CursorKey::Down);
            EXPECT_EQ(MoveCursor(*c.family, c.banks, next, CursorKey::Up), cell);
            cell = next;
            ++steps;
        } while (cell != 0 && steps < 1000);
        EXPECT_EQ(steps, c.cells) << c.family->title << " " << c.banks;
    }
}

TEST(RegisterLayout, TypedHexDigits) {
    const Family& f = Sx28lFamily();
    std::uint32_t v = TypeHexDigit(f, 8, 0x33, 7, true);
    v = TypeHexDigit(f, 8, v, 0xF, false);
    EXPECT_EQ(v, 0x7Fu);
    EXPECT_EQ(TypeHexDigit(f, 8, v, 0xA, false), 0xFAu);
    EXPECT_EQ(TypeHexDigit(f, kCellM, 0xF, 0xA, false), 0xAu);
    EXPECT_EQ(TypeHexDigit(Sx52Family(), kCellM, 0x1, 0xA, false), 0x1Au);
    EXPECT_EQ(HexDigitOf('f'), 15);
    EXPECT_EQ(HexDigitOf('G'), -1);
}

TEST(RegisterLayout, ProgramAreaScrollKeepsThePcInView) {
    struct Case {
        int position, pc, size, expect;
    } cases[] = {
        {0, 0, 2048, 0},       {0, 5, 2048, 0},         {0, 13, 2048, 0},  {0, 14, 2048, 1},
        {100, 50, 2048, 47},   {0, 2047, 2048, 2031},   {40, 45, 2048, 40}, {40, 53, 2048, 40},
        {40, 54, 2048, 41},    {0, 511, 512, 495},      {2031, 4095, 4096, 4079},
    };
    for (const Case& c : cases) {
        int p = ProgramAreaScroll(c.position, c.pc, c.size);
        EXPECT_EQ(p, c.expect) << c.position << " " << c.pc;
    }
    EXPECT_EQ(CurrentProgramAddress(10, true, 512), 11);
    EXPECT_EQ(CurrentProgramAddress(511, true, 512), 0);
}

}  // namespace
}  // namespace korvid
