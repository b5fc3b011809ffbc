// The SX checks' codes and what each finds (for the documentation and the
// server's hover of an ignore comment).
#pragma once

#include <string_view>
#include <vector>

namespace korvid::lsp {

struct CheckInfo {
    std::string_view code;
    std::string_view what;
};

const std::vector<CheckInfo>& Checks();

}  // namespace korvid::lsp
