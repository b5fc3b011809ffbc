// Cases that the tests of programming and verifying share: every size of
// program a chip can hold, and one changed word of an image with the part
// that Verify names for it.
#pragma once

#include <cstdint>
#include <string_view>

#include "family/Family.h"

namespace korvid::test {

struct ChipSize {
    const Family* family;
    int words;
};

inline const ChipSize kChipSizes[] = {
    {&Sx28lFamily(), 512}, {&Sx28lFamily(), 1024}, {&Sx28lFamily(), 2048}, {&Sx52Family(), 4096}};

// Word `index` of an image changed by `xorMask`; `part` is what Verify names
// first ("" where the change does not count).
struct ChangedWord {
    const Family* family;
    int index;
    std::uint16_t xorMask;
    std::string_view part;
};

}  // namespace korvid::test
