#include <gtest/gtest.h>

#include "core/asm/AssemblyState.h"

namespace korvid {
namespace {

TEST(AssemblyState, BlankImagePerFamily) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        auto state = std::make_unique<AssemblyState>(*f);
        EXPECT_EQ(state->ChipImage[0], 0x0FFF);
        EXPECT_EQ(state->ChipImage[kIdBase + 15], 0x0FFF);
        EXPECT_EQ(state->ChipImage[kFuseIndex], 0x0FFA);
        EXPECT_EQ(state->ChipImage[kExtFuseIndex], f->is52() ? 0x0FFF : 0x0BFF);
        EXPECT_EQ(state->DeviceImage, state->ChipImage);
        EXPECT_EQ(state->AddressLine[4095], -1);
    }
}

TEST(AssemblyState, ProgramSizeFromMemoryBits) {
    const Family& f28 = Sx28lFamily();
    EXPECT_EQ(ProgramSize(f28, 0x0BFC), 512);
    EXPECT_EQ(ProgramSize(f28, 0x0BFD), 1024);
    EXPECT_EQ(ProgramSize(f28, 0x0BFE), 2048);
    EXPECT_EQ(ProgramSize(f28, 0x0BFF), 2048);
    EXPECT_EQ(ProgramSize(Sx52Family(), 0x0FFC), 4096);
}

}  // namespace
}  // namespace korvid
