// The waveform of a run in a file: a VcdDump (sim/VcdDump.h) streamed to
// an output by the rules of every output (platform/OutputStream.h): a
// regular file gets an unnamed file in its folder, named and renamed over
// it by Commit(); a writer destroyed without Commit() drops it, so a failed
// or killed run leaves nothing half-written. Descriptors, devices and FIFOs
// are written in place.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/OutputStream.h"
#include "sim/VcdDump.h"

namespace korvid {

class VcdWriter final : public VcdDump {
public:
    VcdWriter() = default;
    ~VcdWriter() override;

    // Creates the dump's file and writes the header (see VcdDump::Begin).
    // False with a message when the target cannot be written.
    bool Open(const std::string& path, const std::string& scope, const StimulusPins& bonded, SimTimeBase base,
              std::string& message, const std::vector<std::string>& registers = {});
    // Writes the final time stamp and puts the dump in place of the target.
    bool Commit(std::uint64_t endCycle, std::string& message);
    // Drops the unfinished dump.
    void Abandon();

private:
    // The header goes out at once (a full disk fails before anything runs).
    bool HeaderWritten(std::string& message);
    // A size limit must leave room for some changes after the header.
    bool HeaderFits(std::string& message);

    std::unique_ptr<OutputStream> file_;
};

}  // namespace korvid
