#include "family/Family.h"

namespace korvid {

namespace {
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
    return f;
}
}  // namespace

const Family& Sx52Family() {
    static const Family family = MakeSx52();
    return family;
}

}  // namespace korvid
