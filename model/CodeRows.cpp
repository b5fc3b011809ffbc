#include "model/CodeRows.h"

#include <algorithm>

namespace korvid {

int CodeRowCount(int clientHeight, int rowHeight, std::uint32_t listLineCount) {
    int rows = rowHeight > 0 ? std::max(clientHeight / rowHeight, 0) : 0;
    rows = std::min<std::int64_t>(rows, std::int64_t(listLineCount) - 1);
    rows = std::min(rows, kMaxCodeRows);
    return std::max(rows, 0);
}

bool CodeScrollBarShown(int rows, std::uint32_t listLineCount) {
    return rows >= 1 && std::int64_t(rows) <= std::int64_t(listLineCount) - 2;
}

int CodeScrollMaximum(int rows, std::uint32_t listLineCount) {
    return int(std::max<std::int64_t>(std::int64_t(listLineCount) - rows - 1, 0));
}

int CodeScrollToLine(int position, int line, int rows, std::uint32_t listLineCount) {
    if (line < 0) return position;
    position = std::min(position, line - rows / 4);
    position = std::max(position, 0);
    position = std::max(position, line + rows / 4 - rows + 1);
    position = std::min(position, CodeScrollMaximum(rows, listLineCount));
    return position;
}

int CodeWheelStep(int rows) { return rows / 8 + 1; }

namespace {
int LineOf(const AssemblyState& state, int address, int programSize) {
    int size = std::clamp(programSize, 1, kProgramWords);
    int a = ((address % size) + size) % size;
    return state.AddressLine[std::size_t(a)];
}
}  // namespace

int CodeCurrentLine(const AssemblyState& state, int pc, bool skip, int programSize) {
    return LineOf(state, skip ? pc + 1 : pc, programSize);
}

int CodeBreakpointLine(const AssemblyState& state, int breakpoint, int programSize) {
    if (breakpoint < 0 || breakpoint >= std::min(programSize, kProgramWords)) return -1;
    return state.AddressLine[std::size_t(breakpoint)];
}

CodeRowStyle CodeStyleOf(int line, int currentLine, int breakpointLine) {
    bool current = line >= 0 && line == currentLine;
    bool brk = line >= 0 && line == breakpointLine;
    return current && brk ? CodeRowStyle::Both
           : brk          ? CodeRowStyle::Breakpoint
           : current      ? CodeRowStyle::Current
                          : CodeRowStyle::Plain;
}

int CodeLineAddress(const AssemblyState& state, int line, int programSize) {
    if (line < 0) return -1;
    int size = std::clamp(programSize, 0, kProgramWords);
    for (int a = 0; a < size; ++a)
        if (state.AddressLine[std::size_t(a)] == line) return a;
    return -1;
}

}  // namespace korvid
