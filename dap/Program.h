// The program a debug session runs: a source assembled with its listing
// maps (addresses to source lines and back, labels by address) or a hex
// file's image without lines.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "core/asm/Dialect.h"
#include "family/Family.h"
#include "session/ProgramSession.h"

namespace korvid::dap {

class DebugProgram {
public:
    // Assembles a source (any name not ending in .sxh/.hex/.obj) or loads a
    // hex file. False with `message` ("FILE:LINE:COLUMN: error: ...") when it
    // cannot be used.
    bool Load(const std::string& path, const Family& family, Dialect dialect, std::string& message);

    const AssemblyState& state() const { return session_.state(); }
    // The tool target prepares its debug image (and takes the clock) here.
    AssemblyState& state() { return session_.state(); }
    const Image& image() const { return state().ChipImage; }
    const std::string& path() const { return path_; }
    bool hasLines() const { return !session_.index().empty(); }

    // 1-based source line of the instruction at `address`, 0 when none.
    int LineOf(int address) const { return session_.index().LineOf(address); }
    // The first line at or after `line` that holds code, with its address;
    // nothing when no line from there on does.
    std::optional<std::pair<int, int>> CodeAtOrAfter(int line) const { return session_.index().CodeAtOrAfter(line); }
    // The label an address lies in (the nearest at or below it) and how
    // far into it; empty when no label lies below.
    std::pair<std::string, int> LabelOf(int address) const;
    // A name's value from the last assembly (labels, EQU and = symbols).
    std::optional<std::int32_t> Symbol(const std::string& name) const;
    // Whether program word `address` was written by the program.
    bool HoldsData(int address) const;
    // A program word written by the debugger (it holds data from now on).
    void SetWord(int address, std::uint16_t word);

private:
    ProgramSession session_;
    std::string path_;
    std::map<int, std::string> labels_;  // address -> label
};

}  // namespace korvid::dap
