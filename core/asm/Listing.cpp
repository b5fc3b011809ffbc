// The list text and its line maps, written straight into the caller's
// buffer.
#include "core/asm/AsmCore.h"

namespace korvid {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kCr = 13;

[[noreturn]] void ListFull(AsmWork& w, AsmNote limit) {
    NoteWord(w, limit, w.state->ErrorStart, w.state->ErrorEnd);
    Fail(w, AsmMsg::ListTooLarge);
}

// Without a list text, one line's listing must still fit the buffer: a
// line that no listing could hold stays an error.
void CountUnlisted(AsmWork& w, std::uint64_t bytes) {
    w.listedBytes += bytes;
    if (w.listedBytes - w.lineListStart > w.state->ListCapacity) ListFull(w, AsmNote::ListBytes);
}

void Put(AsmWork& w, char c) {
    AssemblyState& s = *w.state;
    w.column = c == '\t' ? (w.column + 8) & ~7u : w.column + 1;
    if (!s.ListWanted) return CountUnlisted(w, 1);
    ++w.listedBytes;
    if (s.ListLength >= s.ListCapacity) ListFull(w, AsmNote::ListBytes);
    s.ListText[s.ListLength++] = c;
}

void PutHex(AsmWork& w, std::uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) Put(w, kHexDigits[(value >> (4 * i)) & 0xF]);
}

// " XXX" for `count` words from `address` on (wrapping with the mask).
void PutWords(AsmWork& w, std::uint32_t address, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        Put(w, ' ');
        PutHex(w, w.state->ChipImage[(address + static_cast<std::uint32_t>(i)) & w.AddressMask] & kWordMask, 3);
    }
}

// Copies the source line from `start` through its CR (a CR is added when
// the text ends without one).
void PutSourceLine(AsmWork& w, std::uint32_t start) {
    AssemblyState& s = *w.state;
    const char* line = w.src + start;
    std::uint32_t length = 0;
    while (line[length] != kCr && line[length] != 0) ++length;
    ++length;  // the CR, copied or added
    if (!s.ListWanted) return CountUnlisted(w, length);
    w.listedBytes += length;
    std::uint32_t room = s.ListCapacity - s.ListLength;
    std::uint32_t n = length <= room ? length : room;
    for (std::uint32_t i = 0; i < n; ++i) s.ListText[s.ListLength + i] = i + 1 == length ? kCr : line[i];
    s.ListLength += n;
    if (n < length) ListFull(w, AsmNote::ListBytes);
}
}  // namespace

void RecordListEntry(AsmWork& w, std::uint32_t sourceOffset) {
    AssemblyState& s = *w.state;
    if (!s.ListWanted) return;
    if (s.ListLineCount >= static_cast<std::uint32_t>(kMaxListLines)) ListFull(w, AsmNote::ListLines);
    s.ListLineSource[s.ListLineCount] = sourceOffset;
    s.ListLineOffset[s.ListLineCount] = s.ListLength;
    ++s.ListLineCount;
}

void ListLine(AsmWork& w) {
    if (w.listSuppressed) return;
    bool withSource = true;
    if (w.lineFrame != kNoFrame && w.noExpand) {
        // Expansion lines under NOEXPAND: only the code they produced.
        if (w.wordsStored <= 0) return;
        withSource = false;
    }
    RecordListEntry(w, w.lineStart);
    w.column = 0;
    w.lineListStart = w.listedBytes;
    std::int32_t listed = 0;
    if (w.wordsStored < 0) {
        Put(w, '=');
        PutHex(w, w.showValue, 8);
    } else if (w.addressShown) {
        PutHex(w, w.showValue & kWordMask, 3);
        Put(w, '-');
        listed = w.wordsStored < 2 ? w.wordsStored : 2;
        PutWords(w, w.showValue, listed);
    }
    if (w.src[w.lineStart] != kCr)
        while (w.column < 16) Put(w, '\t');
    if (withSource)
        PutSourceLine(w, w.lineStart);
    else
        Put(w, kCr);
    // Continuation lines for the words beyond the first two.
    std::int32_t remaining = w.wordsStored > listed ? w.wordsStored - listed : 0;
    std::uint32_t address = w.showValue + static_cast<std::uint32_t>(listed);
    while (remaining > 0) {
        RecordListEntry(w, w.lineStart);
        w.column = 0;
        PutHex(w, address & w.AddressMask & kWordMask, 3);
        Put(w, '-');
        std::int32_t n = remaining < 2 ? remaining : 2;
        PutWords(w, address, n);
        Put(w, kCr);
        address += static_cast<std::uint32_t>(n);
        remaining -= n;
    }
}

}  // namespace korvid
