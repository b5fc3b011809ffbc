#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/image/HexFile.h"
#include "tests/support/AllocCounter.h"

namespace korvid {
namespace {

// A state with its own list buffer, as the main window sets it up.
struct HexFixture {
    explicit HexFixture(const Family& f) : state(std::make_unique<AssemblyState>(f)), buffer(kDefaultListCapacity) {
        state->ListText = buffer.data();
        state->ListCapacity = kDefaultListCapacity;
    }
    std::string Save() {
        EXPECT_TRUE(SaveHex(*state));
        return std::string(state->ListText, state->ListLength);
    }
    void Load(const std::string& text) {
        std::copy(text.begin(), text.end(), buffer.begin());
        buffer[text.size()] = '\0';
        LoadHex(*state);
    }
    std::unique_ptr<AssemblyState> state;
    std::vector<char> buffer;
};

// One record ":LLAAAATT..CC" of 16-bit words (low byte first) with a
// correct checksum unless `checksumDelta` spoils it.
std::string Record(unsigned wordAddress, const std::vector<unsigned>& words, unsigned type = 0, int checksumDelta = 0) {
    std::vector<unsigned> bytes = {unsigned(words.size() * 2), (wordAddress * 2 >> 8) & 0xFF, (wordAddress * 2) & 0xFF,
                                   type};
    for (unsigned w : words) {
        bytes.push_back(w & 0xFF);
        bytes.push_back((w >> 8) & 0xFF);
    }
    unsigned sum = 0;
    for (unsigned b : bytes) sum += b;
    bytes.push_back((0x100 - (sum & 0xFF) + checksumDelta) & 0xFF);
    std::string s = ":";
    char hex[3];
    for (unsigned b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        s += hex;
    }
    return s + "\r\n";
}

const std::string kEnd = ":00000001FF\r\n";

TEST(SaveHex, RecordLayoutOfABlankImage) {
    HexFixture h(Sx28lFamily());
    std::string text = h.Save();
    // The blank 28L extended fuse word has memory bits 3, which SaveHex
    // counts as 512 << 3 words: 256 program records.
    std::string erased16 = ":20000000";
    for (int i = 0; i < 16; ++i) erased16 += "FF0F";
    erased16 += "00\r\n";
    EXPECT_EQ(text.substr(0, erased16.size()), erased16);
    EXPECT_NE(text.find(":04202000FA0FFF0BA9\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - kEnd.size()), kEnd);
    EXPECT_EQ(text.size(), 256u * 77 + 77 + 21 + 13);
}

TEST(SaveHex, ProgramRecordCountFollowsMemoryCode) {
    struct Case {
        const Family* family;
        std::uint16_t ext;
        std::size_t records;
    } cases[] = {
        {&Sx28lFamily(), 0x0BFC, 32},  {&Sx28lFamily(), 0x0BFD, 64},  {&Sx28lFamily(), 0x0BFE, 128},
        {&Sx28lFamily(), 0x0BFF, 256}, {&Sx52Family(), 0x0FFC, 256},
    };
    for (const Case& c : cases) {
        HexFixture h(*c.family);
        h.state->ChipImage[kExtFuseIndex] = c.ext;
        std::string text = h.Save();
        std::size_t records = 0;
        for (std::size_t p = 0; (p = text.find(':', p)) != std::string::npos; ++p) ++records;
        EXPECT_EQ(records - 3, c.records) << std::hex << c.ext;
    }
}

TEST(SaveHex, LargestTextFitsItsBound) {
    HexFixture h(Sx52Family());
    EXPECT_EQ(h.Save().size(), kMaxHexTextLength);
}

TEST(LoadHex, RoundTripKeepsContentsAndRebuildsFlags) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        HexFixture h(*f);
        Image& chip = h.state->ChipImage;
        chip[0] = 0x0C05 | kDataFlag;
        chip[1] = 0x0FFF | kDataFlag;  // an isolated erased word is a real instruction
        chip[2] = 0x0A00 | kDataFlag;
        chip[0x7FF] = 0x0123 | kDataFlag;
        chip[kIdBase + 0] = 0x0FF4;
        chip[kIdBase + 1] = 0x0FF1;
        chip[kFuseIndex] = 0x07F9;
        chip[kExtFuseIndex] = f->is52() ? 0x0FDF : 0x0F7E;
        h.Load(h.Save());
        ASSERT_EQ(h.state->ErrorFlag, 0) << h.state->ErrorMessage;
        const Image& dev = h.state->DeviceImage;
        EXPECT_EQ(dev[0], 0x0C05 | kDataFlag);
        EXPECT_EQ(dev[1], 0x0FFF | kDataFlag);
        EXPECT_EQ(dev[2], 0x0A00 | kDataFlag);
        EXPECT_EQ(dev[3], 0x0FFF);  // erased run: no flag
        EXPECT_EQ(dev[0x7FF], 0x0123 | kDataFlag);
        EXPECT_EQ(dev[kIdBase + 0], 0x0FF4);
        EXPECT_EQ(dev[kIdBase + 1], 0x0FF1);
        EXPECT_EQ(dev[kFuseIndex], 0x07F9);
        EXPECT_EQ(dev[kExtFuseIndex], chip[kExtFuseIndex]);
    }
}

TEST(LoadHex, FullSizeSaveLoadsBackWithUpperHalfErased28L) {
    HexFixture h(Sx28lFamily());
    for (int a = 0; a < kProgramWords; ++a) h.state->ChipImage[a] = std::uint16_t(a & 0xFFF) | kDataFlag;
    h.state->ChipImage[kExtFuseIndex] = 0x0FFF;
    h.Load(h.Save());
    ASSERT_EQ(h.state->ErrorFlag, 0);
    EXPECT_EQ(h.state->DeviceImage[2047], 2047 | kDataFlag);
    EXPECT_EQ(h.state->DeviceImage[2048], 0x0FFF);
    EXPECT_EQ(h.state->DeviceImage[4095], 0x0FFF);
}

TEST(LoadHex, AcceptsLowerCaseCommentsAndNoEndRecord) {
    HexFixture upper(Sx52Family()), lower(Sx52Family());
    std::string text = Record(0, {0x0ABC, 0x0123}) + Record(0x1010, {0x0FFA, 0x0FFF});
    upper.Load(text + kEnd);
    std::string lowerText = "some comment\r\n\r\n";
    for (char c : text) lowerText += char(std::tolower(static_cast<unsigned char>(c)));
    lower.Load(lowerText);
    ASSERT_EQ(upper.state->ErrorFlag, 0);
    ASSERT_EQ(lower.state->ErrorFlag, 0);
    EXPECT_EQ(upper.state->DeviceImage, lower.state->DeviceImage);
    EXPECT_EQ(lower.state->DeviceImage[0], 0x0ABC | kDataFlag);
}

TEST(LoadHex, ImageFromAFileCarriesNoIrcChoice) {
    HexFixture h(Sx28lFamily());
    h.state->IrcCalibration = IrcMode::FourMhz;  // from an earlier assembly
    const std::string text = h.Save();
    h.Load(text.substr(0, 12));  // rejected: the assembled image and its choice stay
    EXPECT_EQ(h.state->IrcCalibration, IrcMode::FourMhz);
    h.Load(text);
    ASSERT_EQ(h.state->ErrorFlag, 0) << h.state->ErrorMessage;
    EXPECT_FALSE(h.state->IrcCalibration.has_value());
}

TEST(LoadHex, Violations) {
    const std::string good = Record(0, {0x0111, 0x0222});
    std::string oddCount = good;
    oddCount.replace(1, 2, "03");
    std::string oddAddress = Record(0, {0x0111});
    oddAddress.replace(3, 4, "0001");
    const std::string cases[] = {
        good.substr(0, 12),                      // text ends inside a record
        ":0G000000" + good.substr(9),            // not a hex digit
        oddCount,                                // odd byte count
        oddAddress,                              // odd byte address
        Record(0, {0x0111, 0x0222}, 0, 1),       // checksum
        // A byte count shorter than the record, its checksum right for the count.
        Record(0, {0x0111}).insert(15, "2202"),
    };
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        for (const std::string& text : cases) {
            HexFixture h(*f);
            h.Load(Record(0x10, {0x0333}) + text + Record(0x20, {0x0444}));
            EXPECT_EQ(h.state->ErrorFlag, 1) << text;
            EXPECT_STREQ(h.state->ErrorMessage, kHexViolationMessage) << text;
            EXPECT_EQ(HexErrorLine(*h.state), 2) << text;
            // Words placed before the violation stay; nothing after it is read.
            EXPECT_EQ(h.state->DeviceImage[0x10], 0x0333) << text;
            EXPECT_EQ(h.state->DeviceImage[0x20], 0x0FFF) << text;
        }
    }
}

TEST(LoadHex, ChecksumFailureStillPlacedTheRecordsWords) {
    HexFixture h(Sx52Family());
    h.Load(Record(0, {0x0111, 0x0222}, 0, 1));
    EXPECT_EQ(h.state->ErrorFlag, 1);
    EXPECT_EQ(h.state->DeviceImage[1], 0x0222);
}

TEST(LoadHex, OtherRecordTypeEndsTheParseAfterItsData) {
    HexFixture h(Sx52Family());
    h.Load(Record(0, {0x0111}) + Record(1, {0x0222}, 0x01) + Record(2, {0x0333}) + kEnd);
    ASSERT_EQ(h.state->ErrorFlag, 0);
    EXPECT_EQ(h.state->DeviceImage[1] & kWordMask, 0x0222);
    EXPECT_EQ(h.state->DeviceImage[2] & kWordMask, 0x0FFF);
}

TEST(LoadHex, AddressAndStartRecords) {
    const std::string zeroLinear = ":020000040000FA\r\n", zeroSegment = ":020000020000FC\r\n";
    const std::string start = ":0400000300000000F9\r\n", linearStart = ":0400000500000000F7\r\n";
    HexFixture h(Sx52Family());
    h.Load(zeroLinear + Record(0, {0x0111}) + zeroSegment + start + linearStart + Record(1, {0x0222}) + kEnd);
    ASSERT_EQ(h.state->ErrorFlag, 0) << h.state->ErrorMessage;
    EXPECT_EQ(h.state->DeviceImage[0] & kWordMask, 0x0111);
    EXPECT_EQ(h.state->DeviceImage[1] & kWordMask, 0x0222);

    struct Case {
        std::string record;
        const char* message;
    } errors[] = {
        {":020000040001F9\r\n", kHexRangeMessage},  // linear base 0x10000
        {":020000021000EC\r\n", kHexRangeMessage},  // segment base 0x10000
        {":0200000600F008\r\n", kHexRecordTypeMessage},
    };
    for (const Case& c : errors) {
        HexFixture e(Sx52Family());
        e.state->DeviceImage.fill(0x0123);
        const Image device = e.state->DeviceImage, chip = e.state->ChipImage;
        e.Load(Record(0, {0x0111}) + "\r\n" + c.record + Record(1, {0x0222}) + kEnd);
        EXPECT_EQ(e.state->ErrorFlag, 1) << c.record;
        EXPECT_STREQ(e.state->ErrorMessage, c.message) << c.record;
        EXPECT_EQ(e.state->DeviceImage, device) << c.record;
        EXPECT_EQ(e.state->ChipImage, chip) << c.record;
        // The record named: type errors at their own line, range errors at
        // the data they would have moved.
        EXPECT_EQ(HexErrorLine(*e.state), c.message == kHexRangeMessage ? 4 : 3) << c.record;
    }
}

TEST(LoadHex, StartsFromAResetImage) {
    HexFixture h(Sx28lFamily());
    h.state->DeviceImage.fill(0x0123);
    const Image chipBefore = h.state->ChipImage;
    h.Load(Record(0x1010, {0x0FFA, 0x0BFF}) + kEnd);
    ASSERT_EQ(h.state->ErrorFlag, 0);
    EXPECT_EQ(h.state->DeviceImage[5], 0x0FFF);
    EXPECT_EQ(h.state->DeviceImage[kIdBase], 0x0FFF);
    EXPECT_EQ(h.state->ChipImage, chipBefore);
}

TEST(LoadHex, FuseDataCountsOnlyWhenTheConfigurationRecordComesLast28L) {
    const std::string program = Record(0, {0x0C01, 0x0002});
    const std::string config = Record(0x1010, {0x0FF9, 0x0BFE});
    HexFixture last(Sx28lFamily()), first(Sx28lFamily());
    last.Load(program + config + kEnd);
    EXPECT_EQ(last.state->ErrorFlag, 0);
    EXPECT_EQ(last.state->DeviceImage[kFuseIndex], 0x0FF9);
    first.Load(config + program + kEnd);
    EXPECT_EQ(first.state->ErrorFlag, 1);
    EXPECT_STREQ(first.state->ErrorMessage, kFuseAbsentMessage);
    EXPECT_EQ(first.state->ErrorMessage[0], 'W');
    // 52 has no inference: the same file loads without a warning.
    HexFixture f52(Sx52Family());
    f52.Load(config + program + kEnd);
    EXPECT_EQ(f52.state->ErrorFlag, 0);
}

TEST(LoadHex, Pic16C56ImageIsInferred) {
    // Program at 0, reset vector at 0x3FF, configuration word at 0xFFF.
    HexFixture h(Sx28lFamily());
    h.Load(Record(0, {0x0C0A, 0x0004}) + Record(0x3FF, {0x0A00}) + Record(0xFFF, {0x000D}) + kEnd);
    EXPECT_EQ(h.state->ErrorFlag, 1);
    EXPECT_STREQ(h.state->ErrorMessage, kFuseAbsentMessage);
    const Image& d = h.state->DeviceImage;
    EXPECT_EQ(d[kExtFuseIndex], 0x0BFD);
    EXPECT_EQ(d[kFuseIndex], 0x0FFD);  // configuration nibble, no oscillator translation
    EXPECT_EQ(d[0xFFF], 0x0FFF);
    EXPECT_EQ(d[0x3FF], 0x0A00 | kDataFlag);
    // The four erased words after program memory give an ID of "FFFF".
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d[kIdBase + 2 * i], 0x0FF4);
        EXPECT_EQ(d[kIdBase + 2 * i + 1], 0x0FF6);
    }
}

TEST(LoadHex, InferenceWithoutTopWordLooksForWatchdogAndPortC) {
    struct Case {
        std::vector<unsigned> program;
        std::uint16_t fuse, ext;
    } cases[] = {
        {{0x0C01, 0x0002}, 0x0FF2, 0x0BFC},
        {{0x0004, 0x0002}, 0x0FF6, 0x0BFC},
        {{0x0C01, 0x0007}, 0x0FF2, 0x0FFC},
    };
    for (const Case& c : cases) {
        HexFixture h(Sx28lFamily());
        h.Load(Record(0, c.program) + Record(0x200, {0x0001, 0x0002, 0x000A, 0x000F}) + kEnd);
        EXPECT_EQ(h.state->DeviceImage[kFuseIndex], c.fuse);
        EXPECT_EQ(h.state->DeviceImage[kExtFuseIndex], c.ext);
        // ID locations after the 512 words become characters "12AF".
        EXPECT_EQ(h.state->DeviceImage[kIdBase + 0], 0x0FF3);
        EXPECT_EQ(h.state->DeviceImage[kIdBase + 1], 0x0FF1);
        EXPECT_EQ(h.state->DeviceImage[kIdBase + 4], 0x0FF4);
        EXPECT_EQ(h.state->DeviceImage[kIdBase + 5], 0x0FF1);
        EXPECT_EQ(h.state->DeviceImage[0x200], 0x0FFF);
    }
}

TEST(LoadHex, PicDeviceCodeConfigurationWordAndId) {
    HexFixture h(Sx28lFamily());
    h.Load(Record(0, {0x0C01}) + Record(0x2000, {0x0004, 0x000B}) + Record(0x2007, {0x0FF1}) +
           Record(0x7FFF, {0x0057}) + kEnd);
    EXPECT_EQ(h.state->ErrorFlag, 0) << h.state->ErrorMessage;
    const Image& d = h.state->DeviceImage;
    EXPECT_EQ(d[kExtFuseIndex], 0x0FFE);
    EXPECT_EQ(d[kFuseIndex], 0x0FF1 ^ 0x22);  // XT becomes Crystal - XT2
    EXPECT_EQ(d[kIdBase + 0], 0x0FF3);      // '4'
    EXPECT_EQ(d[kIdBase + 1], 0x0FF4);
    EXPECT_EQ(d[kIdBase + 2], 0x0FF4);      // 'B'
    EXPECT_EQ(d[kIdBase + 3], 0x0FF2);
}

TEST(LoadHex, PicOscillatorTranslation) {
    const unsigned xorFor[4] = {0x20, 0x22, 0x00, 0x00};
    for (unsigned mode = 0; mode < 4; ++mode) {
        HexFixture h(Sx28lFamily());
        h.Load(Record(0x2007, {0x0FF8 | mode}) + Record(0x1011, {0x0BFE}) + kEnd);
        EXPECT_EQ(h.state->DeviceImage[kFuseIndex], (0x0FF8 | mode) ^ xorFor[mode]);
    }
}

TEST(LoadHex, UnknownDeviceCodeAndPicAddressesIn52AreIgnored) {
    HexFixture h28(Sx28lFamily());
    h28.Load(Record(0x7FFF, {0x0099}) + Record(0x1011, {0x0BFE}) + kEnd);
    EXPECT_EQ(h28.state->DeviceImage[kExtFuseIndex], 0x0BFE);
    HexFixture h52(Sx52Family());
    h52.Load(Record(0x2000, {0x0004}) + Record(0x2007, {0x0001}) + Record(0x7FFF, {0x0057}) + kEnd);
    EXPECT_EQ(h52.state->ErrorFlag, 0);
    EXPECT_EQ(h52.state->DeviceImage[kIdBase], 0x0FFF);
    EXPECT_EQ(h52.state->DeviceImage[kFuseIndex], 0x0FFA);
    EXPECT_EQ(h52.state->DeviceImage[kExtFuseIndex], 0x0FFF);
}

TEST(LoadHex, WordsBeyondMemorySizeAreErased28L) {
    HexFixture h(Sx28lFamily());
    h.Load(Record(0x300, {0x0123}) + Record(0x1010, {0x0FFA, 0x0BFC}) + kEnd);
    EXPECT_EQ(h.state->DeviceImage[0x300], 0x0FFF);
    EXPECT_STREQ(h.state->ErrorMessage, kHexRangeMessage);  // refused, not dropped
    EXPECT_EQ(HexErrorLine(*h.state), 1);
}

// Data where the chip has no word is refused naming its record; erased
// words there (the padding of a larger memory code) are not data.
TEST(LoadHex, DataOutsideTheChipIsRefusedAtItsLine) {
    const std::string fuse2048 = Record(0x1010, {0x0FFA, 0x0BFE});  // code 10: 2048 words
    struct Case {
        const Family* family;
        std::string text;
        int line;  // 0: loads
    } cases[] = {
        {&Sx28lFamily(), Record(0, {0x0C01}) + Record(0x900, {0x0123}) + fuse2048 + kEnd, 2},
        {&Sx28lFamily(), Record(0x900, {0x0FFF, 0xFFFF}) + fuse2048 + kEnd, 0},
        // Inferred 512-word PIC image: its ID words at 0x200 are taken, data after them is not.
        {&Sx28lFamily(), Record(0x1FF, {0x0A00}) + Record(0x200, {1, 2, 3, 4}) + kEnd, 0},
        {&Sx28lFamily(), Record(0x1FF, {0x0A00}) + Record(0x200, {1, 2, 3, 4, 5}) + kEnd, 2},
        {&Sx28lFamily(), Record(0, {0x0C01}) + Record(0x1800, {0x0001}) + fuse2048 + kEnd, 2},
        {&Sx28lFamily(), Record(0x2005, {0x0001}) + fuse2048 + kEnd, 1},
        {&Sx52Family(), Record(0, {0x0C01}) + "\r\n" + Record(0x1012, {0x0001}) + kEnd, 3},
        // A linear base of 0xFFFF0000 with data at 0xFFF0 would wrap round to 0.
        {&Sx52Family(), Record(0, {0x0C01}) + ":02000004FFFFFC\r\n" + Record(0x7FF8, std::vector<unsigned>(16, 0x123)) + kEnd, 3},
    };
    for (const Case& c : cases) {
        HexFixture h(*c.family);
        h.state->DeviceImage.fill(0x0456);
        const Image before = h.state->DeviceImage;
        h.Load(c.text);
        if (c.line == 0) {
            EXPECT_TRUE(h.state->ErrorFlag == 0 || h.state->ErrorMessage == kFuseAbsentMessage) << c.text;
            continue;
        }
        EXPECT_STREQ(h.state->ErrorMessage, kHexRangeMessage) << c.text;
        EXPECT_EQ(HexErrorLine(*h.state), c.line) << c.text;
        EXPECT_EQ(h.state->DeviceImage, before) << c.text;
    }
}

// A loaded file's fuse words are foreign when a bit all images of the
// running family hold set is clear; the note names the family they fit.
TEST(LoadHex, ForeignFuseWordsAreNamed) {
    const struct {
        const Family* family;
        std::vector<unsigned> words;  // fuse, extended fuse; empty: none in the file
        const char* note;             // empty: none
    } cases[] = {
        {&Sx52Family(), {0x7F9, 0xB7F},
         "The fuse words (FUSE 7F9, FUSEX B7F) cannot belong to the 52 family: bits that all its images hold set "
         "are clear; they fit the 28L family."},
        {&Sx28lFamily(), {0xFEA, 0xFFF}, "cannot belong to the 28L family: bits that all its images hold set are "
                                        "clear; they fit the 52 family."},
        {&Sx28lFamily(), {0x7FA, 0xFF3}, "cannot belong to the 28L family: bits that all its images hold set are "
                                        "clear."},
        {&Sx28lFamily(), {0x7F9, 0xB7F}, ""},
        {&Sx52Family(), {0xAEA, 0xB8C}, ""},
        {&Sx52Family(), {}, ""},   // blank words
        {&Sx28lFamily(), {}, ""},  // inferred from PIC conventions
    };
    for (const auto& c : cases) {
        HexFixture h(*c.family);
        std::string text = Record(0, {0xC05, 0xA00}) + Record(0x1FF, {0xA00});
        if (!c.words.empty()) text += Record(0x1010, c.words);
        h.Load(text + kEnd);
        ASSERT_TRUE(h.state->ErrorFlag == 0 || h.state->ErrorMessage[0] == 'W');
        const std::string note = ForeignConfigNote(*h.state);
        SCOPED_TRACE(note);
        if (*c.note == 0)
            EXPECT_EQ(note, "");
        else
            EXPECT_TRUE(note.size() >= std::strlen(c.note) &&
                        note.compare(note.size() - std::strlen(c.note), std::string::npos, c.note) == 0);
    }
}

TEST(HexCore, NoAllocation) {
    HexFixture h(Sx28lFamily());
    const std::string text = h.Save();
    test::AllocCounter counter;
    SaveHex(*h.state);
    LoadHex(*h.state);
    EXPECT_EQ(counter.Count(), 0u);
    EXPECT_EQ(h.state->ErrorFlag, 0);
}

class HexFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "korvid_hex_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string cmd = "mkdir -p '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string dir;
};

TEST_F(HexFileOnDisk, TooLargeOrUnreadableFileLeavesBothImagesUnchanged) {
    HexFixture h(Sx28lFamily());
    h.state->DeviceImage[7] = 0x0777;
    h.state->ChipImage[8] = 0x0888;
    const Image device = h.state->DeviceImage, chip = h.state->ChipImage;

    const std::string big = dir + "/big.sxh";
    {
        std::ofstream out(big, std::ios::binary);
        std::string record = Record(0, {0x0111});
        for (std::size_t n = 0; n * record.size() < kDefaultListCapacity + 10; ++n) out << record;
    }
    std::string message;
    EXPECT_FALSE(LoadHexFile(*h.state, big, message));
    EXPECT_NE(message.find("too large"), std::string::npos) << message;
    EXPECT_EQ(h.state->ErrorFlag, 1);
    EXPECT_EQ(h.state->DeviceImage, device);
    EXPECT_EQ(h.state->ChipImage, chip);

    message.clear();
    EXPECT_FALSE(LoadHexFile(*h.state, dir + "/missing.sxh", message));
    EXPECT_NE(message.find("missing.sxh"), std::string::npos);
    EXPECT_EQ(h.state->DeviceImage, device);
}

TEST_F(HexFileOnDisk, SaveThenLoadFile) {
    HexFixture h(Sx52Family());
    h.state->ChipImage[0] = 0x0ABC | kDataFlag;
    std::string message;
    const std::string path = dir + "/out.sxh";
    ASSERT_TRUE(SaveHexFile(*h.state, path, message)) << message;
    ASSERT_TRUE(LoadHexFile(*h.state, path, message)) << message;
    EXPECT_EQ(h.state->ErrorFlag, 0);
    EXPECT_EQ(h.state->DeviceImage[0], 0x0ABC | kDataFlag);
    // A failed save (no such folder) reports and writes nothing.
    EXPECT_FALSE(SaveHexFile(*h.state, dir + "/nofolder/out.sxh", message));
    EXPECT_NE(message.find("Cannot write"), std::string::npos);
}

}  // namespace
}  // namespace korvid
