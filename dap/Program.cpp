#include "dap/Program.h"

#include <algorithm>
#include <cctype>

#include "core/asm/Assembler.h"
#include "core/image/FileIo.h"
#include "core/image/HexFile.h"

namespace korvid::dap {
namespace {

constexpr std::size_t kMaxSourceBytes = 64u << 20;

bool IsHexName(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "sxh" || ext == "hex" || ext == "obj";
}

// The assembler's text: CR line ends, control bytes other than TAB dropped.
std::string AssemblerText(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c == '\r' || c == '\n') {
            out += '\r';
            if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else if (c == '\t' || c >= 32) {
            out += char(c);
        }
    }
    return out;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The symbol table's keys are upper case.
std::string Key(std::string name) {
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

bool DebugProgram::Load(const std::string& path, const Family& family, Dialect dialect, std::string& message) {
    path_ = path;
    state_ = std::make_unique<AssemblyState>(family);
    listBuffer_.assign(kDefaultListCapacity, 0);
    AssemblyState& s = *state_;
    s.ListText = listBuffer_.data();
    s.ListCapacity = kDefaultListCapacity;
    s.ClockFrequency = kDefaultClockFrequency;
    s.dialect = dialect;
    BlankImage(s.ChipImage, family);
    addressLine_.assign(kProgramWords, 0);
    lineAddress_.clear();
    labels_.clear();

    if (IsHexName(path)) {
        if (!LoadHexFile(s, path, message)) return false;
        if (s.ErrorFlag != 0 && s.ErrorMessage[0] != 'W') {
            message = path + ":" + std::to_string(HexErrorLine(s)) + ":1: error: " + s.ErrorMessage;
            return false;
        }
        s.ChipImage = s.DeviceImage;
        return true;
    }

    std::string raw, reason;
    const ReadResult r = ReadFileToString(path, raw, kMaxSourceBytes, &reason);
    if (r == ReadResult::TooLarge) {
        message = path + " is too large";
        return false;
    }
    if (r != ReadResult::Ok) {
        message = "cannot read " + path + ": " + reason;
        return false;
    }
    source_ = AssemblerText(raw);
    s.SourceText = source_.c_str();
    Assemble(s);

    // Start offsets of the source lines, to turn offsets into line numbers.
    std::vector<std::uint32_t> starts{0};
    for (std::uint32_t i = 0; i < source_.size(); ++i)
        if (source_[i] == '\r') starts.push_back(i + 1);
    auto lineAt = [&](std::uint32_t offset) {
        return int(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin());
    };
    if (s.ErrorFlag != 0) {
        const int line = lineAt(s.ErrorStart);
        const int column = int(s.ErrorStart - starts[std::size_t(line - 1)]) + 1;
        message = path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": error: " + s.ErrorMessage;
        return false;
    }
    for (int a = 0; a < kProgramWords; ++a) {
        const std::int32_t listLine = s.AddressLine[std::size_t(a)];
        if (listLine < 0 || std::uint32_t(listLine) >= s.ListLineCount || !HoldsData(a)) continue;
        const int line = lineAt(s.ListLineSource[std::size_t(listLine)]);
        addressLine_[std::size_t(a)] = line;
        lineAddress_.emplace(line, a);  // the lowest address wins: it is met first
    }
    // Labels: a name at the start of a line whose value is the address of
    // the code on that line (or the next line with code).
    for (std::size_t i = 0; i < starts.size(); ++i) {
        std::size_t p = starts[i];
        if (p >= source_.size() || !(std::isalpha(static_cast<unsigned char>(source_[p])) || source_[p] == '_'))
            continue;
        std::size_t e = p;
        while (e < source_.size() && IsNameChar(source_[e])) ++e;
        const std::string name = source_.substr(p, e - p);
        const auto value = FindSymbol(s, Key(name));
        const auto code = CodeAtOrAfter(int(i) + 1);
        if (value && code && *value == code->second) labels_.emplace(code->second, name);
    }
    return true;
}

int DebugProgram::LineOf(int address) const {
    if (address < 0 || address >= int(addressLine_.size())) return 0;
    return addressLine_[std::size_t(address)];
}

std::optional<std::pair<int, int>> DebugProgram::CodeAtOrAfter(int line) const {
    const auto it = lineAddress_.lower_bound(line);
    if (it == lineAddress_.end()) return std::nullopt;
    return *it;
}

std::pair<std::string, int> DebugProgram::LabelOf(int address) const {
    auto it = labels_.upper_bound(address);
    if (it == labels_.begin()) return {"", 0};
    --it;
    return {it->second, address - it->first};
}

std::optional<std::int32_t> DebugProgram::Symbol(const std::string& name) const {
    if (!hasLines()) return std::nullopt;
    return FindSymbol(*state_, Key(name));
}

void DebugProgram::SetWord(int address, std::uint16_t word) {
    state_->ChipImage[std::size_t(address)] = std::uint16_t((word & 0x0FFF) | kDataFlag);
}

bool DebugProgram::HoldsData(int address) const {
    return address >= 0 && address < kProgramWords && (state_->ChipImage[std::size_t(address)] & kDataFlag) != 0;
}

}  // namespace korvid::dap
