#include "model/DeviceSettings.h"

#include <iterator>

namespace korvid {

namespace {

// The fuse fields each window shows.
constexpr const FuseFieldInfo& F28(FuseField f) { return FieldOf(kSx28lFuseFields, f); }
constexpr const FuseFieldInfo& F52(FuseField f) { return FieldOf(kSx52FuseFields, f); }

// Korvid28L: the oscillator selection lives in fuse bits 7..5 and 1..0.
constexpr RadioItemInfo kOsc28l[] = {
    {"Crystal - HS3", 0xE2, 0xE3, true},   {"Crystal - HS2", 0xE1, 0xE3, true},
    {"Crystal - HS1", 0xE0, 0xE3, true},   {"Crystal - XT2", 0xC3, 0xE3, true},
    {"Crystal - XT1", 0xC2, 0xE3, true},   {"Crystal - LP2", 0xC1, 0xE3, true},
    {"Crystal - LP1", 0xC0, 0xE3, true},   {"Input", 0x80, 0xE3, false},
    {"External RC", 0xE3, 0xE3, false},    {"Internal 4MHz", 0x03, 0xE3, false},
    {"Internal 1MHz", 0x23, 0xE3, false},  {"Internal 128KHz", 0x43, 0xE3, false},
    {"Internal 32KHz", 0x63, 0xE3, false},
};

// Korvid52: bits 7..4 and 1..0; in the crystal modes bits 6 (feedback) and
// 4 (drive) belong to their check boxes and are not compared.
constexpr RadioItemInfo kOsc52[] = {
    {"Crystal - HS3", 0xF2, 0xA3, true},   {"Crystal - HS2", 0xF1, 0xA3, true},
    {"Crystal - HS1", 0xF0, 0xA3, true},   {"Crystal - XT2", 0xD3, 0xA3, true},
    {"Crystal - XT1", 0xD2, 0xA3, true},   {"Crystal - LP2", 0xD1, 0xA3, true},
    {"Crystal - LP1", 0xD0, 0xA3, true},   {"External RC", 0xF3, 0xF3, false},
    {"Internal 4MHz", 0x13, 0xF3, false},  {"Internal 1MHz", 0x33, 0xF3, false},
    {"Internal 128KHz", 0x53, 0xF3, false}, {"Internal 32KHz", 0x73, 0xF3, false},
};

// Korvid28L: extended fuse bit 10 (28 pins) and bits 1..0 (memory code).
// The 28-pin pattern with memory code 1 (0x401) matches no item.
constexpr RadioItemInfo kDevice28l[] = {
    {"SX18L", 0x003, 0x403, false},    {"SX28L", 0x403, 0x403, false},    {"PIC16C54", 0x000, 0x403, false},
    {"PIC16C55", 0x400, 0x403, false}, {"PIC16C56", 0x001, 0x403, false}, {"PIC16C57", 0x402, 0x403, false},
    {"PIC16C58", 0x002, 0x403, false},
};

// Extended fuse bits 5..4; the two builds code 2.6 V and 2.2 V oppositely.
constexpr RadioItemInfo kBrownout28l[] = {
    {"Off", 0x30, 0x30, false}, {"4.2V", 0x00, 0x30, false}, {"2.6V", 0x10, 0x30, false}, {"2.2V", 0x20, 0x30, false}};
constexpr RadioItemInfo kBrownout52[] = {
    {"Off", 0x30, 0x30, false}, {"4.2V", 0x00, 0x30, false}, {"2.6V", 0x20, 0x30, false}, {"2.2V", 0x10, 0x30, false}};

// Korvid52: extended fuse bits 1..0.
constexpr RadioItemInfo kResetTimer52[] = {
    {"18 ms", 3, 3, false}, {"960 ms", 1, 3, false}, {"60 ms", 0, 3, false}, {"60 us", 2, 3, false}};

constexpr std::string_view kOscHint52 =
    "*OSCHS3 (for 20 to 50+ MHz)*OSCHS2 (for 16 to 50+ MHz)*OSCHS1 (for 8 to 50 MHz)*OSCXT2 (for 1 to 24 MHz)"
    "*OSCXT1 (for 32 KHz to 10 MHz)*OSCLP2 (for 32 KHz to 1 MHz)*OSCLP1 (for 32 MHz)*OSCRC*OSC4MHZ*OSC1MHZ"
    "*OSC128KHZ*OSC32KHZ*";
constexpr std::string_view kResetTimerHint52 = "*DRT18MS*DRT960MS*DRT60MS*DRT60US*";
constexpr std::string_view kBrownoutHint52 = "*!Don't specify brownout setting*BOR42*BOR26*BOR22*";

// A radio group edits the word of one of the family's fuse fields.
template <std::size_t N>
constexpr RadioGroupInfo Group(std::string_view name, std::string_view caption, const FuseFieldInfo& field,
                               const RadioItemInfo (&items)[N], std::string_view hint = {}) {
    return {name, caption, field.word, items, static_cast<int>(N), hint};
}

constexpr RadioGroupInfo kGroups28l[] = {
    Group("OscRadioGroup", "&Oscillator", F28(FuseField::Oscillator), kOsc28l),
    Group("DeviceRadioGroup", "&Device", F28(FuseField::MemoryCode), kDevice28l),
    Group("BrownoutRadioGroup", "&Brownout", F28(FuseField::Brownout), kBrownout28l),
};

// Order of the groups is the order InitHints hands out their hints.
constexpr RadioGroupInfo kGroups52[] = {
    Group("OscRadioGroup", "&Oscillator", F52(FuseField::Oscillator), kOsc52, kOscHint52),
    Group("ResetTimerRadioGroup", "Reset Timer", F52(FuseField::ResetDelay), kResetTimer52, kResetTimerHint52),
    Group("BrownoutRadioGroup", "&Brownout", F52(FuseField::Brownout), kBrownout52, kBrownoutHint52),
};

// A check box shows one option of the family's fuse fields: checked when the
// option is on.
constexpr CheckBoxInfo Box(std::string_view name, std::string_view caption, const FuseFieldInfo& field,
                           bool crystalOnly, std::string_view hint) {
    return {name, caption, field.word, field.mask, field.onWhenSet, crystalOnly, hint};
}

constexpr CheckBoxInfo kBoxes28l[] = {
    Box("CarryCheckBox", "ADD/SUB with C", F28(FuseField::CarryX), false, {}),
    Box("SyncCheckBox", "Input Syncing", F28(FuseField::InputSync), false, {}),
    Box("WatchdogCheckBox", "Watchdog Timer", F28(FuseField::Watchdog), false, {}),
    Box("ProtectCheckBox", "Code Protect", F28(FuseField::CodeProtect), false, {}),
    Box("TurboCheckBox", "Turbo Mode", F28(FuseField::Turbo), false, {}),
    Box("StackOptionCheckBox", "Stack + OPTION", F28(FuseField::StackOption), false, {}),
};

constexpr CheckBoxInfo kBoxes52[] = {
    Box("CarryCheckBox", "ADD/SUB with C", F52(FuseField::CarryX), false, "Use  DEVICE CARRYX|"),
    Box("SyncCheckBox", "Input Syncing", F52(FuseField::InputSync), false, "Use  DEVICE SYNC|"),
    Box("WatchdogCheckBox", "Watchdog Timer", F52(FuseField::Watchdog), false, "Use  DEVICE WATCHDOG|"),
    Box("ProtectCheckBox", "Code Protect", F52(FuseField::CodeProtect), false, "Use  DEVICE PROTECT|"),
    Box("SleepClockCheckBox", "Sleep Clock", F52(FuseField::SleepClock), false, "Use  DEVICE SLEEPCLOCK|"),
    Box("DriveCheckBox", "Crystal Drive", F52(FuseField::CrystalDrive), true,
        "Use  DEVICE DRIVEOFF  -or-  DEVICE XTLBUFD|"),
    Box("FeedbackCheckBox", "Crystal Feedback", F52(FuseField::CrystalFeedback), true,
        "Use  DEVICE FEEDBACKOFF  -or-  DEVICE IFBD|"),
};

static_assert(std::size(kGroups28l) <= kMaxDeviceGroups && std::size(kGroups52) <= kMaxDeviceGroups);
static_assert(std::size(kBoxes28l) <= kMaxDeviceBoxes && std::size(kBoxes52) <= kMaxDeviceBoxes);

// The words' bases: the family's always-set bits, and the trim bits all set
// (the window has no control for the trim; programming puts the measured one in).
constexpr DeviceLayout kLayout28l = {kGroups28l, static_cast<int>(std::size(kGroups28l)), kBoxes28l,
                                     static_cast<int>(std::size(kBoxes28l)), 0, kSx28lSetBits.fuse,
                                     std::uint16_t(kSx28lSetBits.extFuse | F28(FuseField::IrcTrim).mask), false};
constexpr DeviceLayout kLayout52 = {kGroups52, static_cast<int>(std::size(kGroups52)), kBoxes52,
                                    static_cast<int>(std::size(kBoxes52)), 0, kSx52SetBits.fuse,
                                    std::uint16_t(kSx52SetBits.extFuse | F52(FuseField::IrcTrim).mask), true};

std::uint16_t& WordRef(ConfigWords& words, ConfigWord which) {
    return which == ConfigWord::Fuse ? words.fuse : words.extFuse;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

void PutHex3(char* out, unsigned value) {
    out[0] = kHexDigits[(value >> 8) & 0xF];
    out[1] = kHexDigits[(value >> 4) & 0xF];
    out[2] = kHexDigits[value & 0xF];
}

}  // namespace

const DeviceLayout& DeviceLayoutFor(const Family& family) { return family.is52() ? kLayout52 : kLayout28l; }

void UpdateEnabledBoxes(const DeviceLayout& layout, DeviceControls& controls) {
    const RadioGroupInfo& osc = layout.groups[layout.oscillatorGroup];
    const int sel = controls.selected[static_cast<std::size_t>(layout.oscillatorGroup)];
    const bool crystal = sel < 0 || sel >= osc.itemCount || osc.items[sel].crystal;
    for (int b = 0; b < layout.boxCount; ++b)
        controls.enabled[static_cast<std::size_t>(b)] = !layout.boxes[b].crystalOnly || crystal;
}

ConfigWords WordsFromControls(const DeviceLayout& layout, DeviceControls& controls) {
    UpdateEnabledBoxes(layout, controls);
    ConfigWords words{layout.fuseBase, layout.extFuseBase};
    for (int g = 0; g < layout.groupCount; ++g) {
        const RadioGroupInfo& group = layout.groups[g];
        int sel = controls.selected[static_cast<std::size_t>(g)];
        if (sel < 0 || sel >= group.itemCount) sel = 0;
        WordRef(words, group.word) |= group.items[sel].value;
    }
    for (int b = 0; b < layout.boxCount; ++b) {
        const CheckBoxInfo& box = layout.boxes[b];
        const bool checked = controls.checked[static_cast<std::size_t>(b)];
        std::uint16_t& word = WordRef(words, box.word);
        if (box.crystalOnly) {
            // The crystal items carry the bit set; an enabled, unchecked box
            // takes it away.
            if (controls.enabled[static_cast<std::size_t>(b)] && !checked) word &= static_cast<std::uint16_t>(~box.bit);
        } else if (checked == box.checkedBit) {
            word |= box.bit;
        }
    }
    return words;
}

DeviceControls ControlsFromWords(const DeviceLayout& layout, ConfigWords words) {
    DeviceControls controls;
    controls.selected.fill(-1);
    for (int g = 0; g < layout.groupCount; ++g) {
        const RadioGroupInfo& group = layout.groups[g];
        const std::uint16_t w = WordOf(words, group.word);
        for (int i = 0; i < group.itemCount; ++i) {
            const RadioItemInfo& item = group.items[i];
            if ((w & item.matchMask) == (item.value & item.matchMask)) {
                controls.selected[static_cast<std::size_t>(g)] = i;
                break;
            }
        }
    }
    UpdateEnabledBoxes(layout, controls);
    for (int b = 0; b < layout.boxCount; ++b) {
        const CheckBoxInfo& box = layout.boxes[b];
        const bool bitSet = (WordOf(words, box.word) & box.bit) != 0;
        controls.checked[static_cast<std::size_t>(b)] = bitSet == box.checkedBit;
    }
    return controls;
}

int FlashScrollMaximum(const Family& family, std::uint16_t extFuse) { return ProgramSize(family, extFuse) / 8 - 8; }

int IdText(const Image& image, char out[9]) {
    int n = 0;
    for (int i = 0; i < 8; ++i) {
        const unsigned c = ((image[kIdBase + 2 * i] & 0xFu) << 4) | (image[kIdBase + 2 * i + 1] & 0xFu);
        if (c == 0xFF) break;
        out[n++] = static_cast<char>(c);
    }
    out[n] = '\0';
    return n;
}

void FlashRowText(const Image& image, int row, char out[kFlashRowLength + 1]) {
    const unsigned r = static_cast<unsigned>(row) % kFlashRows;
    char* p = out;
    PutHex3(p, r * 8);
    p += 3;
    *p++ = '-';
    for (unsigned i = 0; i < 8; ++i) {
        *p++ = ' ';
        PutHex3(p, image[r * 8 + i] & kWordMask);
        p += 3;
    }
    *p = '\0';
}

std::string_view GroupHintItem(std::string_view groupHint, int index) {
    if (index < 0 || groupHint.empty() || groupHint.front() != '*') return {};
    std::size_t start = 1;
    for (int i = 0;; ++i) {
        const std::size_t end = groupHint.find('*', start);
        if (end == std::string_view::npos) return {};
        if (i == index) return groupHint.substr(start, end - start);
        start = end + 1;
    }
}

std::string ItemButtonHint(std::string_view item) {
    std::string hint;
    if (!item.empty() && item.front() == '!')
        hint.assign(item.substr(1));
    else
        hint.append("Use  DEVICE ").append(item);
    hint.push_back('|');
    return hint;
}

std::string_view ShortHint(std::string_view hint) { return hint.substr(0, hint.find('|')); }

}  // namespace korvid
