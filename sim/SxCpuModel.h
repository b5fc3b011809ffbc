// Facts about the two CPU families that the emulator's source files share.
#pragma once

#include <cstdint>

#include "family/Family.h"

namespace korvid::sxcpu {

// STATUS bits.
constexpr std::uint8_t kC = 0x01, kDC = 0x02, kZ = 0x04, kPD = 0x08, kTO = 0x10;

// The CPU differences of the two families, as data (the mode mask, bank
// shift and port count are the family's: family/Family.h).
struct CpuModel {
    std::uint8_t resetMode;   // MODE after power-on
    std::uint8_t bankMask;    // FSR bits that BANK n writes
    std::uint8_t raPins;      // bonded RA pins
    bool linearRam;           // fr 10h..1Fh and indirect map to 256 bytes of linear RAM
    bool shadowMode;          // MODE saved and restored across an interrupt
    bool readWriteControl;    // MODE bit 4 selects write (1) or read (0) of port control
    bool timers;              // the multi-function timers T1 and T2 on ports B and C
    int pageBits;             // PA bits that RETP restores
    // Which port control registers exist, by port (RA..RE) and MODE low
    // nibble − 8 (bit i = index i: 0 CMP, 1 WKPND, 2 WKED, 3 WKEN, 4 ST,
    // 5 LVL, 6 PLP, 7 TRIS).
    std::uint8_t controls[5];
};

constexpr CpuModel kModel28{0x0F, 0xE0, 0x0F, false, false, false, false, 2, {0xE0, 0xFF, 0xF0, 0x00, 0x00}};
constexpr CpuModel kModel52{0x1F, 0x70, 0xFF, true, true, true, true, 3, {0xE0, 0xFF, 0xF0, 0xF0, 0xF0}};

inline const CpuModel& ModelOf(const Family& family) { return family.is52() ? kModel52 : kModel28; }
constexpr int kCmp = 0, kWkpnd = 1, kWked = 2, kWken = 3, kPlp = 6, kTris = 7;

// CMP_B: enable (0 = on), output to RB0 (0 = on), result (read-only).
constexpr std::uint8_t kCmpOff = 0x80, kCmpNoOutput = 0x40, kCmpResult = 0x01;
// Comparator pins on port B: output, − input, + input.
constexpr int kCmpOutPin = 0, kCmpMinusPin = 1, kCmpPlusPin = 2;

// The pins of the 52 family's timers T1 and T2.
struct TimerPins {
    int port;
    int capture1, capture2, output, event;
};
constexpr TimerPins kTimerPins[2] = {{1, 4, 5, 6, 7}, {2, 0, 1, 2, 3}};

// Timer control registers. CNTA: flags and interrupt enables.
constexpr std::uint8_t kCpf2 = 0x80, kCpf1 = 0x40, kCpie = 0x20, kOf = 0x10, kOie = 0x08, kCmf2 = 0x04,
                       kCmf1 = 0x02, kCmie = 0x01;
// CNTB: bit 7 RTCCOV (T1) / PORTRD (T2), capture edge (1 = rising), event
// edge (1 = rising), prescaler exponent in bits 4:2, mode in bits 1:0.
constexpr std::uint8_t kCntbBit7 = 0x80, kCpedg = 0x40, kExedg = 0x20;
enum TimerMode : int { kSoftwareTimer = 0, kPwm = 1, kCaptureCompare = 2, kExternalEvent = 3 };
inline int TimerModeOf(std::uint8_t cntB) { return cntB & 3; }
inline int TimerPrescaleOf(std::uint8_t cntB) { return (cntB >> 2) & 7; }

}  // namespace korvid::sxcpu
