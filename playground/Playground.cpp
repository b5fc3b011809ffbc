#include "playground/Playground.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "apps/korvid/TestFileRun.h"
#include "apps/korvid/TestReport.h"
#include "core/image/HexFile.h"
#include "dap/Registers.h"
#include "family/Layout.h"
#include "family/Registers.h"
#include "lsp/Server.h"
#include "session/ProgramSession.h"
#include "session/SourceText.h"
#include "sim/ChipSerialPort.h"
#include "sim/SimDriver.h"
#include "sim/SimSetup.h"
#include "sim/SxCpu.h"
#include "sim/VcdDump.h"

namespace korvid {

using Json = nlohmann::json;

namespace {

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

// Bytes as the code points of the same numbers, so that any byte crosses
// JSON unchanged (the page reads them back with charCodeAt).
std::string Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string PortLetterName(int port) { return std::string(RegisterName(kFirstPortRegister + port)); }

}  // namespace

// Every level change of the pins, for the page's live waveform: kept until
// the page takes them, the oldest dropped beyond the bound.
class PlaygroundWave final : public PinSink {
public:
    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override {
        if (changes.size() >= Playground::kMaxWaveChanges) {
            changes.pop_front();
            ++dropped;
        }
        changes.push_back({cycle, std::uint64_t(port), levels});
    }
    std::deque<std::array<std::uint64_t, 3>> changes;
    std::uint64_t dropped = 0;
};

// The waveform's bytes, kept in memory for the download.
class PlaygroundVcdSink final : public ByteSink {
public:
    bool Write(const char* data, std::size_t size, std::string&) override {
        bytes.append(data, size);
        return true;
    }
    std::string bytes;
};

// The serial terminal of the page: what the user typed waits here for the
// chip; what the program sent waits for the page.
class PlaygroundTerminal final : public SerialTerminal {
public:
    const std::string& path() const override { return path_; }
    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        std::size_t n = 0;
        for (; n < size && !typed.empty(); ++n) {
            data[n] = typed.front();
            typed.pop_front();
        }
        return n;
    }
    bool Write(std::uint8_t byte) override {
        if (sent.size() >= kMaxUnread) return false;
        sent += char(byte);
        return true;
    }
    void ReleaseAfterClientClose() override {}
    // A page that stops reading loses what comes after this much, as a
    // terminal nobody reads does.
    static constexpr std::size_t kMaxUnread = 1u << 20;
    std::deque<std::uint8_t> typed;
    std::string sent;

private:
    std::string path_ = "the page's Serial region";
};

Playground::Playground(std::string folder) : folder_(std::move(folder)) {
    std::error_code ignored;
    std::filesystem::create_directories(folder_ + "/tests", ignored);
    lsp_ = std::make_unique<lsp::Server>([this](const Json& message) { lspOut_.push_back(Dump(message)); });
}

Playground::~Playground() {
    serial_.reset();
    vcd_.reset();
    wave_.reset();
    driver_.reset();
}

std::string Playground::WriteText(const std::string& name, const std::string& text) {
    const std::string path = folder_ + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    return out ? path : std::string();
}

bool Playground::ready() const { return cpu_ && driver_; }

std::string Playground::Assemble(const std::string& source, const std::string& name, const std::string& family,
                                 const std::string& dialect) {
    Json answer{{"ok", false}, {"problems", Json::array()}, {"text", ""}};
    const std::string file = name.empty() || name.find('/') != std::string::npos ? std::string("program.src") : name;
    LoadRequest request;
    request.path = WriteText(file, source);
    if (request.path.empty()) {
        answer["text"] = "korvid: " + file + ": cannot keep the source for the assembler";
        return Dump(answer);
    }
    if (!family.empty()) request.settings.family = FamilyByName(family);
    if (Dialect d; !dialect.empty() && DialectByName(dialect, d)) request.settings.dialect = d;
    request.kind = ProgramKind::Source;
    auto program = std::make_unique<ProgramSession>();
    const bool ok = program->Load(request);
    const std::string prefix = folder_ + "/";
    std::string text;
    for (Diagnostic d : program->diagnostics()) {
        if (d.file.rfind(prefix, 0) == 0) d.file.erase(0, prefix.size());
        text += DiagnosticText(d, "korvid: ");
        const std::string place = std::to_string(d.line) + ":" + std::to_string(d.column) + ": ";
        Json notes = Json::array();
        for (const DiagnosticNote& n : d.notes)
            notes.push_back({{"line", n.line ? n.line : d.line}, {"column", n.line ? n.column : d.column},
                             {"text", n.text}});
        answer["problems"].push_back({{"line", d.line},
                                      {"column", d.column},
                                      {"severity", std::string(SeverityName(d.severity))},
                                      {"text", (d.line > 0 ? place : std::string()) +
                                                   std::string(SeverityName(d.severity)) + ": " + d.message},
                                      {"notes", notes}});
    }
    answer["text"] = text;
    if (!program->loaded()) return Dump(answer);
    answer["family"] = program->family().is52() ? "52" : "28l";
    answer["dialect"] = program->settings().dialect == Dialect::Extended ? "extended" : "strict";
    if (!ok) return Dump(answer);
    AssemblyState& state = program->state();
    answer["ok"] = true;
    listing_ = state.ListText ? ListingForDisk(std::string_view(state.ListText, state.ListLength)) : std::string();
    hex_ = SaveHex(state) ? std::string(state.ListText, state.ListLength) : std::string();
    Json lines = Json::array();
    int lastLine = 0;
    for (int a = 0; a < 4096; ++a)
        if (const int line = program->index().LineOf(a); line && line != lastLine) lines.push_back(lastLine = line);
    answer["lines"] = lines;
    answer["breakLine"] = state.BreakAddress == kNoBreak ? 0 : program->index().LineOf(state.BreakAddress);
    answer["clockHz"] = state.ClockFrequency ? state.ClockFrequency : kDefaultClockFrequency;
    program_ = std::move(program);
    StartChip();
    answer["state"] = Json::parse(State());
    return Dump(answer);
}

void Playground::StartChip() {
    serial_.reset();
    terminal_ = nullptr;
    vcd_.reset();
    vcdBytes_.reset();
    wave_.reset();
    driver_.reset();
    cpu_.reset();
    driven_ = {};
    if (!program_) return;
    const AssemblyState& state = program_->state();
    const Family& family = program_->family();
    cpu_ = std::make_unique<SxCpu>(family);
    LoadCpuFromImage(*cpu_, family, state.ChipImage,
                     state.ClockFrequency ? state.ClockFrequency : kDefaultClockFrequency);
    const SimTimeBase base = TimeBaseOf(*cpu_);
    driver_ = std::make_unique<SimDriver>(*cpu_, Stimulus{}, base);
    wave_ = std::make_unique<PlaygroundWave>();
    driver_->AddSink(wave_.get());
    vcdBytes_ = std::make_unique<PlaygroundVcdSink>();
    vcd_ = std::make_unique<VcdDump>();
    vcd_->SetLimit(kMaxVcdBytes);
    vcd_->Begin(*vcdBytes_, "The waveform", ChipScopeName(family), StimulusPins::Of(family, cpu_->portCount()),
                base);
    driver_->AddSink(vcd_.get());
    if (SerialPins pins; ParseSerialPins(serialPins_, pins) && pins.rxPort < cpu_->portCount() &&
                         pins.txPort < cpu_->portCount()) {
        serial_ = std::make_unique<ChipSerialPort>(pins, base);
        auto terminal = std::make_unique<PlaygroundTerminal>();
        terminal_ = terminal.get();
        serial_->Open(std::move(terminal));
        serial_->Attach(*driver_);
        driven_[pins.rxPort] |= std::uint8_t(1u << pins.rxBit);
    }
    if (state.BreakAddress != kNoBreak) cpu_->SetBreakAfter(state.BreakAddress, true);
    for (int a : traps_) cpu_->SetHaltBefore(a, true);
    driver_->ApplyDue();
}

std::string Playground::Listing() const { return Latin1ToUtf8(listing_); }
std::string Playground::Hex() const { return hex_; }

std::string Playground::Reset() {
    StartChip();
    return State();
}

void Playground::ResumeFromTrap() {
    if (cpu_->sleeping() || !traps_.count(cpu_->pc())) return;
    cpu_->Step();
    while (cpu_->skipPending()) cpu_->Step();
    driver_->ApplyDue();
}

std::string Playground::Run(double cycles) {
    Json answer{{"stop", "idle"}};
    if (!ready()) return Dump(answer);
    const std::uint64_t budget = cycles < 1 ? 1 : cycles > 1e12 ? std::uint64_t(1e12) : std::uint64_t(cycles);
    const std::uint64_t start = cpu_->cycles();
    ResumeFromTrap();
    SxStop stop = SxStop::Budget;
    if (cpu_->cycles() - start < budget) stop = driver_->RunTo(start + budget);
    else driver_->Reached();
    static constexpr const char* kStops[] = {"budget", "break", "breakpoint", "sleep"};
    answer["stop"] = kStops[static_cast<int>(stop)];
    answer["state"] = Json::parse(State());
    return Dump(answer);
}

std::string Playground::Step() {
    if (!ready()) return Dump(Json{{"stop", "idle"}});
    if (cpu_->sleeping()) {
        // Time passes in SLEEP until the watchdog or an input wakes the chip.
        driver_->RunTo(cpu_->cycles() + 65'536);
    } else {
        cpu_->Step();
        while (cpu_->skipPending()) cpu_->Step();
        driver_->ApplyDue();
        driver_->Reached();
    }
    return Dump(Json{{"stop", "step"}, {"state", Json::parse(State())}});
}

std::string Playground::SetBreakpoints(const std::string& text) {
    const Json lines = Json::parse(text, nullptr, false);
    std::set<int> traps;
    Json taken = Json::array();
    if (program_ && lines.is_array()) {
        for (const Json& l : lines) {
            if (!l.is_number_integer()) continue;
            if (const auto code = program_->index().CodeAtOrAfter(l.get<int>())) {
                traps.insert(code->second);
                taken.push_back(code->first);
            }
        }
    }
    if (cpu_) {
        for (int a : traps_)
            if (!traps.count(a)) cpu_->SetHaltBefore(a, false);
        for (int a : traps)
            if (!traps_.count(a)) cpu_->SetHaltBefore(a, true);
    }
    traps_ = std::move(traps);
    return Dump(taken);
}

std::string Playground::State() const {
    Json s;
    if (!ready()) return Dump(Json{{"ready", false}});
    const SxCpu& cpu = *cpu_;
    const SimTimeBase base = TimeBaseOf(cpu);
    s["ready"] = true;
    s["cycle"] = cpu.cycles();
    s["timeUs"] = double(base.Picoseconds(cpu.cycles())) / 1e6;
    s["pc"] = cpu.pc();
    s["line"] = program_->index().LineOf(cpu.pc());
    s["sleeping"] = cpu.sleeping();
    s["cyclesPerSecond"] = double(base.clockHz) / base.clocksPerCycle;
    Json registers = Json::array();
    for (const dap::RegisterInfo& r : dap::RegistersOf(cpu)) {
        Json bits = Json::array();
        for (std::string_view b : r.bits) bits.push_back(std::string(b));
        registers.push_back({{"name", r.name},
                             {"value", r.read(cpu, r.port)},
                             {"width", r.width},
                             {"bits", bits},
                             {"writable", r.write != nullptr}});
    }
    s["registers"] = registers;
    Json pins = Json::array();
    const StimulusPins bonded = StimulusPins::Of(cpu.family(), cpu.portCount());
    for (int p = 0; p < cpu.portCount(); ++p) {
        const std::uint8_t inputs = cpu.portControl(p, 7);  // TRIS: 1 = input
        for (int b = 0; b < 8; ++b) {
            const std::uint8_t m = std::uint8_t(1u << b);
            if (!(bonded.bonded[p] & m)) continue;
            const bool output = !(inputs & m);
            // An input nothing drives reads as "z"; `high` is what the pin
            // carries all the same (a pull-up holds it at 1).
            const bool high = (cpu.portPins(p) & m) != 0;
            const char* level = !output && !(driven_[p] & m) ? "z" : high ? "1" : "0";
            pins.push_back({{"name", PortLetterName(p) + "." + std::to_string(b)},
                            {"level", level},
                            {"high", high},
                            {"output", output}});
        }
    }
    s["pins"] = pins;
    Json ram = Json::array();
    // The global registers above the special ones, then each bank's 16.
    Json globals = Json::array();
    for (int a = 0x08; a < 0x10; ++a) globals.push_back(cpu.Peek(a));
    ram.push_back({{"name", "Globals"}, {"address", 0x08}, {"values", globals}});
    const Family& family = cpu.family();
    const int first = family.is52() ? 1 : 0;
    const int banks = family.is52() ? 16 : cpu.config().bankCount;
    for (int bank = first; bank < banks; ++bank) {
        Json values = Json::array();
        const int address = BankRegisterAddress(family, bank, 0x10);
        for (int fr = 0x10; fr < 0x20; ++fr) values.push_back(cpu.Peek(BankRegisterAddress(family, bank, fr)));
        ram.push_back({{"name", "Bank " + std::string(1, "0123456789ABCDEF"[bank])}, {"address", address}, {"values", values}});
    }
    s["ram"] = ram;
    return Dump(s);
}

std::string Playground::SetRegister(const std::string& name, const std::string& value) {
    if (!ready()) return "no program is loaded";
    const auto registers = dap::RegistersOf(*cpu_);
    const dap::RegisterInfo* r = dap::FindRegister(registers, name);
    if (!r) return "no register " + name;
    if (!r->write) return name + " cannot be written";
    const auto v = dap::ParseNumber(value);
    if (!v || *v < 0 || *v >= (std::int64_t(1) << r->width))
        return "'" + value + "' is not a value for " + r->name + " (0 to " +
               std::to_string((1 << r->width) - 1) + ")";
    r->write(*cpu_, r->port, std::uint32_t(*v));
    return "";
}

std::string Playground::SetRam(int address, int value) {
    if (!ready()) return "no program is loaded";
    if (address < 0 || address > 255 || value < 0 || value > 255) return "a RAM byte is 0 to 255 at 0 to 255";
    cpu_->Poke(address, std::uint8_t(value));
    return "";
}

std::string Playground::SetPin(const std::string& pin, int level) {
    if (!ready()) return "no program is loaded";
    int port = 0, bit = 0;
    if (!ParsePinName(pin, port, bit) || port >= cpu_->portCount() ||
        !(StimulusPins::Of(cpu_->family(), cpu_->portCount()).bonded[port] & (1u << bit)))
        return "the chip has no pin " + pin;
    const std::uint8_t m = std::uint8_t(1u << bit);
    driver_->Drive(port, m, level ? m : 0);
    driven_[port] |= m;
    return "";
}

std::string Playground::SetSerial(const std::string& pins) {
    SerialPins parsed;
    if (!ParseSerialPins(pins, parsed)) return "'" + pins + "' is not a receive pin, transmit pin and baud rate such as RB.7,RB.6:9600";
    serialPins_ = pins;
    StartChip();
    return "";
}

void Playground::SerialSend(const std::string& bytes) {
    if (!terminal_) return;
    terminal_->typed.insert(terminal_->typed.end(), bytes.begin(), bytes.end());
}

std::string Playground::TakeSerial() {
    std::string sent;
    if (terminal_) sent.swap(terminal_->sent);
    return Dump(Latin1ToUtf8(sent));
}

std::string Playground::TakeWave() {
    Json changes = Json::array();
    std::uint64_t dropped = 0;
    if (wave_) {
        for (const auto& c : wave_->changes) changes.push_back({c[0], c[1], c[2]});
        wave_->changes.clear();
        dropped = wave_->dropped;
        wave_->dropped = 0;
    }
    return Dump(Json{{"changes", changes}, {"dropped", dropped}});
}

std::string Playground::Vcd() {
    if (!vcd_ || !ready()) return "";
    vcd_->Drain();
    std::string text = vcdBytes_->bytes;
    // The dump's own end stamp closes it; the run goes on after a download.
    const std::uint64_t end = TimeBaseOf(*cpu_).Picoseconds(driver_->SessionCycle());
    text += "#" + std::to_string(end) + "\n";
    return text;
}

std::string Playground::VcdNote() const {
    if (!vcd_ || !vcd_->limitReached() || !cpu_) return "";
    const double ms = double(TimeBaseOf(*cpu_).Picoseconds(vcd_->limitCycle())) / 1e9;
    char at[32];
    std::snprintf(at, sizeof at, "%.3f ms", ms);
    return "The waveform reached its size limit of " + std::to_string(kMaxVcdBytes >> 20) + " MB at " + at +
           " of chip time: the download holds the run up to there.";
}

std::string Playground::Lsp(const std::string& message) {
    lspOut_.clear();
    lsp_->HandleText(message);
    std::string out = "[";
    for (std::size_t i = 0; i < lspOut_.size(); ++i) out += (i ? "," : "") + lspOut_[i];
    return out + "]";
}

std::string Playground::RunTest(const std::string& testText, const std::string& source,
                                const std::string& sourceName) {
    // The test's `source` line names the program relative to the test file;
    // the editor's text is put there, inside the playground's folder.
    namespace fs = std::filesystem;
    const fs::path tests = fs::path(folder_) / "tests";
    std::istringstream lines(testText);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, name;
        if (!(words >> word) || word != "source" || !(words >> name)) continue;
        const fs::path target = (tests / name).lexically_normal();
        const std::string inside = target.string();
        if (inside.rfind(folder_ + "/", 0) == 0) {
            std::error_code ignored;
            fs::create_directories(target.parent_path(), ignored);
            std::ofstream(target, std::ios::binary | std::ios::trunc) << source;
        }
        break;
    }
    std::string testName = sourceName;
    if (const auto dot = testName.rfind('.'); dot != std::string::npos) testName.resize(dot);
    if (testName.empty() || testName.find('/') != std::string::npos) testName = "program";
    const std::string path = WriteText("tests/" + testName + ".test", testText);
    const cli::TestFileResult result = cli::RunTestFile(path, testName + ".test", "");
    static constexpr const char* kStatus[] = {"pass", "fail", "error"};
    std::string text = cli::ReportLines(result);
    const std::string prefix = folder_ + "/";
    for (std::size_t at = 0; (at = text.find(prefix, at)) != std::string::npos;) text.erase(at, prefix.size());
    return Dump(Json{{"status", kStatus[static_cast<int>(result.status)]}, {"text", text}});
}

}  // namespace korvid
