#include "core/image/Disassembler.h"

#include <cstring>

#include "family/InstructionSet.h"
#include "family/Registers.h"

namespace korvid {

namespace {

// STATUS bit names by bit number (bits 0 and 2, C and Z, print as the
// carry and zero forms of the pattern table).
constexpr const char* kStatusBits[8] = {nullptr, "DC", nullptr, "PD", "TO", "PA0", "PA1", "PA2"};


constexpr char kHex[] = "0123456789ABCDEF";

// Writes into a fixed buffer; never past its end.
class Out {
public:
    explicit Out(char* buffer) : start_(buffer), at_(buffer) {}
    void Text(const char* s) {
        while (*s && at_ - start_ < kMaxInstructionText) *at_++ = *s++;
    }
    void Hex(unsigned value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0 && at_ - start_ < kMaxInstructionText; shift -= 4)
            *at_++ = kHex[(value >> shift) & 0xF];
    }
    void Char(char c) {
        if (at_ - start_ < kMaxInstructionText) *at_++ = c;
    }
    void Digit(unsigned d) {
        if (at_ - start_ < kMaxInstructionText) *at_++ = char('0' + (d & 7));
    }
    // The mnemonic padded with spaces to six characters.
    void Mnemonic(const char* m) {
        Text(m);
        while (at_ - start_ < 6) *at_++ = ' ';
    }
    void End() { *at_ = '\0'; }

private:
    char* start_;
    char* at_;
};

struct Decoder {
    Out& out;
    int registerLimit;
    int bankShift;
    bool registerOneIsW;

    void Register(unsigned f) {
        if (int(f) <= registerLimit) {
            // The names are literals, so each view ends in a NUL.
            out.Text((f == 1 ? RegisterOneName(registerOneIsW) : kSpecialRegisterNames[f]).data());
        } else {
            out.Hex(f, 2);
        }
    }

    void BitOperand(unsigned low) {
        unsigned f = low & 0x1F;
        unsigned b = low >> 5;
        if (f == 3 && kStatusBits[b]) {
            out.Text(kStatusBits[b]);
            return;
        }
        Register(f);
        out.Text(".");
        out.Digit(b);
    }

    void OperandText(const InstructionPattern& pattern, unsigned w) {
        switch (pattern.operand) {
            case Operand::None: break;
            case Operand::Register: Register(RegisterField(w)); break;
            case Operand::RegisterBit: BitOperand(w & 0xFF); break;
            case Operand::Literal4: out.Hex(w & 0xF, 1); break;
            case Operand::Literal8: out.Hex(w & 0xFF, 2); break;
            case Operand::Address8: out.Hex(w & 0xFF, 3); break;
            case Operand::Address9: out.Hex(w & 0x1FF, 3); break;
            case Operand::Page: out.Hex((w & 7) << 9, 3); break;
            case Operand::Bank: out.Hex((w & 7) << bankShift, 2); break;
        }
    }

    // The mnemonic, then (padded to its column) the row's operand text.
    void Word(unsigned w, int address) {
        const InstructionPattern& pattern = MatchInstruction(std::uint16_t(w), address);
        if (!*pattern.text) return out.Text(pattern.mnemonic);
        out.Mnemonic(pattern.mnemonic);
        for (const char* c = pattern.text; *c; ++c) {
            if (*c == '%')
                OperandText(pattern, w);
            else
                out.Char(*c);
        }
    }
};

}  // namespace

const char* DisassembleWord(const Family& family, std::uint16_t extFuse, std::uint16_t word, int address,
                            std::uint8_t registerOneIsW) {
    static char buffer[kMaxInstructionText + 1];
    Out out(buffer);
    Decoder decoder{out, family.namedRegisterLimit[(extFuse >> 10) & 1], family.bankShift, registerOneIsW != 0};
    decoder.Word(word & kWordMask, address);
    out.End();
    return buffer;
}

const char* DisassembleWord(const AssemblyState& state, int address, std::uint8_t registerOneIsW) {
    unsigned index = unsigned(address) % kProgramWords;
    return DisassembleWord(*state.family, state.ChipImage[kExtFuseIndex], state.ChipImage[index], int(index),
                           registerOneIsW);
}

void GetListLine(const AssemblyState& state, int line, const char*& text) {
    static char buffer[kListLineBuffer];
    int length = 0;
    if (line >= 0 && std::uint32_t(line) < state.ListLineCount && line < kMaxListLines && state.ListText) {
        std::uint32_t end = state.ListLength < state.ListCapacity ? state.ListLength : state.ListCapacity;
        for (std::uint32_t at = state.ListLineOffset[std::size_t(line)]; at < end && length < kListLineBuffer - 1;
             ++at) {
            char c = state.ListText[at];
            if (c == '\r') break;
            if (c == '\t') {
                do buffer[length++] = ' ';
                while (length % 8 != 0 && length < kListLineBuffer - 1);
            } else {
                buffer[length++] = c;
            }
        }
    }
    std::memset(buffer + length, 0, std::size_t(kListLineBuffer - length));
    text = buffer;
}

}  // namespace korvid
