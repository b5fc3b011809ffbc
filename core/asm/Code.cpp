// Storing program words and building the operand fields of instructions.
#include "core/asm/AsmCore.h"

namespace korvid {

void StoreWordAt(AsmWork& w, std::uint32_t address, std::uint32_t word) {
    AssemblyState& s = *w.state;
    address &= kProgramWords - 1;
    if (s.ChipImage[address] & kDataFlag) Fail(w, AsmMsg::LocationHasData);
    s.ChipImage[address] = static_cast<std::uint16_t>((word & kWordMask) | kDataFlag);
    ++w.wordsStored;
    ++w.passWords;
    if (s.ListWanted) s.AddressLine[address] = static_cast<std::int32_t>(s.ListLineCount);
}

void StoreWord(AsmWork& w, std::uint32_t word) {
    StoreWordAt(w, w.LocationCounter, word);
    w.LocationCounter = (w.LocationCounter + 1) & w.AddressMask;
}

std::uint32_t RegisterField(const AsmWork& w, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    if (!w.family->foldBankedRegisters) return v & 0x1F;
    v &= 0xFF;
    return (v & 0xF0) ? 0x10 | (v & 0x0F) : v;
}

std::uint32_t BitField(const AsmWork& w, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    return ((v >> 8) & 7) << 5 | RegisterField(w, static_cast<std::int32_t>(v & 0xFF));
}

}  // namespace korvid
