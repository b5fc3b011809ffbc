// The steps that prepare a headless simulation, shared by every front end
// that runs one (`korvid sim`, the simulated tool's debug session, and the
// commands built on them): a CPU from a chip image, the stimulus file, the
// waveform and the serial decoder. Each step reports what went wrong in a
// `SimProblem`; the front end prints it with its own prefix. Nothing here
// writes to the terminal.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "family/Family.h"
#include "platform/StopFlag.h"
#include "platform/StopSignals.h"
#include "sim/SimDriver.h"
#include "sim/Stimulus.h"
#include "sim/SxCpu.h"
#include "sim/UartDecoder.h"
#include "sim/VcdWriter.h"

namespace korvid {

// A stimulus file larger than this is refused before parsing.
inline constexpr std::size_t kMaxStimulusBytes = 64u << 20;
// The waveform's default size limit (--vcd-limit; 0 means none).
inline constexpr std::uint64_t kDefaultVcdLimit = 1ull << 30;

// The files of a simulation, as the options name them.
struct SimFiles {
    std::optional<std::string> stimulus;  // "-": standard input
    std::optional<std::string> vcd;
    std::uint64_t vcdLimit = kDefaultVcdLimit;
};

// What a step could not do: a message for the program's own prefix
// ("korvid: ..."), and for a bad stimulus file its located lines
// ("FILE:LINE:COLUMN: error: ..."). `interrupted`: a stop signal came.
struct SimProblem {
    std::string message;
    std::vector<std::string> located;
    bool interrupted = false;
};

// The emulator's configuration from the image's fuse words, at `clockHz`
// (0: the family's default clock).
SxCpuConfig CpuConfigOfImage(const Family& family, const Image& image, std::uint32_t clockHz);
// Configures `cpu` from the image, loads its program words and resets it at
// power-on.
void LoadCpuFromImage(SxCpu& cpu, const Family& family, const Image& image, std::uint32_t clockHz);
// How the CPU's cycles turn into time.
SimTimeBase TimeBaseOf(const SxCpu& cpu);
// The waveform's scope: the chip's name ("SX28L", "SX52").
std::string ChipScopeName(const Family& family);

// "standard input" for "-", else the path: the name messages use.
std::string ShownPath(const std::string& path);

// Reads, parses and checks a stimulus file against the chip's pins and
// clock. On any error nothing is kept and `problem` says why (every located
// error of the file). A stop signal (`stop` non-zero) ends reading or
// parsing within a few milliseconds.
bool LoadStimulusFile(const std::string& path, const StimulusPins& pins, SimTimeBase base, Stimulus& out,
                      SimProblem& problem, const volatile std::sig_atomic_t* stop = nullptr);

// Opens the waveform at `path` (header written and flushed, so that an
// unusable target fails here, before anything runs) with a size limit
// (0: none) and the names of the driver's watched registers.
bool OpenWaveform(VcdWriter& vcd, const std::string& path, const Family& family, const StimulusPins& pins,
                  SimTimeBase base, std::uint64_t limit, const std::vector<std::string>& registers,
                  SimProblem& problem);
// Completes the waveform at `endCycle`. False with the message when it could
// not be written or stopped early (size limit), what the run must report.
bool FinishWaveform(VcdWriter& vcd, std::uint64_t endCycle, SimProblem& problem);

// A serial output to decode: "RB.6:9600".
struct UartPin {
    int port = 0;
    int bit = 0;
    std::uint32_t baud = 0;
    std::string name;  // "RB.6"
};
bool ParseUartPin(const std::string& text, UartPin& pin);
// A decoder of that pin at the CPU's time base.
std::unique_ptr<UartDecoder> MakeUartDecoder(const UartPin& pin, SimTimeBase base);

// A size with an optional unit K, M, G or T (powers of 1024; "KiB", "KB"
// and "k" are accepted too): "1G", "4096", "512KiB". False when malformed or
// beyond 2^62.
bool ParseByteSize(const std::string& text, std::uint64_t& bytes);

}  // namespace korvid
