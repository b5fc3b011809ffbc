#include "model/RegisterLayout.h"

#include "base/Text.h"
#include "family/Layout.h"

#include <algorithm>
#include <cstdio>

namespace korvid {

namespace {
constexpr const char* kStatusLabels[8] = {"C", "DC", "Z", "PD", "TO", "", "PAx", ""};

std::string Hex2(int v) { return Hex(unsigned(v) & 0xFFu, 2); }

// 28L: first register of the lowest bank column shown.
int LowestBankRegister(const Family& family, int bankCount) {
    return BankRegisterAddress(family, family.maxBankCount - bankCount, 0);
}
}  // namespace

DebugTarget DebugTargetOf(const Family& family, std::uint16_t extFuse) {
    const Layout layout = LayoutOf(family, extFuse);
    return {layout.programSize, layout.bankCount, layout.portCount};
}

std::string GlobalLabel(const Family& family, int portCount, int row, bool wAt1) {
    if (row == 1) return std::string(RegisterOneName(wAt1));
    if (row >= 0 && row < kFirstPortRegister) return std::string(kSpecialRegisterNames[row]);
    int ports = family.memoryFromExtFuse ? std::clamp(portCount, 0, 5) : family.maxPortCount;
    if (row >= kFirstPortRegister && row < kFirstPortRegister + ports) return std::string(kSpecialRegisterNames[row]);
    return Hex2(row);
}

std::string GlobalHeader(std::uint32_t fsr) {
    char b[4];
    std::snprintf(b, sizeof b, "%Xx ", unsigned((fsr & 0xE0u) / 16));
    return b;
}

// Linear RAM (no mirrored global registers): every bank of 16 but the
// first, whose registers are the global ones; else the banks of 32 read.
int RamColumns(const Family& family, int bankCount) {
    return family.globalRegistersMirrored ? std::clamp(bankCount, 1, 8) : family.maxBankCount - 1;
}

int RamColumnBase(const Family& family, int bankCount, int column) {
    if (!family.globalRegistersMirrored) return BankRegisterAddress(family, column + 1, 0);
    return LowestBankRegister(family, RamColumns(family, bankCount)) + column * 32;
}

std::string RamColumnHeader(const Family& family, int bankCount, int column) {
    char b[4];
    std::snprintf(b, sizeof b, "%Xx", unsigned(RamColumnBase(family, bankCount, column) >> 4) & 0xFu);
    return b;
}

const char* StatusBitLabel(int bit) { return bit >= 0 && bit < 8 ? kStatusLabels[bit] : ""; }
bool StatusBitRaised(int bit) { return bit == 1 || bit == 3 || bit >= 5; }
bool HasBitRow(int reg) { return reg == 0 || reg == 3 || (reg >= 5 && reg <= 15); }

int FsrTarget(const Family& family, std::uint32_t fsr) { return IndirectRegister(family, fsr); }

bool InOtherBank(const Family& family, int reg, std::uint32_t fsr) {
    if (reg < 16 || reg > 255) return false;  // global registers are in every bank
    const int shift = family.bankShift;
    return (reg >> shift) != int((fsr >> shift) & (0xFFu >> shift));
}

int CellStyle(const Family& family, int cell, std::uint32_t value, std::uint32_t snapshotValue, std::uint32_t fsr,
              bool cursor) {
    int style = 0;
    if (value != snapshotValue) style |= kStyleChanged;
    if (cell < 256) {
        if (InOtherBank(family, cell, fsr)) style |= kStyleOtherBank;
        if (cell == FsrTarget(family, fsr)) style |= kStyleFsrTarget;
    }
    if (cursor) style |= kStyleCursor;
    return style;
}

int MoveCursor(const Family& family, int bankCount, int cell, CursorKey key) {
    if (!family.globalRegistersMirrored) {
        switch (key) {
            case CursorKey::Down:
                return cell == 15 ? kCellM : cell == kCellM ? kCellW : cell == kCellW ? 16 : cell == 255 ? 0 : cell + 1;
            case CursorKey::Up:
                return cell == 0 ? 255 : cell == 16 ? kCellW : cell == kCellW ? kCellM : cell == kCellM ? 15 : cell - 1;
            case CursorKey::Right:
                if (cell < 16) return kCellM;
                if (cell == kCellM) return kCellW;
                if (cell == kCellW) return 16;
                return cell >= 240 ? cell - 240 : cell + 16;
            case CursorKey::Left:
                if (cell < 16) return cell + 240;
                if (cell == kCellM) return 0;
                if (cell == kCellW) return kCellM;
                return cell < 32 ? kCellW : cell - 16;
        }
        return cell;
    }
    int lowest = LowestBankRegister(family, RamColumns(family, bankCount));
    switch (key) {
        case CursorKey::Down:
            if (cell == 15) return kCellM;
            if (cell == kCellM) return kCellW;
            if (cell == kCellW) return lowest;
            if (cell == 255) return 0;
            return cell >= 16 && (cell & 0x1F) == 0x1F ? cell + 17 : cell + 1;
        case CursorKey::Up:
            if (cell == 0) return 255;
            if (cell == kCellM) return 15;
            if (cell == kCellW) return kCellM;
            if (cell == lowest) return kCellW;
            return cell >= 16 && (cell & 0x1F) == 0x10 ? cell - 17 : cell - 1;
        case CursorKey::Right:
            if (cell < 16) return kCellM;
            if (cell == kCellM) return kCellW;
            if (cell == kCellW) return lowest;
            return cell >= 0xF0 ? cell & 0x0F : cell + 32;
        case CursorKey::Left:
            if (cell < 16) return cell + 240;
            if (cell == kCellM) return 0;
            if (cell == kCellW) return kCellM;
            return (cell & 0xF0) == (lowest & 0xF0) ? kCellW : cell - 32;
    }
    return cell;
}

std::uint32_t TypeHexDigit(const Family& family, int cell, std::uint32_t value, int digit, bool first) {
    std::uint32_t mask = cell == kCellM ? family.modeMask : 0xFFu;
    std::uint32_t v = first ? std::uint32_t(digit) : (value << 4) + std::uint32_t(digit);
    return v & mask;
}

int HexDigitOf(int key) {
    if (key >= '0' && key <= '9') return key - '0';
    if (key >= 'A' && key <= 'F') return key - 'A' + 10;
    if (key >= 'a' && key <= 'f') return key - 'a' + 10;
    return -1;
}

int ProgramAreaScroll(int position, int pc, int programSize) {
    position = std::min(position, pc - 3);
    position = std::max(position, 0);
    position = std::max(position, pc - 13);
    position = std::min(position, programSize - kProgramLines);
    return position;
}

int CurrentProgramAddress(int pc, bool skip, int programSize) {
    int size = programSize > 0 ? programSize : 1;
    return (pc + (skip ? 1 : 0)) % size;
}

}  // namespace korvid
