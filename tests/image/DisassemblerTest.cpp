#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "core/image/Disassembler.h"
#include "tests/image/ImageTestSupport.h"
#include "tests/support/AllocCounter.h"

namespace korvid {
namespace {

// Which part a case runs on: 28L with 18 pins, 28L with 28 pins, 52.
enum Part { P18, P28, P52, All28L, All };

struct Case {
    Part part;
    std::uint16_t word;
    const char* text;
    int address = 0;
    std::uint8_t wreg = 0;
};

const Case kCases[] = {
    // 0x000..0x01F
    {All, 0x000, "NOP"}, {All, 0x001, "???"}, {All, 0x002, "MOV   !OPTION,W"}, {All, 0x003, "SLEEP"},
    {All, 0x004, "CLR   !WDT"}, {All, 0x005, "MOV   !RA,W"}, {All, 0x006, "MOV   !RB,W"},
    {P18, 0x007, "MOV   !07,W"}, {P28, 0x007, "MOV   !RC,W"}, {P52, 0x009, "MOV   !RE,W"},
    {P52, 0x00B, "MOV   !0B,W"}, {P28, 0x008, "MOV   !08,W"},
    {All, 0x00C, "RET"}, {All, 0x00D, "RETP"}, {All, 0x00E, "RETI"}, {All, 0x00F, "RETIW"},
    {All, 0x010, "PAGE  000"}, {All, 0x011, "PAGE  200"}, {All, 0x017, "PAGE  E00"},
    {All28L, 0x018, "BANK  00"}, {All28L, 0x019, "BANK  20"}, {All28L, 0x01F, "BANK  E0"},
    {P52, 0x019, "BANK  10"}, {P52, 0x01F, "BANK  70"},
    // 0x020..0x03F, with the JMP W exception and WREG
    {All, 0x020, "MOV   IND,W"}, {All, 0x021, "MOV   RTCC,W"}, {All, 0x021, "MOV   WREG,W", 0, 1},
    {All, 0x022, "JMP   W"}, {All, 0x022, "JMP   W", 0, 1}, {All, 0x023, "MOV   STATUS,W"},
    {P18, 0x027, "MOV   07,W"}, {P28, 0x027, "MOV   RC,W"}, {P52, 0x027, "MOV   RC,W"},
    {P52, 0x028, "MOV   RD,W"}, {P52, 0x02A, "MOV   0A,W"}, {All, 0x03F, "MOV   1F,W"},
    // 0x040..0x05F
    {All, 0x040, "CLR   W"}, {All, 0x041, "IREAD"}, {All, 0x042, "MOV   W,M"}, {All, 0x043, "MOV   M,W"},
    {All, 0x044, "???"}, {All, 0x045, "???"}, {All, 0x04F, "???"}, {All, 0x050, "MOV   M,#0"},
    {All, 0x055, "MOV   M,#5"}, {All, 0x05F, "MOV   M,#F"},
    // register rows
    {All, 0x064, "CLR   FSR"}, {All, 0x081, "MOV   W,RTCC-W"}, {All, 0x081, "MOV   W,WREG-W", 0, 1},
    {All, 0x0A5, "SUB   RA,W"}, {All, 0x0C6, "MOV   W,--RB"}, {All, 0x0E4, "DEC   FSR"},
    {All, 0x100, "OR    W,IND"}, {All, 0x12F, "OR    0F,W"}, {All, 0x143, "AND   W,STATUS"},
    {All, 0x165, "AND   RA,W"}, {All, 0x190, "XOR   W,10"}, {All, 0x1A6, "XOR   RB,W"},
    {All, 0x1C2, "ADD   W,PC"}, {All, 0x1E1, "ADD   RTCC,W"}, {All, 0x1E1, "ADD   WREG,W", 0, 1},
    {All, 0x1E2, "JMP   PC+W"}, {All, 0x1E3, "ADD   STATUS,W"}, {All, 0x205, "MOV   W,RA"},
    {All, 0x224, "TEST  FSR"}, {All, 0x240, "MOV   W,/IND"}, {All, 0x26F, "NOT   0F"},
    {All, 0x285, "MOV   W,++RA"}, {All, 0x2A1, "INC   RTCC"}, {All, 0x2C3, "MOVSZ W,--STATUS"},
    {All, 0x2ED, "DECSZ 0D"}, {All, 0x306, "MOV   W,>>RB"}, {All, 0x32F, "RR    0F"},
    {All, 0x340, "MOV   W,<<IND"}, {All, 0x36F, "RL    0F"}, {All, 0x385, "MOV   W,<>RA"},
    {All, 0x3A4, "SWAP  FSR"}, {All, 0x3C3, "MOVSZ W,++STATUS"}, {All, 0x3E4, "INCSZ FSR"},
    {P52, 0x3E9, "INCSZ RE"}, {P28, 0x3E9, "INCSZ 09"},
    // bit instructions and STATUS names
    {All, 0x403, "CLC"}, {All, 0x443, "CLZ"}, {All, 0x423, "CLRB  DC"}, {All, 0x463, "CLRB  PD"},
    {All, 0x483, "CLRB  TO"}, {All, 0x4A3, "CLRB  PA0"}, {All, 0x4C3, "CLRB  PA1"}, {All, 0x4E3, "CLRB  PA2"},
    {All, 0x4E4, "CLRB  FSR.7"}, {All, 0x465, "CLRB  RA.3"}, {All, 0x4EF, "CLRB  0F.7"},
    {All, 0x421, "CLRB  RTCC.1"}, {All, 0x421, "CLRB  WREG.1", 0, 1},
    {All, 0x503, "STC"}, {All, 0x543, "STZ"}, {All, 0x584, "SETB  FSR.4"}, {All, 0x5A3, "SETB  PA0"},
    {All, 0x603, "SNC"}, {All, 0x643, "SNZ"}, {All, 0x625, "SNB   RA.1"}, {All, 0x6E3, "SNB   PA2"},
    {All, 0x703, "SC"}, {All, 0x743, "SZ"}, {All, 0x745, "SB    RA.2"}, {All, 0x723, "SB    DC"},
    // SKIP by address parity
    {All, 0x602, "SKIP", 1}, {All, 0x602, "SNB   PC.0", 0}, {All, 0x602, "SNB   PC.0", 0x7FE},
    {All, 0x702, "SKIP", 0}, {All, 0x702, "SKIP", 0xFFE}, {All, 0x702, "SB    PC.0", 1},
    // literal forms
    {All, 0x800, "RETW  00"}, {All, 0x8FF, "RETW  FF"}, {All, 0x919, "CALL  019"}, {All, 0x9FF, "CALL  0FF"},
    {All, 0xA00, "JMP   000"}, {All, 0xB83, "JMP   183"}, {All, 0xBFF, "JMP   1FF"},
    {All, 0xC2C, "MOV   W,#2C"}, {All, 0xD00, "TEST  W"}, {All, 0xD01, "OR    W,#01"},
    {All, 0xE0F, "AND   W,#0F"}, {All, 0xF00, "XOR   W,#00"}, {All, 0xFFE, "XOR   W,#FE"},
    {All, 0xFFF, "NOT   W"},
};

bool RunsOn(Part casePart, Part part) {
    return casePart == All || casePart == part || (casePart == All28L && part != P52);
}

const Family& FamilyOf(Part part) { return part == P52 ? Sx52Family() : Sx28lFamily(); }
std::uint16_t ExtFuseOf(Part part) { return part == P18 ? 0x0BFF : 0x0FFF; }

TEST(DisassembleWord, Templates) {
    for (Part part : {P18, P28, P52}) {
        for (const Case& c : kCases) {
            if (!RunsOn(c.part, part)) continue;
            EXPECT_STREQ(DisassembleWord(FamilyOf(part), ExtFuseOf(part), c.word, c.address, c.wreg), c.text)
                << "part " << part << " word " << std::hex << c.word << " at " << c.address;
        }
    }
}

TEST(DisassembleWord, ReadsTheChipImage) {
    // The image overload takes the word, the pin count and the SKIP parity
    // from the chip image, ignores the contains-data flag and bits 12..14.
    test::ImageSession s(Sx28lFamily());
    s.state->ChipImage[5] = 0x8027;
    s.state->ChipImage[kExtFuseIndex] = 0x0BFF;
    EXPECT_STREQ(DisassembleWord(*s.state, 5, 0), "MOV   07,W");
    s.state->ChipImage[kExtFuseIndex] = 0x0FFF;
    EXPECT_STREQ(DisassembleWord(*s.state, 5, 0), "MOV   RC,W");
    s.state->ChipImage[6] = 0x7602;  // stray high bits are not decoded
    EXPECT_STREQ(DisassembleWord(*s.state, 6, 0), "SNB   PC.0");
    s.state->ChipImage[7] = 0x0602;
    EXPECT_STREQ(DisassembleWord(*s.state, 7, 0), "SKIP");
    // An address outside the program words does not read outside the image.
    EXPECT_STREQ(DisassembleWord(*s.state, 4096 + 7, 0), "SKIP");
    EXPECT_STREQ(DisassembleWord(*s.state, -1, 0), "NOT   W");
}

TEST(DisassembleWord, EveryWordFitsTheBuffer) {
    for (Part part : {P18, P28, P52})
        for (int w = 0; w < 4096; ++w)
            for (std::uint8_t wreg : {0, 1})
                ASSERT_LE(std::strlen(DisassembleWord(FamilyOf(part), ExtFuseOf(part), std::uint16_t(w), w, wreg)),
                          std::size_t(kMaxInstructionText));
}

// Disassembly text uses bare hexadecimal; the assembler wants "$" in front.
std::string ToAssemblerSyntax(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::isalnum(static_cast<unsigned char>(text[i]))) {
            std::size_t j = i;
            while (j < text.size() && std::isalnum(static_cast<unsigned char>(text[j]))) ++j;
            std::string token = text.substr(i, j - i);
            bool hex = token.find_first_not_of("0123456789ABCDEF") == std::string::npos;
            bool operand = i >= 6;  // the mnemonic field holds no numbers
            // DC is a STATUS bit name only in bit operands.
            bool bitName = token == "DC" && (text.rfind("CLRB", 0) == 0 || text.rfind("SETB", 0) == 0 ||
                                             text.rfind("SB ", 0) == 0 || text.rfind("SNB", 0) == 0);
            if (hex && operand && !bitName) out += '$';
            out += token;
            i = j;
        } else {
            out += text[i++];
        }
    }
    return out;
}

// For every word, assembling its disassembly at the same address gives the
// word back. The exceptions are the words without an instruction ("???").
TEST(DisassembleWord, RoundTripsThroughTheAssembler) {
    for (Part part : {P18, P28, P52}) {
        for (std::uint8_t wreg : {0, 1}) {
            for (int half = 0; half < 2; ++half) {
                std::string source;
                int first = half * 2048;
                int exceptions = 0;
                for (int w = first; w < first + 2048; ++w) {
                    int address = w - first;
                    std::string text = DisassembleWord(FamilyOf(part), ExtFuseOf(part), std::uint16_t(w), address, wreg);
                    if (text == "???") {
                        ++exceptions;
                        source += " DW $" + std::to_string(0) + "\n";  // keeps the addresses aligned
                        continue;
                    }
                    source += " " + ToAssemblerSyntax(text) + "\n";
                }
                EXPECT_EQ(exceptions, half == 0 ? 13 : 0);  // 0x001 and 0x044..0x04F
                test::ImageSession s(FamilyOf(part));
                ASSERT_TRUE(s.Assemble(source)) << s.state->ErrorMessage << " at offset " << s.state->ErrorStart;
                for (int w = first; w < first + 2048; ++w) {
                    if (w == 0x001 || (w >= 0x044 && w <= 0x04F)) continue;
                    ASSERT_EQ(s.state->ChipImage[std::size_t(w - first)] & kWordMask, w)
                        << "part " << part << " wreg " << int(wreg) << ": "
                        << DisassembleWord(FamilyOf(part), ExtFuseOf(part), std::uint16_t(w), w - first, wreg);
                }
            }
        }
    }
}

struct ListCase {
    const char* name;
    std::string line;
    std::string expected;
};

TEST(GetListLine, ExpandsTabsAndCuts) {
    std::string long300(300, 'x');
    std::string tabAt255 = std::string(255, 'a') + "\tb";
    const ListCase cases[] = {
        {"plain", "abc", "abc"},
        {"tab after 3 characters", "abc\tz", "abc     z"},
        {"tab at a tab stop", "abcdefgh\tz", "abcdefgh        z"},
        {"leading tab", "\t", "        "},
        {"300 characters", long300, std::string(255, 'x')},
        {"tab after the 255th character", tabAt255, std::string(255, 'a')},
        {"tab reaching past 255", std::string(250, 'a') + "\tb", std::string(250, 'a') + "     "},
        {"empty", "", ""},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::ImageSession s(Sx28lFamily());
        std::string text = "first\r" + c.line + "\rlast\r";
        std::copy(text.begin(), text.end(), s.state->ListText);
        s.state->ListLength = std::uint32_t(text.size());
        s.state->ListLineOffset[0] = 0;
        s.state->ListLineOffset[1] = 6;
        s.state->ListLineOffset[2] = std::uint32_t(6 + c.line.size() + 1);
        s.state->ListLineCount = 3;
        const char* out = nullptr;
        GetListLine(*s.state, 1, out);
        EXPECT_EQ(std::string(out), c.expected);
        for (int i = int(c.expected.size()); i < kListLineBuffer; ++i) ASSERT_EQ(out[i], '\0');
        GetListLine(*s.state, 2, out);
        EXPECT_STREQ(out, "last");
    }
}

TEST(GetListLine, OutOfRangeGivesAnEmptyLine) {
    test::ImageSession s(Sx28lFamily());
    std::string text = "abc";  // last line without CR, offsets past the text
    std::copy(text.begin(), text.end(), s.state->ListText);
    s.state->ListLength = 3;
    s.state->ListLineOffset[0] = 1;
    s.state->ListLineOffset[1] = 900000;
    s.state->ListLineCount = 2;
    const char* out = nullptr;
    GetListLine(*s.state, 0, out);
    EXPECT_STREQ(out, "bc");
    for (int line : {1, 2, -1, 1 << 30}) {
        GetListLine(*s.state, line, out);
        EXPECT_STREQ(out, "") << line;
    }
}

TEST(GetListLine, ShowsTheAssembledListing) {
    test::ImageSession s(Sx52Family());
    ASSERT_TRUE(s.Assemble("\tMOV\tW,#1\n"));
    const char* out = nullptr;
    GetListLine(*s.state, 0, out);
    std::string line = out;
    EXPECT_EQ(line.find('\t'), std::string::npos);
    EXPECT_NE(line.find("MOV"), std::string::npos);
}

TEST(ImageServices, AllocateNothing) {
    test::ImageSession s(Sx28lFamily());
    std::string text = "a\tb\r";
    std::copy(text.begin(), text.end(), s.state->ListText);
    s.state->ListLength = 4;
    s.state->ListLineCount = 1;
    test::AllocCounter counter;
    const char* out = nullptr;
    for (int w = 0; w < 4096; ++w) {
        s.state->ChipImage[std::size_t(w)] = std::uint16_t(w);
        DisassembleWord(*s.state, w, 1);
    }
    GetListLine(*s.state, 0, out);
    EXPECT_EQ(counter.Count(), 0u);
}

}  // namespace
}  // namespace korvid
