// What makes two names one file, for the clash checks of the outputs: the
// system's numbers for the file (device and inode, or volume and file
// index), or, for a name that does not exist yet, its folder's numbers with
// the name. Each side of the platform layer says it; the checks are shared.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvid {

struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::string name;  // non-empty for a name that does not exist yet
    bool operator==(const FileIdentity&) const = default;
};

// The identity of an input (`output` false) or an output name; none where
// the name has none (standard input, a missing input).
std::optional<FileIdentity> IdentityOf(const std::string& path, bool output);

}  // namespace korvid
