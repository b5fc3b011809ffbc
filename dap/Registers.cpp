#include "dap/Registers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "family/Registers.h"

namespace korvid::dap {
namespace {

// Names from the register vocabulary every front end shares
// (family/Registers.h); OPTION and the port directions have no register
// number there, being written only by MOV !OPTION,W and MOV !port,W.
std::string Name(int number) { return std::string(RegisterName(number)); }

const std::array<std::string, 5> kPortNames = {Name(kFirstPortRegister), Name(kFirstPortRegister + 1),
                                               Name(kFirstPortRegister + 2), Name(kFirstPortRegister + 3),
                                               Name(kFirstPortRegister + 4)};

std::vector<RegisterInfo> FixedRegisters() {
    return {
        {Name(kRegisterW), 8, {}, [](const SxCpu& c, int) -> std::uint32_t { return c.w(); },
         [](SxCpu& c, int, std::uint32_t v) { c.SetW(std::uint8_t(v)); }},
        {Name(kStatusRegister), 8, kStatusBitNames, [](const SxCpu& c, int) -> std::uint32_t { return c.status(); },
         [](SxCpu& c, int, std::uint32_t v) { c.SetStatus(std::uint8_t(v)); }},
        {Name(kFsrRegister), 8, {}, [](const SxCpu& c, int) -> std::uint32_t { return c.fsr(); },
         [](SxCpu& c, int, std::uint32_t v) { c.SetFsr(std::uint8_t(v)); }},
        {Name(kRegisterM), 8, {}, [](const SxCpu& c, int) -> std::uint32_t { return c.mode(); },
         [](SxCpu& c, int, std::uint32_t v) { c.SetMode(std::uint8_t(v)); }},
        {std::string(kOptionRegisterName), 8, kOptionBitNames,
         [](const SxCpu& c, int) -> std::uint32_t { return c.option(); }, nullptr},
        {Name(kRtccRegister), 8, {}, [](const SxCpu& c, int) -> std::uint32_t { return c.rtcc(); },
         [](SxCpu& c, int, std::uint32_t v) { c.SetRtcc(std::uint8_t(v)); }},
        {Name(kPcRegister), 12, {}, [](const SxCpu& c, int) -> std::uint32_t { return c.pc(); },
         [](SxCpu& c, int, std::uint32_t v) { c.SetPc(std::uint16_t(v)); }},
    };
}

}  // namespace

std::vector<RegisterInfo> RegistersOf(const SxCpu& cpu, bool mirror) {
    std::vector<RegisterInfo> out = FixedRegisters();
    // The tool's halt state has no OPTION (write-only on the chip).
    if (mirror) out.erase(std::find_if(out.begin(), out.end(), [](const RegisterInfo& r) { return r.name == kOptionRegisterName; }));
    using A = std::array<std::string_view, 8>;
    const A pins{"7", "6", "5", "4", "3", "2", "1", "0"};
    const auto write = [](SxCpu& c, int port, std::uint32_t v) { c.Poke(5 + port, std::uint8_t(v)); };
    for (int p = 0; p < cpu.portCount(); ++p) {
        // The pins as the program reads them; a write sets the latch. A
        // mirror keeps what the tool read in the latch, and no directions.
        if (mirror) {
            out.push_back({kPortNames[p], 8, pins, [](const SxCpu& c, int port) -> std::uint32_t { return c.portLatch(port); },
                           write, p});
            continue;
        }
        out.push_back({kPortNames[p], 8, pins, [](const SxCpu& c, int port) -> std::uint32_t { return c.portPins(port); },
                       write, p});
        out.push_back({std::string("TRIS_") + char('A' + p), 8, pins,
                       [](const SxCpu& c, int port) -> std::uint32_t { return c.portControl(port, 7); }, nullptr, p});
    }
    return out;
}

const RegisterInfo* FindRegister(const std::vector<RegisterInfo>& registers, std::string_view name) {
    for (const RegisterInfo& r : registers) {
        if (r.name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(name[i])) == r.name[i];
        if (same) return &r;
    }
    return nullptr;
}

std::optional<std::int64_t> ParseNumber(std::string_view t) {
    bool negative = false;
    if (!t.empty() && t[0] == '-') negative = true, t.remove_prefix(1);
    if (t.size() == 3 && t[0] == '\'' && t[2] == '\'') return negative ? -t[1] : t[1];
    int base = 10;
    if (!t.empty() && t[0] == '$') base = 16, t.remove_prefix(1);
    else if (!t.empty() && t[0] == '%') base = 2, t.remove_prefix(1);
    else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) base = 16, t.remove_prefix(2);
    else if (t.size() > 1 && (t.back() == 'h' || t.back() == 'H') && std::isdigit(static_cast<unsigned char>(t[0])))
        base = 16, t.remove_suffix(1);
    std::int64_t value = 0;
    int digits = 0;
    for (char c : t) {
        if (c == '_') continue;
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : std::isxdigit(static_cast<unsigned char>(c)) ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                                                                      : 99;
        if (d >= base || value > (std::int64_t(1) << 40)) return std::nullopt;
        value = value * base + d;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return negative ? -value : value;
}

std::string FormatValue(std::uint32_t value, int width) {
    char text[48];
    if (width == 1) std::snprintf(text, sizeof text, "%u", value & 1);
    else if (width <= 8) std::snprintf(text, sizeof text, "$%02X (%u)", value & 0xFF, value & 0xFF);
    else std::snprintf(text, sizeof text, "$%03X (%u)", value, value);
    return text;
}

}  // namespace korvid::dap
