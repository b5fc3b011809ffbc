#include "core/link/Link.h"

#include <algorithm>

#include "core/link/LinkError.h"
#include "platform/PortName.h"
#include "core/link/Scrambler.h"

namespace korvid {

std::string LinkFailureNote(const Link& link) {
    const bool named = !link.DevicePath.empty() && link.DevicePath != link.PortName;
    std::string note = named ? link.PortName + " is " + link.DevicePath : std::string();
    if (!link.SystemReason.empty()) {
        note += named ? ": " : link.DevicePath + ": ";
        note += link.SystemReason;
        if (link.SystemReason.find("ermission denied") != std::string::npos)
            note += " (is your user in the dialout group?)";
    }
    return note;
}

void LinkError(Link& link, const std::string& message) {
    if (link.PortOpen) link.ClosePort();
    throw LinkFailure(message);
}

void LinkError(Link& link, LinkFault fault) {
    const LinkFaultText& text = kLinkFaultText[static_cast<int>(fault)];
    if (link.PortOpen) link.ClosePort();
    throw LinkFailure(text.window + link.PortName,
                      text.commandLine ? text.commandLine + link.PortName : std::string());
}

bool Link::ProbePort() {
    DevicePath = PortDevicePath(PortName);
    SystemReason.clear();
    if (!device_.Open(DevicePath, &SystemReason)) LinkError(*this, LinkFault::Open);
    PortOpen = true;
    if (!device_.SetLine(BaudRate, &SystemReason)) LinkError(*this, LinkFault::Open);
    TransmitLength = 0;
    ReceivePosition = 0;
    BytesRead = 0;
    EchoPending = 0;
    Scrambling = false;
    ReplyTimeout = kFirstReplyTimeoutMs;

    ticks_.SleepMs(kSettleTimeMs);
    // A byte that arrived during the settle time is no answer to us: the
    // echo skipping counts on an empty receive line.
    device_.DiscardInput();
    SendText(kDetectText);
    Flush();

    Probing = true;
    for (const char* p = kDetectReply; *p; ++p) {
        std::uint8_t b = ReceiveByte();
        if (!Probing) break;
        if (b != static_cast<std::uint8_t>(*p)) {
            Probing = false;
            LinkError(*this, LinkFault::NotFound);
        }
    }
    bool found = Probing;
    Probing = false;
    if (!found) {
        ClosePort();
        return false;
    }
    found_ = true;
    std::uint8_t seedLow = ReceiveByte();
    std::uint8_t seedHigh = ReceiveByte();
    ScrambleState = static_cast<std::uint16_t>((seedLow + 256u * seedHigh) ^ kLinkKey);
    Scrambling = true;
    FirmwareVersion = ReceiveByte();
    return true;
}

void Link::OpenLink() {
    if (ProbePort()) return;
    BaudRate = BaudRate == kDefaultBaudRate ? kAlternateBaudRate : kDefaultBaudRate;
    if (ProbePort()) return;
    BaudRate = kDefaultBaudRate;
    LinkError(*this, LinkFault::NotFound);
}

void Link::CloseLink() {
    SendByte(kCmdEnd);
    Flush();
    ClosePort();
}

void Link::ClosePort() {
    device_.Close();
    PortOpen = false;
    found_ = false;
}

void Link::SendByte(std::uint8_t b) {
    if (Scrambling) b = ScrambleOut(ScrambleState, b);
    // Batches are far below the buffer size; a caller that overruns it gets
    // its earlier bytes sent first rather than overwritten.
    if (TransmitLength >= kLinkBufferSize) Flush();
    TransmitBuffer[TransmitLength++] = b;
}

void Link::SendWord(std::uint16_t w) {
    SendByte(WireWordLow(w));
    SendByte(WireWordHigh(w));
}

void Link::SendText(const char* text) {
    for (const char* p = text; *p; ++p) SendByte(static_cast<std::uint8_t>(*p));
}

void Link::Flush() {
    if (TransmitLength == 0) return;
    long n = device_.Write(TransmitBuffer.data(), TransmitLength);
    if (n < 0) LinkError(*this, LinkFault::Write);
    EchoPending += static_cast<std::uint32_t>(n);
    if (static_cast<std::uint32_t>(n) < TransmitLength) LinkError(*this, LinkFault::Stall);
    TransmitLength = 0;
    // A request: the time its reply may take starts here.
    replyWaitedMs_ = 0;
    replyBytes_ = 0;
}

void Link::FillReceiveBuffer() {
    const std::uint64_t start = ticks_.NowMs();
    for (;;) {
        long n = device_.Read(ReceiveBuffer.data(), ReceiveBuffer.size());
        if (n < 0) LinkError(*this, LinkFault::Read);
        replyBytes_ += static_cast<std::uint64_t>(n);
        BytesRead = static_cast<std::uint32_t>(n);
        ReceivePosition = 0;
        const std::uint64_t passed = ticks_.NowMs() - start;
        if (EchoPending < BytesRead) {
            ReceivePosition = EchoPending;
            EchoPending = 0;
            replyWaitedMs_ += passed;
            return;
        }
        EchoPending -= BytesRead;
        BytesRead = 0;
        if (passed >= ReplyTimeout) break;
        // Each wait has ReplyTimeout; the reply as a whole (all the waits
        // since its request) has ReplyTimeout and a little per byte.
        const std::uint64_t allowed = ReplyTimeout + replyBytes_ * kReplyByteAllowanceMs;
        const std::uint64_t spent = replyWaitedMs_ + passed;
        if (spent >= allowed) {
            if (Probing) break;
            LinkError(*this, LinkFault::TooSlow);
        }
        const std::uint64_t left = std::min<std::uint64_t>(ReplyTimeout - passed, allowed - spent);
        if (n == 0) device_.WaitReadable(static_cast<std::uint32_t>(left));
    }
    if (Probing) {
        Probing = false;
        return;
    }
    LinkError(*this, found_ ? LinkFault::NoReply : LinkFault::NotFound);
}

std::uint8_t Link::ReceiveByte() {
    if (ReceivePosition >= BytesRead) {
        FillReceiveBuffer();
        // A detection wait that timed out returns without bytes; the caller
        // sees Probing cleared and ignores the value.
        if (ReceivePosition >= BytesRead) return 0;
    }
    std::uint8_t b = ReceiveBuffer[ReceivePosition++];
    if (Scrambling) b = UnscrambleIn(ScrambleState, b);
    return b;
}

std::uint16_t Link::ReceiveWord() {
    const std::uint8_t low = ReceiveByte();
    const std::uint8_t high = ReceiveByte();
    return WireWord(low, high);
}

void Link::CheckStatus() {
    std::uint8_t status = ReceiveByte();
    if (const char* message = StatusMessage(status)) LinkError(*this, message);
}

void Link::RequireDebugTool() {
    OpenLink();
    CloseLink();
    if (ScrambleState == 0) LinkError(*this, "Brandel does not support this function");
}

}  // namespace korvid
