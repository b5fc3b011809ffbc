// The named fuse fields agree with the DEVICE words that set them: every
// reader of the configuration (emulator, Device window, debug image,
// programming) sees what the source asked for.
#include <string>

#include "family/Layout.h"
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

ConfigWords WordsOf(const Assembly& a) { return {a.word(kFuseIndex), a.word(kExtFuseIndex)}; }

TEST(FuseField, OptionsReadAsTheirDeviceWordsSetThem) {
    struct Case {
        const Family* family;
        const char* words;  // DEVICE operands
        FuseField field;
        bool on;
    };
    const Family* f28 = &Sx28lFamily();
    const Family* f52 = &Sx52Family();
    const Case cases[] = {
        {f28, "WATCHDOG", FuseField::Watchdog, true},
        {f28, "PROTECT", FuseField::CodeProtect, true},   {f28, "SYNC", FuseField::InputSync, true},
        {f28, "TURBO", FuseField::Turbo, true},           {f28, "CARRYX", FuseField::CarryX, true},
        {f28, "STACKX_OPTIONX", FuseField::StackOption, true},
        {f28, "SX28L", FuseField::PortC, true},
        {f52, "WATCHDOG", FuseField::Watchdog, true},     {f52, "PROTECT", FuseField::CodeProtect, true},
        {f52, "SYNC", FuseField::InputSync, true},        {f52, "CARRYX", FuseField::CarryX, true},
        {f52, "SLEEPCLOCK", FuseField::SleepClock, true}, {f52, "DRIVEOFF", FuseField::CrystalDrive, false},
        {f52, "FEEDBACKOFF", FuseField::CrystalFeedback, false},
        // Options the 52 family always has, whatever the words say.
        {f52, "WDT_OFF", FuseField::Turbo, true},         {f52, "WDT_OFF", FuseField::StackOption, true},
        {f52, "WDT_OFF", FuseField::PortC, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family->title) + ": DEVICE " + c.words);
        Assembly a(*c.family, Dialect::Strict);
        ASSERT_TRUE(a.Run(std::string("DEVICE ") + c.words + "\nNOP\n")) << a.message();
        EXPECT_EQ(c.family->fuseOn(c.field, WordsOf(a)), c.on);
        // The blank words hold the other state, unless the family fixes it.
        const bool fixed = c.family->fuseField(c.field).mask == 0;
        const ConfigWords blank{c.family->blankFuse, c.family->blankExtFuse};
        EXPECT_EQ(c.family->fuseOn(c.field, blank), fixed ? c.on : !c.on);
    }
}

TEST(FuseField, ValuesAndWhatTheyMean) {
    struct Case {
        const Family* family;
        const char* words;
        FuseField field;
        unsigned value;
    };
    const Family* f28 = &Sx28lFamily();
    const Family* f52 = &Sx52Family();
    const Case cases[] = {
        {f28, "BOR42", FuseField::Brownout, 0},  {f28, "BOR26", FuseField::Brownout, 1},
        {f28, "BOR22", FuseField::Brownout, 2},  {f52, "BOR26", FuseField::Brownout, 2},
        {f52, "BOR22", FuseField::Brownout, 1},  {f52, "DRT60MS", FuseField::ResetDelay, 0},
        {f52, "DRT960MS", FuseField::ResetDelay, 1}, {f52, "DRT60US", FuseField::ResetDelay, 2},
        {f52, "DRT18MS", FuseField::ResetDelay, 3},  {f28, "PIC16C54", FuseField::MemoryCode, 0},
        {f28, "PIC16C58", FuseField::MemoryCode, 2}, {f28, "SX28L", FuseField::MemoryCode, 3},
        {f28, "OSC4MHZ", FuseField::Oscillator, 0x03}, {f52, "OSC4MHZ", FuseField::Oscillator, 0x13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family->title) + ": DEVICE " + c.words);
        Assembly a(*c.family, Dialect::Strict);
        ASSERT_TRUE(a.Run(std::string("DEVICE ") + c.words + "\nNOP\n")) << a.message();
        EXPECT_EQ(c.family->fuseValue(c.field, WordsOf(a)), c.value);
    }
    // Reset delays by value; the 28 family has one delay.
    const std::uint32_t delays52[4] = {60000, 960000, 60, 18000};
    for (unsigned v = 0; v < 4; ++v) {
        EXPECT_EQ(Sx52Family().resetDelayUs[v], delays52[v]);
        EXPECT_EQ(Sx28lFamily().resetDelayUs[v], 18000u);
    }
    // The memory code and port C make the layout.
    EXPECT_EQ(LayoutOf(Sx28lFamily(), 0x400).programSize, 512);
    EXPECT_EQ(LayoutOf(Sx28lFamily(), 0x400).portCount, 3);
    EXPECT_EQ(LayoutOf(Sx28lFamily(), 0x002).bankCount, 4);
    EXPECT_EQ(LayoutOf(Sx28lFamily(), 0x002).portCount, 2);
}

// Every DEVICE word keeps the bits all images of its family hold set, so a
// loaded file is only called foreign when it cannot come from the family;
// the usual options of one family are what mark its images in the other.
TEST(FuseField, DeviceWordsKeepTheFamilysSetBits) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        EXPECT_TRUE(f->fitsConfig({f->blankFuse, f->blankExtFuse}));
        auto fits = [&](const Family::DeviceParam* params, int count) {
            for (int i = 0; i < count; ++i) {
                const std::string word(params[i].name);
                SCOPED_TRACE(std::string(f->title) + ": DEVICE " + word);
                Assembly a(*f, Dialect::Extended);
                ASSERT_TRUE(a.Run("DEVICE " + word + "\nNOP\n")) << a.message();
                EXPECT_TRUE(f->fitsConfig(WordsOf(a)));
            }
        };
        fits(f->deviceParams, f->deviceParamCount);
        fits(f->extendedDeviceParams, f->extendedDeviceParamCount);
    }
    const struct {
        const Family* family;
        const char* words;
        const Family* foreignTo;
    } marks[] = {
        {&Sx28lFamily(), "TURBO", &Sx52Family()},
        {&Sx28lFamily(), "STACKX_OPTIONX", &Sx52Family()},
        {&Sx52Family(), "DRIVEOFF", &Sx28lFamily()},
    };
    for (const auto& m : marks) {
        SCOPED_TRACE(std::string(m.family->title) + ": DEVICE " + m.words);
        Assembly a(*m.family, Dialect::Strict);
        ASSERT_TRUE(a.Run(std::string("DEVICE ") + m.words + "\nNOP\n")) << a.message();
        EXPECT_FALSE(m.foreignTo->fitsConfig(WordsOf(a)));
    }
}

TEST(FuseField, IrcTrimReplacesOnlyItsBits) {
    for (int trim = 0; trim < 8; ++trim) {
        const std::uint16_t word = WithIrcTrim(0xFFF, trim);
        EXPECT_EQ(word & 0x4FF, 0x4FF) << trim;  // every other bit kept
        EXPECT_EQ(((word >> 8) & 3) | ((word >> 9) & 4), trim);
        EXPECT_EQ(WithIrcTrim(word, 7), WithIrcTrim(0xFFF, 7));
    }
    EXPECT_EQ(WithIrcTrim(0x000, 7), 0xB00);
}

}  // namespace
}  // namespace korvid::test
