// The Code window's model without Qt: how many listing rows fit, the scroll
// bar's rules, scrolling to the program counter, the wheel step, the row
// styles and the program address a row stands for.
#pragma once

#include <cstdint>

#include "core/asm/AssemblyState.h"

namespace korvid {

inline constexpr int kMaxCodeRows = 1000;
inline constexpr int kCodeLeftChars = 15;   // address and code columns of a listing line
inline constexpr int kCodeSourceColumn = 16;  // the source text starts after one unused column

// Rows shown for a client height; never negative.
int CodeRowCount(int clientHeight, int rowHeight, std::uint32_t listLineCount);
// The scroll bar is shown (and holds the focus) only for 1 <= rows <= count - 2.
bool CodeScrollBarShown(int rows, std::uint32_t listLineCount);
int CodeScrollMaximum(int rows, std::uint32_t listLineCount);
// Scroll position that keeps line `line` a quarter of the rows away from
// either edge where the listing allows; `line` -1 leaves it unchanged.
int CodeScrollToLine(int position, int line, int rows, std::uint32_t listLineCount);
int CodeWheelStep(int rows);

enum class CodeRowStyle : std::uint8_t { Plain, Current, Breakpoint, Both };
// The listing line of the current instruction (-1 for none).
int CodeCurrentLine(const AssemblyState& state, int pc, bool skip, int programSize);
// The listing line of the breakpoint, -1 when there is none.
int CodeBreakpointLine(const AssemblyState& state, int breakpoint, int programSize);
CodeRowStyle CodeStyleOf(int line, int currentLine, int breakpointLine);

// Lowest program address whose listing line is `line`; -1 for a line that
// produced no code.
int CodeLineAddress(const AssemblyState& state, int line, int programSize);

}  // namespace korvid
