// The words of every instruction form, in both families.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

struct WordCase {
    const char* source;
    std::vector<int> words;
};

void ExpectWords(const Family& family, const WordCase& c) {
    Assembly a(family);
    ASSERT_TRUE(a.Run(std::string(" ") + c.source + "\n")) << family.title << ": " << c.source << ": " << a.message();
    EXPECT_EQ(a.words(), c.words) << family.title << ": " << c.source;
}

TEST(Instruction, SingleWordForms) {
    const WordCase cases[] = {
        {"MOV W,#12h", {0xC12}},      {"MOV W,#300", {0xC2C}},     {"MOV W,8", {0x208}},
        {"MOV W,8-W", {0x088}},       {"MOV W,++8", {0x288}},      {"MOV W,--8", {0x0C8}},
        {"MOV W,<<8", {0x348}},       {"MOV W,>>8", {0x308}},      {"MOV W,/8", {0x248}},
        {"MOV W,<>8", {0x388}},       {"MOV W,M", {0x042}},        {"MOV M,W", {0x043}},
        {"MOV M,#1Fh", {0x05F}},      {"MODE 3", {0x053}},         {"MODE #0Ah", {0x05A}},
        {"MOV !OPTION,W", {0x002}},   {"MOV !RA,W", {0x005}},      {"MOV !11,W", {0x00B}},
        {"MOV 8,W", {0x028}},         {"ADD W,8", {0x1C8}},        {"ADD 8,W", {0x1E8}},
        {"SUB 8,W", {0x0A8}},         {"AND W,#0Fh", {0xE0F}},     {"AND W,8", {0x148}},
        {"AND 8,W", {0x168}},         {"OR W,#3", {0xD03}},        {"OR W,8", {0x108}},
        {"OR 8,W", {0x128}},          {"XOR W,#3", {0xF03}},       {"XOR W,8", {0x188}},
        {"XOR 8,W", {0x1A8}},         {"CLR W", {0x040}},          {"CLR WDT", {0x004}},
        {"CLR !WDT", {0x004}},        {"CLR 8", {0x068}},          {"INC 8", {0x2A8}},
        {"DEC 8", {0x0E8}},           {"RL 8", {0x368}},           {"RR 8", {0x328}},
        {"SWAP 8", {0x3A8}},          {"NOT W", {0xFFF}},          {"NOT 8", {0x268}},
        {"TEST W", {0xD00}},          {"TEST 8", {0x228}},         {"CLRB RA.2", {0x445}},
        {"SETB RB.7", {0x5E6}},       {"SB RC", {0x707}},          {"SNB 8.1", {0x628}},
        {"CLC", {0x403}},             {"CLZ", {0x443}},            {"STC", {0x503}},
        {"STZ", {0x543}},             {"SC", {0x703}},             {"SZ", {0x743}},
        {"SNC", {0x603}},             {"SNZ", {0x643}},            {"MOVSZ W,++8", {0x3C8}},
        {"MOVSZ W,--8", {0x2C8}},     {"INCSZ 8", {0x3E8}},        {"DECSZ 8", {0x2E8}},
        {"SKIP", {0x702}},            {"JMP W", {0x022}},          {"JMP PC+W", {0x1E2}},
        {"JMP PCL + W", {0x1E2}},     {"JMP 3FFh", {0xBFF}},       {"JMP PC+1", {0xA03}},
        {"CALL 0FFh", {0x9FF}},       {"CALL 2FFh", {0x9FF}},      {"RETW 5", {0x805}},
        {"RET", {0x00C}},             {"RETP", {0x00D}},           {"RETI", {0x00E}},
        {"RETIW", {0x00F}},           {"PAGE 600h", {0x013}},      {"SLEEP", {0x003}},
        {"IREAD", {0x041}},           {"NOP", {0x000}},            {"CLRB Z", {0x443}},
        {"SETB PA0", {0x5A3}},        {"mov w,#1", {0xC01}},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectWords(*f, c);
}

TEST(Instruction, MultiWordForms) {
    const WordCase cases[] = {
        {"MOV 8,#5", {0xC05, 0x028}},             {"MOV 8,9", {0x209, 0x028}},
        {"MOV 8,M", {0x042, 0x028}},              {"MOV M,8", {0x208, 0x043}},
        {"MOV !OPTION,#5", {0xC05, 0x002}},       {"MOV !OPTION,8", {0x208, 0x002}},
        {"MOV !RB,#5", {0xC05, 0x006}},           {"MOV !RB,8", {0x208, 0x006}},
        {"ADD 8,#5", {0xC05, 0x1E8}},             {"ADD 8,9", {0x209, 0x1E8}},
        {"SUB 8,#5", {0xC05, 0x0A8}},             {"SUB 8,9", {0x209, 0x0A8}},
        {"AND 8,#5", {0xC05, 0x168}},             {"OR 8,9", {0x209, 0x128}},
        {"XOR 8,#5", {0xC05, 0x1A8}},             {"ADDB 8,C", {0x603, 0x2A8}},
        {"ADDB 8,/C", {0x703, 0x2A8}},            {"SUBB 8,C", {0x603, 0x0E8}},
        {"SUBB 8,/RA.1", {0x725, 0x0E8}},         {"MOVB RA.0,/RB.1", {0x626, 0x405, 0x726, 0x505}},
        {"MOVB RA.0,RB.1", {0x726, 0x405, 0x626, 0x505}},
        {"IJNZ 8,10", {0x3E8, 0xA0A}},            {"DJNZ 8,10", {0x2E8, 0xA0A}},
        {"JB RA.1,10", {0x625, 0xA0A}},           {"JNB RA.1,10", {0x725, 0xA0A}},
        {"JC 10", {0x603, 0xA0A}},                {"JNC 10", {0x703, 0xA0A}},
        {"JZ 10", {0x643, 0xA0A}},                {"JNZ 10", {0x743, 0xA0A}},
        {"JMP @3FFh", {0x011, 0xBFF}},            {"CALL @2FFh", {0x011, 0x9FF}},
        {"DJNZ 8,@600h", {0x2E8, 0x013, 0xA00}},  {"RETW 'AB',1", {0x841, 0x842, 0x801}},
        {"CSE 8,9", {0x209, 0x088, 0x743}},       {"CSE 8,#5", {0xC05, 0x088, 0x743}},
        {"CSNE 8,9", {0x209, 0x088, 0x643}},      {"CSNE 8,#5", {0xC05, 0x088, 0x643}},
        {"CSA 8,9", {0x208, 0x089, 0x603}},       {"CSA 8,#5", {0xCFA, 0x1C8, 0x703}},
        {"CSAE 8,9", {0x209, 0x088, 0x703}},      {"CSAE 8,#5", {0xC05, 0x088, 0x703}},
        {"CSB 8,9", {0x209, 0x088, 0x603}},       {"CSB 8,#5", {0xC05, 0x088, 0x603}},
        {"CSBE 8,9", {0x208, 0x089, 0x703}},      {"CSBE 8,#5", {0xCFA, 0x1C8, 0x603}},
        {"CJE 8,#5,10", {0xC05, 0x088, 0x643, 0xA0A}},
        {"CJNE 8,9,10", {0x209, 0x088, 0x743, 0xA0A}},
        {"CJA 8,9,10", {0x208, 0x089, 0x703, 0xA0A}},
        {"CJAE 8,#5,10", {0xC05, 0x088, 0x603, 0xA0A}},
        {"CJB 8,9,10", {0x209, 0x088, 0x703, 0xA0A}},
        {"CJBE 8,#5,@200h", {0xCFA, 0x1C8, 0x703, 0x011, 0xA00}},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectWords(*f, c);
}

// Register fields, BANK and the long forms differ between the families.
TEST(Instruction, FamilyDependentForms) {
    struct PerFamily {
        const char* source;
        std::vector<int> sx28l, sx52;
    };
    const PerFamily cases[] = {
        {"MOV W,35h", {0x215}, {0x215}},
        {"MOV W,25h", {0x205}, {0x215}},
        {"MOV W,0Fh", {0x20F}, {0x20F}},
        {"MOV W,1Fh", {0x21F}, {0x21F}},
        {"MOV W,0F3h", {0x213}, {0x213}},
        {"CLRB 25h.7", {0x4E5}, {0x4F5}},
        {"BANK 20h", {0x019}, {0x01A}},
        {"BANK 0E0h", {0x01F}, {0x01E}},
        {"LSET 0", {0x4A3, 0x4C3}, {0x4A3, 0x4C3, 0x4E3}},
        {"LSET 0E00h", {0x5A3, 0x5C3}, {0x5A3, 0x5C3, 0x5E3}},
        {"LJMP 5FFh", {0x4A3, 0x5C3, 0xBFF}, {0x4A3, 0x5C3, 0x4E3, 0xBFF}},
        {"LCALL 0C10h", {0x4A3, 0x5C3, 0x910}, {0x4A3, 0x5C3, 0x5E3, 0x910}},
    };
    for (const auto& c : cases) {
        ExpectWords(Sx28lFamily(), {c.source, c.sx28l});
        ExpectWords(Sx52Family(), {c.source, c.sx52});
    }
}

TEST(Instruction, LongFormsFollowTheMemorySize) {
    struct SizeCase {
        const char* device;
        std::vector<int> words;
    };
    const SizeCase cases[] = {
        {"SX28L", {0x4A3, 0x4C3, 0xA00}},
        {"PIC16C56", {0x4A3, 0xA00}},
        {"PIC16C54", {0xA00}},
    };
    for (const auto& c : cases) {
        Assembly a(Sx28lFamily());
        ASSERT_TRUE(a.Run(std::string(" DEVICE ") + c.device + "\n LJMP 0\n")) << a.message();
        EXPECT_EQ(a.words(), c.words) << c.device;
    }
}

TEST(Instruction, SkipDependsOnTheAddress) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" SKIP\n SKIP\n NOP\n SKIP\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0x702, 0x602, 0x000, 0x602}));
    }
}

TEST(Instruction, ForwardReferencesAndWrap) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" JMP later\n MOV W,#later\n MOV !port,W\nlater NOP\nport EQU 6\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0xA03, 0xC03, 0x006, 0x000}));

        // A two-word instruction at the last address stores its second word at 0.
        int last = f->initialAddressMask;
        ASSERT_TRUE(a.Run(" ORG " + std::to_string(last) + "\n MOV 8,#1\n NOP\n")) << a.message();
        EXPECT_EQ(a.word(last), 0xC01);
        EXPECT_EQ(a.words(0), (std::vector<int>{0x028, 0x000}));
    }
}

}  // namespace
}  // namespace korvid::test
