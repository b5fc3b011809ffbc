// The registers a debug session shows and changes: name, width, named bits
// (most significant first, empty where a bit has no name) and how the
// emulator reads and writes them. One table for the Registers scope,
// evaluate and setVariable.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SxCpu.h"

namespace korvid::dap {

struct RegisterInfo {
    std::string name;
    int width = 8;  // bits
    std::array<std::string_view, 8> bits{};  // bit 7 first; empty: no name
    std::uint32_t (*read)(const SxCpu&, int port) = nullptr;
    void (*write)(SxCpu&, int port, std::uint32_t) = nullptr;  // nullptr: read-only
    int port = 0;
};

// The registers of this CPU (its ports only). `mirror`: the CPU holds what
// the tool read at a halt (no OPTION, no port directions; ports as read).
std::vector<RegisterInfo> RegistersOf(const SxCpu& cpu, bool mirror = false);
// A register by name, any case.
const RegisterInfo* FindRegister(const std::vector<RegisterInfo>& registers, std::string_view name);

// "$1F", "1Fh", "0x1F", "%101", "31", "-3", "'A'": a number as the
// assembler and the Watch window write them.
std::optional<std::int64_t> ParseNumber(std::string_view text);
// "$1F (31)" for a register of `width` bits, "%1" for single bits.
std::string FormatValue(std::uint32_t value, int width);

}  // namespace korvid::dap
