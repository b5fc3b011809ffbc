// The Device window's model, free of Qt: which radio groups and check boxes
// each family's window has, what every item and box means in the fuse and
// extended fuse words, and the two directions between the controls' state
// and the words (UpdateSettings and ShowSettings of the window), plus the
// texts the window shows (ID, E²Flash rows, DEVICE hints).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/asm/AssemblyState.h"
#include "family/Family.h"

namespace korvid {

struct RadioItemInfo {
    std::string_view caption;
    std::uint16_t value;      // bits the item contributes to its word
    std::uint16_t matchMask;  // bits compared when the window selects the item
    bool crystal;             // one of the seven crystal oscillator items
};

struct RadioGroupInfo {
    std::string_view name;     // control name, e.g. "OscRadioGroup"
    std::string_view caption;  // "&Oscillator"
    ConfigWord word;
    const RadioItemInfo* items;
    int itemCount;
    // Korvid52: the group's own hint, items each preceded by '*', the last
    // followed by '*'; InitHints hands them out to the group's buttons.
    std::string_view hint;
};

struct CheckBoxInfo {
    std::string_view name;     // control name, e.g. "WatchdogCheckBox"
    std::string_view caption;  // "Watchdog Timer"
    ConfigWord word;
    std::uint16_t bit;
    bool checkedBit;   // the bit's value that shows as checked
    bool crystalOnly;  // enabled only with a crystal oscillator (Korvid52)
    std::string_view hint;  // fixed hint, empty when the window gives none
};

inline constexpr int kMaxDeviceGroups = 3;
inline constexpr int kMaxDeviceBoxes = 7;

struct DeviceLayout {
    const RadioGroupInfo* groups;
    int groupCount;
    const CheckBoxInfo* boxes;
    int boxCount;
    int oscillatorGroup;  // index of the oscillator group in `groups`
    // Bits no control represents, with their fixed values (the base of each
    // word before the controls' contributions).
    std::uint16_t fuseBase;
    std::uint16_t extFuseBase;
    bool hasHints;  // Korvid52: InitHints gives every choice a DEVICE hint
};

const DeviceLayout& DeviceLayoutFor(const Family& family);

// The state of the window's controls.
struct DeviceControls {
    std::array<int, kMaxDeviceGroups> selected{};  // item index, -1 = none
    std::array<bool, kMaxDeviceBoxes> checked{};
    std::array<bool, kMaxDeviceBoxes> enabled{};
};

// Crystal-only boxes are enabled exactly when the oscillator selection is a
// crystal item or nothing; every other box is always enabled.
void UpdateEnabledBoxes(const DeviceLayout& layout, DeviceControls& controls);

// UpdateSettings: the words from the controls (enabling the crystal-only
// boxes first). A group without a selection contributes its first item.
ConfigWords WordsFromControls(const DeviceLayout& layout, DeviceControls& controls);

// ShowSettings steps 1 and 2: selects the first item of each group whose
// value matches the word (none when nothing matches), sets the enabled state
// of the crystal-only boxes, then every box from its bit.
DeviceControls ControlsFromWords(const DeviceLayout& layout, ConfigWords words);

// E²Flash scroll bar maximum for an extended fuse word: program size / 8 - 8.
int FlashScrollMaximum(const Family& family, std::uint16_t extFuse);

// The ID text of an image: one character per nibble pair, ending at the
// first 0xFF. Writes at most 8 characters and a NUL; returns the length.
int IdText(const Image& image, char out[9]);

inline constexpr int kFlashRows = 512;
inline constexpr int kFlashRowLength = 36;  // "010- FFF FFF FFF FFF FFF FFF FFF FFF"

// Row r of the E²Flash view: address r*8 as three hex digits, "- ", then the
// eight words' low 12 bits, three hex digits each, single spaces between.
void FlashRowText(const Image& image, int row, char out[kFlashRowLength + 1]);

// Item `index` of a '*'-separated group hint; empty when there is none.
std::string_view GroupHintItem(std::string_view groupHint, int index);

// A button's hint for a group-hint item: "Use  DEVICE " + item + "|", or for
// an item beginning with '!' the rest of the item + "|".
std::string ItemButtonHint(std::string_view item);

// The part of a hint shown to the user: the text before the first '|'.
std::string_view ShortHint(std::string_view hint);

}  // namespace korvid
