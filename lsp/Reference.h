// Reference texts for hover: each instruction form with its words, cycles
// and the flags it changes; what each directive does; the registers and
// their bits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvid::lsp {

struct InstructionForm {
    std::string_view mnemonic;  // upper case
    std::string_view syntax;
    std::string_view words;
    std::string_view turbo;       // cycles
    std::string_view compatible;  // cycles
    std::string_view flags;       // STATUS bits written, "-" for none
    std::string_view effect;
};

std::vector<const InstructionForm*> FormsOf(std::string_view mnemonic);
std::string_view DirectivePurpose(std::string_view directive);
// The bits of a special register from bit 7 down ("" when it has no named bits).
std::string_view RegisterBits(std::string_view name);
std::string_view RegisterPurpose(std::string_view name);

}  // namespace korvid::lsp
