// A disassembly written as a source assembles back into the same image:
// every word at both address parities, the configuration words of every
// DEVICE word, the ID, ORG over gaps, labels at jump and call targets.
#include <gtest/gtest.h>

#include "core/image/DisassemblySource.h"
#include "tests/image/ImageTestSupport.h"

namespace korvid {
namespace {

using test::ImageSession;
using test::kBothFamilies;

// The image the source assembles into, compared word by word with the
// original (program words, their used flags, ID and fuse words).
void ExpectRoundTrip(const Family& family, const Image& image, const std::string& what) {
    const DisassemblySource source = DisassembleSource(family, image);
    EXPECT_TRUE(source.problems.empty()) << what << ": " << source.problems.front();
    ImageSession again(family);
    ASSERT_TRUE(again.Assemble(source.text))
        << what << ": " << again.state->ErrorMessage << " at offset " << again.state->ErrorStart << " in\n"
        << source.text.substr(again.state->ErrorStart > 200 ? again.state->ErrorStart - 200 : 0, 400);
    const Image& back = again.state->ChipImage;
    const int size = ProgramSize(family, image[kExtFuseIndex]);
    for (int a = 0; a < size; ++a) {
        const auto at = static_cast<std::size_t>(a);
        ASSERT_EQ(back[at] & kDataFlag, image[at] & kDataFlag) << what << " at " << a;
        if (image[at] & kDataFlag) {
            ASSERT_EQ(back[at] & kWordMask, image[at] & kWordMask) << what << " at " << a;
        }
    }
    for (int i = kIdBase; i <= kExtFuseIndex; ++i)
        EXPECT_EQ(back[std::size_t(i)] & kWordMask, image[std::size_t(i)] & kWordMask) << what << " word " << i;
}

// Every 12-bit word at an even and at an odd address (SKIP and SNB PC.0
// differ by parity), each used: the words without an instruction as DW.
TEST(DisassembleSource, EveryWordAtBothParitiesAssemblesBack) {
    for (const Family* family : kBothFamilies) {
        Image image{};
        BlankImage(image, *family);
        const int size = ProgramSize(*family, image[kExtFuseIndex]);
        for (int offset = 0; offset < 4096; offset += size)
            for (int shift : {0, 1}) {
                for (int a = 0; a < size; ++a)
                    image[std::size_t(a)] = std::uint16_t(((a + offset + shift) & kWordMask) | kDataFlag);
                ExpectRoundTrip(*family, image,
                                std::string(family->name) + " offset " + std::to_string(offset + shift));
            }
    }
}

struct DeviceCase {
    const char* family;
    const char* device;
};
const DeviceCase kDevices[] = {
    {"28l", ""},
    {"28l", "SX28L, OSCHS2, TURBO, STACKX_OPTIONX"},
    {"28l", "PIC16C56, OSCRC, WATCHDOG, PROTECT"},
    {"28l", "PIC16C57, OSC32KHZ, SYNC, CARRYX, BOR22"},
    {"28l", "SX18L, OSCIN, BOR26"},
    {"52", ""},
    {"52", "OSCHS2, DRT960MS, BOR42, CARRYX, SLEEPCLOCK"},
    {"52", "OSCXT1, DRIVEOFF, FEEDBACKOFF, WDT_ON, SYNC"},
    {"52", "OSC4MHZ, DRT60US, PROTECT"},
};

// The DEVICE line spells the fuse words; ORG follows the gaps; jumps and
// calls name their targets; the ID comes back with its quote.
TEST(DisassembleSource, DeviceIdOrgAndLabelsAssembleBack) {
    for (const DeviceCase& c : kDevices) {
        const Family& family = *FamilyByName(c.family);
        ImageSession s(family);
        const std::string device = *c.device ? std::string("\tDEVICE ") + c.device + "\n" : "";
        ASSERT_TRUE(s.Assemble(device + "\tID 'A;b',39,'7'\n"
                                        "\tRESET start\n"
                                        "\tORG 10h\n"
                                        "start\tMOV W,#0FFh\n"
                                        "\tCALL helper\n"
                                        "\tJMP @far\n"
                                        "\tJMP start\n"
                                        "helper\tRETW 3\n"
                                        "\tORG 205h\n"
                                        "far\tCLRB 0Ch.7\n"
                                        "\tJMP $-1\n"))
            << c.device << ": " << s.state->ErrorMessage;
        ExpectRoundTrip(family, s.state->ChipImage, std::string(c.family) + " " + c.device);
        const std::string text = DisassembleSource(family, s.state->ChipImage).text;
        EXPECT_NE(text.find("ORG     205h"), std::string::npos) << text;
        EXPECT_NE(text.find("CALL    L_015"), std::string::npos) << text;
        EXPECT_NE(text.find("JMP     L_205"), std::string::npos) << text;
        EXPECT_NE(text.find("L_205   CLRB    0Ch.7"), std::string::npos) << text;
    }
}

// Bits no DEVICE word sets (an IRC trim read from a chip) and an ID that
// is not characters are said, not silently lost.
TEST(DisassembleSource, WhatNoDirectiveWritesIsSaid) {
    for (const Family* family : kBothFamilies) {
        Image image{};
        BlankImage(image, *family);
        image[0] = 0x000 | kDataFlag;
        image[kExtFuseIndex] = std::uint16_t(image[kExtFuseIndex] & ~0x100);  // a trim bit
        image[kIdBase] = 0x123;
        const DisassemblySource source = DisassembleSource(*family, image);
        ASSERT_EQ(source.problems.size(), 2u) << source.text;
        EXPECT_NE(source.problems[0].find("extended fuse word"), std::string::npos) << source.problems[0];
        EXPECT_NE(source.problems[1].find("ID"), std::string::npos) << source.problems[1];
        EXPECT_NE(source.text.find("; not as in the image: "), std::string::npos) << source.text;
        ImageSession again(*family);
        EXPECT_TRUE(again.Assemble(source.text)) << again.state->ErrorMessage << "\n" << source.text;
    }
}

}  // namespace
}  // namespace korvid
