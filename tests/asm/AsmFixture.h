// Test helper: assembles a source written with "\n" line ends (turned into
// CR as the editor hands them over) for one family.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/asm/Assembler.h"

namespace korvid::test {

// The dialect of assemblies that name none: strict, or the one named by
// KORVID_TEST_DIALECT (the suite runs once more in the extended dialect).
inline Dialect DefaultDialect() {
    const char* name = std::getenv("KORVID_TEST_DIALECT");
    Dialect d = Dialect::Strict;
    if (name) DialectByName(name, d);
    return d;
}

// Assembles `text` in `state`: "\n" line ends become CR, as the editor
// hands the text over, and `source` keeps the text the state reads. True
// on success.
inline bool AssembleText(AssemblyState& state, std::string& source, const std::string& text) {
    source = text;
    for (char& c : source)
        if (c == '\n') c = '\r';
    state.SourceText = source.c_str();
    Assemble(state);
    return state.ErrorFlag == 0;
}

class Assembly {
public:
    explicit Assembly(const Family& family, Dialect dialect = DefaultDialect())
        : state_(std::make_unique<AssemblyState>(family)), list_(kDefaultListCapacity) {
        state_->dialect = dialect;
        state_->ListText = list_.data();
        state_->ListCapacity = kDefaultListCapacity;
    }

    // Returns true on success.
    bool Run(const std::string& text) { return AssembleText(*state_, source_, text); }

    AssemblyState& state() { return *state_; }
    const AssemblyState& state() const { return *state_; }
    const Family& family() const { return *state_->family; }
    std::string message() const { return state_->ErrorFlag ? state_->ErrorMessage : ""; }
    // The source text of the error span.
    std::string span() const {
        return source_.substr(state_->ErrorStart, state_->ErrorEnd - state_->ErrorStart);
    }
    std::uint16_t word(int address) const { return state_->ChipImage[address] & kWordMask; }
    // The program words stored from `from` on, up to the first blank word.
    std::vector<int> words(int from = 0) const {
        std::vector<int> out;
        for (int a = from; a < kProgramWords && (state_->ChipImage[a] & kDataFlag); ++a)
            out.push_back(state_->ChipImage[a] & kWordMask);
        return out;
    }
    std::string list() const { return std::string(state_->ListText, state_->ListLength); }
    // List line n (0-based) without its CR.
    std::string listLine(std::uint32_t n) const {
        if (n >= state_->ListLineCount) return "<none>";
        std::uint32_t from = state_->ListLineOffset[n];
        std::uint32_t to = n + 1 < state_->ListLineCount ? state_->ListLineOffset[n + 1] : state_->ListLength;
        std::string line(state_->ListText + from, to - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    const std::string& source() const { return source_; }

private:
    std::unique_ptr<AssemblyState> state_;
    std::vector<char> list_;
    std::string source_;
};

inline const Family* const kFamilies[] = {&Sx28lFamily(), &Sx52Family()};

}  // namespace korvid::test

namespace korvid::test {

// The 32-bit value of an expression, through "x EQU expr" and its list line.
// Fails the test (and returns 0) when the line does not assemble.
inline std::int64_t ValueOf(const std::string& expr, const Family& family = Sx28lFamily()) {
    Assembly a(family);
    if (!a.Run("x EQU " + expr + "\n")) {
        ADD_FAILURE() << expr << ": " << a.message();
        return 0;
    }
    std::string line = a.listLine(0);
    return static_cast<std::int32_t>(std::stoul(line.substr(1, 8), nullptr, 16));
}

}  // namespace korvid::test
