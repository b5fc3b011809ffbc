#include "core/image/DisassemblySource.h"

#include <array>
#include <cstdio>

#include "family/InstructionSet.h"
#include "family/Registers.h"

namespace korvid {

namespace {

// STATUS bits the assembler knows by name (C and Z take the carry and zero
// forms of the pattern table), by bit number.
constexpr const char* kStatusBitWords[8] = {nullptr, "DC", nullptr, "PD", "TO", "PA0", "PA1", "PA2"};

// A hex number as the assembler reads it: the digits, a leading 0 where
// they start with a letter, and the h suffix ("0Ch", "0FFh", "1A3h").
std::string HexNumber(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    std::string s = text;
    if (s[0] > '9') s.insert(s.begin(), '0');
    return s + "h";
}

std::string LabelName(unsigned address) {
    char text[16];
    std::snprintf(text, sizeof text, "L_%03X", address & 0xFFFu);
    return text;
}

// The DEVICE words that spell one configuration word: parameters of that
// word with disjoint masks whose patterns make up its difference from the
// blank word. `need` is the part of the difference not spelled yet; the
// parameters are tried in table order, so the first spelling of a value
// in the table is the one used.
bool Spell(const Family& family, bool ext, std::uint16_t difference, std::uint16_t need, std::uint16_t used,
           std::vector<const Family::DeviceParam*>& chosen) {
    if (need == 0) return true;
    const std::uint16_t lowest = static_cast<std::uint16_t>(need & -need);
    for (int i = 0; i < family.deviceParamCount; ++i) {
        const Family::DeviceParam& p = family.deviceParams[i];
        if (p.extFuse != ext || !(p.mask & lowest) || (p.mask & used)) continue;
        if ((difference & p.mask) != (p.pattern & p.mask)) continue;
        chosen.push_back(&p);
        if (Spell(family, ext, difference, static_cast<std::uint16_t>(need & ~p.mask),
                  static_cast<std::uint16_t>(used | p.mask), chosen))
            return true;
        chosen.pop_back();
    }
    return false;
}

struct DeviceLine {
    std::vector<const Family::DeviceParam*> words;
    std::vector<std::string> problems;
};

DeviceLine DeviceWords(const Family& family, const Image& image) {
    DeviceLine line;
    const struct {
        bool ext;
        const char* name;
        std::uint16_t blank, word;
    } words[] = {{true, "extended fuse word", family.blankExtFuse, image[kExtFuseIndex]},
                 {false, "fuse word", family.blankFuse, image[kFuseIndex]}};
    for (const auto& w : words) {
        const auto difference = static_cast<std::uint16_t>((w.blank ^ w.word) & kWordMask);
        std::uint16_t used = 0;
        std::vector<const Family::DeviceParam*> chosen;
        // Where the part gives the memory, its name (the first parameter's
        // field) is written even at its blank value: the source says which
        // part it is for.
        const Family::DeviceParam& first = family.deviceParams[0];
        if (family.memoryFromExtFuse && first.extFuse == w.ext)
            for (int i = 0; i < family.deviceParamCount; ++i) {
                const Family::DeviceParam& p = family.deviceParams[i];
                if (p.extFuse == w.ext && p.mask == first.mask && (difference & p.mask) == (p.pattern & p.mask)) {
                    chosen.push_back(&p);
                    used = p.mask;
                    break;
                }
            }
        if (!Spell(family, w.ext, difference, static_cast<std::uint16_t>(difference & ~used), used, chosen)) {
            // The largest spelling there is: every field that a word spells.
            chosen.clear();
            used = 0;
            for (int i = 0; i < family.deviceParamCount; ++i) {
                const Family::DeviceParam& p = family.deviceParams[i];
                if (p.extFuse == w.ext && p.mask && !(p.mask & used) && (difference & p.mask) &&
                    (difference & p.mask) == (p.pattern & p.mask)) {
                    chosen.push_back(&p);
                    used = static_cast<std::uint16_t>(used | p.mask);
                }
            }
            std::uint16_t spelled = w.blank;
            for (const Family::DeviceParam* p : chosen) spelled = static_cast<std::uint16_t>(spelled ^ p->pattern);
            char text[160];
            std::snprintf(text, sizeof text, "the %s 0x%03X has bits no DEVICE word sets; the source gives 0x%03X",
                          w.name, unsigned(w.word & kWordMask), unsigned(spelled & kWordMask));
            line.problems.push_back(text);
        }
        line.words.insert(line.words.end(), chosen.begin(), chosen.end());
    }
    return line;
}

// The ID as the ID directive writes it: characters 32 to 127, two words
// each (0xFF0 and a nibble), the rest of the ID blank. Runs of plain
// characters are one string ('BLINK'); a quote, the comment sign and DEL
// are numbers.
bool IdText(const Image& image, std::string& operands) {
    operands.clear();
    bool ended = false, inString = false;
    for (int i = 0; i < 8; ++i) {
        const unsigned hi = image[kIdBase + 2 * i] & kWordMask, lo = image[kIdBase + 2 * i + 1] & kWordMask;
        if (hi == 0xFFF && lo == 0xFFF) {
            ended = true;
            continue;
        }
        if (ended || (hi & 0xFF0) != 0xFF0 || (lo & 0xFF0) != 0xFF0) return false;
        const unsigned c = ((hi & 0xF) << 4) | (lo & 0xF);
        if (c < 32 || c > 127) return false;
        const bool plain = c != '\'' && c != ';' && c != 127;
        if (plain && inString) {
            operands.insert(operands.size() - 1, 1, char(c));
            continue;
        }
        if (!operands.empty()) operands += ",";
        operands += plain ? "'" + std::string(1, char(c)) + "'" : std::to_string(c);
        inString = plain;
    }
    return true;
}

class SourceWriter {
public:
    SourceWriter(const Family& family, const Image& image)
        : family_(family),
          image_(image),
          size_(ProgramSize(family, image[kExtFuseIndex])),
          registerLimit_(family.namedRegisterLimit[(image[kExtFuseIndex] >> 10) & 1]) {
        for (int a = 0; a < size_; ++a) {
            const auto at = static_cast<std::size_t>(a);
            used_[at] = (image[at] & kDataFlag) != 0;
        }
        for (int a = 0; a < size_; ++a) {
            if (!used_[static_cast<std::size_t>(a)]) continue;
            const int target = TargetOf(a);
            if (target >= 0 && target < size_ && used_[static_cast<std::size_t>(target)])
                labelled_[static_cast<std::size_t>(target)] = true;
        }
    }

    void Program(std::string& out) {
        int next = -1;
        for (int a = 0; a < size_; ++a) {
            const auto at = static_cast<std::size_t>(a);
            if (!used_[at]) continue;
            if (a != next) Line(out, "", "ORG", HexNumber(unsigned(a), 3), "");
            next = a + 1;
            const unsigned word = image_[at] & kWordMask;
            std::string mnemonic, operands;
            Instruction(a, word, mnemonic, operands);
            char where[24];
            std::snprintf(where, sizeof where, "%03X %03X", unsigned(a), word);
            Line(out, labelled_[at] ? LabelName(unsigned(a)) : "", mnemonic, operands, where);
        }
    }

    static void Line(std::string& out, const std::string& label, const std::string& mnemonic,
                     const std::string& operands, const std::string& comment) {
        std::string line = label;
        line.resize(8, ' ');
        line += mnemonic;
        if (!operands.empty()) {
            line.resize(16, ' ');
            line += operands;
        }
        if (!comment.empty()) {
            line.resize(40, ' ');
            line += "; " + comment;
        }
        out += line + "\n";
    }

private:
    // Where a jump or call at `a` goes: the page that a PAGE right before
    // it selects, else its own page (the reset vector's jump: the first
    // page, as after a reset); -1 for any other word.
    int TargetOf(int a) const {
        const unsigned word = image_[static_cast<std::size_t>(a)] & kWordMask;
        const InstructionPattern& p = MatchInstruction(static_cast<std::uint16_t>(word), a);
        if (p.operation != Operation::Jmp && p.operation != Operation::Call) return -1;
        unsigned page = unsigned(a) & ~0x1FFu;
        if (a == size_ - 1) page = 0;
        if (a > 0 && used_[static_cast<std::size_t>(a - 1)]) {
            const unsigned before = image_[static_cast<std::size_t>(a - 1)] & kWordMask;
            if (MatchInstruction(static_cast<std::uint16_t>(before), a - 1).operation == Operation::Page)
                page = (before & 7) << 9;
        }
        const unsigned field = p.operation == Operation::Jmp ? (word & 0x1FF) : (word & 0xFF);
        return static_cast<int>(page | field);
    }

    std::string Register(unsigned f) const {
        if (int(f) <= registerLimit_) return std::string(f == 1 ? RegisterOneName(false) : kSpecialRegisterNames[f]);
        return HexNumber(f, 2);
    }

    std::string Operand(const InstructionPattern& p, int a, unsigned w) const {
        switch (p.operand) {
            case Operand::None: return "";
            case Operand::Register: return Register(RegisterField(w));
            case Operand::RegisterBit: {
                const unsigned f = RegisterField(w), b = BitField(w);
                if (f == kStatusRegister && kStatusBitWords[b]) return kStatusBitWords[b];
                return Register(f) + "." + std::to_string(b);
            }
            case Operand::Literal4: return HexNumber(w & 0xF, 1);
            case Operand::Literal8: return HexNumber(w & 0xFF, 2);
            case Operand::Address8:
            case Operand::Address9: {
                const int target = TargetOf(a);
                if (target >= 0 && target < size_ && labelled_[static_cast<std::size_t>(target)])
                    return LabelName(unsigned(target));
                return HexNumber(p.operand == Operand::Address8 ? (w & 0xFF) : unsigned(target), 3);
            }
            case Operand::Page: return HexNumber((w & 7) << 9, 3);
            case Operand::Bank: return HexNumber((w & 7) << family_.bankShift, 2);
        }
        return "";
    }

    void Instruction(int a, unsigned w, std::string& mnemonic, std::string& operands) const {
        const InstructionPattern& p = MatchInstruction(static_cast<std::uint16_t>(w), a);
        if (p.operation == Operation::Unused) {
            mnemonic = "DW";
            operands = HexNumber(w, 3);
            return;
        }
        mnemonic = p.mnemonic;
        operands.clear();
        for (const char* c = p.text; *c; ++c) {
            if (*c == '%')
                operands += Operand(p, a, w);
            else
                operands += *c;
        }
    }

    const Family& family_;
    const Image& image_;
    int size_;
    int registerLimit_;
    std::array<bool, kProgramWords> used_{};
    std::array<bool, kProgramWords> labelled_{};
};

}  // namespace

DisassemblySource DisassembleSource(const Family& family, const Image& image) {
    DisassemblySource result;
    std::string& out = result.text;
    out += "; Disassembled by korvid disasm --source; korvid asm";
    if (family.id != FamilyId::Sx28l) out += " --family " + std::string(family.name);
    out += " turns it back into the same words.\n";

    const DeviceLine device = DeviceWords(family, image);
    result.problems = device.problems;
    std::string words;
    for (const Family::DeviceParam* p : device.words) words += (words.empty() ? "" : ", ") + std::string(p->name);
    if (!words.empty()) SourceWriter::Line(out, "", "DEVICE", words, "");

    std::string id;
    if (!IdText(image, id)) {
        result.problems.push_back(
            "the ID words are not characters as the ID directive writes them; the source has no ID");
        id.clear();
    }
    if (!id.empty()) SourceWriter::Line(out, "", "ID", id, "");
    for (const std::string& problem : result.problems) out += "; not as in the image: " + problem + "\n";
    out += "\n";

    SourceWriter writer(family, image);
    writer.Program(out);
    return result;
}

}  // namespace korvid
