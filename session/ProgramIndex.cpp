#include "session/ProgramIndex.h"

#include <algorithm>

namespace korvid {

namespace {
// The list entries the state recorded (the tables hold at most kMaxListLines).
std::uint32_t Recorded(const AssemblyState& s) { return std::min<std::uint32_t>(s.ListLineCount, kMaxListLines); }
}  // namespace

void ProgramIndex::Clear() {
    starts_.clear();
    addressLine_.assign(kProgramWords, 0);
    lineAddress_.clear();
}

void ProgramIndex::Build(const AssemblyState& s, Words words) {
    Clear();
    if (!s.SourceText) return;
    starts_.push_back(0);
    std::uint32_t length = 0;
    for (; s.SourceText[length]; ++length)
        if (s.SourceText[length] == '\r') starts_.push_back(length + 1);
    const std::uint32_t entries = Recorded(s);
    for (int a = 0; a < kProgramWords; ++a) {
        const std::int32_t entry = s.AddressLine[std::size_t(a)];
        if (entry < 0 || std::uint32_t(entry) >= entries) continue;
        if (words == Words::Written && !(s.ChipImage[std::size_t(a)] & kDataFlag)) continue;
        const std::uint32_t offset = s.ListLineSource[std::size_t(entry)];
        if (offset > length) continue;
        const int line = int(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin());
        addressLine_[std::size_t(a)] = line;
        lineAddress_.emplace(line, a);  // the lowest address wins: it is met first
    }
}

int ProgramIndex::LineOf(int address) const {
    if (address < 0 || address >= int(addressLine_.size())) return 0;
    return addressLine_[std::size_t(address)];
}

std::optional<int> ProgramIndex::AddressOf(int line) const {
    const auto it = lineAddress_.find(line);
    if (it == lineAddress_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::pair<int, int>> ProgramIndex::CodeAtOrAfter(int line) const {
    const auto it = lineAddress_.lower_bound(line);
    if (it == lineAddress_.end()) return std::nullopt;
    return *it;
}

std::optional<std::uint32_t> ListEntryOfSource(const AssemblyState& s, std::uint32_t sourceOffset) {
    for (std::uint32_t i = 0, n = Recorded(s); i < n; ++i)
        if (s.ListLineSource[i] == sourceOffset) return i;
    return std::nullopt;
}

std::optional<std::uint32_t> ListEntryOfListing(const AssemblyState& s, std::uint32_t listOffset) {
    for (std::uint32_t i = 0, n = Recorded(s); i < n; ++i)
        if (s.ListLineOffset[i] == listOffset) return i;
    return std::nullopt;
}

}  // namespace korvid
