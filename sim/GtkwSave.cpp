#include "sim/GtkwSave.h"

namespace korvid {

namespace {
// Trace flags of the save format: a group's first and last line (blank
// rows that open and close it), binary and hex values shown right-aligned.
constexpr const char* kGroupBegin = "@800200\n";
constexpr const char* kGroupEnd = "@1000200\n";
constexpr const char* kBinary = "@28\n";
constexpr const char* kHex = "@22\n";

std::string Quoted(const std::string& path) {
    std::string q = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}
}  // namespace

std::string GtkwSaveFile(const std::string& vcdPath, const std::string& scope, const StimulusPins& pins,
                         const std::vector<std::string>& registers) {
    std::string out = "[*] GTKWave save file written by korvid\n[dumpfile] " + Quoted(vcdPath) +
                      "\n[timestart] 0\n[sst_expanded] 1\n";
    for (int p = 0; p < 5; ++p) {
        if (!pins.bonded[p]) continue;
        const std::string port = PortName(p);
        out += std::string(kGroupBegin) + "-" + port + "\n" + kBinary;
        for (int b = 0; b < 8; ++b)
            if (pins.bonded[p] & (1u << b)) out += scope + "." + port + std::to_string(b) + "\n";
        out += std::string(kGroupEnd) + "-" + port + "\n";
    }
    if (!registers.empty()) {
        out += std::string(kGroupBegin) + "-registers\n" + kHex;
        for (const std::string& r : registers) out += scope + "." + r + "[7:0]\n";
        out += std::string(kGroupEnd) + "-registers\n";
    }
    return out;
}

}  // namespace korvid
