// korvid debug: a line-oriented debugger on the debug protocol, for scripts
// and tests. Assembles the source, prepares the debug image, programs it
// (unless --no-program, as Debug (reenter) does), starts the clock, resets
// the chip and reads commands from stdin; every halt prints the program
// counter, its instruction and its listing line. A command that fails
// prints "error: ..." in the transcript, the session goes on, and the exit
// status is 1 at the end so that a script can tell.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "apps/korvid/CmdDeviceCommon.h"
#include "apps/korvid/CommandTable.h"
#include "apps/korvid/RegisterDump.h"
#include "base/Text.h"
#include "core/asm/Assembler.h"
#include "core/image/DebugImage.h"
#include "family/NumberSyntax.h"
#include "core/image/Disassembler.h"
#include "core/link/Clock.h"
#include "core/link/Debug.h"
#include "core/link/DebugController.h"
#include "core/link/Protocol.h"
#include "core/link/Irc.h"
#include "core/link/LinkError.h"
#include "core/link/Programming.h"
#include "sim/Stimulus.h"
#include "family/Registers.h"
#include "model/WatchFormat.h"

namespace korvid::cli {
namespace {

class CliDebugger;

// A word of the script: its names, what follows it, the most words it
// takes after its name (a line with more is refused rather than half
// obeyed), what it does, and its action. The script's reader, the
// script's `help` and `korvid debug --help` all read this one table.
struct ScriptWord {
    const char* name;
    const char* alias;  // nullptr: none
    const char* operands;
    int most;
    const char* help;
    void (*run)(CliDebugger& debugger, const std::string& a, const std::string& b);
};

// The word of that name (in capitals), or nullptr.
const ScriptWord* FindScriptWord(const std::string& upperName);

// A number: 0x.., $.., ..h (hex), %.. (binary), else in `base` (decimal
// for counts and addresses, hex for register values as `regs` prints them).
bool ParseNumber(const std::string& text, long& value, int base = 10) {
    const auto v = korvid::ParseNumber(text, base);
    if (v) value = *v;
    return v.has_value();
}

class CliDebugger {
public:
    CliDebugger(Link& link, AssemblyState& state) : link_(link), state_(state), debugger_(link, state) {
        debugger_.ContinueAtBreakpoint = false;  // a script stops at the breakpoint
    }

    // `lineNumber`: the script line being run (0 before the first), which
    // tells after a link failure where the script was cut off.
    int Run(std::istream& in, int& lineNumber) {
        debugger_.Begin();
        debugger_.Reset();
        if (!WaitHalt()) std::printf("running\n");
        std::string line;
        while (std::getline(in, line)) {
            ++lineNumber;
            std::istringstream words(line);
            std::string command;
            if (!(words >> command)) continue;
            command = Upper(command);
            const ScriptWord* word = FindScriptWord(command);
            if (word && TooManyWords(*word, line)) continue;
            if (!word) {
                Error("unknown command '" + command + "'");
                std::printf("%s", ScriptWordHelp().c_str());
            } else {
                std::string a, b;
                words >> a >> b;
                word->run(*this, a, b);
            }
            if (quit_) break;
            std::fflush(stdout);
        }
        session_.End();
        return failed_ ? kExitFailure : kExitOk;
    }

private:
    bool Halted() const { return session_.StateValid; }

    // A failed command: its message in the transcript, and exit status 1.
    void Error(std::string message) {
        ShortenMessage(message);  // a script line may be megabytes long
        std::printf("error: %s\n", message.c_str());
        failed_ = true;
    }

    bool TooManyWords(const ScriptWord& command, const std::string& line) {
        const int most = command.most;
        std::istringstream words(line);
        std::string word;
        int count = -1;  // the command itself
        while (words >> word) ++count;
        if (count <= most) return false;
        std::string shown = line;
        while (!shown.empty() && std::isspace(static_cast<unsigned char>(shown.back()))) shown.pop_back();
        Error("too many words in '" + shown + "'");
        std::fflush(stdout);
        return true;
    }

    // Polls (40 ms apart, as the Debug window does) and handles each halt
    // by the debugger's rules until the chip waits, halted, for a command
    // (true), sleeps (reported once), or `timeoutMs` passes without a halt.
    // Every halt shown is printed (a halt at the breakpoint ends the
    // command); a Hop that is still on its line after `mostWithinLine`
    // steps is left there with a note.
    bool WaitHalt(std::uint32_t timeoutMs = 5000, int mostWithinLine = 0) {
        TickSource& ticks = link_.Ticks();
        std::uint64_t start = ticks.NowMs();
        int withinLine = 0;
        for (;;) {
            if (session_.Poll()) {
                if (withinLine == mostWithinLine && debugger_.HopFlag) {
                    debugger_.HopFlag = false;
                    std::printf("hop: still on the same line after %d steps\n", withinLine);
                }
                const DebugHalt halt = debugger_.TakeHalt();
                if (halt.event == DebugEvent::WithinLine)
                    ++withinLine;
                else
                    PrintHalt();
                if (!halt.resumed) return true;
                start = ticks.NowMs();
                continue;
            }
            if (session_.LastRunState == kRunStateSleeping) {
                std::printf("sleeping\n");
                return false;
            }
            if (ticks.NowMs() - start >= timeoutMs) return false;
            ticks.SleepMs(40);
        }
    }

    int Line(std::uint32_t pc) const { return state_.AddressLine[pc & (kProgramWords - 1)]; }

    void PrintHalt() {
        const ChipState& s = session_.State;
        const std::uint32_t pc = s.ProgramCounter;
        const char* text = DisassembleWord(state_, static_cast<int>(pc), s.WAt1Flag);
        std::printf("PC %03X  %-18s", pc, (state_.ChipImage[pc] & kDataFlag) ? text : "(unused)");
        if (s.SkipFlag) std::printf(" SKIP");
        if (s.IntFlag) std::printf(" INT");
        const int line = Line(pc);
        if (line >= 0) {
            const char* list = nullptr;
            GetListLine(state_, line, list);
            std::string shown(list ? list : "");
            while (!shown.empty() && (shown.back() == ' ' || shown.back() == '\r')) shown.pop_back();
            std::printf("  | %s", shown.c_str());
        }
        std::printf("\n");
    }

public:
    // The script's words (kScriptWords).
    void Quit() { quit_ = true; }
    void Help() { std::printf("%s", ScriptWordHelp().c_str()); }
    void ResetChip() {
        debugger_.Reset();
        if (!WaitHalt()) std::printf("running\n");
    }

private:
    bool RequireHalted() {
        if (Halted()) return true;
        Error("the chip is running (stop it first)");
        return false;
    }

private:
    // A stepping command and the halts that follow it.
    bool StepCommand(DebugCommand command, int mostWithinLine = 0) {
        debugger_.Execute(command);
        if (WaitHalt(1000, mostWithinLine)) return true;
        if (session_.LastRunState != kRunStateSleeping) std::printf("running\n");
        return false;
    }

public:
    void Step(const std::string& count) {
        if (!RequireHalted()) return;
        long n = 1;
        if (!count.empty() && (!ParseNumber(count, n) || n < 1 || n > 1000000)) {
            Error("step takes a count from 1 to 1000000");
            return;
        }
        for (long i = 0; i < n; ++i)
            if (!StepCommand(DebugCommand::Step)) return;
    }

    // Steps on silently until the listing line changes (the Debug window's
    // Hop); gives up after 10,000 steps (a loop within one line).
public:
    void Hop() {
        if (!RequireHalted()) return;
        StepCommand(DebugCommand::Hop, 10000);
    }

public:
    void RunCommand() {
        if (!RequireHalted()) return;
        debugger_.Execute(DebugCommand::Run);
        if (!debugger_.BreakpointSet()) {
            std::printf("running\n");
        } else if (!WaitHalt() && session_.LastRunState != kRunStateSleeping) {
            std::printf("running\n");
        }
    }

public:
    void Stop() {
        if (Halted()) {
            PrintHalt();
            return;
        }
        // A free run is interrupted by Stop; a run to the breakpoint here too.
        debugger_.Execute(DebugCommand::Stop);
        if (session_.LastMode != kModeFree) session_.Interrupt();
        if (!WaitHalt(1000)) Error("the chip did not halt");
    }

private:
    // The value of a symbol of the program (label or EQU).
    bool Symbol(const std::string& text, long& value) {
        for (const std::string& key : {Upper(text), text}) {
            if (const auto v = FindSymbol(state_, key)) {
                value = *v;
                return true;
            }
        }
        return false;
    }

private:
    // An address: a number or a label of the program.
    bool Address(const std::string& text, long& address) {
        if (!ParseNumber(text, address) && !Symbol(text, address)) return false;
        return address >= 0 && address < kProgramWords;
    }

private:
    bool CodeAddress(const std::string& text, long& address) {
        if (!Address(text, address)) {
            Error("'" + text + "' is not a program address or label");
            return false;
        }
        if (!(state_.ChipImage[static_cast<std::size_t>(address)] & kDataFlag)) {
            char where[8];
            std::snprintf(where, sizeof where, "%03lX", address);
            Error(std::string("no code at ") + where);
            return false;
        }
        return true;
    }

public:
    void Break(const std::string& where) {
        if (where.empty() || Upper(where) == "NONE") {
            session_.State.Breakpoint = kNoBreakpoint;
            std::printf("breakpoint none\n");
            return;
        }
        long address = 0;
        if (!CodeAddress(where, address)) return;
        session_.State.Breakpoint = static_cast<std::uint32_t>(address);
        std::printf("breakpoint %03lX\n", address);
    }

public:
    void MovePc(const std::string& where) {
        if (!RequireHalted()) return;
        long address = 0;
        if (!CodeAddress(where, address)) return;
        session_.CurrentSnapshot.Breakpoint = session_.State.Breakpoint;  // keep the breakpoint
        session_.MoveProgramCounter(static_cast<int>(address));
        PrintHalt();
    }

public:
    void Registers() {
        if (!RequireHalted()) return;
        PrintRegisters(stdout, session_.State, state_, session_.BankCount);
    }

    // Register addresses and values are hex, as `regs` prints them ("0C:40").
public:
    void Set(const std::string& reg, const std::string& value) {
        if (!RequireHalted()) return;
        long v = 0;
        if (reg.empty() || !ParseNumber(value, v, 16) || v < 0 || v > 255) {
            Error("set takes a register and a value from 0 to 255 (hex, 00 to FF)");
            return;
        }
        const auto address = FindRegister(state_, reg);
        if (!address) {
            Error("unknown register '" + reg + "'");
            return;
        }
        if (!IsRegisterNumber(*address)) {
            Error("register " + reg + " out of range");
            return;
        }
        session_.WriteRegister(static_cast<int>(*address), static_cast<std::uint32_t>(v));
        session_.Resync();
        PrintHalt();
    }

public:
    void Watches() {
        if (!RequireHalted()) return;
        if (state_.WatchCount == 0) {
            std::printf("no watches\n");
            return;
        }
        for (std::uint32_t i = 0; i < state_.WatchCount && i < kMaxWatches; ++i) {
            const Watch& w = state_.Watches[i];
            std::printf("%s = %s\n", w.name,
                        WatchText(w, session_.State.registers.data(), *state_.family, session_.BankCount).c_str());
        }
    }

    Link& link_;
    AssemblyState& state_;
    DebugController debugger_;
    DebugSession& session_ = debugger_.Session;
    bool failed_ = false;  // a command failed: exit status 1
    bool quit_ = false;    // the script said quit
};

const ScriptWord kScriptWords[] = {
    {"STEP", "S", "[N]", 1, "execute N instructions (default 1), printing each halt",
     [](CliDebugger& d, const std::string& a, const std::string&) { d.Step(a); }},
    {"HOP", nullptr, "", 0, "step on until the listing line changes (gives up after 10000 steps)",
     [](CliDebugger& d, const std::string&, const std::string&) { d.Hop(); }},
    {"RUN", nullptr, "", 0, "run to the breakpoint, or freely when none is set",
     [](CliDebugger& d, const std::string&, const std::string&) { d.RunCommand(); }},
    {"STOP", nullptr, "", 0, "halt the running chip",
     [](CliDebugger& d, const std::string&, const std::string&) { d.Stop(); }},
    {"BREAK", nullptr, "ADDR|LABEL|none", 1, "set the breakpoint (one at a time), or clear it",
     [](CliDebugger& d, const std::string& a, const std::string&) { d.Break(a); }},
    {"PC", nullptr, "ADDR|LABEL", 1, "move the program counter",
     [](CliDebugger& d, const std::string& a, const std::string&) { d.MovePc(a); }},
    {"REGS", nullptr, "", 0, "print the registers",
     [](CliDebugger& d, const std::string&, const std::string&) { d.Registers(); }},
    {"SET", nullptr, "REG VALUE", 2, "write a register: a name, symbol or hex address, a hex value 00 to FF",
     [](CliDebugger& d, const std::string& a, const std::string& b) { d.Set(a, b); }},
    {"WATCH", nullptr, "", 0, "print the source's WATCH values",
     [](CliDebugger& d, const std::string&, const std::string&) { d.Watches(); }},
    {"RESET", nullptr, "", 0, "reset the chip; it halts at the reset vector",
     [](CliDebugger& d, const std::string&, const std::string&) { d.ResetChip(); }},
    {"HELP", nullptr, "", 0, "list these commands",
     [](CliDebugger& d, const std::string&, const std::string&) { d.Help(); }},
    {"QUIT", "Q", "", 0, "end the session (as the end of the script does)",
     [](CliDebugger& d, const std::string&, const std::string&) { d.Quit(); }},
};
const ScriptWord* FindScriptWord(const std::string& upperName) {
    for (const ScriptWord& w : kScriptWords)
        if (upperName == w.name || (w.alias && upperName == w.alias)) return &w;
    return nullptr;
}

}  // namespace

std::string ScriptWordHelp() {
    // Kept as the option rows are, so that both lists read alike.
    std::vector<std::string> names, aliases;
    for (const ScriptWord& w : kScriptWords) {
        names.push_back(Lower(w.name));
        aliases.push_back(w.alias ? Lower(w.alias) : std::string());
    }
    std::vector<OptionSpec> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({names[i], kScriptWords[i].operands, kScriptWords[i].help, aliases[i]});
    return "script commands (one a line on standard input, in any case):\n" + OptionHelpLines(rows);
}

int RunDebug(const Options& options) {
    DeviceLink port(options);

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), options.Operands()[0], ProgramKind::Source))
        return kExitFailure;
    AssemblyState& s = session.state();
    PrepareDebugImage(s);
    if (s.ErrorFlag) {
        std::string message = s.ErrorMessage;
        std::string text;
        for (char c : message)
            if (c != '\r') text += c;
        std::fprintf(stderr, "%s\n", text.c_str());
        return kExitFailure;
    }
    const bool program = !options.Flag("--no-program");
    int scriptLine = -1;  // the script had started (0: not at its first line yet)
    const int status = RunOnLink(port.link, [&] {
        port.link.RequireDebugTool();
        if (program) {
            StderrProgress progress;
            IrcSettings irc;
            ProgramDevice(port.link, s, irc, progress, false);
        }
        port.link.OpenLink();
        CliDebugger debugger(port.link, s);
        scriptLine = 0;
        const int result = debugger.Run(std::cin, scriptLine);
        scriptLine = -1;
        return result;
    });
    // A link failure ends the session: what the script still had is not run
    // against a tool that is gone, and a script must not take that for its end.
    if (scriptLine > 0)
        std::fprintf(stderr, "korvid: the session ended at line %d of the script; the rest was dropped\n", scriptLine);
    else if (scriptLine == 0)
        std::fprintf(stderr, "korvid: the session ended before the script's first line; all of it was dropped\n");
    return status;
}

}  // namespace korvid::cli
