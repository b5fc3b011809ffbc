// The Registers window's model without Qt: the debug connection's program
// size, bank and port counts, the labels of the global column, the cell
// styles with change marking, the edit cursor's moves over the register
// grid of each family, the typed hex value and the program area's scroll.
#pragma once

#include <cstdint>
#include <string>

#include "family/Family.h"
#include "family/Registers.h"

namespace korvid {

// Cell numbers of the editable cells: registers 0..255, then M and W.
inline constexpr int kCellM = kRegisterM;
inline constexpr int kCellW = kRegisterW;
inline constexpr int kProgramLines = 17;  // lines of the program area

// The target as the debugger sees it, from the chip image's extended fuse
// word when the Debug window opens.
struct DebugTarget {
    int programSize = 2048;
    int bankCount = 8;  // banks of RAM read (28L); 52 reads all its registers
    int portCount = 3;  // port registers named in the global column
};
DebugTarget DebugTargetOf(const Family& family, std::uint16_t extFuse);

// Global column: label of register `row` (0..15), the header from FSR
// ("6x " for 0x6D) and the bank column headers.
std::string GlobalLabel(const Family& family, int portCount, int row, bool wAt1);
std::string GlobalHeader(std::uint32_t fsr);
// Number of RAM columns and the first register of column `column`.
int RamColumns(const Family& family, int bankCount);
int RamColumnBase(const Family& family, int bankCount, int column);
std::string RamColumnHeader(const Family& family, int bankCount, int column);
// The STATUS bit label of bit 0..7 (empty for 5 and 7) and whether it is
// drawn raised so that neighbours do not collide.
const char* StatusBitLabel(int bit);
bool StatusBitRaised(int bit);
// Registers whose bits the bit area shows: 0, 3, 5 to 15 (and W).
bool HasBitRow(int reg);

// The register FSR addresses, and whether a register lies in a bank FSR
// does not select.
int FsrTarget(const Family& family, std::uint32_t fsr);
bool InOtherBank(const Family& family, int reg, std::uint32_t fsr);

// Cell style bits (0..12): changed, other bank, FSR target, edit cursor.
enum CellStyleBits : int { kStyleChanged = 1, kStyleOtherBank = 2, kStyleFsrTarget = 4, kStyleCursor = 8 };
int CellStyle(const Family& family, int cell, std::uint32_t value, std::uint32_t snapshotValue, std::uint32_t fsr,
              bool cursor);

// Cursor keys of in-place editing (Space moves as Down, Backspace as Up).
enum class CursorKey : std::uint8_t { Down, Up, Right, Left };
int MoveCursor(const Family& family, int bankCount, int cell, CursorKey key);

// A hex digit typed into a cell: the first digit starts a new value, later
// ones shift it left; 8 bits kept (M: 4 bits on 28L, 5 on 52).
std::uint32_t TypeHexDigit(const Family& family, int cell, std::uint32_t value, int digit, bool first);
int HexDigitOf(int key);  // 0..15, or -1

// Scroll position of the program area that keeps the program counter
// between the 4th and the 14th line where memory allows.
int ProgramAreaScroll(int position, int pc, int programSize);
// The program line of the current instruction: the program counter, or the
// one after it while the SKIP flag is set.
int CurrentProgramAddress(int pc, bool skip, int programSize);

}  // namespace korvid
