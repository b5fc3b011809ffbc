// What the client reads and writes of a stopped chip: stack, scopes and
// variables, expressions, program and data memory, the program counter.
#include <cctype>
#include <cstdio>

#include "core/image/Disassembler.h"
#include "dap/Session.h"
#include "family/Registers.h"
#include "model/WatchFormat.h"

namespace korvid::dap {
namespace {

// Variable references: the scopes, then the bits of register i and the
// RAM banks.
enum : int {
    kRegistersRef = 1,
    kRamRef = 2,
    kWatchesRef = 3,
    kTimingRef = 4,
    kBitsRef = 1000,     // + register index
    kGlobalsRef = 2000,  // RAM 08h..0Fh
    kBankRef = 2100,     // + bank
};

std::string Hex(int value, int digits, const char* prefix = "") {
    char t[24];
    std::snprintf(t, sizeof t, "%s%0*X", prefix, digits, unsigned(value));
    return t;
}

std::string Trim(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return s.substr(i);
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::vector<std::uint8_t>& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t(in[i]) << 16) | (i + 1 < in.size() ? in[i + 1] << 8 : 0) |
                                (i + 2 < in.size() ? in[i + 2] : 0);
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += i + 1 < in.size() ? kBase64[(n >> 6) & 63] : '=';
        out += i + 2 < in.size() ? kBase64[n & 63] : '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> FromBase64(const std::string& text) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const char* p = std::char_traits<char>::find(kBase64, 64, c);
        if (!p) return std::nullopt;
        acc = (acc << 6) | std::uint32_t(p - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(std::uint8_t(acc >> bits));
        }
    }
    return out;
}

// The RAM address of bank `bank`, register `fr` (10h..1Fh), as the
// emulator's register file numbers it.
int BankAddress(const SxCpu& cpu, int bank, int fr) {
    return cpu.family().is52() ? bank * 16 + (fr & 0x0F) : bank * 32 + 16 + (fr & 0x0F);
}
// The memory reference of the register file from address `first` on:
// "ram" for all of it, "ram+0x30" for a bank from its first register.
std::string RamReference(int first) { return first == 0 ? "ram" : Hex(first, 2, "ram+0x"); }
// The first register address a RAM reference names; nothing for another.
std::optional<int> RamBase(const std::string& ref) {
    if (ref == "ram") return 0;
    if (ref.rfind("ram+", 0) != 0) return std::nullopt;
    const auto first = ParseNumber(std::string_view(ref).substr(4));
    if (!first || *first < 0 || *first > 0xFF) return std::nullopt;
    return int(*first);
}

constexpr const char* kNoMemory = "memory references are 'ram', 'ram+ADDRESS', 'code' or a program address";

int FirstBank(const SxCpu& cpu) { return cpu.family().is52() ? 1 : 0; }
int BankCount(const SxCpu& cpu) { return cpu.family().is52() ? 16 : cpu.config().bankCount; }

}  // namespace

std::uint8_t Session::FileByte(int address) const { return target_->FileByte(address); }

std::array<std::uint32_t, 256> Session::FileNow() const {
    std::array<std::uint32_t, 256> file{};
    for (int a = 0; a < 256; ++a) file[std::size_t(a)] = FileByte(a);
    return file;
}

Json Session::SourceJson() const {
    const std::string& p = program_.path();
    const auto slash = p.find_last_of('/');
    return {{"name", slash == std::string::npos ? p : p.substr(slash + 1)}, {"path", p}};
}

std::string Session::FrameName(int address) const {
    const auto [label, offset] = program_.LabelOf(address);
    // The reset vector (the last word) belongs to no routine of the program,
    // whatever label lies below it.
    if (address == int(ProgramWords()) - 1 && (label.empty() || offset != 0)) return "reset";
    if (label.empty()) return Hex(address, 3, "$");
    return offset == 0 ? label : label + "+" + std::to_string(offset);
}

void Session::StackTrace(const Json& request) {
    const SxCpu& cpu = Cpu();
    std::vector<int> addresses{cpu.pc()};
    const int depth = CallDepth();
    for (int level = 0; level < depth; ++level)
        addresses.push_back((cpu.stackEntry(level) - 1) & (int(ProgramWords()) - 1));
    Json frames = Json::array();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const int a = addresses[i];
        Json f{{"id", int(i)}, {"name", FrameName(a)}, {"line", 0}, {"column", 0},
               {"instructionPointerReference", Hex(a, 3, "0x")}};
        if (const int line = program_.LineOf(a)) f["line"] = line, f["column"] = 1, f["source"] = SourceJson();
        frames.push_back(std::move(f));
    }
    Respond(request, true, {{"stackFrames", frames}, {"totalFrames", frames.size()}});
}

void Session::Scopes(const Json& request) {
    Json scopes = Json::array({{{"name", "Registers"}, {"variablesReference", kRegistersRef}, {"expensive", false},
                                {"presentationHint", "registers"}},
                               {{"name", "RAM"}, {"variablesReference", kRamRef}, {"expensive", false},
                                {"memoryReference", RamReference(0)}}});
    if (program_.state().WatchCount > 0)
        scopes.push_back({{"name", "Watches"}, {"variablesReference", kWatchesRef}, {"expensive", false}});
    // The tool does not count cycles.
    if (target_->countsCycles())
        scopes.push_back({{"name", "Timing"}, {"variablesReference", kTimingRef}, {"expensive", false}});
    Respond(request, true, {{"scopes", scopes}});
}

void Session::Variables(const Json& request) {
    const int ref = request.value("arguments", Json::object()).value("variablesReference", 0);
    const SxCpu& cpu = Cpu();
    Json vars = Json::array();
    auto add = [&](const std::string& name, const std::string& value, int children = 0, const std::string& evaluate = {}) {
        Json v{{"name", name}, {"value", value}, {"variablesReference", children}};
        if (!evaluate.empty()) v["evaluateName"] = evaluate;
        vars.push_back(std::move(v));
    };
    // A part of the register file, readable as memory from its first register.
    auto addRam = [&](const std::string& name, const std::string& value, int children, int first) {
        add(name, value, children);
        vars.back()["memoryReference"] = RamReference(first);
    };
    if (ref == kRegistersRef) {
        for (std::size_t i = 0; i < registers_.size(); ++i) {
            const RegisterInfo& r = registers_[i];
            const bool bits = !r.bits[0].empty();
            add(r.name, FormatValue(r.read(cpu, r.port), r.width), bits ? kBitsRef + int(i) : 0, r.name);
        }
    } else if (ref >= kBitsRef && ref < kBitsRef + int(registers_.size())) {
        const RegisterInfo& r = registers_[std::size_t(ref - kBitsRef)];
        const std::uint32_t v = r.read(cpu, r.port);
        for (int b = 7; b >= 0; --b)
            if (const std::string_view name = r.bits[std::size_t(7 - b)]; !name.empty())
                add(std::string(name), std::to_string((v >> b) & 1), 0, r.name + "." + std::to_string(b));
    } else if (ref == kRamRef) {
        addRam("Globals 08h..0Fh", "", kGlobalsRef, 0x08);
        for (int bank = FirstBank(cpu); bank < BankCount(cpu); ++bank)
            addRam(Hex(bank, 1, "Bank "), Hex(BankAddress(cpu, bank, 0x10), 2, "$"), kBankRef + bank,
                   BankAddress(cpu, bank, 0x10));
    } else if (ref == kGlobalsRef) {
        for (int a = 8; a < 16; ++a) add(Hex(a, 2) + "h", FormatValue(FileByte(a), 8), 0, Hex(a, 2) + "h");
    } else if (ref >= kBankRef && ref < kBankRef + 16) {
        const int bank = ref - kBankRef;
        for (int fr = 0x10; fr < 0x20; ++fr)
            add(Hex(fr, 2) + "h", FormatValue(FileByte(BankAddress(cpu, bank, fr)), 8), 0, Hex(bank, 1) + ":" + Hex(fr, 2));
    } else if (ref == kWatchesRef) {
        const auto file = FileNow();
        const AssemblyState& s = program_.state();
        for (std::uint32_t i = 0; i < s.WatchCount; ++i) {
            const Watch& w = s.Watches[i];
            add(w.name, WatchText(w, file.data(), cpu.family(), cpu.config().bankCount));
        }
    } else if (ref == kTimingRef && target_->countsCycles()) {
        const std::uint32_t hz = target_->clockHz();
        const bool turbo = cpu.config().turbo;
        add("cycles", std::to_string(cpu.cycles()));
        add("since last stop", std::to_string(stopwatch_.SinceLastStop()));
        add("time", CycleTimeText(cpu.cycles(), turbo, hz));
        add("time since last stop", CycleTimeText(stopwatch_.SinceLastStop(), turbo, hz));
        add("instructions", std::to_string(cpu.instructions()));
        if (const auto history = target_->HistoryText()) add("history", *history);
        if (stopwatch_.WentBackPastStart())
            add("stopwatch", "reset at cycle " + std::to_string(cpu.cycles()) +
                                 ": the chip went back before the stops it keeps");
    } else {
        return Respond(request, false, {}, "unknown variables reference");
    }
    Respond(request, true, {{"variables", vars}});
}

void Session::SetVariable(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    const int ref = args.value("variablesReference", 0);
    const std::string name = args.value("name", "");
    const std::string text = Trim(args.value("value", ""));
    SxCpu& cpu = Cpu();
    std::string shown;
    if (ref == kWatchesRef) {
        const AssemblyState& s = program_.state();
        for (std::uint32_t i = 0; i < s.WatchCount; ++i) {
            const Watch& w = s.Watches[i];
            if (name != w.name) continue;
            std::uint32_t number = 0;
            WatchWrites writes;
            if (IsStringWatch(w)) writes = WatchStringWrites(w, WatchStringEntry(text), cpu.family(), cpu.config().bankCount);
            else if (ParseWatchNumber(text, number))
                writes = WatchNumberWrites(w, number, FileNow().data(), cpu.family(), cpu.config().bankCount);
            else return Respond(request, false, {}, "'" + text + "' is not a number");
            for (int k = 0; k < writes.count; ++k) cpu.Poke(writes.writes[k].address, writes.writes[k].value);
            Changed();
            return Respond(request, true, {{"value", WatchText(w, FileNow().data(), cpu.family(), cpu.config().bankCount)}});
        }
        return Respond(request, false, {}, "no watch '" + name + "'");
    }
    if (ref == kTimingRef && target_->countsCycles()) {
        if (name != "since last stop") return Respond(request, false, {}, "only the stopwatch can be set");
        const auto v = ParseNumber(text);
        if (!v || *v < 0 || !stopwatch_.SetSinceLastStop(std::uint64_t(*v)))
            return Respond(request, false, {}, "not a cycle count");
        return Respond(request, true, {{"value", std::to_string(*v)}});
    }
    const auto value = ParseNumber(text);
    if (!value) return Respond(request, false, {}, "'" + text + "' is not a number");
    std::string target;
    if (ref == kRegistersRef) target = name;
    else if (ref >= kBitsRef && ref < kBitsRef + int(registers_.size())) {
        const RegisterInfo& r = registers_[std::size_t(ref - kBitsRef)];
        for (int b = 0; b < 8; ++b)
            if (!r.bits[std::size_t(7 - b)].empty() && name == r.bits[std::size_t(7 - b)]) target = r.name + "." + std::to_string(b);
    } else if (ref == kGlobalsRef) target = name;
    else if (ref >= kBankRef && ref < kBankRef + 16) target = Hex(ref - kBankRef, 1) + ":" + name.substr(0, 2);
    // Registers, bits and RAM are all written through their expressions.
    const RegisterInfo* reg = nullptr;
    const auto dot = target.find('.');
    if (ref == kRegistersRef || (ref >= kBitsRef && ref < kBitsRef + 1000)) {
        reg = FindRegister(registers_, target.substr(0, dot));
        if (!reg) return Respond(request, false, {}, "no register '" + name + "'");
        if (!reg->write) return Respond(request, false, {}, reg->name + " cannot be written from the debugger");
        std::uint32_t v = std::uint32_t(*value) & ((1u << reg->width) - 1);
        if (dot != std::string::npos) {
            const int bit = target[dot + 1] - '0';
            const std::uint32_t old = reg->read(cpu, reg->port);
            v = (*value & 1) ? old | (1u << bit) : old & ~(1u << bit);
        }
        reg->write(cpu, reg->port, v);
        Changed();
        const std::uint32_t now = reg->read(cpu, reg->port);
        return Respond(request, true,
                       {{"value", dot == std::string::npos ? FormatValue(now, reg->width)
                                                           : std::to_string((now >> (target[dot + 1] - '0')) & 1)}});
    }
    int address = -1;
    if (ref == kGlobalsRef) {
        const auto a = ParseNumber(name);
        if (a && *a >= 8 && *a < 16) address = int(*a);
    } else if (ref >= kBankRef && ref < kBankRef + 16) {
        const auto fr = ParseNumber(name);
        if (fr && *fr >= 0x10 && *fr < 0x20) address = BankAddress(cpu, ref - kBankRef, int(*fr));
    }
    if (address < 0) return Respond(request, false, {}, "no variable '" + name + "' here");
    cpu.Poke(address, std::uint8_t(*value));
    Changed();
    Respond(request, true, {{"value", FormatValue(FileByte(address), 8)}});
}

std::optional<std::int64_t> Session::Value(const std::string& expression, std::string* shown) {
    const std::string e = Trim(expression);
    const SxCpu& cpu = Cpu();
    auto show = [&](std::int64_t v, const std::string& text) -> std::optional<std::int64_t> {
        if (shown) *shown = text;
        return v;
    };
    if (e.empty()) return std::nullopt;
    // bank:addr, both hexadecimal.
    if (const auto colon = e.find(':'); colon != std::string::npos && colon > 0) {
        auto hex = [](std::string t) {
            t = Trim(t);
            const bool plain = !t.empty() && std::isxdigit(static_cast<unsigned char>(t.back())) &&
                               t.find_first_of("$%hHxX") == std::string::npos;
            return ParseNumber(plain ? t + "h" : t);
        };
        const auto bank = hex(e.substr(0, colon));
        const auto fr = hex(e.substr(colon + 1));
        if (!bank || !fr || *bank < 0 || *bank >= BankCount(cpu) || *fr < 0 || *fr > 0x1F) return std::nullopt;
        const int a = *fr < 0x10 ? int(*fr) : BankAddress(cpu, int(*bank), int(*fr));
        return show(FileByte(a), FormatValue(FileByte(a), 8));
    }
    // REGISTER or REGISTER.BIT
    const auto dot = e.find('.');
    if (const RegisterInfo* r = FindRegister(registers_, e.substr(0, dot))) {
        const std::uint32_t v = r->read(cpu, r->port);
        if (dot == std::string::npos) return show(v, FormatValue(v, r->width));
        const auto bit = ParseNumber(e.substr(dot + 1));
        if (bit && *bit >= 0 && *bit < r->width) return show((v >> *bit) & 1, std::to_string((v >> *bit) & 1));
        for (int b = 0; b < 8; ++b)
            if (!r->bits[std::size_t(7 - b)].empty() && e.substr(dot + 1) == r->bits[std::size_t(7 - b)])
                return show((v >> b) & 1, std::to_string((v >> b) & 1));
        return std::nullopt;
    }
    if (const auto n = ParseNumber(e)) return show(*n, FormatValue(std::uint32_t(*n), *n > 255 ? 12 : 8));
    // A symbol: a label is its address; a register name (EQU below 100h)
    // stands for what the register holds.
    const auto v = program_.Symbol(e);
    if (!v) return std::nullopt;
    const auto [label, offset] = program_.LabelOf(*v);
    auto upper = [](std::string t) {
        for (char& c : t) c = char(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    if (offset == 0 && upper(label) == upper(e)) return show(*v, Hex(*v, 3, "$") + " (" + e + ")");
    if (*v >= 0 && *v < 0x100) {
        const std::uint8_t content = FileByte(*v);
        return show(content, FormatValue(content, 8) + " in " + Hex(*v, 2) + "h");
    }
    return show(*v, FormatValue(std::uint32_t(*v), 12));
}

void Session::Evaluate(const Json& request) {
    const std::string e = request.value("arguments", Json::object()).value("expression", "");
    std::string shown;
    if (!Value(e, &shown)) return Respond(request, false, {}, "cannot evaluate '" + e + "'");
    Respond(request, true, {{"result", shown}, {"variablesReference", 0}});
}

void Session::GotoTargets(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    const int line = args.value("line", 0);
    const auto code = program_.CodeAtOrAfter(line);
    Json targets = Json::array();
    if (code && code->first == line)
        targets.push_back({{"id", code->second}, {"label", FrameName(code->second)}, {"line", line},
                           {"instructionPointerReference", Hex(code->second, 3, "0x")}});
    Respond(request, true, {{"targets", targets}});
}

void Session::Goto(const Json& request) {
    const int address = request.value("arguments", Json::object()).value("targetId", -1);
    if (address < 0 || address >= int(ProgramWords())) return Respond(request, false, {}, "not a program address");
    Respond(request, true);
    Cpu().SetPc(std::uint16_t(address));
    Cpu().SetSkipPending(false);
    Changed();
    Stopped("goto");
}

void Session::Disassemble(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    const auto base = ParseNumber(args.value("memoryReference", ""));
    if (!base) return Respond(request, false, {}, "not a program address");
    const std::int64_t first = *base + args.value("offset", 0) + args.value("instructionOffset", 0);
    const int count = std::min(args.value("instructionCount", 0), 4096);
    Json out = Json::array();
    for (int i = 0; i < count; ++i) {
        const std::int64_t a = first + i;
        if (a < 0 || a >= std::int64_t(ProgramWords())) {
            out.push_back({{"address", Hex(int(a & 0xFFFF), 3, "0x")}, {"instruction", ""}, {"presentationHint", "invalid"}});
            continue;
        }
        Json ins{{"address", Hex(int(a), 3, "0x")},
                 {"instructionBytes", Hex(Cpu().ProgramWord(int(a)), 3)},
                 {"instruction", program_.HoldsData(int(a)) ? DisassembleWord(program_.state(), int(a), 0) : "(no data)"}};
        const auto [label, offset] = program_.LabelOf(int(a));
        if (!label.empty() && offset == 0) ins["symbol"] = label;
        if (const int line = program_.LineOf(int(a))) ins["line"] = line, ins["location"] = SourceJson();
        out.push_back(std::move(ins));
    }
    Respond(request, true, {{"instructions", out}});
}

void Session::ReadMemory(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    const std::string ref = args.value("memoryReference", "");
    const std::int64_t offset = args.value("offset", 0);
    const std::int64_t count = std::min<std::int64_t>(args.value("count", 0), 1 << 16);
    std::vector<std::uint8_t> bytes;
    const auto ram = RamBase(ref);
    std::string address = ref;
    if (ram) {
        // The register file's bytes from the reference's first register on.
        const std::int64_t start = *ram + offset;
        address = Hex(int(start & 0xFF), 2, "0x");
        for (std::int64_t a = start; start >= 0 && a < start + count && a < 256; ++a) bytes.push_back(FileByte(int(a)));
    } else if (const auto base = ref == "code" ? std::optional<std::int64_t>(0) : ParseNumber(ref)) {
        // Program words, two bytes each (low byte first).
        const std::int64_t start = *base * 2 + offset;
        for (std::int64_t b = start; start >= 0 && b < start + count && b < std::int64_t(ProgramWords()) * 2; ++b)
            bytes.push_back(std::uint8_t(Cpu().ProgramWord(int(b / 2)) >> (b % 2 ? 8 : 0)));
    } else {
        return Respond(request, false, {}, kNoMemory);
    }
    Json body{{"address", address}, {"data", Base64(bytes)}};
    if (bytes.size() < std::size_t(std::max<std::int64_t>(count, 0))) body["unreadableBytes"] = count - std::int64_t(bytes.size());
    Respond(request, true, body);
}

// Program words, two bytes each (low byte first) as readMemory gives them,
// written whole into the (simulated) chip's program memory.
void Session::WriteProgramWords(const Json& request, const std::string& ref, std::int64_t offset,
                                const std::vector<std::uint8_t>& data) {
    const auto base = ref == "code" ? std::optional<std::int64_t>(0) : ParseNumber(ref);
    if (!base) return Respond(request, false, {}, kNoMemory);
    if (const auto no = target_->NoProgramWrites()) return Respond(request, false, {}, *no);
    const std::int64_t start = *base * 2 + offset;
    if (start < 0 || start % 2 || data.size() % 2 || start / 2 + std::int64_t(data.size() / 2) > std::int64_t(ProgramWords()))
        return Respond(request, false, {}, "program words are written whole (two bytes each) within the program memory");
    std::vector<std::uint16_t> words;
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const std::uint16_t w = std::uint16_t(data[i] | (data[i + 1] << 8));
        if (w > 0xFFF) return Respond(request, false, {}, "a program word has 12 bits (at most $FFF)");
        words.push_back(w);
    }
    const int first = int(start / 2);
    target_->WriteProgram(first, words);
    for (std::size_t i = 0; i < words.size(); ++i) {
        program_.SetWord(first + int(i), words[i]);
        blankWords_.erase(first + int(i));
    }
    UpdateTraps();
    Respond(request, true, {{"bytesWritten", data.size()}});
}

void Session::WriteMemory(const Json& request) {
    const Json args = request.value("arguments", Json::object());
    const std::string ref = args.value("memoryReference", "");
    const std::int64_t offset = args.value("offset", 0);
    const auto data = FromBase64(args.value("data", ""));
    if (!data) return Respond(request, false, {}, "data is not base64");
    const auto ram = RamBase(ref);
    if (!ram) return WriteProgramWords(request, ref, offset, *data);
    const std::int64_t start = *ram + offset;
    if (start < 0 || start + std::int64_t(data->size()) > 256) return Respond(request, false, {}, "beyond the RAM");
    for (std::size_t i = 0; i < data->size(); ++i) Cpu().Poke(int(start + std::int64_t(i)), (*data)[i]);
    Changed();
    Respond(request, true, {{"bytesWritten", data->size()}});
}

}  // namespace korvid::dap
