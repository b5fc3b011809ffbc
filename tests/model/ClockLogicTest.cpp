#include "model/ClockLogic.h"

#include <gtest/gtest.h>

#include <string>

namespace korvid {
namespace {

TEST(ClockLogic, TypedTextsGiveClampedFrequencies) {
    struct Case {
        const char* text;
        std::uint32_t hz;
    };
    const Case cases[] = {
        {"110.5", 110000000}, {"0.3", 400000},      {"3.5795", 3579000}, {"3.579545", 3579000},
        {"50", 50000000},     {"50.000", 50000000}, {"4.5", 4500000},    {".5", 500000},
        {"", 400000},         {"0", 400000},        {"1.2.3", 1230000},  {"9999999", 110000000},
        {"99999999999999999999999", 110000000},     {"20.", 20000000},   {"12a.3", 12300000},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseClockText(c.text), c.hz) << c.text;
}

TEST(ClockLogic, EditTextShowsWholeMegahertzAndTruncatedKilohertz) {
    struct Case {
        std::uint32_t hz;
        const char* text;
    };
    const Case cases[] = {
        {3579545, "3.579"}, {400000, "0.400"}, {110000000, "110.000"}, {50000000, "50.000"}, {1009999, "1.009"},
    };
    char out[12];
    for (const Case& c : cases) {
        FormatClockText(c.hz, out);
        EXPECT_STREQ(out, c.text);
        EXPECT_LE(std::string(out).size(), static_cast<std::size_t>(kClockEditMaxLength));
        // What the edit shows parses back to the shown value.
        EXPECT_EQ(ParseClockText(out), c.hz / 1000 * 1000);
    }
}

TEST(ClockLogic, TrackBarRunsFrom110MHzAtTheTopTo400kHzAtTheBottom) {
    EXPECT_EQ(ClockTrackPosition(110000000), 0);
    EXPECT_EQ(ClockTrackPosition(400000), kClockTrackMax);
    EXPECT_EQ(ClockFrequencyAtPosition(0), 110000000u);
    EXPECT_EQ(ClockFrequencyAtPosition(kClockTrackMax), 400000u);
    EXPECT_EQ(ClockTrackPosition(50000000), 6000);
    EXPECT_EQ(ClockTrackPosition(3579545), kClockTrackMax - 317);
    // Out-of-range values stay on the bar.
    EXPECT_EQ(ClockTrackPosition(0), kClockTrackMax);
    EXPECT_EQ(ClockTrackPosition(4000000000u), 0);
    EXPECT_EQ(ClockFrequencyAtPosition(-5), 110000000u);
    EXPECT_EQ(ClockFrequencyAtPosition(20000), 400000u);
    for (int p = 0; p <= kClockTrackMax; p += 137) EXPECT_EQ(ClockTrackPosition(ClockFrequencyAtPosition(p)), p);
}

TEST(ClockLogic, EditKeys) {
    struct Case {
        char32_t key;
        ClockKeyAction action;
    };
    const Case cases[] = {
        {U'0', ClockKeyAction::Edit},     {U'9', ClockKeyAction::Edit},     {U'.', ClockKeyAction::Edit},
        {8, ClockKeyAction::Edit},        {13, ClockKeyAction::Enter},      {U'K', ClockKeyAction::Okay},
        {U'k', ClockKeyAction::Okay},     {U'O', ClockKeyAction::ToggleOn}, {U'o', ClockKeyAction::ToggleOn},
        {U'R', ClockKeyAction::Reset},    {U'r', ClockKeyAction::Reset},    {U'a', ClockKeyAction::Swallow},
        {U',', ClockKeyAction::Swallow},  {U' ', ClockKeyAction::Swallow},  {U'\u00e9', ClockKeyAction::Swallow},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyClockKey(c.key), c.action) << static_cast<unsigned>(c.key);
}

TEST(ClockLogic, IrcFrequencyText) {
    struct Case {
        std::uint32_t hz;
        const char* text;
    };
    const Case cases[] = {
        {4012345, "4.01"}, {3999999, "3.99"}, {1000000, "1.00"}, {9999999, "9.99"},
        {0, "-"},          {987654, "0.98"},  {12345678, "12.34"},
    };
    char out[16];
    for (const Case& c : cases) {
        FormatIrcMhz(c.hz, out);
        EXPECT_STREQ(out, c.text) << c.hz;
    }
}

}  // namespace
}  // namespace korvid
