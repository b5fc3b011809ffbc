#include <gtest/gtest.h>

#include "core/link/Clock.h"
#include "core/link/Irc.h"
#include "core/link/VerifyImage.h"
#include "tests/support/ChipCases.h"

namespace korvid {
namespace {

using test::ChangedWord;

TEST(FindClockSetting, SearchOrderAndTieRule) {
    struct Case {
        std::uint32_t hz;
        std::uint32_t setting;  // (m-3)<<15 | 1<<14 | p<<11 | (d-2)<<4 | osc>=40MHz<<3
    };
    const Case cases[] = {
        {50000000, 0x3D4620},   // m 125, d 100, p 0: the last exact 25 MHz candidate
        {400000, 0x3EFE20},     // m 128, d 100, p 7
        {110000000, 0x3B42A8},  // m 121, d 44, p 0, oscillator 55 MHz (bit 3)
        {3579545, 0x3DE560},    // m 126, d 88, p 4
        {4000000, 0x3EE4E0},    // m 128, d 80, p 4
    };
    for (const Case& c : cases) EXPECT_EQ(FindClockSetting(c.hz), c.setting) << c.hz;
}

TEST(Irc, MeasurementWordsCarryTrimInBits8_9_11) {
    const std::uint16_t words[8] = {0x4FF, 0x5FF, 0x6FF, 0x7FF, 0xCFF, 0xDFF, 0xEFF, 0xFFF};
    for (int t = 0; t < 8; ++t) EXPECT_EQ(IrcMeasurementWord(t), words[t]) << t;
}

TEST(Irc, ChoosesNearestFourMegahertzLowerTrimOnTieNeverZeroCount) {
    struct Case {
        std::array<std::uint16_t, 8> counts;
        int trim;
    };
    // 1266035968 / 316 = 4006442 Hz; /317 = 3993804; a count of 0 has no
    // frequency and is never chosen.
    const Case cases[] = {
        {{262, 270, 280, 300, 316, 330, 350, 372}, 4},
        {{0, 0, 0, 0, 0, 0, 0, 0}, 7},
        {{0, 400, 400, 400, 317, 0, 0, 0}, 4},
        // Two trims at the same distance: the lower trim number.
        {{500, 300, 400, 300, 500, 500, 500, 500}, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseIrcTrim(c.counts), c.trim);
    EXPECT_EQ(IrcFrequency(316), 4006442u);
    EXPECT_EQ(IrcFrequency(0), 0u);
}

TEST(Irc, FrequencyText) {
    // The same text in the IRC window and the command line's table, also
    // outside 1 to 9.99 MHz.
    struct Case {
        std::uint32_t hz;
        const char* text;
    };
    const Case cases[] = {{4012345, "4.01"}, {3399000, "3.39"}, {980000, "0.98"}, {99999, "0.09"},
                          {10000000, "10.00"}, {12345678, "12.34"}, {0, "-"}};
    char text[16];
    for (const Case& c : cases) {
        FormatIrcMhz(c.hz, text);
        EXPECT_STREQ(text, c.text) << c.hz;
    }
}

Image BlankFor(const Family& f) {
    Image image{};
    BlankImage(image, f);
    return image;
}

TEST(VerifyImage, FirstDifferingPartByFamily) {
    const ChangedWord cases[] = {
        {&Sx28lFamily(), kExtFuseIndex, 0x400, "Device"},
        {&Sx28lFamily(), kExtFuseIndex, 0x030, ""},  // brownout is not compared
        {&Sx28lFamily(), kFuseIndex, 0x020, "Oscillator"},
        {&Sx28lFamily(), kExtFuseIndex, 0x040, "Options"},
        {&Sx28lFamily(), kFuseIndex, 0x800, "Options"},
        {&Sx28lFamily(), kFuseIndex, 0x010, ""},
        {&Sx28lFamily(), kIdBase + 15, 0x001, "ID"},
        {&Sx28lFamily(), kIdBase + 2, 0x1000, "ID"},  // ID words compare all 16 bits
        {&Sx28lFamily(), 2047, 0x001, kVerifyFlashPart},
        {&Sx28lFamily(), 100, 0x8000, ""},  // only the 12-bit values count
        {&Sx52Family(), kExtFuseIndex, 0x002, "Reset Timer"},
        {&Sx52Family(), kExtFuseIndex, 0x010, "Brownout"},
        {&Sx52Family(), kFuseIndex, 0x010, "Oscillator"},
        {&Sx52Family(), kExtFuseIndex, 0x400, "Options"},
        {&Sx52Family(), kFuseIndex, 0x400, "Options"},
        {&Sx52Family(), kIdBase, 0x010, "ID"},
        {&Sx52Family(), 4095, 0x800, kVerifyFlashPart},
    };
    for (const ChangedWord& c : cases) {
        Image expected = BlankFor(*c.family), read = BlankFor(*c.family);
        read[static_cast<std::size_t>(c.index)] ^= c.xorMask;
        EXPECT_EQ(VerifyImage(*c.family, expected, read), c.part) << c.family->title << " " << c.index;
    }
}

TEST(VerifyImage, ProgramWordsComparedUpToExpectedSize) {
    const Family& f = Sx28lFamily();
    Image expected = BlankFor(f), read = BlankFor(f);
    expected[kExtFuseIndex] = 0xBFC;  // 512 words
    read[kExtFuseIndex] = 0xBFC;
    read[600] = 0;
    EXPECT_EQ(VerifyImage(f, expected, read), "");
    read[511] = 0;
    EXPECT_EQ(VerifyImage(f, expected, read), kVerifyFlashPart);
    // Device bits are compared before the words.
    read[kExtFuseIndex] = 0xBFE;
    EXPECT_EQ(VerifyImage(f, expected, read), "Device");
}

}  // namespace
}  // namespace korvid
