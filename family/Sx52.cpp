#include "family/Family.h"

namespace korvid {

namespace {
// DEVICE vocabulary: name, word (true = extended fuse word), mask, XOR pattern.
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

Family MakeSx52() {
    Family f;
    f.id = FamilyId::Sx52;
    f.name = "52";
    f.title = "Korvid52";
    f.blankFuse = 0x0FFA;
    f.blankExtFuse = 0x0FFF;
    f.maxProgramSize = 4096;
    f.initialAddressMask = 0xFFF;
    f.linkExtFuseSet = 0x08C;
    f.linkFuseSet = 0xA00;
    f.stopClockVersion = 3;
    f.stopClockUnlessVersion = true;
    f.verifyParts[0] = {"Reset Timer", 0x003, 0x000};
    f.verifyParts[1] = {"Brownout", 0x030, 0x000};
    f.verifyParts[2] = {"Oscillator", 0x000, 0x0F3};
    f.verifyParts[3] = {"Options", 0x440, 0x40C};
    f.verifyPartCount = 4;
    f.deviceParams = kSx52DeviceParams;
    f.deviceParamCount = int(sizeof kSx52DeviceParams / sizeof kSx52DeviceParams[0]);
    f.extendedDeviceParams = kSx52ExtendedDeviceParams;
    f.extendedDeviceParamCount = int(sizeof kSx52ExtendedDeviceParams / sizeof kSx52ExtendedDeviceParams[0]);
    f.memoryFromExtFuse = false;
    f.maxBankCount = 16;
    f.maxPortCount = 5;
    f.globalRegistersMirrored = false;
    f.modeMask = 0x1F;
    f.foldBankedRegisters = true;
    f.bankShift = 4;
    f.namedRegisterLimit[0] = 9;
    f.namedRegisterLimit[1] = 9;
    f.debugFuseKeep = 0xF0C;
    f.debugFuseOscillator = 0x0A0;
    f.fuseFields = kSx52FuseFields;
    f.setBits = kSx52SetBits;
    f.resetDelayUs[0] = 60000;
    f.resetDelayUs[1] = 960000;
    f.resetDelayUs[2] = 60;
    f.resetDelayUs[3] = 18000;
    f.kernelWord75 = 0x000;
    f.picHexFiles = false;
    f.partWord = 0x052;
    f.debugStateWithBanks = false;
    f.debugInterruptBytes = 2;
    return f;
}
}  // namespace

const Family& Sx52Family() {
    static const Family family = MakeSx52();
    return family;
}

}  // namespace korvid
