#include "family/Family.h"

namespace korvid {

namespace {
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
    return f;
}
}  // namespace

const Family& Sx28lFamily() {
    static const Family family = MakeSx28l();
    return family;
}

}  // namespace korvid
