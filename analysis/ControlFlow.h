// The control flow of an assembled program: every instruction's
// successors with the cycles each way costs (skips taken and not, jumps
// to the page the page bits select, JMP PC+W tables bounded by the RETW
// or JMP entries after them, calls and returns), the page bits that can
// hold on arrival at each instruction, and the routines (call targets).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "family/Family.h"
#include "family/InstructionSet.h"

namespace korvid {

// The program as the chip runs it: words past the program's data are the
// erased word the chip holds there.
struct FlowProgram {
    const Family* family = nullptr;
    ClockMode mode = ClockMode::Turbo;
    int size = 2048;  // program words
    std::array<std::uint16_t, kProgramWords> words{};
    std::array<bool, kProgramWords> data{};  // the image holds a word here
};

// The program of an assembled (or loaded) image: its part's program size
// and clock mode from the fuse words.
FlowProgram FlowProgramOf(const Family& family, const Image& image);

// How an instruction leaves the code the graph follows.
enum class FlowEnd : std::uint8_t {
    None,
    Return,           // RET, RETP, RETW: to the caller
    InterruptReturn,  // RETI, RETIW
    ComputedJump,     // a PC write the analysis cannot follow (JMP W, MOV PC,fr, a JMP PC+W without a table)
    Sleep,            // SLEEP: the chip stops (a wake-up is a reset)
};

struct FlowEdge {
    int to;
    int cycles;
};

struct FlowNode {
    WordTiming timing{};
    Operation operation = Operation::Unused;
    FlowEnd end = FlowEnd::None;
    std::vector<FlowEdge> next;  // successors within the routine (a CALL's: its return site)
    int callee = -1;             // CALL: the routine's address
    int callCycles = 0;          // CALL: the CALL's own cycles
    // Page bits possible on arrival (bit n: PA = n); 0: not reached.
    std::uint8_t pages = 0;
};

struct ControlFlow {
    const FlowProgram* program = nullptr;
    std::vector<FlowNode> nodes;            // by address
    std::vector<int> routines;              // call targets, ascending
    std::vector<std::vector<int>> callers;  // by address: the CALLs to a routine there
    // What a routine leaves in the page bits at its returns (bit n: PA =
    // n; bit 8: the caller's page, from RETP), by routine address.
    std::vector<std::uint16_t> returnPages;
    int resetVector = 0;
    bool reachesInterrupt = false;  // code at the interrupt vector (address 0)
};

ControlFlow AnalyseControlFlow(const FlowProgram& program);

// Code at the interrupt vector (address 0) and a RETI or RETIW somewhere.
bool HasInterruptRoutine(const FlowProgram& program);

// Page bits on arrival at `address` as a single page, or -1 when more than
// one is possible (or the instruction is not reached).
int SinglePage(const ControlFlow& flow, int address);

}  // namespace korvid
