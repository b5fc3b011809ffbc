#include <gtest/gtest.h>

#include "core/image/DebugImage.h"
#include "core/image/DebugKernel.h"
#include "tests/image/ImageTestSupport.h"
#include "tests/support/AllocCounter.h"

namespace korvid {
namespace {

constexpr std::uint16_t kFlag = kDataFlag;

struct Target {
    const Family* family;
    std::uint16_t extFuse;  // chooses the program size on the 28L
    int size;
};

const Target kTargets[] = {
    {&Sx28lFamily(), 0x0BFC, 512},
    {&Sx28lFamily(), 0x0BFD, 1024},
    {&Sx28lFamily(), 0x0BFF, 2048},
    {&Sx52Family(), 0x0FFF, 4096},
};

// A small program: a few words at 0, the reset jump at the last word, the
// watchdog off, turbo mode on.
void MakeProgram(AssemblyState& s, const Target& t) {
    BlankImage(s.ChipImage, *t.family);
    s.ChipImage[kExtFuseIndex] = t.extFuse;
    s.ChipImage[kFuseIndex] = 0x03FA;  // watchdog off, turbo
    for (int a = 0; a < 8; ++a) s.ChipImage[std::size_t(a)] = std::uint16_t(kFlag | (0x200 + a));
    s.ChipImage[std::size_t(t.size - 1)] = kFlag | 0xA00;  // JMP 0
    s.ClockFrequency = 50000000;
}

std::uint16_t KernelWord(const AssemblyState& s, const Target& t, int n) {
    return s.DeviceImage[std::size_t(t.size - 137 + n)];
}

TEST(PrepareDebugImage, PreparesEveryTarget) {
    for (const Target& t : kTargets) {
        SCOPED_TRACE(t.size);
        test::ImageSession session(*t.family);
        AssemblyState& s = *session.state;
        MakeProgram(s, t);
        const Image chip = s.ChipImage;
        PrepareDebugImage(s);
        ASSERT_EQ(s.ErrorFlag, 0);
        EXPECT_EQ(s.ChipImage, chip);
        // The stub takes the highest free pair on the first page.
        int stub = t.size == 512 ? 0x175 : 0x1FE;
        EXPECT_EQ(s.DeviceImage[std::size_t(stub)], 0x017);
        EXPECT_EQ(s.DeviceImage[std::size_t(stub + 1)], 0xB83);
        EXPECT_EQ(s.DeviceImage[std::size_t(t.size - 1)], 0x0A00 | stub);
        EXPECT_EQ(KernelWord(s, t, kKernelResetWord), kFlag | 0xA00);  // the program's reset jump, flag kept
        EXPECT_EQ(KernelWord(s, t, 0), kDebugKernel[0]);
        EXPECT_EQ(KernelWord(s, t, kKernelEntryWord), kDebugKernel[kKernelEntryWord]);
        EXPECT_EQ((t.size - 137 + kKernelEntryWord) & 0x1FF, 0x183);
        EXPECT_EQ(KernelWord(s, t, kKernelFamilyWord), t.family->is52() ? 0x000 : 0x584);
        EXPECT_EQ(KernelWord(s, t, 135), kDebugKernel[135]);
        // Everything else is the chip image.
        for (int a = 0; a < kImageWords; ++a) {
            bool prepared = a == stub || a == stub + 1 || (a >= t.size - 137 && a < t.size) || a == kFuseIndex;
            if (!prepared) {
                ASSERT_EQ(s.DeviceImage[std::size_t(a)], chip[std::size_t(a)]) << a;
            }
        }
    }
}

TEST(PrepareDebugImage, ForcesTheDebuggingOscillator) {
    struct Row {
        const Family* family;
        std::uint16_t fuse;
        std::uint16_t forced;
    };
    const Row rows[] = {
        {&Sx28lFamily(), 0x0FFA, 0x0F98}, {&Sx28lFamily(), 0x03EB, 0x0388}, {&Sx28lFamily(), 0x0000, 0x0080},
        {&Sx52Family(), 0x0FFA, 0x0FA8},  {&Sx52Family(), 0x0A53, 0x0AA0},
    };
    for (const Row& r : rows) {
        test::ImageSession session(*r.family);
        AssemblyState& s = *session.state;
        MakeProgram(s, r.family->is52() ? kTargets[3] : kTargets[2]);
        s.ChipImage[kFuseIndex] = r.fuse;
        PrepareDebugImage(s);
        EXPECT_EQ(s.ErrorFlag, 0);
        EXPECT_EQ(s.DeviceImage[kFuseIndex], r.forced) << std::hex << r.fuse;
        EXPECT_EQ(s.ChipImage[kFuseIndex], r.fuse);
    }
}

// Each condition alone makes the preparation fail with the one message.
TEST(PrepareDebugImage, EachFailingConditionAlone) {
    using Breaker = void (*)(AssemblyState&, const Target&);
    struct Row {
        const char* name;
        Breaker breakIt;
    };
    const Row rows[] = {
        {"watchdog on", [](AssemblyState& s, const Target&) { s.ChipImage[kFuseIndex] |= 0x004; }},
        {"no free pair on the first page",
         [](AssemblyState& s, const Target& t) {
             int top = t.size == 512 ? 0x177 : 0x200;
             for (int a = 0; a < top; a += 2) s.ChipImage[std::size_t(a)] = kFlag | 0x000;
         }},
        {"reset word is not a JMP", [](AssemblyState& s, const Target& t) { s.ChipImage[std::size_t(t.size - 1)] = kFlag | 0x900; }},
        {"reset word unused", [](AssemblyState& s, const Target& t) { s.ChipImage[std::size_t(t.size - 1)] = 0x0FFF; }},
        {"first kernel word used", [](AssemblyState& s, const Target& t) { s.ChipImage[std::size_t(t.size - 137)] = kFlag | 0xFFF; }},
        {"last kernel word used", [](AssemblyState& s, const Target& t) { s.ChipImage[std::size_t(t.size - 2)] = 0x0FFE; }},
    };
    for (const Target& t : kTargets) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + " size " + std::to_string(t.size));
            test::ImageSession session(*t.family);
            AssemblyState& s = *session.state;
            MakeProgram(s, t);
            r.breakIt(s, t);
            const Image chip = s.ChipImage;
            PrepareDebugImage(s);
            EXPECT_EQ(s.ErrorFlag, 1);
            EXPECT_STREQ(s.ErrorMessage, kDebugRequirementsMessage);
            EXPECT_EQ(s.ChipImage, chip);
            // Nothing of the kernel is placed after a failed check.
            EXPECT_EQ(s.DeviceImage[std::size_t(t.size - 137 + kKernelEntryWord)], chip[std::size_t(t.size - 137 + kKernelEntryWord)]);
        }
    }
    EXPECT_STREQ(kDebugRequirementsMessage,
                 "ERROR! Debug requires the following:\r\n\r\n - 2 free words on the first page\r\n"
                 " - 136 free words at the end of the last page\r\n - RESET jump at the end of memory\r\n"
                 " - Watchdog disabled");
}

TEST(PrepareDebugImage, FiveHundredTwelveWordBoundary) {
    const Target& t = kTargets[0];
    test::ImageSession session(*t.family);
    AssemblyState& s = *session.state;
    MakeProgram(s, t);
    s.ChipImage[0] = s.ChipImage[1] = 0x0FFF;
    for (int a = 2; a < 0x177; ++a) s.ChipImage[std::size_t(a)] = kFlag | 0x000;
    PrepareDebugImage(s);
    ASSERT_EQ(s.ErrorFlag, 0);
    EXPECT_EQ(s.DeviceImage[0], 0x017);
    EXPECT_EQ(s.DeviceImage[1], 0xB83);
    EXPECT_EQ(s.DeviceImage[0x1FF], 0xA00);
    s.ChipImage[0] = kFlag | 0x000;
    PrepareDebugImage(s);
    EXPECT_EQ(s.ErrorFlag, 1);
}

TEST(PrepareDebugImage, StubSearch) {
    const Target& t = kTargets[2];
    struct Row {
        const char* name;
        std::vector<int> used;           // words given data
        std::vector<int> erasedWithFlag; // 0xFFF stored by the program
        int stub;
    };
    const Row rows[] = {
        {"highest pair", {}, {}, 0x1FE},
        {"a stored 0xFFF blocks its pair", {}, {0x1FF}, 0x1FD},
        {"pairs overlap", {0x1FE}, {}, 0x1FC},
        {"single free words do not count", {0x1FF, 0x1FD, 0x1FB}, {}, 0x1F9},
        {"the pair may end at word 1", {}, {}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        test::ImageSession session(*t.family);
        AssemblyState& s = *session.state;
        MakeProgram(s, t);
        if (r.stub == 0)
            for (int a = 2; a < 0x200; ++a) s.ChipImage[std::size_t(a)] = kFlag | 0x000;
        if (r.stub == 0) s.ChipImage[0] = s.ChipImage[1] = 0x0FFF;
        for (int a : r.used) s.ChipImage[std::size_t(a)] = kFlag | 0x123;
        for (int a : r.erasedWithFlag) s.ChipImage[std::size_t(a)] = kFlag | 0xFFF;
        PrepareDebugImage(s);
        ASSERT_EQ(s.ErrorFlag, 0);
        EXPECT_EQ(s.DeviceImage[std::size_t(t.size - 1)], 0x0A00 | r.stub);
        EXPECT_EQ(s.DeviceImage[std::size_t(r.stub)], 0x017);
    }
}

// The delay constants for turbo and non-turbo at both frequency ranges.
TEST(PrepareDebugImage, DelayConstants) {
    struct Row {
        const Family* family;
        bool turbo;
        std::uint32_t frequency;
        bool longForm;
        std::uint8_t a;  // long: word 33 low byte; short: word 38 low byte
        std::uint8_t b;  // long: word 35 low byte; short: amount taken off word 43
    };
    const Row rows[] = {
        {&Sx28lFamily(), true, 50000000, true, 0xC0, 0xFC},   // q = 831
        {&Sx52Family(), true, 50000000, true, 0xC0, 0xFC},
        {&Sx28lFamily(), true, 10000000, true, 0x5B, 0xFF},   // q = 164
        {&Sx28lFamily(), true, 9999999, false, 248, 1},       // t = 989
        {&Sx28lFamily(), true, 4000000, false, 0x62, 2},      // t = 390
        {&Sx52Family(), true, 4000000, false, 0x62, 2},
        {&Sx28lFamily(), false, 40000000, true, 0x3A, 0xFF},  // q = 197
        {&Sx28lFamily(), false, 30000000, true, 0x6C, 0xFF},  // q = 147
        {&Sx28lFamily(), false, 20000000, false, 0xA4, 2},    // t = 491
        {&Sx28lFamily(), false, 400000, false, 1, 1},         // t = 1
        {&Sx28lFamily(), true, 110000000, true, 0xD8, 0xF8},  // q = 1831
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.frequency) + (r.turbo ? " turbo " : " ") + std::string(r.family->name));
        const Target& t = r.family->is52() ? kTargets[3] : kTargets[2];
        test::ImageSession session(*t.family);
        AssemblyState& s = *session.state;
        MakeProgram(s, t);
        if (!r.turbo) s.ChipImage[kFuseIndex] |= 0x800;
        s.ClockFrequency = r.frequency;
        PrepareDebugImage(s);
        ASSERT_EQ(s.ErrorFlag, 0);
        const std::uint16_t* receive = r.turbo ? kKernelReceiveTurbo : kDebugKernel + kKernelReceiveWord;
        for (int i = 0; i < kKernelReceiveWords; ++i)
            ASSERT_EQ(KernelWord(s, t, kKernelReceiveWord + i), receive[i]) << i;
        if (r.longForm) {
            for (int i = 0; i < kKernelDelayWords; ++i) {
                std::uint16_t expected = kKernelDelay16[i];
                if (i == 0) expected = std::uint16_t((expected & 0xF00) | r.a);
                if (i == 2) expected = std::uint16_t((expected & 0xF00) | r.b);
                EXPECT_EQ(KernelWord(s, t, kKernelDelayWord + i), expected) << i;
            }
        } else {
            EXPECT_EQ(KernelWord(s, t, kKernelCountWord), (kDebugKernel[kKernelCountWord] & 0xF00) | r.a);
            EXPECT_EQ(KernelWord(s, t, kKernelTrimWord), kDebugKernel[kKernelTrimWord] - r.b);
            for (int i = kKernelDelayWord; i < kKernelDelayWord + kKernelDelayWords; ++i)
                if (i != kKernelCountWord && i != kKernelTrimWord) {
                    EXPECT_EQ(KernelWord(s, t, i), kDebugKernel[i]);
                }
        }
    }
}

TEST(PrepareDebugImage, FiftyTwoIsAlwaysTurbo) {
    const Target& t = kTargets[3];
    test::ImageSession session(*t.family);
    AssemblyState& s = *session.state;
    MakeProgram(s, t);
    s.ChipImage[kFuseIndex] |= 0x800;
    PrepareDebugImage(s);
    ASSERT_EQ(s.ErrorFlag, 0);
    EXPECT_EQ(KernelWord(s, t, kKernelReceiveWord + 4), kKernelReceiveTurbo[4]);
}

TEST(PrepareDebugImage, FromAnAssembledProgram) {
    for (const Family* family : test::kBothFamilies) {
        test::ImageSession session(*family);
        // Turbo mode: chosen on the 28L, always on the 52.
        std::string device = family->is52() ? "" : " DEVICE TURBO\n";
        ASSERT_TRUE(session.Assemble(device + " FREQ 4_000_000\nstart JMP start\n RESET start\n"))
            << session.state->ErrorMessage;
        AssemblyState& s = *session.state;
        int size = ProgramSize(*family, s.ChipImage[kExtFuseIndex]);
        const Image chip = s.ChipImage;
        test::AllocCounter counter;
        PrepareDebugImage(s);
        EXPECT_EQ(counter.Count(), 0u);
        ASSERT_EQ(s.ErrorFlag, 0);
        EXPECT_EQ(s.ChipImage, chip);
        EXPECT_EQ(s.DeviceImage[std::size_t(size - 3)], chip[std::size_t(size - 1)]);
        EXPECT_EQ(s.DeviceImage[std::size_t(size - 1)], 0xA00 | 0x1FE);
        EXPECT_EQ(s.DeviceImage[std::size_t(size - 137 + kKernelCountWord)] & 0xFF, 0x62);
    }
}

}  // namespace
}  // namespace korvid
