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
    return f;
}
}  // namespace

const Family& Sx28lFamily() {
    static const Family family = MakeSx28l();
    return family;
}

}  // namespace korvid
