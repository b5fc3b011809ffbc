// The serial link to the tool: opening the port and detecting the tool,
// batching and scrambling the bytes sent, skipping their echo, waiting for
// replies with a time-out, reading status bytes. Every failure leaves through
// LinkError (LinkError.h), which closes the port first.
//
// One Link serves a program (the windows and the command-line tool each make
// one); it is used from a single thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/link/Protocol.h"
#include "platform/SerialDevice.h"
#include "core/link/TickSource.h"

namespace korvid {

inline constexpr std::size_t kLinkBufferSize = 4096;
inline constexpr std::uint32_t kDefaultBaudRate = 57600;
inline constexpr std::uint32_t kAlternateBaudRate = 19200;
inline constexpr std::uint32_t kFirstReplyTimeoutMs = 1000;
inline constexpr std::uint32_t kSettleTimeMs = 100;
// A reply may take its ReplyTimeout plus this much per byte received since
// its request: a tool that answers byte by byte, each just inside the
// time-out, cannot stretch an operation without end. (A byte takes about
// 0.5 ms at 19200 baud.)
inline constexpr std::uint32_t kReplyByteAllowanceMs = 10;

class Link {
public:
    Link(SerialDevice& device, TickSource& ticks = SystemTicks()) : device_(device), ticks_(ticks) {}
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Link state (names and initial values as the rest of the program uses
    // them).
    std::string PortName = "COM1";
    std::uint32_t BaudRate = kDefaultBaudRate;
    bool PortOpen = false;
    std::array<std::uint8_t, kLinkBufferSize> TransmitBuffer{};
    std::uint32_t TransmitLength = 0;
    std::array<std::uint8_t, kLinkBufferSize> ReceiveBuffer{};
    std::uint32_t ReceivePosition = 0;
    std::uint32_t BytesRead = 0;
    std::uint32_t EchoPending = 0;
    std::uint32_t ReplyTimeout = kFirstReplyTimeoutMs;
    bool Probing = false;
    bool Scrambling = false;
    std::uint16_t ScrambleState = 0;
    std::uint8_t FirmwareVersion = 0;

    // The device path behind PortName at the last open, and the system's
    // reason for the last failed open (for the command line's note: line).
    std::string DevicePath;
    std::string SystemReason;

    // Finds the tool at BaudRate, else at the other rate; fails with
    // "Korvid not found on <port>" (BaudRate back at 57600). The rate that
    // worked stays for later connections. A tool that falls silent after it
    // was found is no longer "not found": the link failed (LinkError.h).
    void OpenLink();
    // One open-and-detect attempt; closes the port when the tool is absent.
    bool ProbePort();
    // Sends the end-of-connection byte and closes the port.
    void CloseLink();
    void ClosePort();

    void SendByte(std::uint8_t b);
    void SendWord(std::uint16_t w);  // low byte, then bits 8..11
    void SendText(const char* text);
    void Flush();
    std::uint8_t ReceiveByte();
    std::uint16_t ReceiveWord();
    void FillReceiveBuffer();
    // Takes a status byte: 0 returns, anything else fails with its message.
    void CheckStatus();
    // OpenLink, CloseLink, then refuses a tool whose stream stays plain.
    void RequireDebugTool();

    SerialDevice& Device() { return device_; }
    TickSource& Ticks() { return ticks_; }

private:
    SerialDevice& device_;
    TickSource& ticks_;
    bool found_ = false;               // the tool answered the detection on this connection
    std::uint64_t replyWaitedMs_ = 0;  // waited for the reply to the last request
    std::uint64_t replyBytes_ = 0;     // bytes received since the last request
};

}  // namespace korvid
