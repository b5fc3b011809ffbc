// One debug session of `korvid dap`: the protocol's requests on a program
// run by a Target, the emulator in this process (SimTarget) or the tool on
// a port (ToolTarget, through the debugger model). Requests arrive through Handle;
// while the chip runs, the owner calls Advance between requests, so that
// pause and every other request are answered during a long run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/link/SerialDevice.h"
#include "model/CycleStopwatch.h"
#include "rpc/Transport.h"

#include "dap/Program.h"
#include "dap/Registers.h"
#include "dap/Target.h"

namespace korvid::dap {

using Json = nlohmann::json;

// What a session is given besides its client.
struct SessionOptions {
    // The serial device of the tool target; empty: the system's port that
    // the launch names.
    std::function<std::unique_ptr<SerialDevice>()> toolDevice;
};

class Session final : RunHost {
public:
    // `send` writes one message (a response or an event) to the client.
    explicit Session(std::function<void(const Json&)> send, SessionOptions options = {});
    ~Session();

    // Handles one request (or answers a malformed message).
    void Handle(const Json& message);
    // A message that could not be read as JSON: answered with an error.
    void Malformed(const std::string& why);
    // True while the chip runs (continue, next over a CALL, step out).
    bool running() const { return mode_ != RunMode::Stopped && mode_ != RunMode::Idle; }
    // Runs a slice of a few milliseconds and reports a stop.
    void Advance();
    // The client asked to end (disconnect) or the input ended.
    bool finished() const { return finished_; }
    // The session ends: the waveform is completed, the tool's chip stopped.
    void Close();

private:
    struct Breakpoint {
        int id = 0;
        int address = -1;  // -1: not placed
        std::string condition, hitCondition, logMessage;
        std::uint64_t hits = 0;
    };

    void Respond(const Json& request, bool success, Json body = Json::object(), const std::string& message = {});
    void Event(const std::string& name, Json body = Json::object());
    void Output(const std::string& text, const std::string& category = "console");
    void Stopped(const std::string& reason, const std::string& text = {}, std::vector<int> hitIds = {});

    // Requests (Session.cpp: life and execution; SessionState.cpp: what the
    // client reads and writes of the stopped chip).
    void Initialize(const Json& request);
    void Disconnect(const Json& request);
    // The program ends: the waveform is completed; the tool's chip is
    // stopped or left as it is, and its port closed.
    void End(bool stopChip);
    void Launch(const Json& request);
    void SetBreakpoints(const Json& request);
    void SetInstructionBreakpoints(const Json& request);
    void ConfigurationDone(const Json& request);
    void SetExceptionBreakpoints(const Json& request);
    void Restart(const Json& request);
    void Resume(const Json& request);
    void StepIn(const Json& request);
    void Next(const Json& request);
    void StepOut(const Json& request);
    void Pause(const Json& request);
    void StepBack(const Json& request);
    void ReverseContinue(const Json& request);
    void GotoTargets(const Json& request);
    void Goto(const Json& request);
    void StackTrace(const Json& request);
    void Scopes(const Json& request);
    void Variables(const Json& request);
    void SetVariable(const Json& request);
    void Evaluate(const Json& request);
    void Disassemble(const Json& request);
    void ReadMemory(const Json& request);
    void WriteMemory(const Json& request);
    void WriteProgramWords(const Json& request, const std::string& ref, std::int64_t offset,
                           const std::vector<std::uint8_t>& data);

    // Execution helpers.
    void StartRun(RunMode mode, std::optional<int> stopAt);
    void UpdateTraps();
    bool ConditionHolds(const Breakpoint& b);
    std::size_t BreakpointCount() const { return lineBreaks_.size() + instructionBreaks_.size(); }

    // What a run asks of the session (RunHost).
    RunMode mode() const override { return mode_; }
    std::optional<int> stepStop() const override { return stepTrap_; }
    // The address of the first breakpoint, line breakpoints first.
    std::optional<int> FirstBreakpoint() const override;
    bool BreakpointStops(int address, std::vector<int>& hitIds) override;
    std::optional<std::string> Fault(int pc) const override;
    bool WatchdogTimedOut(int pc) const override;
    bool Blank(int address) const override { return blankWords_.count(address) != 0; }
    int LineOf(int address) const override { return program_.LineOf(address); }
    void Stop(const std::string& reason, const std::string& text, std::vector<int> hitIds) override {
        Stopped(reason, text, std::move(hitIds));
    }
    void RunAs(RunMode mode) override { StartRun(mode, std::nullopt); }
    // The return address on top of the stack, when the top entry follows a CALL.
    std::optional<int> ReturnAddress() const;
    int CallDepth() const;

    // Values.
    std::optional<std::int64_t> Value(const std::string& expression, std::string* shown = nullptr);
    std::string FrameName(int address) const;
    // Register `address` of the file (00h..FFh) as the program reads it.
    std::uint8_t FileByte(int address) const;
    std::array<std::uint32_t, 256> FileNow() const;
    Json SourceJson() const;
    std::uint32_t ProgramWords() const;

    // The chip of the session.
    SxCpu& Cpu() { return target_->cpu(); }
    const SxCpu& Cpu() const { return target_->cpu(); }
    // The state was changed from outside (a register, RAM, the program counter).
    void Changed() { target_->Changed(); }
    // The target is gone (the tool's link failed): the session ends.
    void TargetGone(const std::string& why);

    std::function<void(const Json&)> send_;
    int seq_ = 1;
    bool finished_ = false;
    bool launched_ = false;
    bool attached_ = false;  // attach: the chip is left as it is at the end
    bool stopOnEntry_ = false;
    RunMode mode_ = RunMode::Idle;
    std::optional<int> stepTrap_;   // the steppers' own stop address
    // Words the program did not write: running into one stops the chip.
    std::set<int> blankWords_;
    // The exception filters the client chose (all on until it says).
    bool stackStops_ = true, watchdogStops_ = true;
    CycleStopwatch stopwatch_;
    const Family* family_ = nullptr;
    SessionOptions options_;
    DebugProgram program_;
    std::unique_ptr<Target> target_;  // set while a program is launched
    int lastResponse_ = -1;             // request_seq of the last response
    std::vector<RegisterInfo> registers_;
    std::map<int, Breakpoint> lineBreaks_;         // by address
    std::map<int, Breakpoint> instructionBreaks_;  // by address
    int nextBreakpointId_ = 1;
};

// Serves one session on `transport` (Content-Length framed JSON) until
// the client disconnects or the input ends. Returns the exit status.
int RunDebugAdapter(rpc::Transport& transport, SessionOptions options = {});

}  // namespace korvid::dap
