// The public symbol lookup after an assembly.
#include <gtest/gtest.h>

#include <optional>

#include "tests/asm/AsmFixture.h"

namespace korvid {
namespace {

TEST(SymbolLookup, LabelsAndEquatesOfTheLastAssembly) {
    test::Assembly a(Sx28lFamily());
    ASSERT_TRUE(a.Run(" DEVICE SX28L\ncount EQU 0Ch\n ORG 10h\nstart MOV W,#1\nloop JMP loop\n RESET start\n"));
    const struct {
        const char* name;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"START", 0x10}, {"LOOP", 0x11}, {"COUNT", 0x0C},
        {"NOWHERE", std::nullopt},                           // never defined
        {"", std::nullopt},                                  // no name
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFG", std::nullopt},  // longer than any name
    };
    for (const auto& c : cases) EXPECT_EQ(FindSymbol(a.state(), c.name), c.value) << c.name;
}

}  // namespace
}  // namespace korvid
