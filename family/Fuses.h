// The configuration (fuse) words as named fields: which word, which bits,
// and what they mean. The emulator's configuration, the Device window, the
// debug image, programming, the memory layout and the register dump read
// the bits through these tables; the assembler's DEVICE words (Sx28l.cpp,
// Sx52.cpp) are the spellings of their values.
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

namespace korvid {

// The two configuration words of an image.
enum class ConfigWord : std::uint8_t { Fuse, ExtFuse };

struct ConfigWords {
    std::uint16_t fuse;
    std::uint16_t extFuse;
};

// Every family lists every field, in this order; a field the family lacks
// has mask 0 and its option is fixed (`fixedOn`).
enum class FuseField : std::uint8_t {
    Oscillator,       // oscillator kind and internal frequency
    Watchdog,         // watchdog timer
    CodeProtect,      // program memory cannot be read back
    InputSync,        // input synchroniser on the port pins
    Turbo,            // one clock per instruction (else four)
    CrystalDrive,     // crystal oscillator drive
    CrystalFeedback,  // crystal oscillator internal feedback resistor
    MemoryCode,       // program size and RAM banks
    PortC,            // the 28-pin part's port C
    Brownout,         // brown-out reset voltage
    CarryX,           // ADD and SUB take the carry in
    StackOption,      // eight-level stack and the full OPTION register
    ResetDelay,       // delay after a reset
    SleepClock,       // the timers keep their clock in SLEEP
    IrcTrim,          // internal RC oscillator trim (0 fastest .. 7 slowest)
    Count
};

struct FuseFieldInfo {
    FuseField field;
    std::string_view name;
    ConfigWord word;
    std::uint16_t mask;  // 0: the family has no such bits
    bool onWhenSet;      // a one-bit option: on when its bit is set (else when clear)
    bool fixedOn;        // mask 0: whether the option is always on
    std::string_view meaning;
};

using FuseFieldTable = FuseFieldInfo[static_cast<int>(FuseField::Count)];

// clang-format off
inline constexpr FuseFieldTable kSx28lFuseFields = {
    {FuseField::Oscillator, "Oscillator", ConfigWord::Fuse, 0x0E3, false, false,
     "bits 7..5 and 1..0: crystal HS/XT/LP, input, external RC, internal 4 MHz to 32 kHz"},
    {FuseField::Watchdog, "Watchdog", ConfigWord::Fuse, 0x004, true, false, "set: watchdog timer on"},
    {FuseField::CodeProtect, "CodeProtect", ConfigWord::Fuse, 0x008, false, false, "clear: code protected"},
    {FuseField::InputSync, "InputSync", ConfigWord::Fuse, 0x400, false, false, "clear: inputs synchronised"},
    {FuseField::Turbo, "Turbo", ConfigWord::Fuse, 0x800, false, false, "clear: turbo mode"},
    {FuseField::CrystalDrive, "CrystalDrive", ConfigWord::Fuse, 0, true, true, "fixed: full drive"},
    {FuseField::CrystalFeedback, "CrystalFeedback", ConfigWord::Fuse, 0, true, true, "fixed: feedback on"},
    {FuseField::MemoryCode, "MemoryCode", ConfigWord::ExtFuse, 0x003, true, false,
     "0: 512 words, 1 bank; 1: 1024, 1; 2: 2048, 4; 3: 2048, 8"},
    {FuseField::PortC, "PortC", ConfigWord::ExtFuse, 0x400, true, false, "set: 28-pin part with port C"},
    {FuseField::Brownout, "Brownout", ConfigWord::ExtFuse, 0x030, true, false, "0: 4.2 V, 1: 2.6 V, 2: 2.2 V, 3: off"},
    {FuseField::CarryX, "CarryX", ConfigWord::ExtFuse, 0x040, false, false, "clear: ADD/SUB with carry"},
    {FuseField::StackOption, "StackOption", ConfigWord::ExtFuse, 0x080, false, false,
     "clear: 8-level stack and OPTION bits 7..6"},
    {FuseField::ResetDelay, "ResetDelay", ConfigWord::ExtFuse, 0, true, false, "fixed: 18 ms"},
    {FuseField::SleepClock, "SleepClock", ConfigWord::ExtFuse, 0, false, false, "fixed: no clock in SLEEP"},
    {FuseField::IrcTrim, "IrcTrim", ConfigWord::ExtFuse, 0xB00, true, false, "bits 9..8 trim bits 1..0, bit 11 trim bit 2"},
};

inline constexpr FuseFieldTable kSx52FuseFields = {
    {FuseField::Oscillator, "Oscillator", ConfigWord::Fuse, 0x0F3, false, false,
     "bits 7..4 and 1..0: crystal HS/XT/LP (bits 6, 4: feedback, drive), external RC, internal 4 MHz to 32 kHz"},
    {FuseField::Watchdog, "Watchdog", ConfigWord::Fuse, 0x004, true, false, "set: watchdog timer on"},
    {FuseField::CodeProtect, "CodeProtect", ConfigWord::Fuse, 0x008, false, false, "clear: code protected"},
    {FuseField::InputSync, "InputSync", ConfigWord::Fuse, 0x400, false, false, "clear: inputs synchronised"},
    {FuseField::Turbo, "Turbo", ConfigWord::Fuse, 0, false, true, "fixed: always turbo"},
    {FuseField::CrystalDrive, "CrystalDrive", ConfigWord::Fuse, 0x010, true, false, "set: crystal drive on"},
    {FuseField::CrystalFeedback, "CrystalFeedback", ConfigWord::Fuse, 0x040, true, false, "set: crystal feedback on"},
    {FuseField::MemoryCode, "MemoryCode", ConfigWord::ExtFuse, 0, true, false, "fixed: 4096 words, 16 banks"},
    {FuseField::PortC, "PortC", ConfigWord::ExtFuse, 0, true, true, "fixed: ports RA..RE"},
    {FuseField::Brownout, "Brownout", ConfigWord::ExtFuse, 0x030, true, false, "0: 4.2 V, 1: 2.2 V, 2: 2.6 V, 3: off"},
    {FuseField::CarryX, "CarryX", ConfigWord::ExtFuse, 0x040, false, false, "clear: ADD/SUB with carry"},
    {FuseField::StackOption, "StackOption", ConfigWord::ExtFuse, 0, false, true, "fixed: 8-level stack, full OPTION"},
    {FuseField::ResetDelay, "ResetDelay", ConfigWord::ExtFuse, 0x003, true, false, "0: 60 ms, 1: 960 ms, 2: 60 us, 3: 18 ms"},
    {FuseField::SleepClock, "SleepClock", ConfigWord::ExtFuse, 0x400, false, false, "clear: timers clocked in SLEEP"},
    {FuseField::IrcTrim, "IrcTrim", ConfigWord::ExtFuse, 0xB00, true, false, "bits 9..8 trim bits 1..0, bit 11 trim bit 2"},
};
// clang-format on

// Bits of each word that no field uses and that every image of the family
// holds set: the assembler's blank words, the Device window's words and the
// configuration inferred for a PIC16C5x file all have them. An image with
// one of them clear was made for the other family (a 28L image's TURBO or
// STACKX_OPTIONX, a 52 image's crystal DRIVEOFF or a Device window word).
inline constexpr ConfigWords kSx28lSetBits = {0x310, 0x00C};
inline constexpr ConfigWords kSx52SetBits = {0xA00, 0x08C};

// The row of a field (tables are in FuseField order, checked below).
constexpr const FuseFieldInfo& FieldOf(const FuseFieldTable& table, FuseField field) {
    return table[static_cast<int>(field)];
}

constexpr bool InFieldOrder(const FuseFieldTable& table) {
    for (int i = 0; i < static_cast<int>(FuseField::Count); ++i)
        if (static_cast<int>(table[i].field) != i) return false;
    return true;
}
static_assert(InFieldOrder(kSx28lFuseFields) && InFieldOrder(kSx52FuseFields));

constexpr std::uint16_t WordOf(ConfigWords words, ConfigWord which) {
    return which == ConfigWord::Fuse ? words.fuse : words.extFuse;
}

// Whether `words` has every bit of `setBits` set.
constexpr bool HasSetBits(ConfigWords words, ConfigWords setBits) {
    return (words.fuse & setBits.fuse) == setBits.fuse && (words.extFuse & setBits.extFuse) == setBits.extFuse;
}

constexpr bool OutsideEveryField(const FuseFieldTable& table, ConfigWords bits) {
    for (const FuseFieldInfo& f : table)
        if ((WordOf(bits, f.word) & f.mask) != 0) return false;
    return true;
}
static_assert(OutsideEveryField(kSx28lFuseFields, kSx28lSetBits) && OutsideEveryField(kSx52FuseFields, kSx52SetBits));

// The field's bits moved down to bit 0 (0 for a field the family lacks).
// IrcTrim is not contiguous: read it with IrcTrimOf.
constexpr unsigned FieldValue(const FuseFieldInfo& f, ConfigWords words) {
    if (f.mask == 0) return 0;
    return static_cast<unsigned>(WordOf(words, f.word) & f.mask) >> std::countr_zero(f.mask);
}

// Whether a one-bit option is on (a field the family lacks: its fixed state).
constexpr bool FieldOn(const FuseFieldInfo& f, ConfigWords words) {
    if (f.mask == 0) return f.fixedOn;
    return ((WordOf(words, f.word) & f.mask) != 0) == f.onWhenSet;
}

// The extended fuse word with its trim bits replaced by `trim` (bits 1..0 to
// bits 9..8, bit 2 to bit 11).
constexpr std::uint16_t WithIrcTrim(std::uint16_t extFuse, int trim) {
    const unsigned t = static_cast<unsigned>(trim) & 7u;
    const unsigned mask = kSx28lFuseFields[static_cast<int>(FuseField::IrcTrim)].mask;
    return static_cast<std::uint16_t>((extFuse & ~mask & 0xFFFu) | ((t & 3u) << 8) | ((t & 4u) << 9));
}

}  // namespace korvid
