// The tool's wire protocol: the bytes both ends of the serial link agree on.
// The host (core/link) sends and reads them; the simulated tool (sim/) serves
// them. Both include this header, as they share Scrambler.h, so that the two
// ends cannot drift apart while each agrees with itself.
//
#pragma once

#include <cstddef>
#include <cstdint>

#include "family/Layout.h"

namespace korvid {

// A word on the wire is two bytes: the low 8 bits, then bits 8..11.
constexpr std::uint8_t WireWordLow(std::uint16_t w) { return static_cast<std::uint8_t>(w & 0xFF); }
constexpr std::uint8_t WireWordHigh(std::uint16_t w) { return static_cast<std::uint8_t>((w >> 8) & 0x0F); }
constexpr std::uint16_t WireWord(std::uint8_t low, std::uint8_t high) {
    return static_cast<std::uint16_t>(low | ((high & 0x0F) << 8));
}

// Detection: the client sends kDetectText, the tool answers kDetectReply,
// the seed (low byte first) and its firmware version.
inline constexpr char kDetectText[] = " Korvid";
inline constexpr char kDetectReply[] = "Korvid";

// Command bytes after detection.
enum LinkCommand : std::uint8_t {
    kCmdEnd = 0,         // end of the connection; inside a sequence: end of the sequence
    kCmdErase = 1,       // + erase time (1..255); status
    kCmdProgram = 2,     // status, then blocks (BlockHeader, pulse, words) each answered by a status
    kCmdRead = 3,        // status, then read requests (ReadRequest) each answered by words and a status
    kCmdRelease = 4,     // status
    kCmdPoll = 5,        // answers the run state (RunState)
    kCmdReadState = 6,   // + count; answers count bytes of the debug state block
    kCmdPayload = 7,     // + count + bytes: resume, interrupt or register write
    kCmdSetClock = 8,    // + three setting bytes, low first; status
    kCmdStopClock = 9,   // no answer
};

// Block headers of a programming sequence and the words each carries.
enum BlockHeader : std::uint8_t {
    kBlockExtFuse = 0x01,  // the extended fuse word alone; the sequence end answers the IRC count
    kBlockFuses = 0x02,    // extended fuse word, fuse word
    kBlockProgram = 0x20,  // the next 32 program words
    kBlockId = 0x10,       // the 16 ID words
};

// Words of a block; -1 for a byte that is no block header.
constexpr int BlockWordCount(std::uint8_t header) {
    switch (header) {
        case kBlockExtFuse: return 1;
        case kBlockFuses: return 2;
        case kBlockProgram: return 32;
        case kBlockId: return 16;
        default: return -1;
    }
}

// Requests inside a read sequence (kCmdEnd ends it).
enum ReadRequest : std::uint8_t {
    kReadConfig = kCmdRead,    // part word, extended fuse word, fuse word
    kReadProgramBlock = 0x80,  // the next kReadBlockWords program words
    kReadId = 0x10,            // the 16 ID words
};
inline constexpr int kReadBlockWords = 128;

// Status bytes and their messages.
enum LinkStatus : std::uint8_t {
    kStatusOk = 0,
    kStatusVpp = 1,
    kStatusChipConnection = 2,
    kStatusProgramming = 3,
    kStatusCommunication = 4,  // and any higher value
};

// The message of a status byte (nullptr for kStatusOk).
constexpr const char* StatusMessage(std::uint8_t status) {
    switch (status) {
        case kStatusOk: return nullptr;
        case kStatusVpp: return "Vpp generation failed";
        case kStatusChipConnection: return "Chip connection failed";
        case kStatusProgramming: return "Programming failed";
        default: return "Communication failed";
    }
}

// Answers to kCmdPoll.
enum RunState : std::uint8_t {
    kRunStateRunning = 0,
    kRunStateSleeping = 1,
    kRunStateHalted = 2,
};

// Run-mode words of the resume payload.
inline constexpr std::uint16_t kModeStep = 0xF7EB;     // one instruction
inline constexpr std::uint16_t kModeToBreak = 0xF7E9;  // run until the breakpoint
inline constexpr std::uint16_t kModeFree = 0xEAEA;     // run freely
inline constexpr std::uint16_t kModeReset = 0xEFEF;    // reset while halted
inline constexpr std::uint16_t kModeResync = 0xF7F7;   // apply registers, halt at once

// The debug state block (answer to kCmdReadState): a header of
// kStateHeaderBytes, the same in both families, then on the 28 family the
// upper 16 registers of the banks read, lowest bank first. The 52 reads its
// registers 10h..FFh with a second request of kStateRam52Bytes.
enum StateOffset : int {
    kStateMode = 0,       // MODE in the low bits, kStateWAt1 in bit 7
    kStateW = 1,
    kStatePcLow = 2,
    kStatePcHigh = 3,
    kStateStatus = 4,     // STATUS kStatusCarried bits, kStatusIntFlag, kStatusSkipFlag
    kStateFsr = 5,
    kStateR13 = 6,        // registers 0Dh, 0Eh, 0Fh
    kStateR14 = 7,
    kStateR15 = 8,
    kStateRtcc = 9,
    kStatePosition = 9,   // bytes 0..8: all a resume gives back (a read of just these tells where the chip is)
    kStatePdTo = 11,      // STATUS power-down and time-out bits
    kStatePorts = 13,     // registers 05h..0Ch
    kStateHeaderBytes = 24,
};
inline constexpr int kStatePortCount = 8;
// The register of byte `i` of the 28 family's bank part when `bankCount`
// banks are read: the upper 16 registers of the top banks, lowest bank first.
inline int StateBankRegister(int bankCount, int i) {
    return BankRegisterAddress(Sx28lFamily(), Sx28lFamily().maxBankCount - bankCount + i / 16, i % 16);
}
inline constexpr int kStateRam52Bytes = 240;
inline constexpr std::uint8_t kStateWAt1 = 0x80;  // register 01h is W (OPTION bit 7 clear)

// STATUS as the state block and the resume payload carry it: the page bits
// and Z, DC, C of the chip, the interrupt and skip flags of the kernel in
// bits 4 and 3 (the places of TO and PD, which travel apart).
inline constexpr std::uint8_t kStatusCarried = 0xE7;
inline constexpr std::uint8_t kStatusIntFlag = 0x10;
inline constexpr std::uint8_t kStatusSkipFlag = 0x08;
inline constexpr std::uint8_t kStatusPdTo = 0x18;

// The resume payload: 14 pairs of a tag byte and a value byte.
enum ResumeItem : int {
    kResumeW,
    kResumePcHigh,
    kResumePcLow,
    kResumeStatus,  // kStatusCarried bits with kStatusIntFlag and kStatusSkipFlag
    kResumeFsr,
    kResumeR14,
    kResumeR15,
    kResumeModeLow,  // run-mode word
    kResumeModeHigh,
    kResumeFixed,    // always kResumeFixedValue
    kResumeBreakHigh,
    kResumeBreakLow,
    kResumeM,
    kResumeR13,
    kResumeItems,
};
inline constexpr std::uint8_t kResumeTags[kResumeItems] = {4, 0, 8, 0x10, 0x20, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x80};
inline constexpr std::uint8_t kResumeFixedValue = 0xF7;
inline constexpr int kResumeBytes = 2 * kResumeItems;
// Offset of an item's value byte in the payload.
constexpr int ResumeValueOffset(ResumeItem item) { return 2 * item + 1; }

// The interrupt payload: zero bytes, as many as the family's kernel reads
// (Family::debugInterruptBytes).
constexpr bool IsInterruptPayload(std::size_t size) { return size == 1 || size == 2; }

// The register-write payload: kWriteAddressTag, register, kWriteValueTag, value.
inline constexpr int kWriteBytes = 4;
inline constexpr std::uint8_t kWriteAddressTag = 1;
inline constexpr std::uint8_t kWriteValueTag = 2;

}  // namespace korvid
