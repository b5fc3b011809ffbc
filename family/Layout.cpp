#include "family/Layout.h"

namespace korvid {

namespace {
struct MemoryCode {
    int programSize;
    int bankCount;
};
constexpr MemoryCode kMemoryCodes[4] = {{512, 1}, {1024, 1}, {2048, 4}, {2048, 8}};
}  // namespace

Layout LayoutOf(const Family& family, std::uint16_t extFuse) {
    Layout layout;
    if (family.memoryFromExtFuse) {
        const ConfigWords words{family.blankFuse, extFuse};
        const MemoryCode& code = kMemoryCodes[family.fuseValue(FuseField::MemoryCode, words) & 3];
        layout.programSize = code.programSize;
        layout.bankCount = code.bankCount;
        layout.portCount = family.fuseOn(FuseField::PortC, words) ? 3 : 2;
    } else {
        layout.programSize = family.maxProgramSize;
        layout.bankCount = family.maxBankCount;
        layout.portCount = family.maxPortCount;
    }
    layout.addressMask = static_cast<std::uint16_t>(layout.programSize - 1);
    layout.forcedFsrBits = family.memoryFromExtFuse ? ForcedFsrBits(layout.bankCount) : 0;
    return layout;
}

}  // namespace korvid
