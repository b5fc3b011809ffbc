#include "family/Family.h"

namespace korvid {

const Family* FamilyByName(std::string_view name) {
    if (name == "28l" || name == "28L") return &Sx28lFamily();
    if (name == "52") return &Sx52Family();
    return nullptr;
}

}  // namespace korvid
