#include "apps/common/SimOptions.h"

#include "apps/common/OutputClash.h"
#include "core/image/FileIo.h"

namespace korvid {

namespace {
constexpr OptionSpec kSimFileOptions[] = {
    {"--stimulus", "FILE", "drive the pins from a stimulus file (- for standard input)"},
    {"--vcd", "OUT.vcd", "write the pins as a waveform (VCD)"},
    {"--vcd-limit", "SIZE", "the most the waveform may take (4096, 512K, 100M, 1G; default 1G, 0 for none)"},
};
}  // namespace

std::span<const OptionSpec> SimFileOptions() { return kSimFileOptions; }

std::vector<std::string> SimFileOptionNames() {
    std::vector<std::string> names;
    for (const OptionSpec& o : kSimFileOptions) names.emplace_back(o.name);
    return names;
}

bool ReadSimFiles(const CommandOptions& options, const std::vector<std::string>& inputs, SimFiles& files,
                  std::string& message) {
    files.stimulus = options.Value("--stimulus");
    files.vcd = options.Value("--vcd");
    if (files.stimulus && files.stimulus->empty()) {
        message = "--stimulus takes a file name";
        return false;
    }
    if (files.vcd && (files.vcd->empty() || *files.vcd == kStdStreamName)) {
        message = "--vcd takes a file name";
        return false;
    }
    if (auto limit = options.Value("--vcd-limit")) {
        if (!files.vcd) {
            message = "--vcd-limit needs --vcd";
            return false;
        }
        if (!ParseByteSize(*limit, files.vcdLimit)) {
            message = "--vcd-limit takes a size in bytes (4096, 512K, 100M, 1G; 0 for none)";
            return false;
        }
    }
    if (files.vcd) {
        std::vector<std::string> all = inputs;
        if (files.stimulus) all.push_back(*files.stimulus);
        if (auto clash = OutputClash(all, {{"--vcd", *files.vcd}})) {
            message = *clash + "; nothing was written";
            return false;
        }
    }
    return true;
}

}  // namespace korvid
