// Directives: configuration words, ID, reset vector, symbols, location
// counter, data words, debugging information.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

struct DeviceCase {
    const Family* family;
    const char* params;
    int fuse, extFuse;
};

struct DeviceRefusal {
    const Family* family;
    const char* params;
    const char* error;
};

TEST(Directive, LabelRules) {
    const char* notAllowed[] = {"DEVICE SYNC", "ID 'A'", "IFDEF x", "IFNDEF x", "IF 1", "ELSE", "ENDIF",
                                "REPT 1", "ENDR", "EXITM", "ENDM", "EXPAND", "NOEXPAND", "CASE", "NOCASE",
                                "ERROR 'x'", "END", "WATCH 8,8,UDEC", "FREQ 1000000"};
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        for (const char* d : notAllowed) {
            EXPECT_FALSE(a.Run(std::string("lbl ") + d + "\n")) << d;
            EXPECT_EQ(a.message(), "This directive cannot be preceeded by a symbol") << d;
        }
        // Allowed labels take the location counter (ORG: the new address;
        // RESET: the last address); "=", EQU and MACRO enter their own.
        ASSERT_TRUE(a.Run(" NOP\nl1 DW 1\nl2 DS 2\nl3 BREAK\nl4 ORG 30h\nl5 RESET 0\nl6 = 9\nl7 EQU 8\n"
                          "l8 MACRO\n ENDM\n DW l1,l2,l3,l4,l5,l6,l7\n")) << a.message();
        EXPECT_EQ(a.words(0x30), (std::vector<int>{1, 2, 4, 0x30, f->initialAddressMask, 9, 8}));
    }
}

TEST(Directive, DeviceWords) {
    const Family* a = &Sx28lFamily();
    const Family* b = &Sx52Family();
    const DeviceCase cases[] = {
        {a, "SX28L, OSCHS2, TURBO, STACKX_OPTIONX", 0x07F9, 0x0F7F},
        {a, "BOR22", 0x0FFA, 0x0BEF},
        {b, "BOR22", 0x0FFA, 0x0FDF},
        {a, "PIC16C55, OSCIN", 0x0F98, 0x0BFC ^ 0x400},
        {a, "WATCHDOG\n DEVICE PROTECT", 0x0FF6, 0x0BFF},
        {b, "DRT960MS, SLEEPCLOCK, SYNC", 0x0BFA, 0x0BFD},
        {b, "DRIVEOFF, FEEDBACKOFF, OSCXT1", 0x0F8A, 0x0FFF},
        {a, "WDT_OFF, PROTECT_OFF, CARRYX", 0x0FFA, 0x0BBF},
        {b, "OSC4MHZ", 0x0F1B, 0x0FFF},
        {b, "OSCXT1, DRIVEOFF, FEEDBACKOFF", 0x0F8A, 0x0FFF},
    };
    for (const auto& c : cases) {
        Assembly x(*c.family);
        ASSERT_TRUE(x.Run(std::string(" DEVICE ") + c.params + "\n")) << c.params << ": " << x.message();
        EXPECT_EQ(x.state().ChipImage[kFuseIndex], c.fuse) << c.family->title << " " << c.params;
        EXPECT_EQ(x.state().ChipImage[kExtFuseIndex], c.extFuse) << c.family->title << " " << c.params;
        EXPECT_EQ(x.state().DeviceImage[kFuseIndex], c.fuse);
    }
    // A word given twice (or two of one field) and a word of the other family.
    const char* const redundant = "Redundant DEVICE parameter";
    const char* const unknown = "Expected a DEVICE parameter";
    const DeviceRefusal refusals[] = {
        {a, "OSCXT1, OSCXT2", redundant},
        {a, "SX18L, PIC16C57", redundant},
        {a, "WATCHDOG, WDT_OFF", redundant},
        {b, "OSCRC, DRIVEOFF", redundant},
        {b, "FEEDBACKOFF\n DEVICE HS_OSC", redundant},
        {a, "DRT18MS", unknown},
        {a, "SLEEPCLOCK", unknown},
        {b, "SX28L", unknown},
        {b, "TURBO", unknown},
        {b, "PIC16C54", unknown},
    };
    for (const auto& c : refusals) {
        Assembly x(*c.family);
        EXPECT_FALSE(x.Run(std::string(" DEVICE ") + c.params + "\n")) << c.params;
        EXPECT_EQ(x.message(), c.error) << c.params;
    }
}

TEST(Directive, DeviceSetsTheMemorySize) {
    struct SizeCase {
        const char* device;
        int lastAddress;
    };
    const SizeCase cases[] = {{"SX18L", 0x7FF}, {"SX28L", 0x7FF}, {"PIC16C57", 0x7FF}, {"PIC16C58", 0x7FF},
                              {"PIC16C56", 0x3FF}, {"PIC16C54", 0x1FF}, {"PIC16C55", 0x1FF}};
    for (const auto& c : cases) {
        Assembly a(Sx28lFamily());
        // Code wraps after the last address; RESET goes to the last address.
        ASSERT_TRUE(a.Run(std::string(" DEVICE ") + c.device + "\n ORG 0FFFh\n NOP\n NOP\n")) << a.message();
        EXPECT_EQ(a.state().ChipImage[c.lastAddress], 0x000 | kDataFlag) << c.device;
        EXPECT_EQ(a.state().ChipImage[0], 0x000 | kDataFlag) << c.device;
        ASSERT_TRUE(a.Run(std::string(" DEVICE ") + c.device + "\n RESET 10h\n")) << a.message();
        EXPECT_EQ(a.word(c.lastAddress), 0xA10) << c.device;
    }
    Assembly b(Sx52Family());
    ASSERT_TRUE(b.Run(" ORG 0FFFh\n NOP\n NOP\n")) << b.message();
    EXPECT_EQ(b.words(0), (std::vector<int>{0x000}));
    EXPECT_EQ(b.word(0xFFF), 0x000);
}

TEST(Directive, BlankConfigurationWithoutDevice) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" NOP\n")) << a.message();
        EXPECT_EQ(a.state().ChipImage[kFuseIndex], 0x0FFA);
        EXPECT_EQ(a.state().ChipImage[kExtFuseIndex], f->is52() ? 0x0FFF : 0x0BFF);
        EXPECT_EQ(a.state().ChipImage[1], 0x0FFF);
        EXPECT_EQ(a.state().ChipImage[kIdBase], 0x0FFF);
        EXPECT_EQ(a.state().BreakAddress, kNoBreak);
        EXPECT_EQ(a.state().ClockFrequency, kDefaultClockFrequency);
        EXPECT_EQ(a.state().WatchCount, 0u);
    }
}

TEST(Directive, IdWords) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" ID 'SX28CHIP'\n")) << a.message();
        const char* text = "SX28CHIP";
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(a.state().ChipImage[kIdBase + 2 * i], 0x0FF0 + (text[i] >> 4));
            EXPECT_EQ(a.state().ChipImage[kIdBase + 2 * i + 1], 0x0FF0 + (text[i] & 15));
        }
        // Characters not given stay blank; a forward reference is accepted.
        ASSERT_TRUE(a.Run(" ID 'A',later\nlater EQU 'z'\n")) << a.message();
        EXPECT_EQ(a.state().ChipImage[kIdBase + 3], 0x0FFA);
        EXPECT_EQ(a.state().ChipImage[kIdBase + 4], 0x0FFF);
    }
}

TEST(Directive, ResetVector) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        int last = f->initialAddressMask;
        ASSERT_TRUE(a.Run("start EQU 10h\nvec RESET start\n DW vec\n")) << a.message();
        EXPECT_EQ(a.word(last), 0xA10);
        EXPECT_EQ(a.word(0), last & 0xFFF);
        EXPECT_EQ(a.listLine(1).substr(0, 8), (f->is52() ? "FFF- A10" : "7FF- A10"));
        // The location counter is left alone; RESET can be forward.
        ASSERT_TRUE(a.Run(" NOP\n RESET main\nmain NOP\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0x000, 0x000}));
        EXPECT_EQ(a.word(last), 0xA01);
    }
}

TEST(Directive, SymbolsAndTheLocationCounter) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" ORG 10h\nla DS 3\nlb DW 1\nlc\nld ORG 20h\nle BREAK\n DW la,lb,lc,ld,le\n")) << a.message();
        EXPECT_EQ(a.words(0x20), (std::vector<int>{0x10, 0x13, 0x14, 0x20, 0x20}));
        EXPECT_EQ(a.state().BreakAddress, 0x20);

        // Variables change in place; a read before the first assignment of
        // pass 2 sees the last value of pass 1.
        ASSERT_TRUE(a.Run("x = 1\nx = x + 1\n DW x\n DW y\ny = 7\ny = y * 2\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{2, 14}));
        EXPECT_EQ(a.listLine(1), "=00000002\tx = x + 1");

        // ORG and DS wrap with the address mask.
        ASSERT_TRUE(a.Run(" ORG 1000h+5\n DW $\n ORG 0\n DS -1\n DW $\n")) << a.message();
        EXPECT_EQ(a.word(5), 5);
        EXPECT_EQ(a.word(f->initialAddressMask), f->initialAddressMask);
    }
}

TEST(Directive, LocalLabels) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run("a NOP\n:loop JMP :loop\n JMP :next\n:next\nb NOP\n:loop JMP :loop\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0x000, 0xA01, 0xA03, 0x000, 0xA04}));
        // A variable or EQU symbol at the line start also sets the prefix.
        ASSERT_TRUE(a.Run("v = 1\n:x NOP\nk EQU 2\n:x NOP\n JMP :x\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0x000, 0x000, 0xA01}));
    }
}

TEST(Directive, EndStopsThePass) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" NOP\n END\n this is not assembled ?\n IF 1\n")) << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0x000}));
        // No end-of-text entry after END.
        EXPECT_EQ(a.state().ListLineCount, 2u);
        ASSERT_TRUE(a.Run(" IF 1\n END\n")) << a.message();
    }
}

TEST(Directive, FrequencyAndBreak) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        for (const char* freq : {"400_000", "110_000_000"}) {
            ASSERT_TRUE(a.Run(std::string(" FREQ ") + freq + "\n")) << a.message();
        }
        EXPECT_EQ(a.state().ClockFrequency, 110000000u);
        ASSERT_TRUE(a.Run(" NOP\n NOP\n BREAK\n NOP\n")) << a.message();
        EXPECT_EQ(a.state().BreakAddress, 2);
    }
}

TEST(Directive, Watches) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run("counter EQU 10h\n WATCH counter,8,UDEC\n WATCH RA.3 , 1, SBIN\n"
                          " WATCH 7FFh+1+counter+" + std::string(40, '0') + ",32,ZSTR\n")) << a.message();
        ASSERT_EQ(a.state().WatchCount, 3u);
        const Watch& w0 = a.state().Watches[0];
        EXPECT_EQ(w0.address, 0x10);
        EXPECT_EQ(w0.bitCount, 8);
        EXPECT_EQ(w0.format, UDEC);
        EXPECT_STREQ(w0.name, "counter");
        EXPECT_EQ(a.state().Watches[1].address, 0x305);
        EXPECT_EQ(a.state().Watches[1].format, SBIN);
        EXPECT_STREQ(a.state().Watches[1].name, "RA.3");
        EXPECT_EQ(a.state().Watches[2].address, 0x10);
        EXPECT_EQ(std::string(a.state().Watches[2].name), "7FFh+1+counter+" + std::string(17, '0'));
        EXPECT_EQ(a.state().Watches[2].format, ZSTR);
        // 32 watches fit.
        std::string src;
        for (int i = 0; i < 32; ++i) src += " WATCH 8,8,UHEX\n";
        ASSERT_TRUE(a.Run(src)) << a.message();
        EXPECT_EQ(a.state().WatchCount, 32u);
    }
}

}  // namespace
}  // namespace korvid::test
