// The browser playground's chip and tools in one object: a source assembled
// as `korvid asm` does it, the emulated chip run in slices that the page
// paces (real time or as fast as it goes), breakpoints by source line, the
// registers and pins as the page shows them, switches on input pins, a
// serial terminal on two pins, the pins' changes for a live waveform and a
// VCD of the run, the language server, and `korvid test` on a test file's
// text. Every answer is JSON text, so that the page's worker needs nothing
// but strings across the WebAssembly boundary. Nothing here depends on the
// browser: the same object runs natively in the tests.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace korvid {

class ProgramSession;
class SxCpu;
class SimDriver;
class ChipSerialPort;
class VcdDump;
class PinSink;
class PlaygroundWave;
class PlaygroundVcdSink;
class PlaygroundTerminal;
namespace lsp { class Server; }

class Playground {
public:
    // `folder`: where the source and test texts are put as files for the
    // assembler and the test runner (the page's in-memory file system).
    explicit Playground(std::string folder);
    ~Playground();
    Playground(const Playground&) = delete;
    Playground& operator=(const Playground&) = delete;

    // Assembles `source` as the file `name` in `family` ("28l", "52" or
    // empty: from the source) and `dialect` ("strict", "extended" or empty).
    // {ok, family, dialect, problems: [{line, column, severity, text,
    // notes}], text (as the command line prints it), lines (code lines),
    // breakLine, clockHz}. A good assembly becomes the chip's program, reset
    // at power-on.
    std::string Assemble(const std::string& source, const std::string& name, const std::string& family,
                         const std::string& dialect);
    // The last good assembly's listing and SXH text, as `korvid asm -l`
    // and `-o` write them (the listing's bytes as code points, for JSON and
    // the page's strings).
    std::string Listing() const;
    std::string Hex() const;

    // Power-on reset of the program; the state.
    std::string Reset();
    // Runs up to `cycles` cycles, stopping at a breakpoint or the source's
    // BREAK: {stop: "budget"|"breakpoint"|"break"|"sleep"|"idle", state}.
    // A run that starts on a breakpoint leaves it first.
    std::string Run(double cycles);
    // One instruction (a taken skip with the word it passes over).
    std::string Step();
    // Breakpoints on these source lines (JSON array of 1-based lines); each
    // line without code moves to the next line that has some. The lines
    // taken, as JSON.
    std::string SetBreakpoints(const std::string& lines);
    // {cycle, timeUs, pc, line, registers: [{name, value, bits, writable}],
    // pins: [{name, level ("1", "0", "z"), high, output}], ram: [{bank, address, values}]}.
    std::string State() const;
    // Writes a register ("W", "STATUS", "RA", ...) from a number as the
    // assembler writes it; "" or the reason it was not written.
    std::string SetRegister(const std::string& name, const std::string& value);
    // Writes one RAM byte at a debugger address (0..255).
    std::string SetRam(int address, int value);
    // Drives an input pin ("RB.0") to 0 or 1 from outside, as a stimulus
    // file's `at TIME PIN = LEVEL` does; "" or the reason.
    std::string SetPin(const std::string& pin, int level);
    // The serial terminal: "RB.7,RB.6:9600" (receive pin, transmit pin,
    // baud rate); "" or the reason.
    std::string SetSerial(const std::string& pins);
    // Bytes the user typed, sent into the chip as 8N1 frames.
    void SerialSend(const std::string& bytes);
    // What the program sent since the last call (bytes as Latin-1 code
    // points in a JSON string).
    std::string TakeSerial();
    // The pins' level changes since the last call: {changes: [[cycle, port,
    // levels], ...], dropped}. At most the newest kMaxWaveChanges are kept
    // between calls (a page takes them 20 times a second; a pin toggling at
    // MHz rates would otherwise hand it megabytes each time); `dropped`
    // counts the older ones, before the first change given.
    std::string TakeWave();
    static constexpr std::size_t kMaxWaveChanges = 4096;
    // The run's waveform so far as a VCD file's text (up to kMaxVcdBytes,
    // where the dump stops recording), and "" or what the limit cut off.
    std::string Vcd();
    std::string VcdNote() const;
    static constexpr std::uint64_t kMaxVcdBytes = 16ull << 20;

    // One message of the language server's protocol in, the messages it
    // sends back out (a JSON array).
    std::string Lsp(const std::string& message);

    // Runs a test file's text against `source` (put where the test's
    // `source` line looks for it, so that the editor's text is what runs):
    // {status: "pass"|"fail"|"error", text (as `korvid test` prints it)}.
    std::string RunTest(const std::string& testText, const std::string& source, const std::string& sourceName);

private:
    std::string WriteText(const std::string& name, const std::string& text);
    void StartChip();
    bool ready() const;
    void ResumeFromTrap();

    std::string folder_;
    std::unique_ptr<ProgramSession> program_;
    std::unique_ptr<SxCpu> cpu_;
    std::unique_ptr<SimDriver> driver_;
    std::unique_ptr<PlaygroundWave> wave_;
    std::unique_ptr<PlaygroundVcdSink> vcdBytes_;
    std::unique_ptr<VcdDump> vcd_;
    std::unique_ptr<ChipSerialPort> serial_;
    PlaygroundTerminal* terminal_ = nullptr;  // owned by serial_
    std::string serialPins_ = "RB.7,RB.6:9600";
    std::string listing_, hex_;
    std::set<int> breakLines_;
    std::set<int> traps_;
    std::array<std::uint8_t, 5> driven_{};  // pins the page or the terminal drives
    std::vector<std::string> lspOut_;
    std::unique_ptr<lsp::Server> lsp_;
};

}  // namespace korvid
