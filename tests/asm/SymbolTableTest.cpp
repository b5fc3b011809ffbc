// The symbol table's lookup index agrees with its hash chains.
#include "core/asm/AsmCore.h"
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

TEST(SymbolTable, IndexAgreesWithChains) {
    Assembly a(Sx52Family());
    std::string src;
    // Names with equal byte sums share a chain: "AB"/"BA", "K12"/"K21", ...
    const char* names[] = {"AB", "BA", "K12", "K21", "K30", "K03", "ABC", "CBA", "BCA", "X"};
    for (const char* n : names) src += std::string(n) + " EQU 1\n";
    auto global = [](int i) {
        char name[16];
        std::snprintf(name, sizeof name, "G%d", i);
        return std::string(name);
    };
    for (int i = 0; i < 500; ++i) src += global(i) + "\n:loc NOP\n";
    ASSERT_TRUE(a.Run(src)) << a.message();
    const AsmWork& w = *a.state().work;
    auto check = [&](const std::string& key) {
        EXPECT_EQ(LookupSymbol(w, key.data(), int(key.size())), LookupSymbolInChain(w, key.data(), int(key.size())))
            << key;
    };
    for (const char* n : names) check(n);
    for (int i = 0; i < 500; ++i) check(global(i) + ":LOC");
    for (const char* k : {"MOV", "RA", "\\", "NOPE", "G500:LOC", "AC", "K"}) check(k);
    EXPECT_EQ(LookupSymbol(w, "NOPE", 4), kNoEntry);
    EXPECT_NE(LookupSymbol(w, "G7:LOC", 6), kNoEntry);
}

}  // namespace
}  // namespace korvid::test
