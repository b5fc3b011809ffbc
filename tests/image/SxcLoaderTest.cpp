#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/image/Disassembler.h"
#include "core/image/SxcLoader.h"
#include "tests/image/ImageTestSupport.h"
#include "tests/support/SxcFixture.h"

namespace korvid {
namespace {

using test::SxcProgram;

// Puts .cod bytes into the list buffer as LoadFile would and runs
// PrepareEEPROM.
void Prepare(AssemblyState& s, const std::string& cod) {
    ASSERT_LT(cod.size(), s.ListCapacity);
    std::copy(cod.begin(), cod.end(), s.ListText);
    s.ListLength = std::uint32_t(cod.size());
    PrepareEEPROM(s);
}

SxcProgram SmallProgram() {
    SxcProgram p;
    p.Line("; a compiled program");
    p.Line("main:");
    p.Line("\tMOV W,#1", 0x000, {0xC01});
    p.Line("\tMOV 8,W", 0x001, {0x028});
    p.Line("loop:\tJMP loop", 0x002, {0xA02});
    p.Line("\tJMP main", 0x7FF, {0xA00});
    return p;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = ::testing::TempDir() + "/sxcXXXXXX";
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(SxcLoader, LoadsACompiledProgram) {
    for (const Family* family : test::kBothFamilies) {
        TempDir dir;
        SxcProgram p = SmallProgram();
        p.Fuses(0x0F3A, 0x0BFE);
        p.Frequency(4000000);
        p.words[0x1000] = 0x0FF4;  // first ID word
        ASSERT_TRUE(test::WriteSxcFixture(dir.path() + "/prog", p));

        test::ImageSession session(*family);
        AssemblyState& s = *session.state;
        s.BreakAddress = 5;
        s.WatchCount = 3;
        std::string message;
        ASSERT_TRUE(SXCLoad(s, dir.path() + "/prog", message)) << message;
        EXPECT_EQ(s.ChipImage[0], kDataFlag | 0xC01);
        EXPECT_EQ(s.ChipImage[2], kDataFlag | 0xA02);
        EXPECT_EQ(s.ChipImage[0x7FF], kDataFlag | 0xA00);
        EXPECT_EQ(s.ChipImage[3], 0x0FFF);
        EXPECT_EQ(s.ChipImage[kIdBase], 0x0FF4);
        EXPECT_EQ(s.ChipImage[kFuseIndex], 0x0F3A);
        EXPECT_EQ(s.ChipImage[kExtFuseIndex], 0x0BFE);
        EXPECT_EQ(s.ClockFrequency, 4000000u);
        EXPECT_EQ(s.BreakAddress, kNoBreak);
        EXPECT_EQ(s.WatchCount, 0u);
        ASSERT_EQ(s.ListLineCount, 6u);
        EXPECT_EQ(s.AddressLine[1], 3);
        EXPECT_EQ(s.AddressLine[0x7FF], 5);
        EXPECT_EQ(s.AddressLine[3], -1);
        const char* line = nullptr;
        GetListLine(s, s.AddressLine[2], line);
        EXPECT_STREQ(line, "loop:   JMP loop");
        EXPECT_STREQ(DisassembleWord(s, 2, 0), "JMP   002");
    }
}

TEST(SxcLoader, RangeSixteen) {
    struct Row {
        const char* name;
        bool withRange16;
        std::uint32_t frequency;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {"no range 16 block", false, 0, 50000000},
        {"in range", true, 4000000, 4000000},
        {"lowest", true, 400000, 400000},
        {"too low", true, 20000, 400000},
        {"too high", true, 110000001, 110000000},
        {"negative", true, 0xFFFFFFF0u, 400000},
        {"high half only", true, 0x7FFF0000u, 110000000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SxcProgram p = SmallProgram();
        if (r.withRange16) p.Frequency(r.frequency);
        test::ImageSession session(Sx28lFamily());
        AssemblyState& s = *session.state;
        s.ChipImage[kIdBase + 3] = 0x0123;
        s.ChipImage[kFuseIndex] = 0x0456;
        s.ClockFrequency = 1234;
        Prepare(s, test::BuildCod(p));
        ASSERT_EQ(s.ErrorFlag, 0);
        EXPECT_EQ(s.ClockFrequency, r.expected);
        if (!r.withRange16) {
            EXPECT_EQ(s.ChipImage[kIdBase + 3], 0x0123);
            EXPECT_EQ(s.ChipImage[kFuseIndex], 0x0456);
        }
    }
}

TEST(SxcLoader, MemoryMapMarksAndDiscards) {
    SxcProgram p;
    for (int a = 0; a < 16; ++a) p.words[std::uint32_t(a)] = std::uint16_t(0x100 + a);
    p.words[0x1000] = 0x0FF1;  // ID words are not subject to the map
    p.memoryMap = {
        {0, 1},        // word 0 only: counts as empty
        {4, 7},        // words 2 and 3
        {0x15, 0x10},  // end below start: ignored
        {0x18, 0x18},  // word 12
        {0x1FFC, 0xFFFF},  // words 0xFFE.. 0x7FFF: only those below 4096 are marked
    };
    for (int e = 0; e < 200; ++e) p.memoryMap.push_back({0, 0});  // spills into a second block
    p.memoryMap.push_back({0x1C, 0x1D});  // word 14, in the second map block
    test::SxcLayout layout;
    std::string cod = test::BuildCod(p, &layout);
    ASSERT_EQ(layout.lastMap - layout.firstMap, 1);
    test::ImageSession session(Sx52Family());
    AssemblyState& s = *session.state;
    s.ChipImage[0xFFF] = 0x0123;
    Prepare(s, cod);
    ASSERT_EQ(s.ErrorFlag, 0);
    for (int a = 0; a < 16; ++a) {
        bool code = a == 2 || a == 3 || a == 12 || a == 14;
        EXPECT_EQ(s.ChipImage[std::size_t(a)], code ? kDataFlag | (0x100 + a) : 0x0FFF) << a;
    }
    EXPECT_EQ(s.ChipImage[0xFFE], kDataFlag | 0x0FFF);
    EXPECT_EQ(s.ChipImage[0xFFF], kDataFlag | 0x0123);  // marked, kept from before
    EXPECT_EQ(s.ChipImage[kIdBase], 0x0FF1);
}

TEST(SxcLoader, LineTableCounter) {
    SxcProgram p;
    p.lines = {
        {0x00, 0x010},  // line 0 -> address 0x10
        {0x04, 0x011},  // maps nothing, does not count
        {0x08, 0x012},  // maps nothing, counts
        {0x10, 0x013},  // maps nothing, counts
        {0x00, 0x014},  // line 3
        {0xFF, 10},     // skips 10 lines, maps nothing
        {0x00, 0x015},  // line 14
        {0x20, 0x016},  // bits outside 0x1C: maps line 15, counts
        {0x00, 0x1000}, // address beyond the program memory: skipped, still counts
        {0x00, 0xFFFF}, // likewise
        {0x00, 0x017},  // line 18
        {0xFF, 30000},  // beyond the list-line table
        {0x00, 0x018},  // line 30019: cannot be shown, skipped
    };
    test::ImageSession session(Sx28lFamily());
    AssemblyState& s = *session.state;
    s.AddressLine.fill(7);
    Prepare(s, test::BuildCod(p));
    ASSERT_EQ(s.ErrorFlag, 0);
    const std::pair<int, int> expected[] = {{0x10, 0},  {0x11, -1}, {0x12, -1}, {0x13, -1}, {0x14, 3},
                                            {0x15, 14}, {0x16, 15}, {0x17, 18}, {0x18, -1}, {0x00, -1}};
    for (auto [address, line] : expected) EXPECT_EQ(s.AddressLine[std::size_t(address)], line) << address;
}

TEST(SxcLoader, PrepareList) {
    struct Row {
        const char* name;
        std::string text;
        std::vector<std::uint32_t> offsets;
    };
    const Row rows[] = {
        {"CR LF lines", "ab\r\ncd\r\n\r\nlast", {0, 4, 8}},
        {"bare CRs keep the start after the last LF", "x\ny\rz\r", {2, 2}},
        {"LF only", "a\nb\n", {}},
        {"empty", "", {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        test::ImageSession session(Sx28lFamily());
        AssemblyState& s = *session.state;
        std::copy(r.text.begin(), r.text.end(), s.ListText);
        s.ListLength = std::uint32_t(r.text.size());
        PrepareList(s);
        EXPECT_EQ(s.ErrorFlag, 0);
        ASSERT_EQ(s.ListLineCount, r.offsets.size());
        for (std::size_t i = 0; i < r.offsets.size(); ++i) EXPECT_EQ(s.ListLineOffset[i], r.offsets[i]);
    }
}

TEST(SxcLoader, PrepareListRefusesMoreLinesThanTheTable) {
    test::ImageSession session(Sx28lFamily());
    AssemblyState& s = *session.state;
    for (std::uint32_t lines : {25000u, 25001u}) {
        std::string text;
        for (std::uint32_t i = 0; i < lines; ++i) text += "l\r\n";
        std::copy(text.begin(), text.end(), s.ListText);
        s.ListLength = std::uint32_t(text.size());
        PrepareList(s);
        EXPECT_EQ(s.ErrorFlag, lines > 25000 ? 1 : 0);
        EXPECT_EQ(s.ListLineCount, 25000u);
        if (s.ErrorFlag) {
            EXPECT_STREQ(s.ErrorMessage, kSxcTooManyLinesMessage);
        }
    }
}

// A directory that points outside the file is refused before anything in
// the state changes.
TEST(SxcLoader, RefusesADirectoryPointingOutside) {
    using Damage = void (*)(std::string&, const test::SxcLayout&);
    struct Row {
        const char* name;
        Damage damage;
        const char* message;
    };
    const Row rows[] = {
        {"shorter than a directory", [](std::string& f, const test::SxcLayout&) { f.resize(511); },
         kSxcNoDirectoryMessage},
        {"code block past the end", [](std::string& f, const test::SxcLayout&) { test::PutWord(f, 2 * 3, 40); },
         kSxcCodeOutsideMessage},
        {"code block 0xFFFF", [](std::string& f, const test::SxcLayout&) { test::PutWord(f, 2 * 16, 0xFFFF); },
         kSxcCodeOutsideMessage},
        {"file cut inside a code block", [](std::string& f, const test::SxcLayout&) { f.resize(512 + 100); },
         kSxcCodeOutsideMessage},
        {"memory map past the end", [](std::string& f, const test::SxcLayout&) { f[0x1BD] = char(200); },
         kSxcMapOutsideMessage},
        {"line table past the end", [](std::string& f, const test::SxcLayout&) { f[0x1B4] = char(255); },
         kSxcLinesOutsideMessage},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        test::SxcLayout layout;
        std::string cod = test::BuildCod(SmallProgram(), &layout);
        r.damage(cod, layout);
        test::ImageSession session(Sx28lFamily());
        AssemblyState& s = *session.state;
        s.ChipImage[0] = 0x8123;
        s.ClockFrequency = 777;
        s.AddressLine[0] = 9;
        s.BreakAddress = 4;
        const Image before = s.ChipImage;
        Prepare(s, cod);
        EXPECT_EQ(s.ErrorFlag, 1);
        EXPECT_STREQ(s.ErrorMessage, r.message);
        EXPECT_EQ(s.ChipImage, before);
        EXPECT_EQ(s.ClockFrequency, 777u);
        EXPECT_EQ(s.AddressLine[0], 9);
        EXPECT_EQ(s.BreakAddress, 4);
    }
}

TEST(SxcLoader, EmptyRangesAreAllowed) {
    // last < first means no memory map and no line table: every program
    // word is discarded and no address has a line.
    SxcProgram p;
    p.words[0] = 0x123;
    test::ImageSession session(Sx28lFamily());
    AssemblyState& s = *session.state;
    Prepare(s, test::BuildCod(p));
    ASSERT_EQ(s.ErrorFlag, 0);
    EXPECT_EQ(s.ChipImage[0], 0x0FFF);
    EXPECT_EQ(s.AddressLine[0], -1);
}

TEST(SxcLoader, FilesThatDoNotFit) {
    TempDir dir;
    SxcProgram p = SmallProgram();
    ASSERT_TRUE(test::WriteSxcFixture(dir.path() + "/prog", p));
    std::string cod = test::BuildCod(p);

    // A list buffer one byte too small for the .cod file.
    test::ImageSession small(Sx28lFamily(), std::uint32_t(cod.size()));
    small.state->ChipImage[0] = 0x8555;
    std::string message;
    EXPECT_FALSE(LoadFile(*small.state, dir.path() + "/prog.cod", message));
    EXPECT_EQ(small.state->ListLength, 0u);
    EXPECT_NE(message.find("too large"), std::string::npos) << message;
    EXPECT_FALSE(SXCLoad(*small.state, dir.path() + "/prog", message));
    EXPECT_EQ(small.state->ChipImage[0], 0x8555);

    // Just big enough.
    test::ImageSession exact(Sx28lFamily(), std::uint32_t(cod.size() + 1));
    EXPECT_TRUE(LoadFile(*exact.state, dir.path() + "/prog.cod", message)) << message;
    EXPECT_EQ(exact.state->ListLength, cod.size());

    // A missing listing stops the load before the image is touched.
    test::ImageSession session(Sx28lFamily());
    session.state->ChipImage[0] = 0x8555;
    ASSERT_EQ(::unlink((dir.path() + "/prog.lst").c_str()), 0);
    EXPECT_FALSE(SXCLoad(*session.state, dir.path() + "/prog", message));
    EXPECT_NE(message.find("prog.lst"), std::string::npos) << message;
    EXPECT_EQ(session.state->ChipImage[0], 0x8555);
    EXPECT_FALSE(LoadFile(*session.state, dir.path() + "/missing.cod", message));
}

}  // namespace
}  // namespace korvid
