// Small text helpers every layer uses: case folding of ASCII letters, hex
// digits, and the folder part of a path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvid {

// ASCII letters folded; other bytes kept.
std::string Upper(std::string_view text);
std::string Lower(std::string_view text);

// `value` in upper-case hex digits, at least `digits` of them.
std::string Hex(std::uint32_t value, int digits);

// The folder that holds `path`: "." when the name has no folder, "/" for a
// name in the root.
std::string FolderOf(const std::string& path);

// `name` read relative to the folder of `path` (as it is when absolute or
// when `path` has no folder).
std::string BesidePath(const std::string& path, const std::string& name);

}  // namespace korvid
