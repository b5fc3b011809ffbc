#include "core/asm/AssemblyState.h"

#include "core/asm/AsmWork.h"

namespace korvid {

AssemblyState::AssemblyState(const Family& f) : family(&f), work(std::make_unique<AsmWork>()) {
    AddressLine.fill(-1);
    BlankImage(ChipImage, f);
    BlankImage(DeviceImage, f);
}

AssemblyState::~AssemblyState() = default;

void BlankImage(Image& image, const Family& family) {
    for (int i = 0; i < kFuseIndex; ++i) image[i] = 0x0FFF;
    image[kFuseIndex] = family.blankFuse;
    image[kExtFuseIndex] = family.blankExtFuse;
}

AssemblyState& InitCore(const Family& family) {
    static AssemblyState state(family);
    BlankImage(state.ChipImage, family);
    return state;
}

int ProgramSize(const Family& family, std::uint16_t extFuse) { return LayoutOf(family, extFuse).programSize; }

}  // namespace korvid
