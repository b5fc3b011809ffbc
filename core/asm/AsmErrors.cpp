// Ending an assembly at its first error.
#include "core/asm/AsmCore.h"

namespace korvid {

void SetSpan(AsmWork& w, std::uint32_t start, std::uint32_t end) {
    w.state->ErrorStart = start;
    w.state->ErrorEnd = end;
}

void Fail(AsmWork& w, AsmMsg msg) {
    w.state->ErrorMessage = AsmMessageText(msg);
    throw AsmAbort{};
}

void FailWithText(AsmWork& w, const char* text) {
    w.state->ErrorMessage = text;
    throw AsmAbort{};
}

}  // namespace korvid
