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
    return f;
}
}  // namespace

const Family& Sx52Family() {
    static const Family family = MakeSx52();
    return family;
}

}  // namespace korvid
