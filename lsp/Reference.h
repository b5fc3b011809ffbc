// Reference texts for hover: each instruction form with its words, cycles
// and the flags it changes; what each directive does; the registers and
// their bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvid::lsp {

struct Cycles {
    std::uint8_t turbo;
    std::uint8_t compatible;
};

// How a form's cost grows on a family: LSET, LJMP and LCALL store one
// SETB or CLRB per page bit of the program memory.
enum class FormGrowth : std::uint8_t { None, PerPageBit };

struct InstructionForm {
    std::string_view mnemonic;  // upper case
    std::string_view syntax;
    std::uint8_t words;
    Cycles cycles;
    Cycles taken;            // when a skip skips or a jump jumps; {0, 0}: never other
    std::string_view takenWhen;  // "skipping" or "jumping"
    std::string_view flags;  // STATUS bits written, "" for none
    std::string_view effect;
    FormGrowth growth = FormGrowth::None;
};

std::vector<const InstructionForm*> FormsOf(std::string_view mnemonic);
std::string_view DirectivePurpose(std::string_view directive);
// What a special register (IND .. RE) is for, by its file address; "" for
// any other address.
std::string_view RegisterPurpose(int address);
// What a STATUS bit is for, by its bit number.
std::string_view StatusBitPurpose(int bit);
// OPTION, W and M, which have no file address.
std::string_view OperandWordPurpose(std::string_view name);

}  // namespace korvid::lsp
