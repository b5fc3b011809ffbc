// The debug kernel: the monitor that in-circuit debugging places at the top
// of the last page, and its two replaceable parts. The words are assembled
// from core/image/kernel/*.src (a test assembles the sources and compares).
#pragma once

#include <cstdint>

namespace korvid {

inline constexpr int kKernelWords = 136;
inline constexpr int kKernelPageOffset = 0x177;  // first kernel word in its page
inline constexpr int kKernelEntryWord = 12;      // entry from the kernel stub (offset 0x183)

// The kernel's first word (page offset 0x177 of the last page), where a
// debugger's Reset sends the halted chip.
constexpr std::uint32_t KernelStartAddress(int programSize) {
    return static_cast<std::uint32_t>(programSize - 512 + kKernelPageOffset);
}

// Bit delay: words 33..44; the 8-bit form keeps its count in word 38 and its
// fine trim in word 43, the 16-bit form its complemented count in words 33
// (low byte) and 35 (high byte).
inline constexpr int kKernelDelayWord = 33;
inline constexpr int kKernelDelayWords = 12;
inline constexpr int kKernelCountWord = 38;
inline constexpr int kKernelTrimWord = 43;
inline constexpr int kKernelDelayLowWord = 33;
inline constexpr int kKernelDelayHighWord = 35;

// Bank walk step that differs by family.
inline constexpr int kKernelFamilyWord = 75;

// Byte receiver: words 81..99, replaced in turbo mode.
inline constexpr int kKernelReceiveWord = 81;
inline constexpr int kKernelReceiveWords = 19;

// The program's own reset jump goes here (placeholder JMP 0).
inline constexpr int kKernelResetWord = 134;

// Kernel stub placed in the first page: PAGE 7, JMP to the kernel entry.
inline constexpr std::uint16_t kStubPage = 0x017;
inline constexpr std::uint16_t kStubJump = 0xA00 | (kKernelPageOffset + kKernelEntryWord);

// DebugKernel.src (word 75 as on parts with a banked FSR).
extern const std::uint16_t kDebugKernel[kKernelWords];
// KernelDelay16.src.
extern const std::uint16_t kKernelDelay16[kKernelDelayWords];
// KernelReceiveTurbo.src.
extern const std::uint16_t kKernelReceiveTurbo[kKernelReceiveWords];

}  // namespace korvid
