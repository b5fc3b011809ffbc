#include <gtest/gtest.h>

#include <optional>

#include "core/link/Clock.h"
#include "core/link/Programming.h"
#include "tests/sim/ToolSession.h"
#include "tests/support/ChipCases.h"

namespace korvid {
namespace {

using test::ChipSize;
using test::FillImage;
using test::kChipSizes;
using test::ToolSession;
using test::WriteEvent;

const Family* const kFamilies[] = {&Sx28lFamily(), &Sx52Family()};

// What a write looked like: its first plain bytes, its length and the
// time-out its answer was awaited with (0: no answer read).
struct Expect {
    std::vector<std::uint8_t> head;
    std::size_t length;
    std::uint32_t timeout;
};

void ExpectWrites(const ToolSession& t, const std::vector<Expect>& expected) {
    std::vector<const WriteEvent*> writes;
    for (const WriteEvent& e : t.tap.events)
        if (!e.plain.empty()) writes.push_back(&e);
    ASSERT_EQ(writes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const WriteEvent& w = *writes[i];
        std::vector<std::uint8_t> head(w.plain.begin(), w.plain.begin() + long(std::min(expected[i].head.size(), w.plain.size())));
        EXPECT_EQ(head, expected[i].head) << "write " << i;
        EXPECT_EQ(w.plain.size(), expected[i].length) << "write " << i;
        EXPECT_EQ(w.answered ? w.timeout : 0u, expected[i].timeout) << "write " << i;
    }
}

TEST(ProgramDevice, BlockSequence512WordsSlowest) {
    ToolSession t(Sx28lFamily());
    FillImage(*t.state, 512);
    ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
    EXPECT_EQ(t.irc.trim, 7);
    // Extended fuse 0xBFC with trim 7: (0xBFC & 0x4FF) | 0x00C | 0x300 | 0x800.
    std::vector<Expect> expected = {
        {{1, 255}, 2, 1255},
        {{1, 245}, 2, 1245},
        {{2}, 1, 1245},
        {{2, 50, 0xFC, 0x0B, 0xF3, 0x0F}, 6, 1100},
    };
    for (int block = 0; block < 16; ++block) expected.push_back({{0x20, 20}, 66, 1640});
    expected.push_back({{0x10, 20, 0xF0, 0x0F, 0xF1, 0x0F}, 34, 1320});
    expected.push_back({{0}, 1, 1320});
    expected.push_back({{4}, 1, 1320});
    expected.push_back({{0}, 1, 0});
    ExpectWrites(t, expected);
    EXPECT_FALSE(t.link.PortOpen);
    EXPECT_EQ(t.observer.texts, (std::vector<std::string>{"Erasing...", "Programming..."}));
    EXPECT_EQ(t.observer.steps, 32);
    EXPECT_EQ(t.observer.hides, 1);
    EXPECT_EQ(t.observer.ircShown, 0);
}

TEST(ProgramDevice, ProgramsEveryWordForEachSize) {
    for (const ChipSize& c : kChipSizes) {
        ToolSession t(*c.family);
        FillImage(*t.state, c.words);
        ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
        const Image& flash = t.firmware.Chip().flash;
        for (int i = 0; i < c.words; ++i) ASSERT_EQ(flash[std::size_t(i)], t.state->DeviceImage[std::size_t(i)] & 0xFFF) << i;
        for (int i = c.words; i < kProgramWords; ++i) ASSERT_EQ(flash[std::size_t(i)], 0xFFF) << i;
        for (int i = 0; i < kIdWords; ++i) EXPECT_EQ(flash[std::size_t(kIdBase + i)], 0xFF0 | i);
        EXPECT_EQ(flash[kExtFuseIndex], ExtFuseToProgram(*c.family, t.state->DeviceImage[kExtFuseIndex], 7));
        EXPECT_EQ(flash[kFuseIndex], FuseToProgram(*c.family, 0xFF3));
        EXPECT_EQ(t.observer.steps, 32) << c.words;
    }
}

TEST(ProgramDevice, ConfigurationWordsPerFamily) {
    EXPECT_EQ(ExtFuseToProgram(Sx28lFamily(), 0xBFF, 7), 0xBFF);
    EXPECT_EQ(ExtFuseToProgram(Sx28lFamily(), 0x000, 0), 0x00C);
    EXPECT_EQ(ExtFuseToProgram(Sx28lFamily(), 0x000, 5), 0x90C);
    EXPECT_EQ(ExtFuseToProgram(Sx52Family(), 0x000, 2), 0x28C);
    EXPECT_EQ(FuseToProgram(Sx28lFamily(), 0x0F3), 0x0F3);
    EXPECT_EQ(FuseToProgram(Sx52Family(), 0x0F3), 0xAF3);
}

TEST(ProgramDevice, ExtraBit11WriteOnlyWhenTrimClearsIt) {
    for (const Family* f : kFamilies) {
        for (IrcMode mode : {IrcMode::Slowest, IrcMode::Fastest}) {
            ToolSession t(*f);
            t.irc.mode = mode;
            FillImage(*t.state, f->maxProgramSize);
            ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
            auto writes = t.PlainWrites();
            // b: the first write after the two erase chunks.
            std::size_t b = 0;
            while (b < writes.size() && writes[b] != std::vector<std::uint8_t>{1, 245}) ++b;
            ++b;
            ASSERT_LT(b + 2, writes.size());
            bool extra = writes[b + 1].size() == 4 && writes[b + 1][0] == 1;
            EXPECT_EQ(extra, mode == IrcMode::Fastest) << f->title;
            if (extra) {
                std::uint16_t ext = ExtFuseToProgram(*f, t.state->DeviceImage[kExtFuseIndex], 0);
                EXPECT_EQ(writes[b], std::vector<std::uint8_t>{2});
                EXPECT_EQ(writes[b + 1], (std::vector<std::uint8_t>{1, 50, std::uint8_t(ext & 0xFF), std::uint8_t((ext | 0x800) >> 8)}));
                EXPECT_EQ(writes[b + 2], std::vector<std::uint8_t>{0});
                // The measurement block's answer (events[0] is the detection).
                EXPECT_EQ(t.tap.events[b + 2].timeout, 1050u);
            }
        }
    }
}

TEST(ProgramDevice, StopClockRuleByFamilyAndFirmware) {
    struct Case {
        const Family* family;
        std::uint8_t version;
        bool stops;
    };
    const Case cases[] = {{&Sx28lFamily(), 1, true}, {&Sx28lFamily(), 2, false}, {&Sx28lFamily(), 3, false},
                          {&Sx52Family(), 3, false},  {&Sx52Family(), 1, true},   {&Sx52Family(), 2, true}};
    for (const Case& c : cases) {
        ToolOptions o;
        o.firmwareVersion = c.version;
        ToolSession t(*c.family, o);
        ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
        EXPECT_EQ(t.PlainWrites()[0] == std::vector<std::uint8_t>{9}, c.stops) << c.family->title << int(c.version);
    }
}

TEST(ProgramDevice, RunStartsClockBeforeRelease) {
    for (const Family* f : kFamilies) {
        ToolSession t(*f);
        t.state->ClockFrequency = 4000000;
        ProgramDevice(t.link, *t.state, t.irc, t.observer, true);
        auto writes = t.PlainWrites();
        std::uint32_t s = FindClockSetting(4000000);
        ASSERT_GE(writes.size(), 3u);
        EXPECT_EQ(writes[writes.size() - 3],
                  (std::vector<std::uint8_t>{8, std::uint8_t(s), std::uint8_t(s >> 8), std::uint8_t(s >> 16)}));
        EXPECT_EQ(writes[writes.size() - 2], std::vector<std::uint8_t>{4});
        EXPECT_EQ(t.firmware.Chip().clockSetting, s);
        EXPECT_TRUE(t.firmware.Chip().clockRunning);
    }
}

TEST(ProgramDevice, RunClockHeldToGeneratorRange) {
    for (std::uint32_t hz : {0u, 1000000000u}) {
        ToolSession t(Sx28lFamily());
        t.state->ClockFrequency = hz;
        ProgramDevice(t.link, *t.state, t.irc, t.observer, true);
        EXPECT_EQ(t.firmware.Chip().clockSetting, FindClockSetting(hz ? kClockMaxHz : kClockMinHz));
    }
}

TEST(ProgramDevice, StatusFailuresStopAndHideProgress) {
    // Statuses before the first 32-word block's: two erase chunks, the
    // sequence opening, the fuse block.
    struct Case {
        int status;
        const char* message;
    };
    const Case cases[] = {{1, "Vpp generation failed."},
                          {2, "Chip connection failed."},
                          {3, "Programming failed."},
                          {7, "Communication failed."}};
    for (const Case& c : cases) {
        ToolOptions o;
        o.failStatus = c.status;
        o.failAfterStatuses = 4;
        ToolSession t(Sx28lFamily(), o);
        t.irc.mode = IrcMode::Slowest;
        FillImage(*t.state, 512);
        EXPECT_EQ(t.Run([&] { ProgramDevice(t.link, *t.state, t.irc, t.observer, false); }), c.message);
        EXPECT_FALSE(t.link.PortOpen);
        EXPECT_EQ(t.observer.hides, 1);
        // Nothing after the failed block was sent.
        EXPECT_EQ(t.PlainWrites().back()[0], 0x20);
        EXPECT_EQ(t.PlainWrites().size(), 5u);
    }
}

TEST(ProgramDevice, CalibrationOrderAndChoice) {
    struct Case {
        double offset;
        int trim;
    };
    // frequency = 4 MHz x (1 + offset) x (1 + 0.05 x (3.5 - trim))
    const Case cases[] = {{0.03, 4}, {-0.10, 1}, {0.30, 7}};
    for (const Case& c : cases) {
        ToolSession t(Sx28lFamily());
        t.firmware.Chip().ircOffset = c.offset;
        t.irc.mode = IrcMode::FourMhz;
        FillImage(*t.state, 512);
        ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
        // Erases (E) and the measured words, in order.
        std::vector<int> order;
        for (const auto& w : t.PlainWrites()) {
            if (w[0] == 1 && w.size() == 2 && w[1] == 255) order.push_back(-1);
            if (w[0] == 1 && w.size() == 4) order.push_back(w[2] | ((w[3] & 0xF) << 8));
        }
        const std::vector<int> expected = {-1, 0xFFF, 0x7FF, 0x5FF, 0x4FF, -1, 0xDFF, 0xCFF, -1, 0xEFF, 0x6FF, -1};
        std::vector<int> head(order.begin(), order.begin() + long(std::min(order.size(), expected.size())));
        EXPECT_EQ(head, expected);
        EXPECT_EQ(t.irc.trim, c.trim) << c.offset;
        EXPECT_EQ(t.observer.ircShown, 1);
        EXPECT_EQ(t.observer.irc.chosenTrim, c.trim);
        EXPECT_EQ(t.observer.texts.front(), "Calibrating IRC...");
        for (int trim = 0; trim < 8; ++trim) EXPECT_NE(t.observer.irc.frequencies[std::size_t(trim)], 0u);
        // The programmed extended fuse word carries the chosen trim.
        SimChip probe(Sx28lFamily());
        probe.flash = t.firmware.Chip().flash;
        EXPECT_EQ(probe.Trim(), c.trim);
    }
}

TEST(ProgramDevice, SourceIrcChoiceOutranksTheSettingAndLeavesIt) {
    struct Case {
        IrcMode setting;
        std::optional<IrcMode> source;
        int trim;
        bool calibrated;
    };
    const Case cases[] = {
        {IrcMode::Slowest, IrcMode::FourMhz, 4, true},
        {IrcMode::FourMhz, IrcMode::Fastest, 0, false},
        {IrcMode::Fastest, IrcMode::Slowest, 7, false},
        {IrcMode::Fastest, std::nullopt, 0, false},
    };
    for (const Family* f : kFamilies) {
        for (const Case& c : cases) {
            ToolSession t(*f);
            t.irc.mode = c.setting;
            t.state->IrcCalibration = c.source;
            FillImage(*t.state, 512);
            ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
            EXPECT_EQ(t.irc.trim, c.trim) << f->title;
            EXPECT_EQ(t.observer.ircShown, c.calibrated ? 1 : 0) << f->title;
            EXPECT_EQ(t.irc.mode, c.setting) << f->title;
        }
    }
}

TEST(ReadDevice, SequenceAndWordCountFromChip) {
    // The chip holds 512 words; the image to read into says 2048.
    ToolSession writer(Sx28lFamily());
    FillImage(*writer.state, 512);
    ProgramDevice(writer.link, *writer.state, writer.irc, writer.observer, false);

    ToolSession t(Sx28lFamily());
    t.firmware.Chip().flash = writer.firmware.Chip().flash;
    ReadDevice(t.link, *t.state, t.observer, "Reading...");
    std::vector<Expect> expected = {{{3}, 1, 1000}, {{3}, 1, 1000}};
    for (int block = 0; block < 4; ++block) expected.push_back({{0x80}, 1, 1000});
    expected.push_back({{0x10}, 1, 1000});
    expected.push_back({{0}, 1, 1000});
    expected.push_back({{4}, 1, 1000});
    expected.push_back({{0}, 1, 0});
    ExpectWrites(t, expected);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(t.state->DeviceImage[std::size_t(i)], writer.state->DeviceImage[std::size_t(i)] & 0xFFF);
    for (int i = 512; i < kProgramWords; ++i) ASSERT_EQ(t.state->DeviceImage[std::size_t(i)], 0x0FFF);  // not read
    EXPECT_EQ(t.state->DeviceImage[kExtFuseIndex], t.firmware.Chip().flash[kExtFuseIndex]);
    EXPECT_EQ(t.observer.texts, std::vector<std::string>{"Reading..."});
    EXPECT_EQ(t.observer.steps, 32);
    EXPECT_EQ(t.observer.hides, 1);
}

TEST(ReadDevice, FailureKeepsWordsAlreadyReceived) {
    // Detection (7) + opening (1) + request 3 (1) + first 0x80 (1), then
    // silence: the second block of 128 words never comes.
    ToolOptions o;
    o.silentAfterBytes = 10;
    ToolSession t(Sx52Family(), o);
    for (int i = 0; i < kProgramWords; ++i) t.firmware.Chip().flash[std::size_t(i)] = std::uint16_t(i & 0xFFF);
    for (auto& w : t.state->DeviceImage) w = 0x0ABC;
    EXPECT_EQ(t.Run([&] { ReadDevice(t.link, *t.state, t.observer, "Verifying..."); }), "Korvid not found on COM1.");
    for (int i = 0; i < 128; ++i) ASSERT_EQ(t.state->DeviceImage[std::size_t(i)], i);
    for (int i = 128; i < kProgramWords; ++i) ASSERT_EQ(t.state->DeviceImage[std::size_t(i)], 0x0ABC);
    EXPECT_EQ(t.state->DeviceImage[kExtFuseIndex], 0xFFF);
    EXPECT_EQ(t.state->DeviceImage[kIdBase], 0x0ABC);
    EXPECT_FALSE(t.link.PortOpen);
    EXPECT_EQ(t.observer.hides, 1);
}

TEST(ReadDevice, ProgramThenReadBackBothFamilies) {
    for (const Family* f : kFamilies) {
        ToolSession t(*f);
        FillImage(*t.state, f->maxProgramSize);
        ProgramDevice(t.link, *t.state, t.irc, t.observer, false);
        Image sent = t.state->DeviceImage;
        BlankImage(t.state->DeviceImage, *f);
        ReadDevice(t.link, *t.state, t.observer, "Reading...");
        for (int i = 0; i < kFuseIndex; ++i) ASSERT_EQ(t.state->DeviceImage[std::size_t(i)], sent[std::size_t(i)] & 0xFFF) << i;
        EXPECT_EQ(t.state->DeviceImage[kFuseIndex], FuseToProgram(*f, sent[kFuseIndex]));
    }
}

TEST(EraseDevice, ClearsWhatProgrammingCannot) {
    ToolSession t(Sx28lFamily());
    FillImage(*t.state, 512);
    t.link.OpenLink();
    // Programming can only clear bits: writing 0xFFF over 0x123 keeps 0x123.
    t.firmware.Chip().flash[0] = 0x123;
    t.firmware.Chip().ProgramWord(0, 0xFFF);
    EXPECT_EQ(t.firmware.Chip().flash[0], 0x123);
    EraseDevice(t.link);
    EXPECT_EQ(t.firmware.Chip().flash[0], 0xFFF);
    t.link.CloseLink();
}

}  // namespace
}  // namespace korvid
