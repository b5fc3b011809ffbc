// Entering the label of a line and keeping the global-label prefix.
#include "core/asm/AsmCore.h"

namespace korvid {

void EnterPendingLabel(AsmWork& w, std::int32_t value) {
    if (w.knownLabel != kNoEntry) {
        // Pass 2 keeps the label's pass-1 value. When the code before it
        // took a different size in pass 2 (an IFDEF or IFNDEF of a symbol
        // defined further down), that value would be silently wrong.
        if (EntryValue(w, w.knownLabel) != value) {
            SetSpan(w, w.labelStart, w.labelEnd);
            Fail(w, AsmMsg::LabelChangedBetweenPasses);
        }
        return;
    }
    if (!w.hasPendingLabel) return;
    EnterSymbol(w, w.pendingKey, w.pendingKeyLength, Tok::Constant, value);
    w.hasPendingLabel = false;
}

void SetGlobalPrefix(AsmWork& w, const char* text, int length) {
    if (length > w.nameLimit) length = w.nameLimit;
    for (int i = 0; i < length; ++i) w.prefix[i] = text[i];
    w.prefix[length] = 0;
    w.prefixLength = length;
}

}  // namespace korvid
