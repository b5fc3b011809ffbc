#include "family/Family.h"

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

Family MakeSx28l() {
    Family f;
    f.id = FamilyId::Sx28l;
    f.name = "28l";
    f.title = "Korvid28L";
    f.blankFuse = 0x0FFA;
    f.blankExtFuse = 0x0BFF;
    f.maxProgramSize = 2048;
    f.initialAddressMask = 0x7FF;
    f.linkExtFuseSet = 0x00C;
    f.linkFuseSet = 0x000;
    f.stopClockVersion = 1;
    f.stopClockUnlessVersion = false;
    f.verifyParts[0] = {"Device", 0x403, 0x000};
    f.verifyParts[1] = {"Oscillator", 0x000, 0x0E3};
    f.verifyParts[2] = {"Options", 0x0C0, 0xC0C};
    f.verifyPartCount = 3;
    f.deviceParams = kSx28lDeviceParams;
    f.deviceParamCount = int(sizeof kSx28lDeviceParams / sizeof kSx28lDeviceParams[0]);
    f.extendedDeviceParams = kSx28lExtendedDeviceParams;
    f.extendedDeviceParamCount = int(sizeof kSx28lExtendedDeviceParams / sizeof kSx28lExtendedDeviceParams[0]);
    f.memoryFromExtFuse = true;
    f.maxBankCount = 8;
    f.maxPortCount = 3;
    f.globalRegistersMirrored = true;
    f.modeMask = 0x0F;
    f.foldBankedRegisters = false;
    f.bankShift = 5;
    f.namedRegisterLimit[0] = 6;
    f.namedRegisterLimit[1] = 7;
    f.debugFuseKeep = 0xF1C;
    f.debugFuseOscillator = 0x080;
    f.fuseFields = kSx28lFuseFields;
    f.kernelWord75 = 0x584;
    f.partWord = 0x028;
    f.debugInterruptBytes = 1;
    return f;
}
}  // namespace

const Family& Sx28lFamily() {
    static const Family family = MakeSx28l();
    return family;
}

}  // namespace korvid
