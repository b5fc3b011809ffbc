#include "apps/korvid/RegisterDump.h"

#include <string>

#include "family/Layout.h"
#include "family/Registers.h"

namespace korvid::cli {

void PrintRegisters(std::FILE* out, const ChipState& s, const AssemblyState& state, int bankCount) {
    const auto& r = s.registers;
    std::fprintf(out, "PC %03X  W %02X  M %X  STATUS %02X", s.ProgramCounter, s.W & 0xFF, s.M, r[3] & 0xFF);
    std::string flags;
    for (int bit = 7; bit >= 0; --bit) {
        if (r[3] & (1u << bit)) {
            if (!flags.empty()) flags += ' ';
            flags += kStatusBitNames[std::size_t(7 - bit)];
        }
    }
    std::fprintf(out, " [%s]  FSR %02X  INT %d  SKIP %d\n", flags.c_str(), r[4] & 0xFF, s.IntFlag, s.SkipFlag);
    const bool is52 = state.family->is52();
    const int ports = LayoutOf(*state.family, state.ChipImage[kExtFuseIndex]).portCount;
    const auto print = [out, &r](const char* gap, std::string_view name, int address) {
        std::fprintf(out, "%s%s %02X", gap, std::string(name).c_str(), r[std::size_t(address)] & 0xFF);
    };
    print("", RegisterOneName(s.WAt1Flag), kRtccRegister);
    for (int p = 0; p < ports; ++p) print("  ", RegisterName(kFirstPortRegister + p), kFirstPortRegister + p);
    std::fprintf(out, "\nglobal");
    for (int a = 5 + ports; a < 16; ++a) std::fprintf(out, " %02X:%02X", a, r[a] & 0xFF);
    std::fprintf(out, "\n");
    // Banked registers, one bank a line: 28 family the banks read, 52 all 16.
    const int banks = is52 ? 16 : bankCount;
    for (int bank = 0; bank < banks; ++bank) {
        const int shown = is52 ? bank : state.family->maxBankCount - banks + bank;
        const int base = BankRegisterAddress(*state.family, shown, 0);
        std::fprintf(out, "bank %X", shown);
        for (int i = 0; i < 16; ++i) std::fprintf(out, " %02X", (is52 && bank == 0) ? 0 : r[base + i] & 0xFF);
        std::fprintf(out, "\n");
    }
}

}  // namespace korvid::cli
