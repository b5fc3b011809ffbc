// The SX checks' codes and what each finds (for the documentation and the
// server's hover of an ignore comment).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvid::lsp {

// The program page: what a JMP reaches and PAGE selects; a CALL reaches
// its first half.
inline constexpr std::uint32_t kPageWords = 512;

struct CheckInfo {
    std::string_view code;
    std::string_view what;
};

const std::vector<CheckInfo>& Checks();

}  // namespace korvid::lsp
