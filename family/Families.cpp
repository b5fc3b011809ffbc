// The two families side by side: the DEVICE vocabulary of each, then every
// other fact as one line with the 28L value first and the 52 value second
// (one value where they agree).
#include "family/Family.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace korvid {

namespace {
// DEVICE vocabulary: name, word (true = extended fuse word), mask, XOR pattern.
constexpr Family::DeviceParam kSx28lDeviceParams[] = {
    {"SX18L", true, 0x403, 0x000},        {"SX28L", true, 0x403, 0x400},
    {"PIC16C54", true, 0x403, 0x003},     {"PIC16C55", true, 0x403, 0x403},
    {"PIC16C56", true, 0x403, 0x002},     {"PIC16C57", true, 0x403, 0x401},
    {"PIC16C58", true, 0x403, 0x001},     {"STACKX_OPTIONX", true, 0x080, 0x080},
    {"CARRYX", true, 0x040, 0x040},       {"BOR42", true, 0x030, 0x030},
    {"BOR26", true, 0x030, 0x020},        {"BOR22", true, 0x030, 0x010},
    {"TURBO", false, 0x800, 0x800},       {"SYNC", false, 0x400, 0x400},
    {"WATCHDOG", false, 0x004, 0x004},    {"WDT_ON", false, 0x004, 0x004},
    {"WDT_OFF", false, 0x004, 0x000},     {"PROTECT", false, 0x008, 0x008},
    {"PROTECT_ON", false, 0x008, 0x008},  {"PROTECT_OFF", false, 0x008, 0x000},
    {"OSCXTMAX", false, 0x0E3, 0x000},    {"OSCHS3", false, 0x0E3, 0x000},
    {"HS_OSC", false, 0x0E3, 0x000},      {"OSCXT5", false, 0x0E3, 0x003},
    {"OSCHS2", false, 0x0E3, 0x003},      {"OSCXT4", false, 0x0E3, 0x002},
    {"OSCHS1", false, 0x0E3, 0x002},      {"OSCXT3", false, 0x0E3, 0x021},
    {"OSCXT2", false, 0x0E3, 0x021},      {"XT_OSC", false, 0x0E3, 0x021},
    {"OSCXTMIN", false, 0x0E3, 0x022},    {"OSCLP1", false, 0x0E3, 0x022},
    {"LP_OSC", false, 0x0E3, 0x022},      {"OSCXT1", false, 0x0E3, 0x020},
    {"OSCLP2", false, 0x0E3, 0x023},      {"OSCIN", false, 0x0E3, 0x062},
    {"OSCRC", false, 0x0E3, 0x001},       {"RC_OSC", false, 0x0E3, 0x001},
    {"OSC4MHZ", false, 0x0E3, 0x0E1},     {"OSC1MHZ", false, 0x0E3, 0x0C1},
    {"OSC128KHZ", false, 0x0E3, 0x0A1},   {"OSC32KHZ", false, 0x0E3, 0x081},
};

// Extended dialect only.
constexpr Family::DeviceParam kSx28lExtendedDeviceParams[] = {
    {"SX18", true, 0x403, 0x000},   {"SX20", true, 0x403, 0x000},  {"SX28", true, 0x403, 0x400},
    {"SX28AC", true, 0x403, 0x400}, {"STACKX", true, 0x080, 0x080, 1}, {"OPTIONX", true, 0x080, 0x080, 2},
    {"BOROFF", true, 0x030, 0x000}, {"BANKS8", true, 0x000, 0x000},
};

constexpr Family::DeviceParam kSx52DeviceParams[] = {
    {"DRT18MS", true, 0x003, 0x000},      {"DRT960MS", true, 0x003, 0x002},
    {"DRT60MS", true, 0x003, 0x003},      {"DRT60US", true, 0x003, 0x001},
    {"BOR42", true, 0x030, 0x030},        {"BOR26", true, 0x030, 0x010},
    {"BOR22", true, 0x030, 0x020},        {"CARRYX", true, 0x040, 0x040},
    {"SLEEPCLOCK", true, 0x400, 0x400},   {"SYNC", false, 0x400, 0x400},
    {"WATCHDOG", false, 0x004, 0x004},    {"WDT_ON", false, 0x004, 0x004},
    {"WDT_OFF", false, 0x004, 0x000},     {"PROTECT", false, 0x008, 0x008},
    {"PROTECT_ON", false, 0x008, 0x008},  {"PROTECT_OFF", false, 0x008, 0x000},
    {"DRIVEOFF", false, 0x010, 0x010},    {"XTLBUFD", false, 0x010, 0x010},
    {"FEEDBACKOFF", false, 0x040, 0x040}, {"IFBD", false, 0x040, 0x040},
    {"OSCXTMAX", false, 0x0A3, 0x000},    {"OSCHS3", false, 0x0A3, 0x000},
    {"OSCXT5", false, 0x0A3, 0x003},      {"OSCHS2", false, 0x0A3, 0x003},
    {"OSCXT4", false, 0x0A3, 0x002},      {"OSCHS1", false, 0x0A3, 0x002},
    {"OSCXT3", false, 0x0A3, 0x021},      {"OSCXT2", false, 0x0A3, 0x021},
    {"OSCXTMIN", false, 0x0A3, 0x022},    {"OSCLP1", false, 0x0A3, 0x022},
    {"OSCXT1", false, 0x0A3, 0x020},      {"OSCLP2", false, 0x0A3, 0x023},
    {"OSCRC", false, 0x0F3, 0x001},       {"OSC4MHZ", false, 0x0F3, 0x0E1},
    {"OSC1MHZ", false, 0x0F3, 0x0C1},     {"OSC128KHZ", false, 0x0F3, 0x0A1},
    {"OSC32KHZ", false, 0x0F3, 0x081},    {"HS_OSC", false, 0x0F3, 0x000},
    {"XT_OSC", false, 0x0F3, 0x021},      {"LP_OSC", false, 0x0F3, 0x022},
    {"RC_OSC", false, 0x0F3, 0x001},
};

// Extended dialect only. The part names and the options this chip always
// has are accepted and set nothing.
constexpr Family::DeviceParam kSx52ExtendedDeviceParams[] = {
    {"SX48", true, 0x000, 0x000},    {"SX52", true, 0x000, 0x000},    {"SX52BD", true, 0x000, 0x000},
    {"STACKX", true, 0x000, 0x000},  {"OPTIONX", true, 0x000, 0x000}, {"TURBO", true, 0x000, 0x000},
    {"BANKS8", true, 0x000, 0x000},  {"BOROFF", true, 0x030, 0x000},
    {"WDRT006", true, 0x003, 0x001}, {"WDRT060", true, 0x003, 0x003}, {"WDRT960", true, 0x003, 0x002},
    {"WDRT18", true, 0x003, 0x000},
};

// The 28L value or the 52 value of one fact.
template <class T>
constexpr T Pick(FamilyId id, T sx28l, T sx52) {
    return id == FamilyId::Sx52 ? sx52 : sx28l;
}

template <class T, std::size_t N>
constexpr int CountOf(const T (&)[N]) {
    return int(N);
}

Family MakeFamily(FamilyId id) {
    using Verify = std::array<Family::VerifyPart, 4>;
    using Delays = std::array<std::uint32_t, 4>;
    using Limits = std::array<std::uint8_t, 2>;
    Family f{};
    f.id = id;
    f.name = Pick<std::string_view>(id, "28l", "52");
    f.title = Pick<std::string_view>(id, "Korvid28L", "Korvid52");
    f.blankFuse = 0x0FFA;
    f.blankExtFuse = Pick(id, 0x0BFF, 0x0FFF);
    f.maxProgramSize = Pick(id, 2048, 4096);
    f.initialAddressMask = Pick(id, 0x7FF, 0xFFF);
    f.linkExtFuseSet = Pick(id, 0x00C, 0x08C);
    f.linkFuseSet = Pick(id, 0x000, 0xA00);
    f.stopClockVersion = Pick(id, 1, 3);
    f.stopClockUnlessVersion = Pick(id, false, true);
    f.verifyParts = Pick(id, Verify{{{"Device", 0x403, 0x000}, {"Oscillator", 0x000, 0x0E3}, {"Options", 0x0C0, 0xC0C}}},
                         Verify{{{"Reset Timer", 0x003, 0x000},
                                 {"Brownout", 0x030, 0x000},
                                 {"Oscillator", 0x000, 0x0F3},
                                 {"Options", 0x440, 0x40C}}});
    f.verifyPartCount = Pick(id, 3, 4);
    f.deviceParams = Pick<const Family::DeviceParam*>(id, kSx28lDeviceParams, kSx52DeviceParams);
    f.deviceParamCount = Pick(id, CountOf(kSx28lDeviceParams), CountOf(kSx52DeviceParams));
    f.extendedDeviceParams = Pick<const Family::DeviceParam*>(id, kSx28lExtendedDeviceParams, kSx52ExtendedDeviceParams);
    f.extendedDeviceParamCount = Pick(id, CountOf(kSx28lExtendedDeviceParams), CountOf(kSx52ExtendedDeviceParams));
    f.memoryFromExtFuse = Pick(id, true, false);
    f.maxBankCount = Pick(id, 8, 16);
    f.maxPortCount = Pick(id, 3, 5);
    f.globalRegistersMirrored = Pick(id, true, false);
    f.modeMask = Pick(id, 0x0F, 0x1F);
    f.foldBankedRegisters = Pick(id, false, true);
    f.bankShift = Pick(id, 5, 4);
    f.namedRegisterLimit = Pick(id, Limits{6, 7}, Limits{9, 9});
    f.debugFuseKeep = Pick(id, 0xF1C, 0xF0C);
    f.debugFuseOscillator = Pick(id, 0x080, 0x0A0);
    f.kernelWord75 = Pick(id, 0x584, 0x000);
    f.picHexFiles = Pick(id, true, false);
    f.partWord = Pick(id, 0x028, 0x052);
    f.debugStateWithBanks = Pick(id, true, false);
    f.debugInterruptBytes = Pick(id, 1, 2);
    f.fuseFields = Pick<const FuseFieldInfo*>(id, kSx28lFuseFields, kSx52FuseFields);
    f.setBits = Pick(id, kSx28lSetBits, kSx52SetBits);
    f.resetDelayUs = Pick(id, Delays{18000, 18000, 18000, 18000}, Delays{60000, 960000, 60, 18000});
    return f;
}
}  // namespace

const Family& Sx28lFamily() {
    static const Family family = MakeFamily(FamilyId::Sx28l);
    return family;
}

const Family& Sx52Family() {
    static const Family family = MakeFamily(FamilyId::Sx52);
    return family;
}

}  // namespace korvid
