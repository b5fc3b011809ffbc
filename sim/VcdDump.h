// A Value Change Dump (IEEE 1364) of the chip's pins: one 1-bit wire per
// bonded port pin (RA0 .., RB0 ..) in a scope named after the chip,
// timescale 1 ps, times exact to the cycle at the configured clock, written
// to a byte sink (no file of its own: VcdWriter puts it in a file). With a
// size limit the dump stops recording before it would pass the limit and
// stays a valid waveform up to there; a failed write stops it too. Either
// raises the stop flag, so that the run ends at once rather than at its end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteSink.h"
#include "platform/StopFlag.h"
#include "sim/SimDriver.h"
#include "sim/Stimulus.h"

namespace korvid {

class VcdDump : public PinSink {
public:
    VcdDump() = default;
    VcdDump(const VcdDump&) = delete;
    VcdDump& operator=(const VcdDump&) = delete;

    // Starts the dump into `sink` with the header. `bonded` gives the pins
    // per port (StimulusPins); `scope` the chip's name ("SX28L");
    // `registers` names 8-bit vectors for the driver's watched registers,
    // in its order; `name` is what messages call the dump.
    void Begin(ByteSink& sink, const std::string& name, const std::string& scope, const StimulusPins& bonded,
               SimTimeBase base, const std::vector<std::string>& registers = {});
    bool isOpen() const { return sink_ != nullptr; }

    // Largest size of the dump in bytes (0: none); set before Begin.
    void SetLimit(std::uint64_t bytes) { limit_ = bytes; }
    // Raised (set to 1) when the dump stops recording: limit or failure.
    volatile std::sig_atomic_t* stopFlag = nullptr;
    bool limitReached() const { return limitCycle_ != kNoCycle; }
    // The cycle where recording stopped at the limit (with limitReached()).
    std::uint64_t limitCycle() const { return limitCycle_; }
    bool failed() const { return failed_; }
    // "OUT.vcd: the waveform reached its size limit ... at TIME".
    std::string LimitMessage() const;

    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override;
    void Reached(std::uint64_t cycle) override;
    void TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) override;
    void RegisterChanged(int index, std::uint8_t value, std::uint64_t cycle) override;

    // Writes the final time stamp and hands the rest to the sink, which the
    // dump leaves then. False when a write failed (WriteFailure says why).
    bool End(std::uint64_t endCycle);
    // Leaves the sink without writing more.
    void Detach() { sink_ = nullptr; }
    // The sink's reason for the failed write.
    const std::string& WriteFailure() const { return writeFailure_; }
    // Bytes of the dump so far (written and buffered).
    std::uint64_t size() const { return written_ + used_; }
    // Hands what is buffered to the sink.
    void Drain();
    // The name messages use.
    const std::string& name() const { return given_; }
    std::uint64_t limit() const { return limit_; }
    // Whether the size limit leaves room for some changes after what the
    // dump holds now (its header).
    bool RoomAfterHeader() const { return !limit_ || size() + kRecordRoom + kEndRoom <= limit_; }

private:
    void Stamp(std::uint64_t cycle);
    std::uint64_t Picoseconds(std::uint64_t cycle) const;
    void Put(const char* text, std::size_t size);
    void PutText(const std::string& text) { Put(text.data(), text.size()); }
    // Room for `size` more bytes in the buffer (drains it when full).
    char* Reserve(std::size_t size) {
        if (used_ + size > kBufferSize) Drain();
        return buffer_.get() + used_;
    }
    static std::string Id(int index);

    // The dump is formatted into one buffer and handed to the sink a
    // buffer at a time: a million changes make some 30 MB.
    static constexpr std::size_t kBufferSize = 1u << 18;
    ByteSink* sink_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::string writeFailure_;
    std::string given_;  // as the options named it
    SimTimeBase base_;
    std::uint64_t baseCycle_ = 0, basePs_ = 0;  // base_ counts from there
    std::uint64_t psPerCycle_ = 0;              // exact picoseconds a cycle, or 0
    std::uint64_t exactCycles_ = 0;             // cycles counted with psPerCycle_
    StimulusPins pins_;
    std::uint8_t last_[5] = {};
    bool known_[5] = {};
    bool stamped_ = false;
    std::uint64_t stampCycle_ = 0;
    std::uint64_t highValue_ = 0;  // time stamp digits above the lowest 8
    char highText_[24] = {};       // "#" and those digits
    int highSize_ = 0;             // 0: not yet formatted
    bool failed_ = false;
    static constexpr std::uint64_t kNoCycle = ~0ull;
    // The most bytes one change adds, and the room kept for the end stamp.
    static constexpr std::uint64_t kRecordRoom = 64, kEndRoom = 32;
    std::uint64_t limit_ = 0;
    std::uint64_t written_ = 0;            // bytes already handed to the sink
    std::uint64_t limitCycle_ = kNoCycle;  // where recording stopped at the limit
    // False (recording stopped) when the next change might pass the limit.
    bool Room(std::uint64_t cycle);
    void RaiseStop() {
        if (stopFlag) *stopFlag = 1;
    }
};

}  // namespace korvid
