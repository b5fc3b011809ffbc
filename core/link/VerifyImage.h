// The Verify comparison: the expected image (the assembled chip image)
// against the image read from the chip, part by part, stopping at the first
// part that differs.
#pragma once

#include <string_view>

#include "core/asm/AssemblyState.h"

namespace korvid {

inline constexpr std::string_view kVerifyIdPart = "ID";
inline constexpr std::string_view kVerifyFlashPart = "E\xC2\xB2" "Flash";  // E²Flash, UTF-8

// Returns the name of the first part that differs, or an empty view when
// all parts are equal.
std::string_view VerifyImage(const Family& family, const Image& expected, const Image& read);

}  // namespace korvid
