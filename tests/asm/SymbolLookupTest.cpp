// The public symbol and register lookup after an assembly.
#include <gtest/gtest.h>

#include <optional>

#include "family/Registers.h"
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

// Every front end reads a typed register through FindRegister: names
// first, then the program's symbols, then a number (hex unless marked);
// only the names reach M and W.
TEST(SymbolLookup, RegistersByNameSymbolOrNumber) {
    test::Assembly a(Sx28lFamily());
    ASSERT_TRUE(a.Run(" DEVICE SX28L\nbad EQU 0Dh\ncount EQU 0Ch\nfar EQU 300h\nbelow EQU -2\n ORG 10h\n"
                      "start JMP start\n RESET start\n"))
        << a.message();
    const struct {
        const char* text;
        std::optional<long> number;
        bool isRegister;
    } cases[] = {
        {"ind", 0, true},      {"RTCC", 1, true},   {"wreg", 1, true},      {"PC", 2, true},
        {"Status", 3, true},   {"FSR", 4, true},    {"ra", 5, true},        {"RE", 9, true},
        {"W", kRegisterW, true}, {"m", kRegisterM, true},                     // beyond the file
        {"count", 0x0C, true}, {"COUNT", 0x0C, true},                         // a symbol, either case
        {"bad", 0x0D, true},                                                  // a symbol, not 0xBAD
        {"0Ah", 0x0A, true},   {"0x1F", 0x1F, true}, {"$ff", 0xFF, true},   {"1F", 0x1F, true},
        {"%1010", 0x0A, true},
        {"far", -1, false},    {"below", -1, false}, {"100", -1, false},    // outside the file: not M or W
        {"0x", std::nullopt, false}, {"-1", std::nullopt, false},           // not numbers
        {"nothing", std::nullopt, false}, {"", std::nullopt, false},
        {"12345678901", std::nullopt, false},                                // longer than any number
    };
    for (const auto& c : cases) {
        const std::optional<long> n = FindRegister(a.state(), c.text);
        EXPECT_EQ(n, c.number) << c.text;
        EXPECT_EQ(n && IsRegisterNumber(*n), c.isRegister) << c.text;
    }
}

}  // namespace
}  // namespace korvid
