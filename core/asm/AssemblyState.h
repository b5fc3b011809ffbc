// The assembly state: the one record of the assembler core, shared by
// reference with every other subsystem (editor, device window, link,
// debugger). Field names and widths are the documented ones; other areas
// reach them by these names.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/asm/Dialect.h"
#include "family/Family.h"
#include "family/Layout.h"

namespace korvid {

// Layout of the chip image and the device image (16-bit words).
inline constexpr int kProgramWords = 4096;
inline constexpr int kIdWords = 16;
inline constexpr int kIdBase = 4096;        // first ID word
inline constexpr int kFuseIndex = 4112;     // fuse word
inline constexpr int kExtFuseIndex = 4113;  // extended fuse word
inline constexpr int kImageWords = 4114;
inline constexpr std::uint16_t kDataFlag = 0x8000;  // contains-data flag
inline constexpr std::uint16_t kWordMask = 0x0FFF;  // 12-bit value

inline constexpr int kMaxListLines = 25000;
inline constexpr int kMaxWatches = 32;
inline constexpr std::uint16_t kNoBreak = 0x1000;
inline constexpr std::uint32_t kDefaultClockFrequency = 50000000;
inline constexpr std::uint32_t kDefaultListCapacity = 500000;

using Image = std::array<std::uint16_t, kImageWords>;

// IRC calibration modes of a programming run, in the order the Configure
// window lists them: trim 7, the trim measured nearest 4 MHz, trim 0.
enum class IrcMode : std::uint8_t { Slowest = 0, FourMhz = 1, Fastest = 2 };

// Watch formats, in their numeric order.
enum WatchFormat : std::uint8_t { UDEC, SDEC, UHEX, SHEX, UBIN, SBIN, FSTR, ZSTR };

struct Watch {
    std::uint16_t address = 0;   // bits 0..10 used
    std::uint8_t bitCount = 0;   // 1..32
    std::uint8_t format = 0;     // WatchFormat
    char name[33] = {};          // source text of the address expression
};

// Working fields of the assembler that no other subsystem reads (symbol
// table, scanner, macro frames, ...). Defined in core/asm/AsmWork.h.
struct AsmWork;

struct AssemblyState {
    explicit AssemblyState(const Family& family);
    ~AssemblyState();
    AssemblyState(const AssemblyState&) = delete;
    AssemblyState& operator=(const AssemblyState&) = delete;

    std::uint8_t ErrorFlag = 0;
    const char* ErrorMessage = "";
    const char* SourceText = nullptr;
    std::uint32_t ErrorStart = 0;
    std::uint32_t ErrorEnd = 0;
    char* ListText = nullptr;
    std::uint32_t ListCapacity = 0;
    std::uint32_t ListLength = 0;
    std::array<std::uint32_t, kMaxListLines> ListLineSource{};
    std::array<std::uint32_t, kMaxListLines> ListLineOffset{};
    std::array<std::int32_t, kProgramWords> AddressLine{};
    std::uint32_t ListLineCount = 0;
    std::uint16_t BreakAddress = kNoBreak;
    std::uint32_t WatchCount = 0;
    std::array<Watch, kMaxWatches> Watches{};
    std::uint32_t ClockFrequency = kDefaultClockFrequency;
    Image ChipImage{};
    Image DeviceImage{};

    // The dialect the next assembly reads (strict unless chosen).
    Dialect dialect = Dialect::Strict;
    // Whether the next assembly writes the list text and its line maps. A
    // caller that wants only the image and the error (the command line's
    // assembly without a listing file, the language server) clears it:
    // then no listing limit applies, ListLength and ListLineCount stay 0
    // and AddressLine -1. The windows always list.
    bool ListWanted = true;
    // The IRC calibration the last successful assembly's source chose with
    // IRC_CAL, for programming its device image; unset (also after a hex
    // file is loaded) the programming tool's own setting holds.
    std::optional<IrcMode> IrcCalibration;

    // The family this state was made for (fixed for the life of the state).
    const Family* family;

    // Assembler working fields; allocated with the state, never during an
    // assembly.
    std::unique_ptr<AsmWork> work;
};

// Fills an image with the blank words of the family: program and ID words
// 0x0FFF, fuse word 0x0FFA, extended fuse word per family; no data flags.
void BlankImage(Image& image, const Family& family);

// Called once by the main window: blanks the chip image and returns the one
// process-wide assembly state of the given family.
AssemblyState& InitCore(const Family& family);

// Program size of the target from an extended fuse word (LayoutOf).
int ProgramSize(const Family& family, std::uint16_t extFuse);

}  // namespace korvid
