#include "sim/ChipSerialPort.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/StopSignals.h"
#include "sim/Stimulus.h"

namespace korvid {

bool ParseSerialPins(const std::string& text, SerialPins& pins) {
    const std::size_t comma = text.find(',');
    const std::size_t colon = text.find(':');
    if (comma == std::string::npos || colon == std::string::npos || colon < comma) return false;
    std::uint64_t baud = 0;
    if (!ParsePinName(text.substr(0, comma), pins.rxPort, pins.rxBit) ||
        !ParsePinName(text.substr(comma + 1, colon - comma - 1), pins.txPort, pins.txBit) ||
        !ParseStimulusNumber(text.substr(colon + 1), baud) || baud == 0 || baud > 100'000'000)
        return false;
    if (pins.rxPort == pins.txPort && pins.rxBit == pins.txBit) return false;
    pins.baud = static_cast<std::uint32_t>(baud);
    return true;
}

namespace {
double CyclesPerBit(SimTimeBase base, std::uint32_t baud) {
    return static_cast<double>(base.clockHz) / base.clocksPerCycle / baud;
}
}  // namespace

ChipSerialPort::ChipSerialPort(const SerialPins& pins, SimTimeBase base)
    : pins_(pins), base_(base), cyclesPerBit_(CyclesPerBit(base, pins.baud)),
      tx_(pins.txPort, pins.txBit, cyclesPerBit_) {
    tx_.onByte = [this](std::uint8_t b) { Send(b); };
}

void ChipSerialPort::Send(std::uint8_t b) {
    // A client that does not read fills the terminal's buffer; what finds
    // no room is lost, as on a line nobody listens to.
    if (terminal_ && terminal_->Write(b))
        ++sent;
    else
        ++dropped;
}

std::string ChipSerialPort::DroppedNote() const {
    return std::to_string(dropped) + (dropped == 1 ? " byte" : " bytes") +
           " that the program sent found the terminal full (nothing read it) and " +
           (dropped == 1 ? "was" : "were") + " dropped";
}

ChipSerialPort::~ChipSerialPort() = default;

bool ChipSerialPort::Open(std::string* reason) {
    terminal_ = OpenSerialTerminal(reason);
    if (!terminal_) return false;
    slavePath_ = terminal_->path();
    return true;
}

void ChipSerialPort::Open(std::unique_ptr<SerialTerminal> terminal) {
    terminal_ = std::move(terminal);
    slavePath_ = terminal_ ? terminal_->path() : std::string();
}

void ChipSerialPort::ReleaseAfterClientClose() {
    if (terminal_) terminal_->ReleaseAfterClientClose();
}

void ChipSerialPort::Attach(SimDriver& driver) {
    driver_ = &driver;
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << pins_.rxBit);
    driver.Drive(pins_.rxPort, mask, mask);
    driver.SetLiveInput(this);
    driver.AddSink(this);
}

void ChipSerialPort::Poll(std::uint64_t cycle) {
    if (!terminal_) return;
    ReleaseAfterClientClose();
    std::uint8_t buffer[256];
    while (queue_.size() < kQueueLimit) {
        const std::size_t n = terminal_->Read(buffer, std::min(sizeof buffer, kQueueLimit - queue_.size()));
        if (n == 0) break;
        queue_.insert(queue_.end(), buffer, buffer + n);
    }
    if (!busy_ && !queue_.empty()) {
        busy_ = true;
        bit_ = 0;
        frameStart_ = std::max(lineFree_, static_cast<double>(cycle));
    }
}

std::uint64_t ChipSerialPort::NextEdge() const {
    if (!busy_) return ~0ull;
    return static_cast<std::uint64_t>(std::ceil(frameStart_ + bit_ * cyclesPerBit_));
}

void ChipSerialPort::Apply(std::uint64_t cycle) {
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << pins_.rxBit);
    while (busy_ && NextEdge() <= cycle) {
        const std::uint8_t byte = queue_.front();
        const bool high = bit_ == 0 ? false : bit_ == 9 ? true : ((byte >> (bit_ - 1)) & 1) != 0;
        if (driver_) driver_->Drive(pins_.rxPort, mask, high ? mask : 0);
        if (++bit_ < 10) continue;
        // The stop bit is on the line; the next frame follows it.
        lineFree_ = frameStart_ + 10 * cyclesPerBit_;
        queue_.pop_front();
        busy_ = !queue_.empty();
        bit_ = 0;
        frameStart_ = lineFree_;
    }
}

void ChipSerialPort::PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) {
    tx_.PinsChanged(port, levels, cycle);
}

void ChipSerialPort::Reached(std::uint64_t cycle) { tx_.Reached(cycle); }

void ChipSerialPort::TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) {
    (void)cycle;
    base_ = base;
    cyclesPerBit_ = CyclesPerBit(base, pins_.baud);
    tx_ = UartDecoder(pins_.txPort, pins_.txBit, cyclesPerBit_);
    tx_.onByte = [this](std::uint8_t b) { Send(b); };
    lineFree_ = 0;
    frameStart_ = 0;
    bit_ = 0;
    // A power-on reset releases every driven pin: the line idles high again.
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << pins_.rxBit);
    if (driver_) driver_->Drive(pins_.rxPort, mask, mask);
}

SxStop ChipSerialPort::RunPaced(SimDriver& driver, SxCpu& cpu, std::uint64_t endCycle,
                                const volatile std::sig_atomic_t* stop) {
    using Clock = std::chrono::steady_clock;
    // A millisecond of simulated time between looks at the terminal and
    // the clock: the chip is never more than that ahead of real time.
    const std::uint64_t slice =
        std::max<std::uint64_t>(1, static_cast<std::uint64_t>(base_.clockHz) / base_.clocksPerCycle / 1000);
    auto wallStart = Clock::now();
    std::uint64_t psStart = base_.Picoseconds(cpu.cycles());
    for (;;) {
        if (stop && *stop) return SxStop::Trap;
        const std::uint64_t now = cpu.cycles();
        if (now >= endCycle) return SxStop::Budget;
        const SxStop result = driver.RunTo(std::min(endCycle, now + slice));
        if (result == SxStop::Breakpoint || result == SxStop::Trap) return result;
        // Wait while the chip is ahead of the clock. Input arriving
        // meanwhile waits too: it is taken when the next slice starts, at
        // most a slice late, and ending the wait for it would let a client
        // that writes all the time run the chip ahead of real time.
        const double aheadMs =
            static_cast<double>(base_.Picoseconds(cpu.cycles()) - psStart) / 1e9 -
            std::chrono::duration<double, std::milli>(Clock::now() - wallStart).count();
        if (aheadMs < -1.0) {
            // Behind (the process was held up): no catching up, which would
            // send a burst faster than the baud rate; time starts afresh.
            wallStart = Clock::now();
            psStart = base_.Picoseconds(cpu.cycles());
        } else if (aheadMs >= 1.0 && !(stop && *stop)) {
            SleepUnlessStopped(static_cast<int>(aheadMs));
        }
    }
}

}  // namespace korvid
