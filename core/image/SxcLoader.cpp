#include "core/image/SxcLoader.h"

#include <algorithm>

#include "core/image/FileIo.h"

namespace korvid {

const char* const kSxcNoDirectoryMessage = "The .cod file is too short to hold its directory";
const char* const kSxcCodeOutsideMessage = "A code block of the .cod file lies outside the file";
const char* const kSxcMapOutsideMessage = "The memory map of the .cod file lies outside the file";
const char* const kSxcLinesOutsideMessage = "The line table of the .cod file lies outside the file";
const char* const kSxcTooManyLinesMessage = "The listing has more than 25000 lines";

namespace {

// Directory layout (block 0).
constexpr int kCodeRanges = 17;  // j = 0..16: word addresses j*256 .. j*256+255
constexpr std::uint32_t kFirstLineBlock = 0x1B2;
constexpr std::uint32_t kLastLineBlock = 0x1B4;
constexpr std::uint32_t kFirstMapBlock = 0x1BB;
constexpr std::uint32_t kLastMapBlock = 0x1BD;

constexpr int kMapEntries = 128;   // 4 bytes each
constexpr int kLineEntries = 85;   // 6 bytes each

// Addresses of range 16.
constexpr std::uint32_t kFuseAddress = 0x1010;
constexpr std::uint32_t kExtFuseAddress = 0x1011;
constexpr std::uint32_t kFrequencyLowAddress = 0x1012;
constexpr std::uint32_t kFrequencyHighAddress = 0x1013;

class CodFile {
public:
    explicit CodFile(const AssemblyState& s)
        : bytes_(reinterpret_cast<const std::uint8_t*>(s.ListText)),
          length_(s.ListText ? std::min(s.ListLength, s.ListCapacity) : 0) {}

    std::uint32_t Length() const { return length_; }
    std::uint8_t Byte(std::uint32_t at) const { return bytes_[at]; }
    std::uint16_t Word(std::uint32_t at) const { return std::uint16_t(bytes_[at] | (bytes_[at + 1] << 8)); }
    // True when block `block` lies whole inside the file.
    bool HasBlock(std::uint32_t block) const {
        return std::uint64_t(block) * kSxcBlockSize + kSxcBlockSize <= length_;
    }
    std::uint32_t BlockStart(std::uint32_t block) const { return block * kSxcBlockSize; }
    std::uint16_t CodeBlock(int range) const { return Word(std::uint32_t(2 * range)); }

    // A block range first..last is empty when last < first; otherwise every
    // block must be inside the file.
    bool RangeInside(std::uint32_t firstAt, std::uint32_t lastAt) const {
        std::uint32_t first = Byte(firstAt), last = Byte(lastAt);
        return last < first || HasBlock(last);
    }

private:
    const std::uint8_t* bytes_;
    std::uint32_t length_;
};

const char* Validate(const CodFile& cod) {
    if (!cod.HasBlock(0)) return kSxcNoDirectoryMessage;
    for (int j = 0; j < kCodeRanges; ++j) {
        std::uint16_t block = cod.CodeBlock(j);
        if (block != 0 && !cod.HasBlock(block)) return kSxcCodeOutsideMessage;
    }
    if (!cod.RangeInside(kFirstMapBlock, kLastMapBlock)) return kSxcMapOutsideMessage;
    if (!cod.RangeInside(kFirstLineBlock, kLastLineBlock)) return kSxcLinesOutsideMessage;
    return nullptr;
}

void LoadCode(AssemblyState& state, const CodFile& cod) {
    for (int j = 0; j < kCodeRanges; ++j) {
        std::uint16_t block = cod.CodeBlock(j);
        if (block == 0) continue;
        std::uint32_t base = cod.BlockStart(block);
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t a = std::uint32_t(j) * 256 + i;
            std::uint16_t v = cod.Word(base + 2 * i);
            if (a < kFuseAddress) {
                state.ChipImage[a] = v & kWordMask;  // program and ID words
            } else if (a == kFuseAddress) {
                state.ChipImage[kFuseIndex] = v & kWordMask;
            } else if (a == kExtFuseAddress) {
                state.ChipImage[kExtFuseIndex] = v & kWordMask;
            } else if (a == kFrequencyLowAddress) {
                state.ClockFrequency = (state.ClockFrequency & 0xFFFF0000u) | v;
            } else if (a == kFrequencyHighAddress) {
                state.ClockFrequency = (state.ClockFrequency & 0x0000FFFFu) | (std::uint32_t(v) << 16);
            }
        }
    }
    // The clock frequency is a signed value in the file.
    std::int32_t f = std::int32_t(state.ClockFrequency);
    if (f < std::int32_t(kSxcMinFrequency)) f = std::int32_t(kSxcMinFrequency);
    if (f > std::int32_t(kSxcMaxFrequency)) f = std::int32_t(kSxcMaxFrequency);
    state.ClockFrequency = std::uint32_t(f);
}

// Keeps only the words that the memory map marks as code.
void ApplyMemoryMap(AssemblyState& state, const CodFile& cod) {
    for (int a = 0; a < kProgramWords; ++a) state.ChipImage[std::size_t(a)] &= std::uint16_t(~kDataFlag);
    std::uint32_t first = cod.Byte(kFirstMapBlock), last = cod.Byte(kLastMapBlock);
    for (std::uint32_t block = first; block <= last; ++block) {
        std::uint32_t base = cod.BlockStart(block);
        for (int e = 0; e < kMapEntries; ++e) {
            std::uint32_t start = cod.Word(base + 4u * std::uint32_t(e)) / 2u;
            std::uint32_t end = cod.Word(base + 4u * std::uint32_t(e) + 2) / 2u;
            if ((start == 0 && end == 0) || end < start) continue;
            for (std::uint32_t a = start; a <= end && a < std::uint32_t(kProgramWords); ++a)
                state.ChipImage[a] |= kDataFlag;
        }
    }
    for (int a = 0; a < kProgramWords; ++a)
        if (!(state.ChipImage[std::size_t(a)] & kDataFlag)) state.ChipImage[std::size_t(a)] = 0x0FFF;
}

// Maps each code address to the listing line that produced it.
void ApplyLineTable(AssemblyState& state, const CodFile& cod) {
    state.AddressLine.fill(-1);
    std::uint32_t first = cod.Byte(kFirstLineBlock), last = cod.Byte(kLastLineBlock);
    std::uint64_t line = 0;  // cannot overflow: at most 255 * 85 steps of 65535
    for (std::uint32_t block = first; block <= last; ++block) {
        std::uint32_t base = cod.BlockStart(block);
        for (int e = 0; e < kLineEntries; ++e) {
            std::uint32_t entry = base + 6u * std::uint32_t(e);
            std::uint8_t flags = cod.Byte(entry + 1);
            std::uint16_t value = cod.Word(entry + 4);
            // Addresses past the program memory and lines past the list-line
            // table cannot be shown: such entries are skipped.
            if ((flags & 0x1C) == 0 && value < kProgramWords && line < std::uint64_t(kMaxListLines))
                state.AddressLine[value] = std::int32_t(line);
            if ((flags & 0x04) == 0) line += 1;
            if (flags == 0xFF) line += value;
        }
    }
}

bool FileFits(const AssemblyState& state, const std::string& path, std::string& message) {
    const FileStatus st = StatusOf(path);
    if (!st.exists) {
        message = "cannot open " + path;
        return false;
    }
    if (st.folder) {
        message = path + " is a directory";
        return false;
    }
    if (state.ListCapacity == 0 || st.size > std::uint64_t(state.ListCapacity) - 1) {
        message = path + " is too large (" + std::to_string(st.size) + " bytes; at most " +
                  std::to_string(state.ListCapacity ? state.ListCapacity - 1 : 0) + ")";
        return false;
    }
    return true;
}

}  // namespace

bool LoadFile(AssemblyState& state, const std::string& path, std::string& message) {
    state.ListLength = 0;
    std::size_t length = 0;
    std::string reason;
    ReadResult r = state.ListText ? ReadFileWhole(path, state.ListText, state.ListCapacity, length, &reason)
                                  : ReadResult::TooLarge;
    switch (r) {
        case ReadResult::Ok:
            state.ListLength = std::uint32_t(length);
            return true;
        case ReadResult::CannotOpen: message = "cannot open " + path + ": " + reason; break;
        case ReadResult::TooLarge:
            message = path + " is too large (at most " +
                      std::to_string(state.ListCapacity ? state.ListCapacity - 1 : 0) + " bytes)";
            break;
        case ReadResult::ReadError: message = "cannot read " + path + ": " + reason; break;
    }
    return false;
}

void PrepareEEPROM(AssemblyState& state) {
    state.ErrorFlag = 1;
    CodFile cod(state);
    if (const char* problem = Validate(cod)) {
        state.ErrorMessage = problem;
        return;
    }
    state.ClockFrequency = kDefaultClockFrequency;
    state.BreakAddress = kNoBreak;
    state.WatchCount = 0;
    LoadCode(state, cod);
    ApplyMemoryMap(state, cod);
    ApplyLineTable(state, cod);
    state.ErrorFlag = 0;
}

void PrepareList(AssemblyState& state) {
    state.ErrorFlag = 1;
    state.ListLineCount = 0;
    std::uint32_t start = 0;
    const std::uint32_t length = state.ListText ? std::min(state.ListLength, state.ListCapacity) : 0;
    for (std::uint32_t p = 0; p < length; ++p) {
        char c = state.ListText[p];
        if (c == '\n') {
            start = p + 1;
        } else if (c == '\r') {
            if (state.ListLineCount == std::uint32_t(kMaxListLines)) {
                state.ErrorMessage = kSxcTooManyLinesMessage;
                return;
            }
            state.ListLineOffset[state.ListLineCount++] = start;
        }
    }
    state.ErrorFlag = 0;
}

bool SXCLoad(AssemblyState& state, const std::string& baseName, std::string& message) {
    const std::string cod = baseName + ".cod", lst = baseName + ".lst";
    if (!FileFits(state, cod, message) || !FileFits(state, lst, message)) return false;
    if (!LoadFile(state, cod, message)) return false;
    PrepareEEPROM(state);
    if (state.ErrorFlag) {
        message = cod + ": " + state.ErrorMessage;
        return false;
    }
    if (!LoadFile(state, lst, message)) return false;
    PrepareList(state);
    if (state.ErrorFlag) {
        message = lst + ": " + state.ErrorMessage;
        return false;
    }
    return true;
}

}  // namespace korvid
