// Reference texts for hover (Reference.h).
#include "lsp/Reference.h"

#include <array>
#include <iterator>

#include "family/InstructionSet.h"
#include "family/Registers.h"

namespace korvid::lsp {

namespace {
// Cycles (turbo, compatible) of the words a form stores, from the
// instruction set's timing: a skip costs one more for the word it skips;
// compound forms add up their words.
using enum Operation;
constexpr Cycles Of(Operation op) {
    const TimingClass t = TimingOf(op).timing;
    return {static_cast<std::uint8_t>(ClassCycles(t, ClockMode::Turbo)),
            static_cast<std::uint8_t>(ClassCycles(t, ClockMode::Compatible))};
}
constexpr Cycles operator+(Cycles a, Cycles b) {
    return {static_cast<std::uint8_t>(a.turbo + b.turbo), static_cast<std::uint8_t>(a.compatible + b.compatible)};
}
constexpr Cycles kAnnulled{kAnnulledWordCycles, kAnnulledWordCycles};
constexpr Cycles Skipping(Operation skip) { return Of(skip) + kAnnulled; }
constexpr Cycles k1 = Of(Nop);
constexpr Cycles k2 = k1 + k1;
constexpr Cycles kJmp = Of(Jmp);
constexpr Cycles kNever{};
// A skip and a JMP: falling through skips the JMP; jumping runs both.
constexpr Cycles kSkipJmpFalls = Skipping(Sb), kSkipJmpJumps = Of(Sb) + kJmp;
// Compare and skip: two moves into W, then the skip.
constexpr Cycles kCompare = k2 + Of(Sb), kCompareSkipping = k2 + Skipping(Sb);
// Compare and jump: the compare, the skip and a JMP.
constexpr Cycles kCompareFalls = k2 + Skipping(Sb), kCompareJumps = k2 + kSkipJmpJumps;
constexpr InstructionForm kForms[] = {
    {"MOV", "MOV W,#lit", 1, k1, kNever, "", "", "W = lit"},
    {"MOV", "MOV W,fr", 1, k1, kNever, "", "Z", "W = fr"},
    {"MOV", "MOV fr,W", 1, k1, kNever, "", "", "fr = W"},
    {"MOV", "MOV fr,#lit", 2, k2, kNever, "", "", "fr = lit (through W)"},
    {"MOV", "MOV fr1,fr2", 2, k2, kNever, "", "Z", "fr1 = fr2 (through W)"},
    {"MOV", "MOV W,fr-W", 1, k1, kNever, "", "C DC Z", "W = fr - W"},
    {"MOV", "MOV W,++fr / MOV W,--fr", 1, k1, kNever, "", "Z", "W = fr + 1 / fr - 1"},
    {"MOV", "MOV W,<<fr / MOV W,>>fr", 1, k1, kNever, "", "C", "W = fr rotated left / right through C"},
    {"MOV", "MOV W,/fr", 1, k1, kNever, "", "Z", "W = complement of fr"},
    {"MOV", "MOV W,<>fr", 1, k1, kNever, "", "", "W = fr with its nibbles swapped"},
    {"MOV", "MOV W,M / MOV M,W", 1, k1, kNever, "", "", "between W and MODE"},
    {"MOV", "MOV M,#lit", 1, k1, kNever, "", "", "MODE = lit (4 bits)"},
    {"MOV", "MOV !OPTION,W / MOV !port,W", 1, k1, kNever, "", "",
     "OPTION or the port's control register (by MODE) = W"},
    {"ADD", "ADD W,fr / ADD fr,W", 1, k1, kNever, "", "C DC Z", "W or fr = fr + W"},
    {"ADD", "ADD fr,#lit / ADD fr1,fr2", 2, k2, kNever, "", "C DC Z", "fr = fr + lit / fr2 (through W)"},
    {"SUB", "SUB fr,W", 1, k1, kNever, "", "C DC Z", "fr = fr - W (C = 1: no borrow)"},
    {"SUB", "SUB fr,#lit / SUB fr1,fr2", 2, k2, kNever, "", "C DC Z", "fr = fr - lit / fr2 (through W)"},
    {"AND", "AND W,#lit / AND W,fr / AND fr,W", 1, k1, kNever, "", "Z", "bitwise and"},
    {"OR", "OR W,#lit / OR W,fr / OR fr,W", 1, k1, kNever, "", "Z", "bitwise or"},
    {"XOR", "XOR W,#lit / XOR W,fr / XOR fr,W", 1, k1, kNever, "", "Z", "bitwise exclusive or"},
    {"CLR", "CLR W / CLR fr", 1, k1, kNever, "", "Z", "set to 0"},
    {"CLR", "CLR !WDT", 1, k1, kNever, "", "TO PD", "restart the watchdog"},
    {"INC", "INC fr", 1, k1, kNever, "", "Z", "fr = fr + 1"},
    {"DEC", "DEC fr", 1, k1, kNever, "", "Z", "fr = fr - 1"},
    {"RL", "RL fr", 1, k1, kNever, "", "C", "rotate left through C"},
    {"RR", "RR fr", 1, k1, kNever, "", "C", "rotate right through C"},
    {"SWAP", "SWAP fr", 1, k1, kNever, "", "", "swap the nibbles of fr"},
    {"NOT", "NOT W / NOT fr", 1, k1, kNever, "", "Z", "complement"},
    {"TEST", "TEST W / TEST fr", 1, k1, kNever, "", "Z", "Z = (value is 0)"},
    {"CLRB", "CLRB fr.bit", 1, k1, kNever, "", "", "clear a bit"},
    {"SETB", "SETB fr.bit", 1, k1, kNever, "", "", "set a bit"},
    {"CLC", "CLC", 1, k1, kNever, "", "C", "clear C"},
    {"CLZ", "CLZ", 1, k1, kNever, "", "Z", "clear Z"},
    {"STC", "STC", 1, k1, kNever, "", "C", "set C"},
    {"STZ", "STZ", 1, k1, kNever, "", "Z", "set Z"},
    {"ADDB", "ADDB fr,bit", 2, k2, kNever, "", "Z", "fr = fr + 1 when the bit is set"},
    {"SUBB", "SUBB fr,bit", 2, k2, kNever, "", "Z", "fr = fr - 1 when the bit is set"},
    {"MOVB", "MOVB bit1,bit2 / MOVB bit1,/bit2", 4, k2 + k2, kNever, "", "", "copy a bit (or its complement)"},
    {"MOVSZ", "MOVSZ W,++fr / MOVSZ W,--fr", 1, Of(Sb), Skipping(Sb), "skipping", "", "W = fr +/- 1, skip if 0"},
    {"INCSZ", "INCSZ fr", 1, Of(Sb), Skipping(Sb), "skipping", "", "fr = fr + 1, skip if 0"},
    {"DECSZ", "DECSZ fr", 1, Of(Sb), Skipping(Sb), "skipping", "", "fr = fr - 1, skip if 0"},
    {"IJNZ", "IJNZ fr,addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "fr = fr + 1, jump if not 0"},
    {"DJNZ", "DJNZ fr,addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "fr = fr - 1, jump if not 0"},
    {"CSE", "CSE fr,#lit / CSE fr1,fr2", 3, kCompare, kCompareSkipping, "skipping", "C DC Z", "skip if equal"},
    {"CSNE", "CSNE fr,#lit / CSNE fr1,fr2", 3, kCompare, kCompareSkipping, "skipping", "C DC Z", "skip if not equal"},
    {"CSA", "CSA fr,#lit / CSA fr1,fr2", 3, kCompare, kCompareSkipping, "skipping", "C DC Z", "skip if above"},
    {"CSAE", "CSAE fr,#lit / CSAE fr1,fr2", 3, kCompare, kCompareSkipping, "skipping", "C DC Z",
     "skip if above or equal"},
    {"CSB", "CSB fr,#lit / CSB fr1,fr2", 3, kCompare, kCompareSkipping, "skipping", "C DC Z", "skip if below"},
    {"CSBE", "CSBE fr,#lit / CSBE fr1,fr2", 3, kCompare, kCompareSkipping, "skipping", "C DC Z",
     "skip if below or equal"},
    {"CJE", "CJE fr,#lit,addr / CJE fr1,fr2,addr", 4, kCompareFalls, kCompareJumps, "jumping", "C DC Z",
     "jump if equal"},
    {"CJNE", "CJNE fr,#lit,addr / CJNE fr1,fr2,addr", 4, kCompareFalls, kCompareJumps, "jumping", "C DC Z",
     "jump if not equal"},
    {"CJA", "CJA fr,#lit,addr / CJA fr1,fr2,addr", 4, kCompareFalls, kCompareJumps, "jumping", "C DC Z",
     "jump if above"},
    {"CJAE", "CJAE fr,#lit,addr / CJAE fr1,fr2,addr", 4, kCompareFalls, kCompareJumps, "jumping", "C DC Z",
     "jump if above or equal"},
    {"CJB", "CJB fr,#lit,addr / CJB fr1,fr2,addr", 4, kCompareFalls, kCompareJumps, "jumping", "C DC Z",
     "jump if below"},
    {"CJBE", "CJBE fr,#lit,addr / CJBE fr1,fr2,addr", 4, kCompareFalls, kCompareJumps, "jumping", "C DC Z",
     "jump if below or equal"},
    {"SB", "SB fr.bit", 1, Of(Sb), Skipping(Sb), "skipping", "", "skip if the bit is set"},
    {"SNB", "SNB fr.bit", 1, Of(Sb), Skipping(Sb), "skipping", "", "skip if the bit is clear"},
    {"SC", "SC", 1, Of(Sb), Skipping(Sb), "skipping", "", "skip if C is set"},
    {"SNC", "SNC", 1, Of(Sb), Skipping(Sb), "skipping", "", "skip if C is clear"},
    {"SZ", "SZ", 1, Of(Sb), Skipping(Sb), "skipping", "", "skip if Z is set"},
    {"SNZ", "SNZ", 1, Of(Sb), Skipping(Sb), "skipping", "", "skip if Z is clear"},
    {"JB", "JB fr.bit,addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "jump if the bit is set"},
    {"JNB", "JNB fr.bit,addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "jump if the bit is clear"},
    {"JC", "JC addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "jump if C is set"},
    {"JNC", "JNC addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "jump if C is clear"},
    {"JZ", "JZ addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "jump if Z is set"},
    {"JNZ", "JNZ addr", 2, kSkipJmpFalls, kSkipJmpJumps, "jumping", "", "jump if Z is clear"},
    {"SKIP", "SKIP", 1, Skipping(Sb), kNever, "", "", "skip the next word"},
    {"JMP", "JMP addr", 1, kJmp, kNever, "", "", "jump within the page the page bits select"},
    {"JMP", "JMP @addr", 2, Of(Page) + kJmp, kNever, "", "", "PAGE addr, then JMP addr"},
    {"JMP", "JMP W", 1, kJmp, kNever, "", "", "jump to W in the first half of the page"},
    {"JMP", "JMP PC+W", 1, kJmp, kNever, "", "C DC Z",
     "jump to PC + W in the first half of the page (ADD PC,W: the flags follow the sum)"},
    {"CALL", "CALL addr", 1, Of(Call), kNever, "", "", "call into the first half of the page the page bits select"},
    {"CALL", "CALL @addr", 2, Of(Page) + Of(Call), kNever, "", "", "PAGE addr, then CALL addr"},
    {"RET", "RET", 1, Of(Ret), kNever, "", "", "return"},
    {"RETP", "RETP", 1, Of(Retp), kNever, "", "PA", "return and set the page bits to the caller's page"},
    {"RETW", "RETW lit[,lit...]", 1, Of(RetW), kNever, "", "", "return with W = lit (a word per literal)"},
    {"RETI", "RETI", 1, Of(Reti), kNever, "", "all", "return from an interrupt, restoring W, STATUS and FSR"},
    {"RETIW", "RETIW", 1, Of(Retiw), kNever, "", "all", "return from an interrupt and add W to RTCC"},
    {"PAGE", "PAGE addr", 1, k1, kNever, "", "PA", "select the page of addr for the next jump or call"},
    {"BANK", "BANK addr", 1, k1, kNever, "", "", "select the register bank of addr in FSR"},
    {"MODE", "MODE lit", 1, k1, kNever, "", "", "MODE = lit (4 bits)"},
    {"SLEEP", "SLEEP", 1, k1, kNever, "", "TO PD", "power down until a wake-up"},
    {"IREAD", "IREAD", 1, Of(Iread), kNever, "", "", "read the program word at MODE:W into MODE:W"},
    {"NOP", "NOP", 1, k1, kNever, "", "", "no operation"},
    {"LSET", "LSET addr", 0, kNever, kNever, "", "PA", "set the page bits of addr one by one: a SETB or CLRB of each",
     FormGrowth::PerPageBit},
    {"LJMP", "LJMP addr", 1, kJmp, kNever, "", "PA", "set the page bits of addr one by one, then JMP",
     FormGrowth::PerPageBit},
    {"LCALL", "LCALL addr", 1, Of(Call), kNever, "", "PA", "set the page bits of addr one by one, then CALL",
     FormGrowth::PerPageBit},
};

struct Text2 {
    std::string_view name, text;
};

constexpr Text2 kDirectives[] = {
    {"DEVICE", "chooses the part and the fuse options (the words after it)"},
    {"ID", "the ID words: a string of up to 8 characters"},
    {"RESET", "puts a jump to its address at the reset vector"},
    {"EQU", "gives the label on its line a constant value"},
    {"ORG", "sets the address the next code goes to"},
    {"DS", "reserves words (advances the address)"},
    {"DW", "stores data words"},
    {"IFDEF", "assembles what follows when the symbol is defined"},
    {"IFNDEF", "assembles what follows when the symbol is not defined"},
    {"IF", "assembles what follows when the expression is not 0"},
    {"ELSE", "the other branch of an IF, IFDEF or IFNDEF"},
    {"ENDIF", "ends an IF, IFDEF or IFNDEF"},
    {"REPT", "repeats the lines up to ENDR the given number of times (% is the count)"},
    {"ENDR", "ends a REPT"},
    {"MACRO", "defines the label on its line as a macro up to ENDM (\\1.. are its arguments)"},
    {"EXITM", "leaves a macro expansion"},
    {"ENDM", "ends a macro definition"},
    {"EXPAND", "lists macro expansions in full"},
    {"NOEXPAND", "lists only the code of macro expansions"},
    {"CASE", "makes names case-sensitive"},
    {"NOCASE", "makes names case-insensitive again"},
    {"ERROR", "stops the assembly with the given message"},
    {"END", "ends the source; what follows is ignored"},
    {"BREAK", "sets the debugger's breakpoint at this line's address"},
    {"WATCH", "shows a register or range in the debugger's Watch window: address, bits, format"},
    {"FREQ", "the clock frequency the debugger runs at, in Hz"},
    {"IRC_CAL", "the internal oscillator calibration to program: IRC_SLOW, IRC_4MHZ or IRC_FAST"},
};

// What each special register is for, by file address (the names are
// family/Registers.h's).
constexpr std::string_view kRegisterPurposes[] = {
    "indirect: the register FSR points at",
    "real-time clock counter (or W when OPTION.7 is 0)",
    "program counter, low 8 bits",
    "status: page bits, time-out, power-down and the flags",
    "file select register: bank and indirect address",
    "port A", "port B", "port C", "port D", "port E",
};
static_assert(std::size(kRegisterPurposes) == std::size(kSpecialRegisterNames));

// The STATUS bits by bit number (names: kStatusBitNames, bit 7 first).
constexpr std::string_view kStatusBitPurposes[] = {
    "carry (no borrow after a subtraction)", "digit carry", "zero", "power-down (0 after SLEEP)",
    "time-out (0 after a watchdog time-out)", "page bit 0", "page bit 1", "page bit 2",
};
static_assert(std::size(kStatusBitPurposes) == std::size(kStatusBitNames));

constexpr Text2 kOperandWords[] = {
    {kOptionRegisterName, "the OPTION register, written with MOV !OPTION,W: W at 01h (RTW = 0), RTCC interrupt "
                          "enable (0), RTCC clock source and edge, prescaler to RTCC (PSA = 0) or the watchdog, "
                          "prescaler rate"},
    {kRegisterMName, "the MODE register: selects which port control register MOV !port,W writes"},
    {kRegisterWName, "the working register"},
};

template <std::size_t N>
std::string_view Find(const Text2 (&table)[N], std::string_view name) {
    for (const Text2& t : table)
        if (t.name == name) return t.text;
    return {};
}
}  // namespace

std::vector<const InstructionForm*> FormsOf(std::string_view mnemonic) {
    std::vector<const InstructionForm*> out;
    for (const InstructionForm& f : kForms)
        if (f.mnemonic == mnemonic) out.push_back(&f);
    return out;
}

std::string_view DirectivePurpose(std::string_view directive) { return Find(kDirectives, directive); }

std::string_view RegisterPurpose(int address) {
    return address >= 0 && address < int(std::size(kRegisterPurposes)) ? kRegisterPurposes[address] : std::string_view{};
}

std::string_view StatusBitPurpose(int bit) {
    return bit >= 0 && bit < int(std::size(kStatusBitPurposes)) ? kStatusBitPurposes[bit] : std::string_view{};
}

std::string_view OperandWordPurpose(std::string_view name) { return Find(kOperandWords, name); }

}  // namespace korvid::lsp
