// A Value Change Dump (IEEE 1364) of the chip's pins: one 1-bit wire per
// bonded port pin (RA0 .., RB0 ..) in a scope named after the chip,
// timescale 1 ps, times exact to the cycle at the configured clock. The dump
// streams to a temporary file next to the target, renamed over it by
// Commit(); a writer destroyed without Commit() removes it, so a failed run
// leaves nothing half-written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/SimDriver.h"
#include "sim/Stimulus.h"

namespace korvid {

class VcdWriter final : public PinSink {
public:
    VcdWriter() = default;
    ~VcdWriter() override;
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    // Creates the temporary file and writes the header. `bonded` gives the
    // pins per port (StimulusPins); `scope` the chip's name ("SX28L");
    // `registers` names 8-bit vectors for the driver's watched registers,
    // in its order. False with a message when the target cannot be written.
    bool Open(const std::string& path, const std::string& scope, const StimulusPins& bonded, SimTimeBase base,
              std::string& message, const std::vector<std::string>& registers = {});
    bool isOpen() const { return file_ != nullptr; }

    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override;
    void Reached(std::uint64_t cycle) override;
    void TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) override;
    void RegisterChanged(int index, std::uint8_t value, std::uint64_t cycle) override;

    // Writes the final time stamp and renames the dump over the target.
    bool Commit(std::uint64_t endCycle, std::string& message);
    // Removes the temporary file.
    void Abandon();

private:
    bool WriteHeader(const std::string& scope, const std::vector<std::string>& registers, SimTimeBase base);
    void Stamp(std::uint64_t cycle);
    std::uint64_t Picoseconds(std::uint64_t cycle) const;
    void Put(const char* text, std::size_t size);
    void Drain();
    static std::string Id(int index);

    std::FILE* file_ = nullptr;
    std::string out_;  // written to the file 64 KB at a time
    std::string path_, temp_;
    SimTimeBase base_;
    std::uint64_t baseCycle_ = 0, basePs_ = 0;  // base_ counts from there
    std::uint64_t psPerCycle_ = 0;              // exact picoseconds a cycle, or 0
    StimulusPins pins_;
    std::uint8_t last_[5] = {};
    bool known_[5] = {};
    bool stamped_ = false;
    std::uint64_t stampCycle_ = 0;
    bool failed_ = false;
    bool direct_ = false;  // a device or FIFO, written in place
};

}  // namespace korvid
