// Small text helpers every layer uses: case folding of ASCII letters and hex
// digits. File names are platform/Path.h's.
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

}  // namespace korvid
