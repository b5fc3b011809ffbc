// Entering the label of a line and keeping the global-label prefix.
#include "core/asm/AsmCore.h"

namespace korvid {

void EnterPendingLabel(AsmWork& w, std::int32_t value) {
    if (!w.hasPendingLabel) return;
    EnterSymbol(w, w.pendingKey, w.pendingKeyLength, Tok::Constant, value);
    w.hasPendingLabel = false;
}

void SetGlobalPrefix(AsmWork& w, const char* text, int length) {
    if (length > kMaxNameLength) length = kMaxNameLength;
    for (int i = 0; i < length; ++i) w.prefix[i] = text[i];
    w.prefix[length] = 0;
    w.prefixLength = length;
}

}  // namespace korvid
