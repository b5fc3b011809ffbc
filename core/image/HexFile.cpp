#include "core/image/HexFile.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <string_view>

#include "core/image/FileIo.h"

namespace korvid {

const char* const kHexViolationMessage = "ERROR! Hex violation was encountered in file.";
const char* const kHexRecordTypeMessage = "ERROR! Unsupported record type in hex file.";
const char* const kHexRangeMessage = "ERROR! Hex file places data outside the chip's address range.";
const char* const kFuseAbsentMessage =
    "WARNING! Fuse data was absent from hex file.\r\nPlease set oscillator and confirm other settings.";

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Word addresses of the records and of the PIC16C5x conventions.
constexpr std::uint32_t kIdWordAddress = 0x1000;
constexpr std::uint32_t kFuseWordAddress = 0x1010;
constexpr std::uint32_t kLastImageAddress = 0x1011;
constexpr std::uint32_t kPicConfigAtTop = 0x0FFF;
constexpr std::uint32_t kPicIdFirst = 0x2000;
constexpr std::uint32_t kPicIdLast = 0x2003;
constexpr std::uint32_t kPicConfigWord = 0x2007;
constexpr std::uint32_t kPicDeviceCode = 0x7FFF;

struct DeviceCode {
    std::uint16_t code;
    std::uint16_t extFuse;
};
// PIC16C5x device codes (full 16-bit word at 0x7FFF) and the extended fuse
// word that gives the same memory size and package.
constexpr DeviceCode kDeviceCodes[] = {
    {0x0054, 0x0BFC}, {0x054A, 0x0BFC}, {0x0055, 0x0FFC}, {0x0056, 0x0BFD},
    {0x0057, 0x0FFE}, {0x0058, 0x0BFE}, {0x058A, 0x0BFE},
};

class HexWriter {
public:
    explicit HexWriter(char* out) : out_(out) {}
    void Byte(unsigned b) {
        out_[length_++] = kHexDigits[(b >> 4) & 0xF];
        out_[length_++] = kHexDigits[b & 0xF];
        sum_ += b;
    }
    // One data record of `count` image words starting at `wordAddress`.
    void Record(const std::uint16_t* words, unsigned count, unsigned wordAddress) {
        out_[length_++] = ':';
        sum_ = 0;
        unsigned byteAddress = wordAddress * 2;
        Byte(count * 2);
        Byte((byteAddress >> 8) & 0xFF);
        Byte(byteAddress & 0xFF);
        Byte(0x00);
        for (unsigned i = 0; i < count; ++i) {
            Byte(words[i] & 0xFF);
            Byte((words[i] >> 8) & 0x0F);
        }
        Byte((0x100 - (sum_ & 0xFF)) & 0xFF);
        EndLine();
    }
    void Text(std::string_view s) {
        for (char c : s) out_[length_++] = c;
    }
    void EndLine() { Text("\r\n"); }
    std::uint32_t Length() const { return length_; }

private:
    char* out_;
    std::uint32_t length_ = 0;
    unsigned sum_ = 0;
};

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Forward-only reader over the NUL-terminated hex text.
class HexReader {
public:
    explicit HexReader(const char* text) : p_(reinterpret_cast<const unsigned char*>(text)) {}
    // Skips to just past the next ':'; false at the NUL.
    bool NextRecord() {
        while (*p_ != ':') {
            if (*p_ == 0) return false;
            ++p_;
        }
        ++p_;
        sum_ = 0;
        return true;
    }
    // Two hex digits; false on anything else (the NUL included).
    bool Byte(unsigned& value) {
        int hi = HexValue(p_[0]);
        if (hi < 0) return false;
        int lo = HexValue(p_[1]);
        if (lo < 0) return false;
        p_ += 2;
        value = unsigned(hi * 16 + lo);
        sum_ += value;
        return true;
    }
    bool SumIsZero() const { return (sum_ & 0xFF) == 0; }
    // A record ends at its checksum: a digit right after it means the byte
    // count is shorter than the record.
    bool EndsHere() const { return HexValue(p_[0]) < 0; }
    const unsigned char* Position() const { return p_; }

private:
    const unsigned char* p_;
    unsigned sum_ = 0;
};

void SetIdCharacter(Image& image, int index, unsigned char code) {
    image[kIdBase + 2 * index] = std::uint16_t(0x0FF0 | (code >> 4));
    image[kIdBase + 2 * index + 1] = std::uint16_t(0x0FF0 | (code & 0x0F));
}

unsigned char UpperHexDigit(unsigned value) { return static_cast<unsigned char>(kHexDigits[value & 0xF]); }

struct LoadFlags {
    bool fusePresent = false;
    bool topWord = false;
};

bool Erased(unsigned w) { return (w & kWordMask) == 0x0FFF; }

// Puts a word of the file into the image, or takes a PIC16C5x ID,
// configuration or device-code word; false when the address means nothing
// (the caller refuses such a word unless it is erased).
bool PlaceWord(Image& image, const Family& family, LoadFlags& flags, std::uint32_t a, unsigned w) {
    if (a <= kLastImageAddress) {
        image[a] = std::uint16_t(w & kWordMask);
        flags.fusePresent = (a == kLastImageAddress);
        flags.topWord = (a == kPicConfigAtTop);
        return true;
    }
    const bool picId = a >= kPicIdFirst && a <= kPicIdLast;
    if (!picId && a != kPicConfigWord && a != kPicDeviceCode) return false;
    if (!family.picHexFiles) return true;  // the PIC16C5x conventions mean nothing to the 52
    if (picId) {
        SetIdCharacter(image, int(a - kPicIdFirst), UpperHexDigit(w));
    } else if (a == kPicConfigWord) {
        // PIC oscillator modes LP, XT, HS, RC become Crystal - LP1,
        // Crystal - XT2, Crystal - HS3 and External RC.
        unsigned fuse = 0x0FF0 | (w & 0xF);
        static constexpr unsigned kOscillatorXor[4] = {0x20, 0x22, 0x00, 0x00};
        fuse ^= kOscillatorXor[w & 3];
        image[kFuseIndex] = std::uint16_t(fuse);
    } else if (a == kPicDeviceCode) {
        for (const DeviceCode& d : kDeviceCodes) {
            if (d.code == (w & 0xFFFF)) {
                image[kExtFuseIndex] = d.extFuse;
                flags.fusePresent = true;
                break;
            }
        }
    }
    return true;
}

bool AnyWordEquals(const Image& image, int count, std::uint16_t value) {
    for (int i = 0; i < count; ++i)
        if ((image[i] & kWordMask) == value) return true;
    return false;
}

// The configuration of a PIC16C5x file without fuse data: size from the
// reset vector at the top of memory, configuration from word 0xFFF or from
// the watchdog instruction, package from the port C direction write, ID
// from the four words after program memory.
void InferPicConfiguration(Image& image, const LoadFlags& flags) {
    int size = 512;
    if ((image[0x7FF] & kWordMask) != 0x0FFF) size = 2048;
    else if ((image[0x3FF] & kWordMask) != 0x0FFF) size = 1024;

    image[kFuseIndex] = std::uint16_t(0x0FF0 | (image[0xFFF] & 0xF));
    image[0xFFF] = 0x0FFF;
    if (!flags.topWord) image[kFuseIndex] = AnyWordEquals(image, size, 0x004) ? 0x0FF6 : 0x0FF2;

    std::uint16_t ext = size == 512 ? 0x0BFC : size == 1024 ? 0x0BFD : 0x0BFE;
    if (AnyWordEquals(image, size, 0x007)) ext |= 0x0400;
    image[kExtFuseIndex] = ext;

    for (int i = 0; i < 4; ++i) {
        SetIdCharacter(image, i, UpperHexDigit(image[size + i]));
        image[size + i] = 0x0FFF;
    }
}

// Contains-data flags after a load: every program word carries the flag
// except runs of two or more erased words.
void RebuildDataFlags(Image& image) {
    for (int k = 0; k < kProgramWords; ++k) image[k] |= kDataFlag;
    for (int k = kProgramWords - 1; k >= 1; --k) {
        if ((image[k - 1] & kWordMask) == 0x0FFF && (image[k] & kWordMask) == 0x0FFF) {
            image[k - 1] = 0x0FFF;
            image[k] = 0x0FFF;
        }
    }
}

}  // namespace

bool SaveHex(AssemblyState& state) {
    state.ListLength = 0;
    if (state.ListText == nullptr || state.ListCapacity < kMaxHexTextLength) return false;
    const Image& image = state.ChipImage;
    // The words written follow the memory code as 512 << code, which is not
    // the chip's program size (LayoutOf) for code 11: such a file carries
    // 4096 program words. This is the file's established form, so it stays;
    // the words past the program are written erased (whatever the image
    // holds there is not the chip's), and LoadHex accepts them as such, so
    // a round trip neither adds nor loses a word of the program.
    const Family& family = *state.family;
    const unsigned count =
        family.memoryFromExtFuse
            ? 512u << family.fuseValue(FuseField::MemoryCode, {image[kFuseIndex], image[kExtFuseIndex]})
            : family.maxProgramSize;
    const unsigned size = unsigned(ProgramSize(*state.family, image[kExtFuseIndex]));
    static constexpr std::uint16_t kErased[16] = {0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF,
                                                  0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF};
    HexWriter out(state.ListText);
    for (unsigned a = 0; a < count; a += 16) out.Record(a < size ? &image[a] : kErased, 16, a);
    out.Record(&image[kIdBase], 16, kIdWordAddress);
    out.Record(&image[kFuseIndex], 2, kFuseWordAddress);
    out.Text(":00000001FF");
    out.EndLine();
    state.ListLength = out.Length();
    return true;
}

void LoadHex(AssemblyState& state) {
    state.ErrorFlag = 1;
    const Family& family = *state.family;
    Image& image = state.DeviceImage;
    const Image before = image;
    BlankImage(image, family);
    LoadFlags flags;

    const char* text = state.ListText ? state.ListText : "";
    HexReader in(text);
    // Every error marks its record in ErrorStart/ErrorEnd. A violation keeps
    // what was placed before it; an error of the new kinds leaves the device
    // image as it was (the chip image is never touched).
    std::uint32_t recordAt = 0;
    auto mark = [&](const char* message) {
        state.ErrorMessage = message;
        state.ErrorStart = recordAt;
        std::uint32_t end = recordAt;
        while (text[end] && text[end] != '\r' && text[end] != '\n') ++end;
        state.ErrorEnd = end;
    };
    auto violation = [&] { mark(kHexViolationMessage); };
    auto refuse = [&](const char* message) {
        image = before;
        mark(message);
    };
    // The record each program word came from: whether a word lies past the
    // program is only known once the whole file gave the memory size.
    std::array<std::uint32_t, kProgramWords> wordRecord;
    // Byte offset set by extended linear (04) and segment (02) records.
    std::uint32_t base = 0;
    while (in.NextRecord()) {
        recordAt = std::uint32_t(reinterpret_cast<const char*>(in.Position()) - text - 1);
        unsigned count, high, low, type;
        if (!in.Byte(count) || (count & 1)) return violation();
        if (!in.Byte(high) || !in.Byte(low) || (low & 1)) return violation();
        if (!in.Byte(type)) return violation();
        if (type == 0x02 || type == 0x04 || type == 0x03 || type == 0x05) {
            unsigned value = 0, b;
            for (unsigned i = 0; i < count; ++i) {
                if (!in.Byte(b)) return violation();
                value = (value << 8) | b;
            }
            unsigned checksum;
            if (!in.Byte(checksum) || !in.SumIsZero() || !in.EndsHere()) return violation();
            if (type == 0x02 || type == 0x04) {
                if (count != 2) return violation();
                base = type == 0x04 ? std::uint32_t(value) << 16 : std::uint32_t(value) << 4;
            }
            continue;  // start addresses (03, 05) mean nothing to a chip image
        }
        if (type > 0x01) return refuse(kHexRecordTypeMessage);
        // 64 bits: a base near 4 GiB must not wrap round to low addresses.
        const std::uint64_t byteAddress = std::uint64_t(base) + ((high << 8) | low);
        if (byteAddress + count > 0x10000) return refuse(kHexRangeMessage);
        std::uint32_t a = std::uint32_t(byteAddress / 2);
        for (unsigned i = 0; i < count / 2; ++i, ++a) {
            unsigned lo, hi;
            if (!in.Byte(lo) || !in.Byte(hi)) return violation();
            const unsigned w = (hi << 8) | lo;
            if (!PlaceWord(image, family, flags, a, w) && !Erased(w)) return refuse(kHexRangeMessage);
            if (a < kProgramWords) wordRecord[a] = recordAt;
        }
        unsigned checksum;
        if (!in.Byte(checksum) || !in.SumIsZero() || !in.EndsHere()) return violation();
        if (type != 0x00) break;
    }

    const bool inferred = family.picHexFiles && !flags.fusePresent;
    if (inferred) InferPicConfiguration(image, flags);
    // Erased words past the program are the padding of files written for a
    // larger memory code; anything else would be lost.
    const int size = ProgramSize(family, image[kExtFuseIndex]);
    for (int k = size; k < kProgramWords; ++k) {
        if (Erased(image[k])) continue;
        recordAt = wordRecord[std::size_t(k)];
        return refuse(kHexRangeMessage);
    }
    for (int k = size; k < kProgramWords; ++k) image[k] = 0x0FFF;
    state.ErrorFlag = 0;
    state.IrcCalibration.reset();  // a hex file carries no IRC_CAL choice
    RebuildDataFlags(image);
    if (inferred) {
        state.ErrorFlag = 1;
        state.ErrorMessage = kFuseAbsentMessage;
    }
}

int HexErrorLine(const AssemblyState& state) {
    int line = 1;
    const char* text = state.ListText ? state.ListText : "";
    for (std::uint32_t i = 0; i < state.ErrorStart && text[i]; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n')) ++line;
    return line;
}

bool HexErrorNamesLine(const AssemblyState& state) {
    const char* m = state.ErrorMessage;
    return state.ErrorFlag != 0 && (m == kHexRecordTypeMessage || m == kHexRangeMessage);
}

std::string ForeignConfigNote(const AssemblyState& state) {
    const ConfigWords words{std::uint16_t(state.DeviceImage[kFuseIndex] & kWordMask),
                            std::uint16_t(state.DeviceImage[kExtFuseIndex] & kWordMask)};
    const Family& mine = *state.family;
    if (mine.fitsConfig(words)) return {};
    auto upper = [](std::string_view name) {
        std::string s(name);
        for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    char hex[40];
    std::snprintf(hex, sizeof hex, "FUSE %03X, FUSEX %03X", unsigned(words.fuse), unsigned(words.extFuse));
    std::string note = "The fuse words (" + std::string(hex) + ") cannot belong to the " + upper(mine.name) +
                       " family: bits that all its images hold set are clear";
    for (const Family* other : {&Sx28lFamily(), &Sx52Family()})
        if (other->id != mine.id && other->fitsConfig(words)) note += "; they fit the " + upper(other->name) + " family";
    return note + ".";
}

bool LoadHexFile(AssemblyState& state, const std::string& path, std::string& message) {
    std::size_t length = 0;
    std::string reason;
    ReadResult r = ReadFileWhole(path, state.ListText, state.ListCapacity, length, &reason);
    if (r == ReadResult::Ok) {
        LoadHex(state);
        return true;
    }
    state.ErrorFlag = 1;
    if (r == ReadResult::TooLarge)
        message = "File " + path + " is too large to be a hex file (at most " +
                  std::to_string(state.ListCapacity ? state.ListCapacity - 1 : 0) + " bytes)";
    else
        message = "Cannot read " + path + ": " + reason;
    // The buffer may hold part of the file; it must not be taken for hex text.
    if (state.ListText && state.ListCapacity) state.ListText[0] = '\0';
    return false;
}

bool SaveHexFile(AssemblyState& state, const std::string& path, std::string& message) {
    if (!SaveHex(state)) {
        message = "The list buffer is too small for the hex text";
        return false;
    }
    std::string reason;
    if (!WriteFileAtomically(path, std::string_view(state.ListText, state.ListLength), &reason)) {
        message = "Cannot write " + path + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace korvid
