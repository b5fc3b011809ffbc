// Stimulus files: pin levels applied to the emulated chip from outside on a
// schedule. A line-based text format:
//
//   # comment
//   at TIME PIN = 0|1|z          one pin (z: released, no longer driven)
//   at TIME PORT = VALUE         all pins of a port
//   clock PIN period TIME [duty N%] [from TIME] [until TIME]
//   uart PIN BAUD at TIME "text"   8N1 frames into a pin that idles high
//
// TIME is a number with a unit: s, ms, us, ns or c (instruction cycles).
// Pins are RA.0 .. RE.7, ports RA .. RE, as the chip has them.
//
// Parsing keeps the file's statements; the schedule turns them into pin
// events in cycle order as the simulation asks for them, so a clock that
// runs for the whole simulation costs no memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "family/Family.h"
#include "platform/StopFlag.h"

namespace korvid {

// A time as the file gives it: picoseconds, or instruction cycles.
struct StimulusTime {
    std::uint64_t value = 0;
    bool cycles = false;
};

// How times turn into instruction cycles: the oscillator and the clocks per
// instruction cycle (1 turbo, 4 compatible).
struct SimTimeBase {
    std::uint32_t clockHz = 50'000'000;
    int clocksPerCycle = 1;
    // The first cycle at or after the time.
    std::uint64_t CycleAt(StimulusTime t) const;
    // Picoseconds from power-on to the start of `cycle` (rounded).
    std::uint64_t Picoseconds(std::uint64_t cycle) const;
};

// Parses "10us", "2000c", "1.5ms": the text must be a whole time.
bool ParseStimulusTime(const std::string& text, StimulusTime& time, std::string& message);

struct StimulusError {
    int line;
    int column;
    std::string message;
};

struct StimulusStatement {
    enum class Kind : std::uint8_t { Set, Clock, Uart } kind = Kind::Set;
    int line = 0;
    int port = 0;
    std::uint8_t mask = 0;      // the pins concerned
    std::uint8_t level = 0;     // Set: their levels
    bool release = false;       // Set: stop driving them
    StimulusTime at;            // Set: when; Uart: first start bit
    StimulusTime period;        // Clock
    int dutyPercent = 50;       // Clock: high part of the period
    StimulusTime from;          // Clock: first rising edge
    StimulusTime until;         // Clock: no edge at or after (hasUntil)
    bool hasUntil = false;
    int timingColumn = 0;       // Clock: of the period; Uart: of the baud rate
    std::uint32_t baud = 0;     // Uart
    std::string text;           // Uart: the bytes sent
};

// An `at` statement as it is kept: 16 bytes, so that a file of millions of
// them stays small.
struct StimulusSet {
    std::uint64_t time = 0;  // picoseconds, or instruction cycles with `cycles`
    std::uint8_t port = 0;
    std::uint8_t mask = 0;
    std::uint8_t level = 0;
    bool release = false;
    bool cycles = false;
};

struct Stimulus {
    std::vector<StimulusSet> sets;               // `at` statements, in file order
    std::vector<StimulusStatement> statements;   // clock and uart statements, in file order
};

// The pins a stimulus may name: bonded pins by port (0 = RA .. 4 = RE; a
// mask of 0 means the port does not exist).
struct StimulusPins {
    std::uint8_t bonded[5] = {};
    static StimulusPins Of(const Family& family, int portCount);
};

// A word of a line with its 1-based column; strings keep their quotes off
// and their escapes decoded. `#` starts a comment where a word would start.
struct StimulusToken {
    std::string text;
    int column = 0;
    bool string = false;
};

// Statements of a file format built on stimulus files (test files): called
// for every line whose first word is not a stimulus statement, with the
// line's words and number. Returns false with `error` (its column and
// message; the line is filled in) when the line is not valid.
using StimulusLineHook =
    std::function<bool(const std::vector<StimulusToken>& tokens, int line, StimulusError& error)>;

// Parses the text of a stimulus file. Returns false with every error (the
// first of each line) when the text is not valid; nothing then runs. When
// `stop` becomes non-zero parsing ends early (false, no error added).
bool ParseStimulus(const std::string& text, const StimulusPins& pins, Stimulus& out,
                   std::vector<StimulusError>& errors, const StimulusLineHook& otherStatement = {},
                   const volatile std::sig_atomic_t* stop = nullptr);

// A message that quotes a long text (a 60 MB line, say) keeps its start and
// its end, 240 characters in all; the messages of every script format
// (stimulus, test and debug scripts) go through it.
void ShortenMessage(std::string& message);

// An unsigned number as stimulus files write values: decimal, 0x.., $..,
// %.. (binary), ..h; `_` separates digits.
bool ParseStimulusNumber(const std::string& text, std::uint64_t& value);

// Errors of statements that the clock makes impossible to follow: a clock
// period under two instruction cycles, a UART bit under one (the
// simulation would spend its time on edges nobody can see).
bool CheckStimulusTiming(const Stimulus& stimulus, SimTimeBase base, std::vector<StimulusError>& errors);

// Names of pins and ports for messages and waveforms: "RB", "RB.6".
std::string PortName(int port);
// Parses "RB.6" into port and bit; false when it is not a pin name.
bool ParsePinName(const std::string& text, int& port, int& bit);

// One change of driven levels: the pins of `mask` on `port` take `level`
// (or are released) from `cycle` on.
struct PinEvent {
    std::uint64_t cycle = 0;
    int port = 0;
    std::uint8_t mask = 0;
    std::uint8_t level = 0;
    bool release = false;
};

// The events of a stimulus in cycle order (at statements first, then file
// order within a cycle), generated as they are taken: the next event comes
// from a heap of the generators (log n a take), and the at statements are
// one sorted list of 16-byte events. The stimulus must outlive the schedule.
class StimulusSchedule {
public:
    StimulusSchedule() = default;
    // Sorting a large list polls `stop`; once it is non-zero the schedule
    // is left empty.
    StimulusSchedule(const Stimulus& stimulus, SimTimeBase base, const volatile std::sig_atomic_t* stop = nullptr);

    bool empty() const;
    // Cycle of the next event (~0 when none is left).
    std::uint64_t NextCycle() const;
    // Takes the next event; false when none is left.
    bool Take(PinEvent& event);

private:
    // One generator: the sorted at events (source 0), a clock or a UART.
    struct Source {
        const StimulusStatement* st = nullptr;  // null: the at events
        std::uint64_t next = ~0ull;             // cycle of the next event
        std::uint64_t index = 0;                // at: list position; clock: edge; uart: bit
    };
    PinEvent Current(const Source& s) const;
    void Compute(Source& s) const;
    // A source with events left, keyed by its next event's cycle. Heap
    // order: the earlier event first, the lower source on a tie. The heap
    // has four children a node (fewer levels, a node's children side by
    // side in memory).
    struct Entry {
        std::uint64_t next;
        std::uint32_t source;
        bool operator<(const Entry& o) const { return next != o.next ? next < o.next : source < o.source; }
    };
    void SiftDown(std::size_t at);

    // The at statements by cycle, shared by copies of the schedule (a
    // debugger's history keeps many): they never change once sorted.
    std::shared_ptr<const std::vector<PinEvent>> fixed_;
    std::vector<Source> sources_;
    std::vector<Entry> heap_;
    SimTimeBase base_;
};

}  // namespace korvid
