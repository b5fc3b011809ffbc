#include "core/image/Disassembler.h"

#include <cstring>


namespace korvid {

namespace {

// What follows the mnemonic in a register form: prefix, register, suffix.
struct RegisterForm {
    const char* mnemonic;
    const char* prefix;
    const char* suffix;
};

// Words 0x020..0x3FF by bits 9..5 (row 0 and row 2 are decoded by their own
// tables below).
constexpr RegisterForm kRegisterForms[32] = {
    {nullptr, nullptr, nullptr}, {"MOV", "", ",W"},   {nullptr, nullptr, nullptr}, {"CLR", "", ""},
    {"MOV", "W,", "-W"},         {"SUB", "", ",W"},   {"MOV", "W,--", ""},         {"DEC", "", ""},
    {"OR", "W,", ""},            {"OR", "", ",W"},    {"AND", "W,", ""},           {"AND", "", ",W"},
    {"XOR", "W,", ""},           {"XOR", "", ",W"},   {"ADD", "W,", ""},           {"ADD", "", ",W"},
    {"MOV", "W,", ""},           {"TEST", "", ""},    {"MOV", "W,/", ""},          {"NOT", "", ""},
    {"MOV", "W,++", ""},         {"INC", "", ""},     {"MOVSZ", "W,--", ""},       {"DECSZ", "", ""},
    {"MOV", "W,>>", ""},         {"RR", "", ""},      {"MOV", "W,<<", ""},         {"RL", "", ""},
    {"MOV", "W,<>", ""},         {"SWAP", "", ""},    {"MOVSZ", "W,++", ""},       {"INCSZ", "", ""},
};

// Words 0x000..0x01F by their low five bits. Kinds: a fixed text, a port
// direction write, PAGE, BANK.
enum class LowKind : std::uint8_t { Text, Port, Page, Bank };
struct LowForm {
    LowKind kind;
    const char* text;
};
constexpr LowForm kLowForms[32] = {
    {LowKind::Text, "NOP"},   {LowKind::Text, "???"},   {LowKind::Text, "MOV   !OPTION,W"},
    {LowKind::Text, "SLEEP"}, {LowKind::Text, "CLR   !WDT"},
    {LowKind::Port, nullptr}, {LowKind::Port, nullptr}, {LowKind::Port, nullptr}, {LowKind::Port, nullptr},
    {LowKind::Port, nullptr}, {LowKind::Port, nullptr}, {LowKind::Port, nullptr},
    {LowKind::Text, "RET"},   {LowKind::Text, "RETP"},  {LowKind::Text, "RETI"},  {LowKind::Text, "RETIW"},
    {LowKind::Page, nullptr}, {LowKind::Page, nullptr}, {LowKind::Page, nullptr}, {LowKind::Page, nullptr},
    {LowKind::Page, nullptr}, {LowKind::Page, nullptr}, {LowKind::Page, nullptr}, {LowKind::Page, nullptr},
    {LowKind::Bank, nullptr}, {LowKind::Bank, nullptr}, {LowKind::Bank, nullptr}, {LowKind::Bank, nullptr},
    {LowKind::Bank, nullptr}, {LowKind::Bank, nullptr}, {LowKind::Bank, nullptr}, {LowKind::Bank, nullptr},
};

// Words 0x040..0x05F by their low five bits: fixed texts, "???" or, from
// 0x050, MOV M,#k4 (nullptr).
constexpr const char* kModeForms[32] = {
    "CLR   W", "IREAD", "MOV   W,M", "MOV   M,W", "???",   "???",   "???",   "???",
    "???",     "???",   "???",       "???",       "???",   "???",   "???",   "???",
    nullptr,   nullptr, nullptr,     nullptr,     nullptr, nullptr, nullptr, nullptr,
    nullptr,   nullptr, nullptr,     nullptr,     nullptr, nullptr, nullptr, nullptr,
};

// Bit instructions 0x400..0x7FF by bits 9..8, with the carry and zero forms.
struct BitForm {
    const char* mnemonic;
    const char* carry;  // low byte 0x03
    const char* zero;   // low byte 0x43
};
constexpr BitForm kBitForms[4] = {
    {"CLRB", "CLC", "CLZ"}, {"SETB", "STC", "STZ"}, {"SNB", "SNC", "SNZ"}, {"SB", "SC", "SZ"}};

// STATUS bit names by bit number (bits 0 and 2 never print: see kBitForms).
constexpr const char* kStatusBits[8] = {nullptr, "DC", nullptr, "PD", "TO", "PA0", "PA1", "PA2"};

constexpr const char* kRegisterNames[10] = {"IND", "RTCC", "PC", "STATUS", "FSR", "RA", "RB", "RC", "RD", "RE"};

// Literal forms 0x800..0xFFF by bits 10..8 (0x800 and 0x900: RETW, CALL;
// 0xA00/0xB00: JMP; then MOV, OR, AND, XOR with W and a literal).
constexpr const char* kLiteralForms[8] = {"RETW  ",    "CALL  0",   "JMP   ",    "JMP   ",
                                          "MOV   W,#", "OR    W,#", "AND   W,#", "XOR   W,#"};

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
            out.Text(f == 1 && registerOneIsW ? "WREG" : kRegisterNames[f]);
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

    void Low(unsigned w) {
        const LowForm& form = kLowForms[w & 0x1F];
        switch (form.kind) {
            case LowKind::Text: out.Text(form.text); break;
            case LowKind::Port:
                out.Text("MOV   !");
                Register(w & 0x1F);
                out.Text(",W");
                break;
            case LowKind::Page:
                out.Mnemonic("PAGE");
                out.Hex((w & 7) * 0x20, 2);
                out.Text("0");
                break;
            case LowKind::Bank:
                out.Mnemonic("BANK");
                out.Hex((w & 7) << bankShift, 2);
                break;
        }
    }

    void Mode(unsigned w) {
        if (const char* text = kModeForms[w & 0x1F]) {
            out.Text(text);
        } else {
            out.Text("MOV   M,#");
            out.Hex(w & 0xF, 1);
        }
    }

    void RegisterRow(unsigned w) {
        if (w == 0x022) return out.Text("JMP   W");
        if (w == 0x1E2) return out.Text("JMP   PC+W");
        const RegisterForm& form = kRegisterForms[(w >> 5) & 0x1F];
        out.Mnemonic(form.mnemonic);
        out.Text(form.prefix);
        Register(w & 0x1F);
        out.Text(form.suffix);
    }

    void Bit(unsigned w, int address) {
        unsigned low = w & 0xFF;
        const BitForm& form = kBitForms[(w >> 8) & 3];
        if (low == 0x03) return out.Text(form.carry);
        if (low == 0x43) return out.Text(form.zero);
        // SKIP: skip-if-PC-bit-0-clear at an odd address, -set at an even one.
        if ((w == 0x602 && (address & 1)) || (w == 0x702 && !(address & 1))) return out.Text("SKIP");
        out.Mnemonic(form.mnemonic);
        BitOperand(low);
    }

    void Literal(unsigned w) {
        unsigned form = (w >> 8) & 7;
        if (w == 0xD00) return out.Text("TEST  W");
        if (w == 0xFFF) return out.Text("NOT   W");
        out.Text(kLiteralForms[form]);
        if (form == 2 || form == 3)
            out.Hex(w & 0x1FF, 3);
        else
            out.Hex(w & 0xFF, 2);
    }

    void Word(unsigned w, int address) {
        switch (w >> 10) {
            case 0:
                if (w < 0x020) return Low(w);
                if (w >= 0x040 && w < 0x060) return Mode(w);
                return RegisterRow(w);
            case 1: return Bit(w, address);
            default: return Literal(w);
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
