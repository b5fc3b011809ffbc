// The fewest and most cycles a program can take: from arriving at one
// address (before it runs) to the next arrival at another over every path
// of its control flow, each routine from its entry to its return, and the
// interrupt routine from the interrupt to its return with the period its
// RETIW sets. A loop counted by DECSZ or INCSZ on a register set to a
// constant before it is bounded by that count; any other loop leaves the
// bound open and says where and why.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/ControlFlow.h"

namespace korvid {

struct CycleBound {
    std::int64_t min = 0, max = 0;
    bool bounded = true;  // max holds; else only min does
    bool reached = true;  // some path arrives at all
    int openAt = -1;      // !bounded: the loop header or instruction that leaves it open
    std::string why;      // !bounded: why
    int longestEnd = -1;  // the last instruction on a longest path
};

// The cycles from arriving at `from` to the next arrival at `to`, the
// measure of a span counter in a run. Interrupts are not counted in.
CycleBound SpanCycles(const ControlFlow& flow, int from, int to);

// A routine from arriving at its entry until it is back at its caller,
// its return included (not the CALL).
CycleBound RoutineCycles(const ControlFlow& flow, int entry);

// The interrupt routine: its entry from the interrupt, the routine, its
// RETI or RETIW.
CycleBound InterruptCycles(const ControlFlow& flow);

// The interrupt period in instruction cycles that RETIW keeps: the W it
// adds to RTCC (the same constant on every RETIW) times the RTCC
// prescaler the program writes to OPTION; 0 when the program does not
// fix it (RTCC counting its pin, W or OPTION not a constant).
std::int64_t InterruptPeriod(const ControlFlow& flow);

}  // namespace korvid
