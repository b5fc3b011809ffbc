// One index between a program's addresses, its source lines and its
// listing, worked out once after an assembly: the debug adapter's lines
// and breakpoints, the IDE's remembered breakpoint and its list mode use it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "core/asm/AssemblyState.h"

namespace korvid {

class ProgramIndex {
public:
    // Which program words have a line: the words the program wrote (a
    // debugger's view), or every word the listing names (reserved ones too).
    enum class Words { Written, Listed };

    // From the state's AddressLine and ListLineSource over its SourceText;
    // empty when the state has no source text.
    void Build(const AssemblyState& state, Words words);
    void Clear();
    bool empty() const { return lineAddress_.empty(); }

    // 1-based source line of the word at `address`; 0 when none.
    int LineOf(int address) const;
    // The lowest address on exactly `line`.
    std::optional<int> AddressOf(int line) const;
    // The first line at or after `line` that holds code, with its address.
    std::optional<std::pair<int, int>> CodeAtOrAfter(int line) const;
    // Start offsets of the source lines in the assembler's text.
    const std::vector<std::uint32_t>& lineStarts() const { return starts_; }

private:
    std::vector<std::uint32_t> starts_;
    std::vector<int> addressLine_;    // by address: 1-based line or 0
    std::map<int, int> lineAddress_;  // line -> lowest address on it
};

// The listing and the source side by side: the list entry whose source
// line starts at `sourceOffset`, or whose list line starts at `listOffset`.
std::optional<std::uint32_t> ListEntryOfSource(const AssemblyState& state, std::uint32_t sourceOffset);
std::optional<std::uint32_t> ListEntryOfListing(const AssemblyState& state, std::uint32_t listOffset);

}  // namespace korvid
