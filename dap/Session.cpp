#include "dap/Session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/image/HexFile.h"
#include "core/link/LinkError.h"
#include "dap/SimTarget.h"
#include "dap/ToolTarget.h"

namespace korvid::dap {
namespace {

bool IsCall(std::uint16_t word) { return (word & 0xF00) == 0x900; }

std::string Str(const Json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

std::string Hex3(int address, const char* prefix = "") {
    char t[16];
    std::snprintf(t, sizeof t, "%s%03X", prefix, unsigned(address) & 0xFFF);
    return t;
}

}  // namespace

Session::Session(std::function<void(const Json&)> send, SessionOptions options)
    : send_(std::move(send)), options_(std::move(options)) {}

Session::~Session() = default;

void Session::Respond(const Json& request, bool success, Json body, const std::string& message) {
    Json r{{"seq", seq_++},
           {"type", "response"},
           {"request_seq", request.value("seq", 0)},
           {"command", Str(request, "command")},
           {"success", success}};
    lastResponse_ = request.value("seq", 0);
    if (!message.empty()) {
        r["message"] = message;
        if (!success) body["error"] = Json{{"id", 1}, {"format", message}};
    }
    if (!body.empty()) r["body"] = std::move(body);
    send_(r);
}

void Session::Event(const std::string& name, Json body) {
    Json e{{"seq", seq_++}, {"type", "event"}, {"event", name}};
    if (!body.empty()) e["body"] = std::move(body);
    send_(e);
}

void Session::Output(const std::string& text, const std::string& category) {
    Event("output", {{"category", category}, {"output", text}});
}

void Session::Malformed(const std::string& why) {
    Respond(Json::object(), false, Json::object(), "malformed message: " + why);
}

void Session::Stopped(const std::string& reason, const std::string& text, std::vector<int> hitIds) {
    target_->Complete();
    mode_ = RunMode::Stopped;
    stepTrap_.reset();
    UpdateTraps();
    stopwatch_.Stopped(Cpu().cycles());
    Json body{{"reason", reason}, {"threadId", 1}, {"allThreadsStopped", true}};
    if (!text.empty()) body["description"] = text, body["text"] = text;
    if (!hitIds.empty()) body["hitBreakpointIds"] = hitIds;
    Event("stopped", std::move(body));
}

void Session::Handle(const Json& m) {
    if (!m.is_object() || m.value("type", "") != "request" || !m.contains("command") || !m["command"].is_string()) {
        Malformed("not a request");
        return;
    }
    using Handler = void (Session::*)(const Json&);
    // Requests that need a launched program, and those that need it stopped.
    struct Row {
        const char* command;
        Handler handler;
        bool needsProgram;
        bool needsStop;
    };
    static const Row kRows[] = {
        {"initialize", &Session::Initialize, false, false},
        {"launch", &Session::Launch, false, false},
        {"attach", &Session::Launch, false, false},
        {"setBreakpoints", &Session::SetBreakpoints, true, false},
        {"setInstructionBreakpoints", &Session::SetInstructionBreakpoints, true, false},
        {"configurationDone", &Session::ConfigurationDone, true, false},
        {"setExceptionBreakpoints", &Session::SetExceptionBreakpoints, false, false},
        {"restart", &Session::Restart, true, false},
        {"continue", &Session::Resume, true, true},
        {"next", &Session::Next, true, true},
        {"stepIn", &Session::StepIn, true, true},
        {"stepOut", &Session::StepOut, true, true},
        {"pause", &Session::Pause, true, false},
        {"stepBack", &Session::StepBack, true, true},
        {"reverseContinue", &Session::ReverseContinue, true, true},
        {"gotoTargets", &Session::GotoTargets, true, false},
        {"goto", &Session::Goto, true, true},
        {"stackTrace", &Session::StackTrace, true, true},
        {"scopes", &Session::Scopes, true, true},
        {"variables", &Session::Variables, true, true},
        {"setVariable", &Session::SetVariable, true, true},
        {"evaluate", &Session::Evaluate, true, true},
        {"disassemble", &Session::Disassemble, true, false},
        {"readMemory", &Session::ReadMemory, true, true},
        {"writeMemory", &Session::WriteMemory, true, true},
    };
    const std::string command = m["command"].get<std::string>();
    if (command == "threads") {
        Respond(m, true, {{"threads", Json::array({{{"id", 1}, {"name", family_ ? ChipScopeName(*family_) : std::string("SX")}}})}});
        return;
    }
    if (command == "disconnect" || command == "terminate") return Disconnect(m);
    for (const Row& row : kRows) {
        if (command != row.command) continue;
        if (row.needsProgram && !launched_) return Respond(m, false, {}, "no program is launched");
        if (row.needsStop && running()) return Respond(m, false, {}, "the chip is running; pause it first");
        try {
            if (target_) target_->Complete();  // a request between a step's silent halts sees all of the chip
            (this->*row.handler)(m);
        } catch (const Json::exception& e) {
            Respond(m, false, {}, std::string("bad arguments: ") + e.what());
        } catch (const LinkFailure& failure) {
            if (lastResponse_ != m.value("seq", 0)) Respond(m, false, {}, failure.CommandLineText());
            TargetGone(failure.CommandLineText());
        }
        return;
    }
    Respond(m, false, {}, "unsupported request '" + command + "'");
}

void Session::Initialize(const Json& request) {
    Respond(request, true,
            {{"supportsConfigurationDoneRequest", true},
             {"supportsConditionalBreakpoints", true},
             {"supportsHitConditionalBreakpoints", true},
             {"supportsLogPoints", true},
             {"supportsInstructionBreakpoints", true},
             {"supportsStepBack", true},
             {"supportsGotoTargetsRequest", true},
             {"supportsSetVariable", true},
             {"supportsEvaluateForHovers", true},
             {"supportsDisassembleRequest", true},
             {"supportsReadMemoryRequest", true},
             {"supportsWriteMemoryRequest", true},
             {"supportsSteppingGranularity", true},
             {"supportsTerminateRequest", true},
             {"supportTerminateDebuggee", true},
             {"supportsRestartRequest", true},
             {"exceptionBreakpointFilters", Json::array({
                  {{"filter", "stack"}, {"label", "Stack overflow or underflow"}, {"default", true},
                   {"description", "A CALL with every stack level in use, or a return with no CALL's address left (simulator)"}},
                  {{"filter", "watchdog"}, {"label", "Watchdog reset"}, {"default", true},
                   {"description", "The watchdog timed out and reset the chip"}},
              })}});
}

// The exception filters: the stack faults and watchdog resets stop the chip
// only while theirs is chosen; running into a word without data always does.
void Session::SetExceptionBreakpoints(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    std::set<std::string> chosen;
    for (const Json& f : args.value("filters", Json::array()))
        if (f.is_string()) chosen.insert(f.get<std::string>());
    for (const Json& o : args.value("filterOptions", Json::array())) chosen.insert(Str(o, "filterId"));
    stackStops_ = chosen.count("stack") != 0;
    watchdogStops_ = chosen.count("watchdog") != 0;
    if (target_) target_->SetStackTraps(stackStops_);
    Json out = Json::array();
    for (std::size_t i = 0; i < chosen.size(); ++i) out.push_back({{"verified", true}});
    Respond(request, true, {{"breakpoints", out}});
}

// launch and attach (which takes the same arguments, and a port: the chip
// already holds the program's debug image, as after an earlier launch).
void Session::Launch(const Json& request) {
    if (launched_) return Respond(request, false, {}, "a program is already launched");
    const bool attach = Str(request, "command") == "attach";
    const Json args = request.value("arguments", Json::object());
    const std::string path = Str(args, "program");
    if (path.empty()) return Respond(request, false, {}, "launch needs a 'program' (a .src or .sxh file)");
    const std::string familyName = args.contains("family") ? Str(args, "family") : "28l";
    family_ = FamilyByName(familyName);
    if (!family_) return Respond(request, false, {}, "unknown family '" + familyName + "' (use 28l or 52)");
    Dialect dialect = Dialect::Strict;
    const std::string dialectName = args.contains("dialect") ? Str(args, "dialect") : "strict";
    if (!DialectByName(dialectName, dialect))
        return Respond(request, false, {}, "unknown dialect '" + dialectName + "' (use strict or extended)");
    const std::string target = args.contains("target") ? Str(args, "target") : "sim";
    const bool sim = target == "sim";
    if (attach && sim)
        return Respond(request, false, {},
                       "attach reconnects to the chip on a port: give 'target' (COM1 to COM4 or a device path)");
    if (!sim)
        for (const char* key : {"stimulus", "uartOut", "vcd"})
            if (args.contains(key))
                return Respond(request, false, {}, std::string(key) + " works on the simulator only ('target': 'sim')");
    SimLaunch launch;
    if (args.contains("clock")) {
        const Json& clock = args["clock"];
        const auto hz = clock.is_number_unsigned() ? std::optional<std::int64_t>(clock.get<std::int64_t>())
                        : clock.is_string()        ? ParseNumber(clock.get<std::string>())
                                                   : std::nullopt;
        if (!hz || *hz < 1 || *hz > 200'000'000) return Respond(request, false, {}, "clock must be 1 to 200000000 Hz");
        launch.clockHz = std::uint32_t(*hz);
    }
    if (args.contains("stimulus")) launch.stimulus = Str(args, "stimulus");
    if (args.contains("uartOut")) launch.uartOut = Str(args, "uartOut");
    if (args.contains("vcd")) launch.vcd = Str(args, "vcd");
    stopOnEntry_ = args.value("stopOnEntry", false);

    std::string message;
    if (!program_.Load(path, *family_, dialect, message)) {
        Output(message + "\n", "stderr");
        return Respond(request, false, {}, message);
    }
    // A hex file of the other family loads, as on the command line, after a warning.
    if (const std::string note = ForeignConfigNote(program_.state()); !note.empty())
        Output(path + ": warning: " + note + "\n", "stderr");
    if (!sim) {
        if (launch.clockHz) program_.state().ClockFrequency = launch.clockHz;
        auto tool = std::make_unique<ToolTarget>(program_.state(), *family_,
                                                 options_.toolDevice ? options_.toolDevice() : nullptr);
        if (!tool->Start(target, !attach, message)) {
            Output(message + "\n", "stderr");
            return Respond(request, false, {}, message);
        }
        target_ = std::move(tool);
    } else {
        auto simulator = std::make_unique<SimTarget>();
        simulator->SetStackTraps(stackStops_);
        if (!simulator->Start(program_, *family_, launch, message)) return Respond(request, false, {}, message);
        simulator->onOutput = [this](const std::string& text) { Output(text, "stdout"); };
        target_ = std::move(simulator);
    }
    registers_ = target_->Registers();
    // A hex file without data marks leaves every word unmarked: no traps then.
    for (int a = 0; a < int(ProgramWords()); ++a)
        if (!program_.HoldsData(a)) blankWords_.insert(a);
    if (blankWords_.size() == ProgramWords()) blankWords_.clear();
    launched_ = true;
    attached_ = attach;
    mode_ = RunMode::Stopped;
    stopwatch_.Start(Cpu().cycles());
    Respond(request, true);
    Event("initialized");
}

void Session::ConfigurationDone(const Json& request) {
    Respond(request, true);
    if (stopOnEntry_) Stopped("entry");
    else StartRun(RunMode::Continue, std::nullopt);
}

void Session::Close() { End(true); }

// terminate ends the program (the client disconnects after it); disconnect
// ends the session too. The tool's chip is stopped, or left as it is,
// running or halted, when the client asks for that (terminateDebuggee
// false, what an attach does unless told otherwise): a later attach finds it.
void Session::Disconnect(const Json& request) {
    const bool terminate = Str(request, "command") == "terminate";
    const bool stopChip =
        terminate || request.value("arguments", Json::object()).value("terminateDebuggee", !attached_);
    End(stopChip);
    Respond(request, true);
    if (terminate) Event("terminated");
    else finished_ = true;
}

void Session::End(bool stopChip) {
    mode_ = RunMode::Idle;
    std::string message;
    if (target_ && !target_->End(stopChip, message)) Output("waveform: " + message + "\n", "stderr");
    target_.reset();
    launched_ = false;
}

// The same program from power-on again: breakpoints stay, their hit
// counts and the history start anew.
void Session::Restart(const Json& request) {
    std::string message;
    if (!target_->Restart(message)) return Respond(request, false, {}, message);
    for (auto* breaks : {&lineBreaks_, &instructionBreaks_})
        for (auto& [a, b] : *breaks) b.hits = 0;
    stopwatch_.Start(Cpu().cycles());
    Respond(request, true);
    if (stopOnEntry_) Stopped("entry");
    else StartRun(RunMode::Continue, std::nullopt);
}

void Session::UpdateTraps() {
    std::set<int> traps;
    for (const auto& [a, b] : lineBreaks_) traps.insert(a);
    for (const auto& [a, b] : instructionBreaks_) traps.insert(a);
    if (stepTrap_) traps.insert(*stepTrap_);
    // Every reset passes the reset vector: a watchdog reset stops there.
    traps.insert(int(ProgramWords()) - 1);
    traps.insert(blankWords_.begin(), blankWords_.end());
    target_->SetTraps(traps);
}

void Session::StartRun(RunMode mode, std::optional<int> stopAt) {
    mode_ = mode;
    stepTrap_ = stopAt;
    UpdateTraps();
    target_->StartRun(*this);
}

void Session::Advance() {
    if (!running()) return;
    try {
        target_->Advance(*this);
    } catch (const LinkFailure& failure) {
        TargetGone(failure.CommandLineText());
    }
}

void Session::TargetGone(const std::string& why) {
    Output("the tool is gone, the session ends: " + why + "\n", "stderr");
    target_.reset();
    launched_ = false;
    mode_ = RunMode::Idle;
    Event("terminated");
}

std::optional<std::string> Session::Fault(int pc) const {
    const SxCpu& cpu = Cpu();
    const std::string at = Hex3(cpu.stackFaultAt(), "$");
    switch (cpu.stackFault()) {
        case SxCpu::StackFault::Overflow:
            return "stack overflow: the CALL at " + at + " found all " + std::to_string(cpu.stackDepth()) +
                   " levels of the stack in use; the oldest return address is lost";
        case SxCpu::StackFault::Underflow:
            return "stack underflow: the return at " + at + " found no CALL's return address on the stack";
        case SxCpu::StackFault::None: break;
    }
    if (watchdogStops_ && WatchdogTimedOut(pc)) return "watchdog reset: the watchdog timed out";
    return std::nullopt;
}

bool Session::WatchdogTimedOut(int pc) const {
    // TO low with PD high at the reset vector: the watchdog timed out while the chip ran.
    constexpr std::uint8_t kTo = 0x10, kPd = 0x08;
    return pc == int(ProgramWords()) - 1 && (Cpu().status() & (kTo | kPd)) == kPd;
}

std::optional<int> Session::FirstBreakpoint() const {
    for (const auto* breaks : {&lineBreaks_, &instructionBreaks_})
        if (!breaks->empty()) return breaks->begin()->first;
    return std::nullopt;
}

bool Session::BreakpointStops(int address, std::vector<int>& hitIds) {
    bool stops = false;
    for (auto* breaks : {&lineBreaks_, &instructionBreaks_}) {
        const auto it = breaks->find(address);
        if (it == breaks->end()) continue;
        Breakpoint& b = it->second;
        if (!b.condition.empty() && !ConditionHolds(b)) continue;
        ++b.hits;
        if (!b.hitCondition.empty()) {
            std::string h = b.hitCondition;
            h.erase(std::remove(h.begin(), h.end(), ' '), h.end());
            std::string op;
            while (!h.empty() && std::string("=<>%!").find(h[0]) != std::string::npos) op += h[0], h.erase(0, 1);
            const auto n = ParseNumber(h);
            const std::int64_t hits = std::int64_t(b.hits);
            const bool hit = !n                   ? true
                             : op == "%"          ? *n > 0 && hits % *n == 0
                             : op == "==" || op == "=" ? hits == *n
                             : op == ">"          ? hits > *n
                             : op == "<"          ? hits < *n
                             : op == "<="         ? hits <= *n
                                                  : hits >= *n;
            if (!hit) continue;
        }
        if (!b.logMessage.empty()) {
            // {expression} parts are replaced by their values.
            std::string text, expr;
            bool inBrace = false;
            for (char c : b.logMessage) {
                if (c == '{' && !inBrace) inBrace = true, expr.clear();
                else if (c == '}' && inBrace) {
                    inBrace = false;
                    std::string shown;
                    text += Value(expr, &shown) ? shown : "{" + expr + "?}";
                } else (inBrace ? expr : text) += c;
            }
            Output(text + "\n");
            continue;
        }
        hitIds.push_back(b.id);
        stops = true;
    }
    return stops;
}

bool Session::ConditionHolds(const Breakpoint& b) {
    static const char* const kOps[] = {"==", "!=", "<=", ">=", "<", ">"};
    for (const char* op : kOps) {
        const auto at = b.condition.find(op);
        if (at == std::string::npos) continue;
        const auto l = Value(b.condition.substr(0, at));
        const auto r = Value(b.condition.substr(at + std::char_traits<char>::length(op)));
        if (!l || !r) return true;  // a condition that cannot be read stops, so that it is seen
        const std::string o = op;
        return o == "==" ? *l == *r : o == "!=" ? *l != *r : o == "<=" ? *l <= *r : o == ">=" ? *l >= *r
               : o == "<" ? *l < *r : *l > *r;
    }
    const auto v = Value(b.condition);
    return !v || *v != 0;
}

std::optional<int> Session::ReturnAddress() const {
    if (!target_->readsReturnStack()) return std::nullopt;
    const SxCpu& cpu = Cpu();
    const int top = cpu.stackEntry(0);
    const int call = (top - 1) & (int(ProgramWords()) - 1);
    if (!IsCall(cpu.ProgramWord(call)) || !program_.HoldsData(call)) return std::nullopt;
    return top;
}

int Session::CallDepth() const {
    if (!target_->readsReturnStack()) return 0;
    const SxCpu& cpu = Cpu();
    int depth = 0;
    while (depth < cpu.stackDepth()) {
        const int call = (cpu.stackEntry(depth) - 1) & (int(ProgramWords()) - 1);
        if (!IsCall(cpu.ProgramWord(call)) || !program_.HoldsData(call)) break;
        ++depth;
    }
    return depth;
}

std::uint32_t Session::ProgramWords() const { return std::uint32_t(Cpu().config().programSize); }

void Session::Resume(const Json& request) {
    Respond(request, true, {{"allThreadsContinued", true}});
    StartRun(RunMode::Continue, std::nullopt);
}

// One instruction, or with line granularity (the default) the instructions
// of the current line: until the line changes or the code loops back to
// where it started (a line jumping to itself).
void Session::StepIn(const Json& request) {
    Respond(request, true);
    const bool byInstruction =
        request.value("arguments", Json::object()).value("granularity", "line") == "instruction";
    target_->StepIn(byInstruction, *this);
}

void Session::Next(const Json& request) {
    const SxCpu& cpu = Cpu();
    if (!IsCall(cpu.ProgramWord(cpu.pc()))) return StepIn(request);
    Respond(request, true);
    StartRun(RunMode::StepOver, (cpu.pc() + 1) & (int(ProgramWords()) - 1));
}

// Out of the routine: to the return address on the stack, or, where the
// target cannot read the stack, until more returns than calls ran.
void Session::StepOut(const Json& request) {
    const auto back = ReturnAddress();
    if (!back && target_->readsReturnStack()) return StepIn(request);
    Respond(request, true);
    StartRun(RunMode::StepOut, back);
}

void Session::Pause(const Json& request) {
    Respond(request, true);
    if (running() && target_->Pause(*this)) Stopped("pause");
}

void Session::StepBack(const Json& request) {
    if (const auto no = target_->NoHistory()) return Respond(request, false, {}, *no);
    Respond(request, true);
    if (!target_->StepBack()) return Stopped("step", "the start of the history: nothing earlier is kept");
    Stopped("step");
}

void Session::ReverseContinue(const Json& request) {
    if (const auto no = target_->NoHistory()) return Respond(request, false, {}, *no);
    Respond(request, true);
    std::vector<int> hitIds;
    const bool found = target_->ReverseContinue([this] {
        for (auto* breaks : {&lineBreaks_, &instructionBreaks_}) {
            const auto it = breaks->find(Cpu().pc());
            if (it != breaks->end() && it->second.logMessage.empty() &&
                (it->second.condition.empty() || ConditionHolds(it->second)))
                return true;
        }
        return false;
    });
    if (!found) return Stopped("entry", "the start of the history: no earlier breakpoint");
    for (auto* breaks : {&lineBreaks_, &instructionBreaks_}) {
        const auto it = breaks->find(Cpu().pc());
        if (it != breaks->end()) hitIds.push_back(it->second.id);
    }
    Stopped("breakpoint", {}, hitIds);
}

void Session::SetBreakpoints(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    const std::string path = Str(args.value("source", Json::object()), "path");
    const bool ours = program_.hasLines() && !path.empty() && SamePath(path, program_.path());
    lineBreaks_.clear();
    Json out = Json::array();
    for (const Json& want : args.value("breakpoints", Json::array())) {
        const int line = want.value("line", 0);
        Json b{{"verified", false}, {"line", line}};
        const auto code = ours ? program_.CodeAtOrAfter(line) : std::nullopt;
        if (!ours) b["message"] = "not a source of the launched program";
        else if (!code) b["message"] = "no code on this line or after it";
        else if (lineBreaks_.count(code->second)) b["message"] = "another breakpoint is on the same instruction";
        else if (const std::size_t limit = target_->breakpointLimit(); limit && BreakpointCount() >= limit)
            b["message"] = target_->BreakpointRefusal(*FirstBreakpoint());
        else {
            Breakpoint& bp = lineBreaks_[code->second];
            bp.id = nextBreakpointId_++;
            bp.address = code->second;
            bp.condition = Str(want, "condition");
            bp.hitCondition = Str(want, "hitCondition");
            bp.logMessage = Str(want, "logMessage");
            b = {{"id", bp.id}, {"verified", true}, {"line", code->first}, {"source", SourceJson()},
                 {"instructionReference", Hex3(code->second, "0x")}};
            if (const std::string note = target_->BreakpointNote(bp.address); !note.empty()) b["message"] = note;
        }
        out.push_back(std::move(b));
    }
    UpdateTraps();
    target_->BreakpointsChanged(*this);
    Respond(request, true, {{"breakpoints", std::move(out)}});
}

void Session::SetInstructionBreakpoints(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    instructionBreaks_.clear();
    Json out = Json::array();
    for (const Json& want : args.value("breakpoints", Json::array())) {
        const auto base = ParseNumber(Str(want, "instructionReference"));
        const std::int64_t address = base ? *base + want.value("offset", 0) : -1;
        if (!base || address < 0 || address >= std::int64_t(ProgramWords())) {
            out.push_back({{"verified", false}, {"message", "not an address of the program memory"}});
            continue;
        }
        // A target with few breakpoints takes one more only where one is already.
        const std::size_t limit = target_->breakpointLimit();
        if (limit && BreakpointCount() >= limit && !lineBreaks_.count(int(address)) &&
            !instructionBreaks_.count(int(address))) {
            out.push_back({{"verified", false}, {"message", target_->BreakpointRefusal(*FirstBreakpoint())}});
            continue;
        }
        Breakpoint& bp = instructionBreaks_[int(address)];
        if (bp.id == 0) bp.id = nextBreakpointId_++;
        bp.address = int(address);
        bp.condition = Str(want, "condition");
        bp.hitCondition = Str(want, "hitCondition");
        Json b{{"id", bp.id}, {"verified", true}};
        if (const int line = program_.LineOf(int(address))) b["line"] = line, b["source"] = SourceJson();
        if (const std::string note = target_->BreakpointNote(bp.address); !note.empty()) b["message"] = note;
        out.push_back(std::move(b));
    }
    UpdateTraps();
    target_->BreakpointsChanged(*this);
    Respond(request, true, {{"breakpoints", std::move(out)}});
}

}  // namespace korvid::dap
