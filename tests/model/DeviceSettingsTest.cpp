#include "model/DeviceSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvid {
namespace {

struct ItemCase {
    std::string caption;
    std::uint16_t bits;  // the group's bits in its word
};

struct GroupCase {
    const Family* family;
    std::string groupName;
    ConfigWord word;
    std::uint16_t mask;
    std::vector<ItemCase> items;
};

int GroupIndex(const DeviceLayout& layout, const std::string& name) {
    for (int g = 0; g < layout.groupCount; ++g)
        if (layout.groups[g].name == name) return g;
    return -1;
}

int BoxIndex(const DeviceLayout& layout, const std::string& name) {
    for (int b = 0; b < layout.boxCount; ++b)
        if (layout.boxes[b].name == name) return b;
    return -1;
}

DeviceControls DefaultControls(const DeviceLayout& layout) {
    DeviceControls c;
    for (int g = 0; g < layout.groupCount; ++g) c.selected[static_cast<std::size_t>(g)] = 0;
    return c;
}

std::uint16_t Word(ConfigWords w, ConfigWord which) { return which == ConfigWord::Fuse ? w.fuse : w.extFuse; }

std::vector<GroupCase> AllGroups() {
    const Family* f28 = &Sx28lFamily();
    const Family* f52 = &Sx52Family();
    return {
        {f28, "OscRadioGroup", ConfigWord::Fuse, 0xE3,
         {{"Crystal - HS3", 0xE2}, {"Crystal - HS2", 0xE1}, {"Crystal - HS1", 0xE0}, {"Crystal - XT2", 0xC3},
          {"Crystal - XT1", 0xC2}, {"Crystal - LP2", 0xC1}, {"Crystal - LP1", 0xC0}, {"Input", 0x80},
          {"External RC", 0xE3}, {"Internal 4MHz", 0x03}, {"Internal 1MHz", 0x23}, {"Internal 128KHz", 0x43},
          {"Internal 32KHz", 0x63}}},
        {f52, "OscRadioGroup", ConfigWord::Fuse, 0xF3,
         {{"Crystal - HS3", 0xF2}, {"Crystal - HS2", 0xF1}, {"Crystal - HS1", 0xF0}, {"Crystal - XT2", 0xD3},
          {"Crystal - XT1", 0xD2}, {"Crystal - LP2", 0xD1}, {"Crystal - LP1", 0xD0}, {"External RC", 0xF3},
          {"Internal 4MHz", 0x13}, {"Internal 1MHz", 0x33}, {"Internal 128KHz", 0x53}, {"Internal 32KHz", 0x73}}},
        {f28, "DeviceRadioGroup", ConfigWord::ExtFuse, 0x403,
         {{"SX18L", 0x003}, {"SX28L", 0x403}, {"PIC16C54", 0x000}, {"PIC16C55", 0x400}, {"PIC16C56", 0x001},
          {"PIC16C57", 0x402}, {"PIC16C58", 0x002}}},
        {f28, "BrownoutRadioGroup", ConfigWord::ExtFuse, 0x30,
         {{"Off", 0x30}, {"4.2V", 0x00}, {"2.6V", 0x10}, {"2.2V", 0x20}}},
        {f52, "BrownoutRadioGroup", ConfigWord::ExtFuse, 0x30,
         {{"Off", 0x30}, {"4.2V", 0x00}, {"2.6V", 0x20}, {"2.2V", 0x10}}},
        {f52, "ResetTimerRadioGroup", ConfigWord::ExtFuse, 0x03,
         {{"18 ms", 3}, {"960 ms", 1}, {"60 ms", 0}, {"60 us", 2}}},
    };
}

TEST(DeviceSettings, EveryGroupItemMapsToItsBitsAndBack) {
    for (const GroupCase& gc : AllGroups()) {
        SCOPED_TRACE(std::string(gc.family->title) + " " + gc.groupName);
        const DeviceLayout& layout = DeviceLayoutFor(*gc.family);
        const int g = GroupIndex(layout, gc.groupName);
        ASSERT_GE(g, 0);
        const RadioGroupInfo& group = layout.groups[g];
        ASSERT_EQ(group.itemCount, static_cast<int>(gc.items.size()));
        for (int i = 0; i < group.itemCount; ++i) {
            SCOPED_TRACE(gc.items[static_cast<std::size_t>(i)].caption);
            EXPECT_EQ(group.items[i].caption, gc.items[static_cast<std::size_t>(i)].caption);
            DeviceControls c = DefaultControls(layout);
            // Crystal boxes checked so that they leave the item's bits alone.
            for (int b = 0; b < layout.boxCount; ++b) c.checked[static_cast<std::size_t>(b)] = layout.boxes[b].crystalOnly;
            c.selected[static_cast<std::size_t>(g)] = i;
            const ConfigWords w = WordsFromControls(layout, c);
            EXPECT_EQ(Word(w, gc.word) & gc.mask, gc.items[static_cast<std::size_t>(i)].bits);
            EXPECT_EQ(ControlsFromWords(layout, w).selected[static_cast<std::size_t>(g)], i);
        }
    }
}

struct BoxCase {
    const Family* family;
    std::string name;
    std::string caption;
    ConfigWord word;
    std::uint16_t bit;
    bool checkedBit;
};

TEST(DeviceSettings, CheckBoxesSetTheirBitsAndReadThemBack) {
    const Family* f28 = &Sx28lFamily();
    const Family* f52 = &Sx52Family();
    const BoxCase cases[] = {
        {f28, "WatchdogCheckBox", "Watchdog Timer", ConfigWord::Fuse, 0x004, true},
        {f28, "ProtectCheckBox", "Code Protect", ConfigWord::Fuse, 0x008, false},
        {f28, "SyncCheckBox", "Input Syncing", ConfigWord::Fuse, 0x400, false},
        {f28, "TurboCheckBox", "Turbo Mode", ConfigWord::Fuse, 0x800, false},
        {f28, "CarryCheckBox", "ADD/SUB with C", ConfigWord::ExtFuse, 0x040, false},
        {f28, "StackOptionCheckBox", "Stack + OPTION", ConfigWord::ExtFuse, 0x080, false},
        {f52, "WatchdogCheckBox", "Watchdog Timer", ConfigWord::Fuse, 0x004, true},
        {f52, "ProtectCheckBox", "Code Protect", ConfigWord::Fuse, 0x008, false},
        {f52, "SyncCheckBox", "Input Syncing", ConfigWord::Fuse, 0x400, false},
        {f52, "CarryCheckBox", "ADD/SUB with C", ConfigWord::ExtFuse, 0x040, false},
        {f52, "SleepClockCheckBox", "Sleep Clock", ConfigWord::ExtFuse, 0x400, false},
        {f52, "DriveCheckBox", "Crystal Drive", ConfigWord::Fuse, 0x010, true},
        {f52, "FeedbackCheckBox", "Crystal Feedback", ConfigWord::Fuse, 0x040, true},
    };
    for (const BoxCase& bc : cases) {
        SCOPED_TRACE(std::string(bc.family->title) + " " + bc.name);
        const DeviceLayout& layout = DeviceLayoutFor(*bc.family);
        const int b = BoxIndex(layout, bc.name);
        ASSERT_GE(b, 0);
        EXPECT_EQ(layout.boxes[b].caption, bc.caption);
        for (bool checked : {false, true}) {
            DeviceControls c = DefaultControls(layout);  // first oscillator item: a crystal
            c.checked[static_cast<std::size_t>(b)] = checked;
            const ConfigWords w = WordsFromControls(layout, c);
            const bool bitSet = (Word(w, bc.word) & bc.bit) != 0;
            EXPECT_EQ(bitSet, checked == bc.checkedBit) << "checked=" << checked;
            EXPECT_EQ(ControlsFromWords(layout, w).checked[static_cast<std::size_t>(b)], checked);
        }
    }
    // No box of one build leaks into the other.
    EXPECT_LT(BoxIndex(DeviceLayoutFor(*f52), "TurboCheckBox"), 0);
    EXPECT_LT(BoxIndex(DeviceLayoutFor(*f52), "StackOptionCheckBox"), 0);
    EXPECT_LT(BoxIndex(DeviceLayoutFor(*f28), "DriveCheckBox"), 0);
    EXPECT_LT(GroupIndex(DeviceLayoutFor(*f52), "DeviceRadioGroup"), 0);
    EXPECT_LT(GroupIndex(DeviceLayoutFor(*f28), "ResetTimerRadioGroup"), 0);
}

// Showing then updating gives the fixed values to the bits no control
// represents, whatever the image held there.
TEST(DeviceSettings, BitsWithoutControlTakeTheirFixedValues) {
    struct Case {
        const Family* family;
        std::uint16_t fuseSet, fuseClear, extSet, extClear;
    };
    const Case cases[] = {
        {&Sx28lFamily(), 0x310, 0x000, 0xB0C, 0x000},
        {&Sx52Family(), 0xA00, 0x100, 0xB8C, 0x000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family->title);
        const DeviceLayout& layout = DeviceLayoutFor(*c.family);
        for (ConfigWords in : {ConfigWords{0x000, 0x000}, ConfigWords{0xFFF, 0xFFF}, ConfigWords{0x5A5, 0xA5A}}) {
            DeviceControls controls = ControlsFromWords(layout, in);
            const ConfigWords out = WordsFromControls(layout, controls);
            EXPECT_EQ(out.fuse & c.fuseSet, c.fuseSet);
            EXPECT_EQ(out.fuse & c.fuseClear, 0);
            EXPECT_EQ(out.extFuse & c.extSet, c.extSet);
            EXPECT_EQ(out.extFuse & c.extClear, 0);
        }
    }
}

// Every word the window writes is shown and written back unchanged, and
// every matched image keeps all the bits its controls stand for.
TEST(DeviceSettings, ShowThenUpdateIsStableForEveryFuseWord) {
    for (const Family* family : {&Sx28lFamily(), &Sx52Family()}) {
        SCOPED_TRACE(family->title);
        const DeviceLayout& layout = DeviceLayoutFor(*family);
        for (std::uint16_t ext : {std::uint16_t{0x000}, std::uint16_t{0xBFF}, std::uint16_t{0xFFF}, std::uint16_t{0x5A6}}) {
            for (unsigned fuse = 0; fuse < 0x1000; ++fuse) {
                DeviceControls c1 = ControlsFromWords(layout, {static_cast<std::uint16_t>(fuse), ext});
                const ConfigWords once = WordsFromControls(layout, c1);
                DeviceControls c2 = ControlsFromWords(layout, once);
                const ConfigWords twice = WordsFromControls(layout, c2);
                ASSERT_EQ(once.fuse, twice.fuse) << std::hex << fuse << " " << ext;
                ASSERT_EQ(once.extFuse, twice.extFuse) << std::hex << fuse << " " << ext;
                for (int g = 0; g < layout.groupCount; ++g) ASSERT_GE(c2.selected[static_cast<std::size_t>(g)], 0);
            }
        }
    }
}

TEST(DeviceSettings, UnmatchedGroupsSelectNothingAndStoreTheirFirstItem) {
    struct Case {
        const Family* family;
        ConfigWords in;
        std::string group;
        ConfigWord word;
        std::uint16_t mask, stored;
    };
    const Case cases[] = {
        // Oscillator pattern of no item: stored as Crystal - HS3.
        {&Sx28lFamily(), {0xFA0, 0xBFF}, "OscRadioGroup", ConfigWord::Fuse, 0xE3, 0xE2},
        {&Sx28lFamily(), {0xFA1, 0xBFF}, "OscRadioGroup", ConfigWord::Fuse, 0xE3, 0xE2},
        // Internal 4 MHz with bit 4 cleared matches nothing in the 52; the
        // empty group counts as a crystal, so the cleared drive and feedback
        // bits shown as unchecked boxes stay cleared in HS3.
        {&Sx52Family(), {0xF03, 0xFFF}, "OscRadioGroup", ConfigWord::Fuse, 0xF3, 0xA2},
        {&Sx52Family(), {0xF50, 0xFFF}, "OscRadioGroup", ConfigWord::Fuse, 0xF3, 0xF2},
        // 28 pins with the 1024-word code: stored as SX18L.
        {&Sx28lFamily(), {0xFFA, 0xBFD | 0x400}, "DeviceRadioGroup", ConfigWord::ExtFuse, 0x403, 0x003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family->title) + " " + c.group);
        const DeviceLayout& layout = DeviceLayoutFor(*c.family);
        const int g = GroupIndex(layout, c.group);
        DeviceControls controls = ControlsFromWords(layout, c.in);
        EXPECT_EQ(controls.selected[static_cast<std::size_t>(g)], -1);
        const ConfigWords out = WordsFromControls(layout, controls);
        EXPECT_EQ(Word(out, c.word) & c.mask, c.stored);
    }
}

TEST(DeviceSettings, Sx52CrystalBoxesFollowTheOscillator) {
    const DeviceLayout& layout = DeviceLayoutFor(Sx52Family());
    const int osc = GroupIndex(layout, "OscRadioGroup");
    const int drive = BoxIndex(layout, "DriveCheckBox");
    const int feedback = BoxIndex(layout, "FeedbackCheckBox");
    struct Case {
        int item;  // -1: no selection
        bool enabled;
        std::uint16_t oscBitsUnchecked;  // fuse & 0xF3 with both boxes unchecked
    };
    const Case cases[] = {
        {0, true, 0xF2 - 0x50},  {3, true, 0xD3 - 0x50}, {6, true, 0xD0 - 0x50}, {-1, true, 0xF2 - 0x50},
        {7, false, 0xF3},        {8, false, 0x13},       {11, false, 0x73},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        DeviceControls controls = DefaultControls(layout);
        controls.selected[static_cast<std::size_t>(osc)] = c.item;
        controls.checked[static_cast<std::size_t>(drive)] = false;
        controls.checked[static_cast<std::size_t>(feedback)] = false;
        const ConfigWords w = WordsFromControls(layout, controls);
        EXPECT_EQ(controls.enabled[static_cast<std::size_t>(drive)], c.enabled);
        EXPECT_EQ(controls.enabled[static_cast<std::size_t>(feedback)], c.enabled);
        EXPECT_EQ(w.fuse & 0xF3, c.oscBitsUnchecked);
        // Showing the word gives the same enabled state.
        EXPECT_EQ(ControlsFromWords(layout, w).enabled[static_cast<std::size_t>(drive)], c.enabled);
    }
    // A crystal word with drive and feedback off still selects its item and
    // shows both boxes unchecked.
    DeviceControls shown = ControlsFromWords(layout, {0xEA2, 0xFFF});
    EXPECT_EQ(shown.selected[static_cast<std::size_t>(osc)], 0);
    EXPECT_FALSE(shown.checked[static_cast<std::size_t>(drive)]);
    EXPECT_FALSE(shown.checked[static_cast<std::size_t>(feedback)]);
    EXPECT_TRUE(shown.enabled[static_cast<std::size_t>(drive)]);
}

TEST(DeviceSettings, ScrollMaximumFollowsTheProgramSize) {
    struct Case {
        const Family* family;
        std::uint16_t ext;
        int max;
    };
    const Case cases[] = {
        {&Sx28lFamily(), 0xBFC, 56}, {&Sx28lFamily(), 0xBFD, 120}, {&Sx28lFamily(), 0xBFE, 248},
        {&Sx28lFamily(), 0xFFF, 248}, {&Sx52Family(), 0x000, 504}, {&Sx52Family(), 0xFFF, 504},
    };
    for (const Case& c : cases) EXPECT_EQ(FlashScrollMaximum(*c.family, c.ext), c.max) << std::hex << c.ext;
}

void SetId(Image& image, const char* text) {
    for (int i = 0; i < 16; ++i) image[static_cast<std::size_t>(kIdBase + i)] = 0x0FFF;
    for (int i = 0; i < 8 && text[i]; ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        image[static_cast<std::size_t>(kIdBase + 2 * i)] = static_cast<std::uint16_t>(0x8FF0 | (c >> 4));
        image[static_cast<std::size_t>(kIdBase + 2 * i + 1)] = static_cast<std::uint16_t>(0x8FF0 | (c & 0xF));
    }
}

TEST(DeviceSettings, IdTextEndsAtTheFirstFFCharacter) {
    Image image{};
    char text[9];
    for (const char* id : {"", "HELLO", "ABCDEFGH", "x"}) {
        SetId(image, id);
        EXPECT_EQ(IdText(image, text), static_cast<int>(std::string(id).size()));
        EXPECT_EQ(std::string(text), id);
    }
    // A 0xFF in the middle ends the text there.
    SetId(image, "ABCDEFGH");
    image[kIdBase + 4] = 0x0FFF;
    image[kIdBase + 5] = 0x0FFF;
    EXPECT_EQ(IdText(image, text), 2);
    EXPECT_EQ(std::string(text), "AB");
}

TEST(DeviceSettings, FlashRowsShowAddressAndEightWords) {
    Image image{};
    image.fill(0x0FFF);
    for (int i = 0; i < 8; ++i) image[static_cast<std::size_t>(16 + i)] = static_cast<std::uint16_t>(0x8000 | (0xA0 + i));
    image[4095] = 0x8123;
    char row[kFlashRowLength + 1];
    FlashRowText(image, 0, row);
    EXPECT_STREQ(row, "000- FFF FFF FFF FFF FFF FFF FFF FFF");
    FlashRowText(image, 2, row);
    EXPECT_STREQ(row, "010- 0A0 0A1 0A2 0A3 0A4 0A5 0A6 0A7");
    FlashRowText(image, 511, row);
    EXPECT_STREQ(row, "FF8- FFF FFF FFF FFF FFF FFF FFF 123");
}

TEST(DeviceSettings, Sx52HintsNameTheDeviceKeywords) {
    const DeviceLayout& layout = DeviceLayoutFor(Sx52Family());
    ASSERT_TRUE(layout.hasHints);
    struct Case {
        std::string group;
        int item;
        std::string hint;
    };
    const Case cases[] = {
        {"OscRadioGroup", 0, "Use  DEVICE OSCHS3 (for 20 to 50+ MHz)|"},
        {"OscRadioGroup", 11, "Use  DEVICE OSC32KHZ|"},
        {"ResetTimerRadioGroup", 3, "Use  DEVICE DRT60US|"},
        {"BrownoutRadioGroup", 0, "Don't specify brownout setting|"},
        {"BrownoutRadioGroup", 3, "Use  DEVICE BOR22|"},
    };
    for (const Case& c : cases) {
        const RadioGroupInfo& group = layout.groups[GroupIndex(layout, c.group)];
        EXPECT_EQ(ItemButtonHint(GroupHintItem(group.hint, c.item)), c.hint);
    }
    // One hint item per button, none beyond.
    for (int g = 0; g < layout.groupCount; ++g) {
        const RadioGroupInfo& group = layout.groups[g];
        EXPECT_FALSE(GroupHintItem(group.hint, group.itemCount - 1).empty()) << group.name;
        EXPECT_TRUE(GroupHintItem(group.hint, group.itemCount).empty()) << group.name;
    }
    EXPECT_TRUE(GroupHintItem("", 0).empty());
    EXPECT_EQ(ShortHint("Use  DEVICE SYNC|"), "Use  DEVICE SYNC");
    EXPECT_FALSE(DeviceLayoutFor(Sx28lFamily()).hasHints);
}

}  // namespace
}  // namespace korvid
