#include <gtest/gtest.h>

#include "core/link/Scrambler.h"

namespace korvid {
namespace {

TEST(Scrambler, StepVectors) {
    struct Case {
        std::uint16_t start;
        std::uint16_t next[4];
    };
    const Case cases[] = {
        {0x0001, {0x0100, 0x0200, 0x0480, 0x08C0}},
        {0x8000, {0x0080, 0x00C0, 0x00E0, 0x00F0}},
        {0xD685, {0xADC2, 0x5AE1, 0xB570, 0x6AB8}},
        {0xFFFF, {0xFF7F, 0xFFBF, 0xFF5F, 0xFFAF}},
        {0x1234, {0x249A, 0x484D, 0x9126, 0x2213}},
    };
    for (const Case& c : cases) {
        std::uint16_t s = c.start;
        for (std::uint16_t expected : c.next) {
            s = ScrambleStep(s);
            EXPECT_EQ(s, expected) << std::hex << "from " << c.start;
        }
    }
    EXPECT_EQ(ScrambleStep(0), 0);
}

TEST(Scrambler, BothDirectionsFromSeed) {
    // Seed 0x5A3C gives the register 0x5A3C ^ 0xC4B1 = 0x9E8D.
    std::uint16_t s = 0x5A3C ^ kLinkKey;
    ASSERT_EQ(s, 0x9E8D);
    const std::uint8_t plain[] = {0x02, 0x20, 0x14, 0xFF, 0x00};
    const std::uint8_t wire[] = {0x03, 0xC5, 0x2E, 0x8C, 0xE6};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ScrambleOut(s, plain[i]), wire[i]) << i;
    EXPECT_EQ(s, 0xD6CC);

    s = 0x9E8D;
    const std::uint8_t received[] = {0x00, 0x55, 0xAA, 0xFF};
    const std::uint8_t decoded[] = {0xEF, 0x5E, 0x93, 0x27};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(UnscrambleIn(s, received[i]), decoded[i]) << i;
    EXPECT_EQ(s, 0xEB98);
}

TEST(Scrambler, ToolSideInvertsClientSide) {
    for (std::uint16_t seed : {std::uint16_t(0x0001), std::uint16_t(0x9E8D), std::uint16_t(0xFFFF)}) {
        std::uint16_t client = seed, tool = seed;
        for (int b = 0; b < 256; ++b) {
            std::uint8_t w = ScrambleOut(client, std::uint8_t(b));
            EXPECT_EQ(ToolDecode(tool, w), b);
            std::uint8_t back = ToolEncode(tool, std::uint8_t(255 - b));
            EXPECT_EQ(UnscrambleIn(client, back), 255 - b);
        }
        EXPECT_EQ(client, tool);
    }
}

TEST(Scrambler, ZeroRegisterKeepsStreamPlain) {
    std::uint16_t s = 0;
    for (int b : {0, 1, 0x7F, 0xFF}) {
        EXPECT_EQ(ScrambleOut(s, std::uint8_t(b)), b);
        EXPECT_EQ(UnscrambleIn(s, std::uint8_t(b)), b);
        EXPECT_EQ(ToolEncode(s, std::uint8_t(b)), b);
        EXPECT_EQ(ToolDecode(s, std::uint8_t(b)), b);
    }
    EXPECT_EQ(s, 0);
}

}  // namespace
}  // namespace korvid
