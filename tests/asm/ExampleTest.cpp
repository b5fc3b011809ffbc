// The example programs assemble cleanly.
#include <fstream>
#include <sstream>

#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

// The file as the editor hands it to the assembler: CR LF and LF become CR.
std::string LoadExample(const std::string& name) {
    std::ifstream in(std::string(KORVID_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text, raw = buffer.str();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

TEST(Example, Blink) {
    Assembly a(Sx28lFamily());
    std::string src = LoadExample("blink.src");
    ASSERT_FALSE(src.empty());
    ASSERT_TRUE(a.Run(src)) << a.message() << " [" << a.span() << "]";
    EXPECT_EQ(a.word(0x7FF), 0xA00);  // reset vector: JMP start
    EXPECT_EQ(a.words(0).front(), 0xCFE);
    EXPECT_EQ(a.state().ChipImage[kFuseIndex], 0x07F9);
    EXPECT_EQ(a.state().WatchCount, 1u);
    EXPECT_STREQ(a.state().Watches[0].name, "count3");
}

TEST(Example, Showcase) {
    Assembly a(Sx28lFamily());
    std::string src = LoadExample("showcase.src");
    ASSERT_FALSE(src.empty());
    ASSERT_TRUE(a.Run(src)) << a.message() << " [" << a.span() << "]";
    EXPECT_NE(a.state().BreakAddress, kNoBreak);
    // The table of squares follows "JMP PC+W".
    int at = 0;
    while (at < kProgramWords && a.word(at) != 0x1E2) ++at;
    ASSERT_LT(at, kProgramWords);
    std::vector<int> after = a.words(at + 1);
    ASSERT_GE(after.size(), 8u);
    std::vector<int> table(after.begin(), after.begin() + 8);
    EXPECT_EQ(table, (std::vector<int>{0x800, 0x801, 0x804, 0x809, 0x810, 0x819, 0x824, 0x831}));
}

TEST(Example, Sx52Counter) {
    Assembly a(Sx52Family());
    std::string src = LoadExample("sx52_counter.src");
    ASSERT_FALSE(src.empty());
    ASSERT_TRUE(a.Run(src)) << a.message() << " [" << a.span() << "]";
    EXPECT_EQ(a.word(0xFFF), 0xA00);
    EXPECT_EQ(a.word(0xE00), 0x210);  // MOV W,low: bank register 10h
    EXPECT_EQ(a.state().ClockFrequency, 75000000u);
    // The same source is not an SX28L program (DRT60MS is an SX52 word).
    Assembly b(Sx28lFamily());
    EXPECT_FALSE(b.Run(src));
    EXPECT_EQ(b.message(), "Expected a DEVICE parameter");
}

}  // namespace
}  // namespace korvid::test
