#include "model/WatchFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace korvid {
namespace {

Watch W(unsigned address, unsigned bit, int bits, WatchFormat format) {
    Watch w;
    w.address = std::uint16_t(address | (bit << 8));
    w.bitCount = std::uint8_t(bits);
    w.format = format;
    std::strcpy(w.name, "x");
    return w;
}

struct Regs {
    std::uint32_t r[256] = {};
    Regs& Set(int a, std::vector<unsigned> bytes) {
        for (unsigned b : bytes) r[a++] = b;
        return *this;
    }
};

TEST(WatchFormat, RegisterMapping) {
    const Family& f28 = Sx28lFamily();
    struct Case {
        int banks;
        unsigned address;
        int reg;
    } cases[] = {
        {8, 0x08, 0x08}, {8, 0x28, 0x08}, {8, 0x1C, 0x1C}, {8, 0x3C, 0x3C},  // bit 4 clear: global
        {1, 0x10, 0xF0}, {1, 0x35, 0xF5}, {4, 0x10, 0x90}, {4, 0x75, 0xF5},
        {8, 0x55, 0x55}, {8, 0x100 + 0x55, 0x55},  // one byte only
    };
    for (const Case& c : cases) EXPECT_EQ(WatchRegister(f28, c.banks, c.address), c.reg) << std::hex << c.address;
    EXPECT_EQ(WatchRegister(Sx52Family(), 0, 0x08), 0x08);
    EXPECT_EQ(WatchRegister(Sx52Family(), 0, 0x28), 0x28);
    EXPECT_EQ(WatchRegister(Sx52Family(), 0, 0x1FF), 0xFF);
}

TEST(WatchFormat, NumbersInEveryFormat) {
    struct Case {
        Watch watch;
        std::vector<unsigned> bytes;  // from register 0x10
        const char* text;
    } cases[] = {
        {W(0x10, 0, 8, UDEC), {0}, "0"},
        {W(0x10, 0, 8, UDEC), {255}, "255"},
        {W(0x10, 0, 32, UDEC), {0x87, 0xD6, 0x12, 0x00}, "1_234_567"},
        {W(0x10, 0, 32, UDEC), {0xFF, 0xFF, 0xFF, 0xFF}, "4_294_967_295"},
        {W(0x10, 0, 16, UDEC), {0xE8, 0x03}, "1_000"},
        {W(0x10, 0, 16, UDEC), {0xE7, 0x03}, "999"},
        {W(0x10, 0, 8, SDEC), {0x80}, "-128"},
        {W(0x10, 0, 8, SDEC), {0x7F}, "127"},
        {W(0x10, 0, 32, SDEC), {0x00, 0x00, 0x00, 0x80}, "-2_147_483_648"},
        {W(0x10, 0, 8, UHEX), {0x1F}, "$1F"},
        {W(0x10, 0, 8, UHEX), {0x05}, "$05"},
        {W(0x10, 0, 5, UHEX), {0x1F}, "$1F"},
        {W(0x10, 0, 4, UHEX), {0xFA}, "$A"},
        {W(0x10, 0, 20, UHEX), {0x45, 0x23, 0x01}, "$1_2345"},
        {W(0x10, 0, 8, SHEX), {0xE1}, "-$1F"},
        {W(0x10, 0, 8, UBIN), {0xA6}, "%1010_0110"},
        {W(0x10, 0, 3, UBIN), {0x05}, "%101"},
        {W(0x10, 0, 6, UBIN), {0x05}, "%00_0101"},
        {W(0x10, 0, 4, SBIN), {0x0E}, "-%0010"},
        {W(0x10, 0, 1, SDEC), {0x01}, "-1"},
        // bit offset and registers crossed: 12 bits from bit 4 of 0x10
        {W(0x10, 4, 12, SDEC), {0x30, 0xFF}, "-13"},
        {W(0x10, 4, 12, SDEC), {0x30, 0x7F}, "2_035"},
        {W(0x10, 7, 32, UHEX), {0x80, 0xFF, 0xFF, 0xFF, 0x7F}, "$FFFF_FFFF"},
        {W(0x10, 3, 1, UBIN), {0x08}, "%1"},
    };
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        for (const Case& c : cases) {
            Regs regs;
            // 28L with 8 banks and 52 both place 0x10.. in registers 0x10..
            regs.Set(0x10, c.bytes);
            EXPECT_EQ(WatchText(c.watch, regs.r, *f, 8), c.text) << f->title << " " << c.text;
        }
    }
}

TEST(WatchFormat, ValuesComeFromTheMappedBanks) {
    // One bank read: watch address 0x10 lives in register 0xF0; the bytes
    // of a 16-bit watch at 0x1F continue at 0x20, which is global 0x00.
    Regs regs;
    regs.Set(0xF0, {0x34, 0x12});
    regs.r[0x10] = 0x99;
    EXPECT_EQ(WatchText(W(0x10, 0, 16, UHEX), regs.r, Sx28lFamily(), 1), "$1234");
    EXPECT_EQ(WatchText(W(0x10, 0, 16, UHEX), regs.r, Sx52Family(), 0), "$0099");
}

TEST(WatchFormat, Strings) {
    Regs regs;
    regs.Set(0x10, {'A', 'B', 0, 'D'});
    EXPECT_EQ(WatchText(W(0x10, 0, 4, ZSTR), regs.r, Sx52Family(), 0), "'AB'");
    EXPECT_EQ(WatchText(W(0x10, 0, 4, FSTR), regs.r, Sx52Family(), 0), std::string("'AB\0D'", 6));
    EXPECT_EQ(WatchText(W(0x10, 0, 2, ZSTR), regs.r, Sx52Family(), 0), "'AB'");
    regs.r[0x10] = 0;
    EXPECT_EQ(WatchText(W(0x10, 0, 4, ZSTR), regs.r, Sx52Family(), 0), "''");
}

TEST(WatchFormat, WidthTemplates) {
    struct Case {
        Watch watch;
        const char* text;
    } cases[] = {
        {W(0, 0, 8, UDEC), "-000"},       {W(0, 0, 16, SDEC), "-00_000"},
        {W(0, 0, 32, UDEC), "-0_000_000_000"}, {W(0, 0, 1, UDEC), "-0"},
        {W(0, 0, 8, UHEX), "-$DD"},       {W(0, 0, 17, SHEX), "-$D_DDDD"},
        {W(0, 0, 6, UBIN), "-%00_0000"},  {W(0, 0, 3, ZSTR), "'WWW'"},
        {W(0, 0, 5, FSTR), "'WWWWW'"},
    };
    for (const Case& c : cases) EXPECT_EQ(WatchTemplate(c.watch), c.text);
}

TEST(WatchFormat, ParseEntries) {
    struct Case {
        const char* text;
        std::uint32_t value;
    } valid[] = {
        {"0", 0},
        {"255", 255},
        {"1_234_567", 1234567},
        {"$FF", 0xFF},
        {"$ff", 0xFF},
        {"$1_2345", 0x12345},
        {"%1010_0110", 0xA6},
        {"-1", 0xFFFFFFFFu},
        {"-$1F", 0u - 0x1Fu},
        {"--5", 5},
        {"-%10", 0u - 2u},
        {"$%11", 3},
        {"_12", 12},
        {"4294967296", 0},  // 32-bit accumulation wraps
    };
    for (const Case& c : valid) {
        std::uint32_t v = 0xDEAD;
        EXPECT_TRUE(ParseWatchNumber(c.text, v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    for (const char* text : {"12x", "", "$", "-", "__", "FF", "%102", "1$2", "1-2", " 12", "$G"}) {
        std::uint32_t v = 0xDEAD;
        EXPECT_FALSE(ParseWatchNumber(text, v)) << text;
    }
}

TEST(WatchFormat, NumberWritesTouchOnlyTheMaskedBits) {
    Regs regs;
    regs.Set(0x10, {0xAB, 0xCD, 0xEF});
    struct Case {
        Watch watch;
        std::uint32_t value;
        std::vector<RegisterWrite> writes;
    } cases[] = {
        {W(0x10, 0, 8, UHEX), 0xFF, {{0x10, 0xFF}}},
        {W(0x10, 0, 16, UDEC), 0x1234, {{0x10, 0x34}, {0x11, 0x12}}},
        {W(0x10, 4, 12, SDEC), 0xFFFFFFF3u, {{0x10, 0x3B}, {0x11, 0xFF}}},
        {W(0x10, 4, 4, UHEX), 0x5, {{0x10, 0x5B}}},
        {W(0x10, 6, 4, UBIN), 0xF, {{0x10, 0xEB}, {0x11, 0xCF}}},
        {W(0x10, 7, 32, UHEX), 0, {{0x10, 0x2B}, {0x11, 0}, {0x12, 0}, {0x13, 0}, {0x14, 0x00}}},
        {W(0x10, 0, 3, UBIN), 0xFF, {{0x10, 0xAF}}},  // value beyond the watch's bits is cut to them
    };
    for (const Case& c : cases) {
        WatchWrites w = WatchNumberWrites(c.watch, c.value, regs.r, Sx52Family(), 0);
        ASSERT_EQ(w.count, int(c.writes.size()));
        for (int i = 0; i < w.count; ++i) {
            EXPECT_EQ(w.writes[i].address, c.writes[std::size_t(i)].address);
            EXPECT_EQ(w.writes[i].value, c.writes[std::size_t(i)].value) << i;
        }
    }
}

TEST(WatchFormat, WritesRoundTripThroughTheDisplay) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        for (int format = UDEC; format <= SBIN; ++format) {
            for (int bits : {1, 7, 12, 32}) {
                Watch watch = W(0x12, 3, bits, WatchFormat(format));
                Regs regs;
                std::uint32_t v = 0;
                ASSERT_TRUE(ParseWatchNumber(format % 2 ? "-3" : "$5A", v));
                WatchWrites w = WatchNumberWrites(watch, v, regs.r, *f, 4);
                for (int i = 0; i < w.count; ++i) regs.r[w.writes[i].address] = w.writes[i].value;
                std::string text = WatchText(watch, regs.r, *f, 4);
                std::uint32_t back = 0;
                ASSERT_TRUE(ParseWatchNumber(text, back)) << text;
                std::uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
                EXPECT_EQ(back & mask, v & mask) << f->title << " " << format << " " << bits << " " << text;
            }
        }
    }
}

TEST(WatchFormat, StringWrites) {
    Watch watch = W(0x14, 0, 4, ZSTR);
    WatchWrites w = WatchStringWrites(watch, WatchStringEntry("'Hi'"), Sx28lFamily(), 8);
    ASSERT_EQ(w.count, 4);
    const std::uint8_t expect[4] = {'H', 'i', 0, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.writes[i].address, 0x14 + i);
        EXPECT_EQ(w.writes[i].value, expect[i]);
    }
    // A longer text fills the watch's registers only.
    w = WatchStringWrites(W(0x14, 0, 2, FSTR), "abcdef", Sx28lFamily(), 8);
    ASSERT_EQ(w.count, 2);
    EXPECT_EQ(w.writes[1].value, 'b');
    EXPECT_EQ(WatchStringEntry("x"), "x");
    EXPECT_EQ(WatchStringEntry("'"), "'");
}

}  // namespace
}  // namespace korvid
