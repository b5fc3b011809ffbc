// The shared instruction patterns against the assembler's encodings: every
// word an instruction assembles to is matched by a real pattern, a one-word
// instruction by a row of its own mnemonic, and every pattern is one the
// assembler produces.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/asm/Keywords.h"
#include "family/InstructionSet.h"
#include "tests/image/ImageTestSupport.h"

namespace korvid {
namespace {

struct Sample {
    const char* source;
    // The mnemonic of the pattern of a one-word encoding when it is not the
    // instruction's own; nullptr for encodings of several words.
    const char* mnemonic = "";
};

const Sample kSamples[] = {
    {"MOV W,#1"}, {"MOV W,8"}, {"MOV W,8-W"}, {"MOV W,++8"}, {"MOV W,--8"}, {"MOV W,<<8"}, {"MOV W,>>8"},
    {"MOV W,/8"}, {"MOV W,<>8"}, {"MOV W,M"}, {"MOV M,W"}, {"MOV M,#3"}, {"MOV !OPTION,W"}, {"MOV !RA,W"},
    {"MOV !RB,W"}, {"MOV !9,W"}, {"MOV 8,W"}, {"MOV 8,#5", nullptr},
    {"ADD W,8"}, {"ADD 8,W"}, {"ADD PC,W", "JMP"}, {"SUB 8,W"},
    {"AND W,#1"}, {"AND W,8"}, {"AND 8,W"}, {"OR W,#1"}, {"OR W,8"}, {"OR 8,W"}, {"OR W,#0", "TEST"},
    {"XOR W,#1"}, {"XOR W,8"}, {"XOR 8,W"}, {"XOR W,#0FFh", "NOT"},
    {"CLR W"}, {"CLR !WDT"}, {"CLR 8"}, {"INC 8"}, {"DEC 8"}, {"RL 8"}, {"RR 8"}, {"SWAP 8"},
    {"NOT W"}, {"NOT 8"}, {"TEST W"}, {"TEST 8"},
    {"CLRB RA.2"}, {"CLRB C", "CLC"}, {"CLC"}, {"CLZ"}, {"SETB RB.7"}, {"STC"}, {"STZ"},
    {"ADDB 8,C", nullptr}, {"SUBB 8,/RA.1", nullptr}, {"MOVB RA.0,/RB.1", nullptr},
    {"MOVSZ W,++8"}, {"MOVSZ W,--8"}, {"INCSZ 8"}, {"IJNZ 8,10", nullptr}, {"DECSZ 8"}, {"DJNZ 8,10", nullptr},
    {"CSE 8,9", nullptr}, {"CSNE 8,#5", nullptr}, {"CSA 8,#5", nullptr}, {"CSAE 8,9", nullptr},
    {"CSB 8,9", nullptr}, {"CSBE 8,#5", nullptr}, {"CJE 8,#5,10", nullptr}, {"CJNE 8,9,10", nullptr},
    {"CJA 8,9,10", nullptr}, {"CJAE 8,#5,10", nullptr}, {"CJB 8,9,10", nullptr}, {"CJBE 8,#5,10", nullptr},
    {"SB RA.1"}, {"SC"}, {"SZ"}, {"SNB RA.1"}, {"SNC"}, {"SNZ"},
    {"JB RA.1,10", nullptr}, {"JC 10", nullptr}, {"JZ 10", nullptr}, {"JNB RA.1,10", nullptr},
    {"JNC 10", nullptr}, {"JNZ 10", nullptr},
    {"SKIP"}, {"NOP\n SKIP", nullptr}, {"JMP W"}, {"JMP 1FFh"}, {"JMP PC+W"}, {"CALL 0FFh"}, {"RETW 5"},
    {"RET"}, {"RETP"}, {"RETI"}, {"RETIW"}, {"PAGE 600h"}, {"BANK 20h"}, {"MODE 3", "MOV"},
    {"SLEEP"}, {"IREAD"}, {"NOP"}, {"LSET 0", nullptr}, {"LJMP 5FFh", nullptr}, {"LCALL 0C10h", nullptr},
};

std::string FirstWord(const std::string& source) { return source.substr(0, source.find_first_of(" \n")); }

TEST(InstructionPatterns, MatchTheAssemblersEncodings) {
    for (const Family* family : test::kBothFamilies) {
        std::set<const InstructionPattern*> produced;
        for (const Sample& sample : kSamples) {
            SCOPED_TRACE(std::string(family->title) + ": " + sample.source);
            test::ImageSession s(*family);
            ASSERT_TRUE(s.Assemble(std::string(" ") + sample.source + "\n")) << s.state->ErrorMessage;
            int count = 0;
            for (int a = 0; a < kProgramWords && (s.state->ChipImage[a] & kDataFlag); ++a, ++count) {
                const InstructionPattern& p = MatchInstruction(s.state->ChipImage[a] & kWordMask, a);
                EXPECT_NE(p.operation, Operation::Unused) << "word " << a;
                produced.insert(&p);
                if (sample.mnemonic) {
                    const std::string own = *sample.mnemonic ? sample.mnemonic : FirstWord(sample.source);
                    EXPECT_EQ(p.mnemonic, own);
                }
            }
            EXPECT_TRUE(sample.mnemonic == nullptr ? count > 1 : count == 1) << count << " words";
        }
        // Each pattern but the unused words is an encoding of some instruction.
        for (const InstructionPattern& p : InstructionPatterns()) {
            if (p.operation != Operation::Unused) {
                EXPECT_TRUE(produced.count(&p)) << family->title << ": no sample gives " << p.mnemonic << " "
                                                << p.text << " (" << std::hex << p.value << ")";
            }
        }
    }
}

// The compile-time index gives, for every word at either address parity,
// the first row that matches it.
TEST(InstructionPatterns, TheIndexGivesTheFirstMatchingRow) {
    const auto rows = InstructionPatterns();
    for (int address = 0; address < 2; ++address)
        for (unsigned word = 0; word < 4096; ++word) {
            const InstructionPattern* first = nullptr;
            for (const InstructionPattern& p : rows) {
                const bool parity = p.parity == Parity::Any || (p.parity == Parity::Odd) == (address == 1);
                if ((word & p.mask) == p.value && parity) {
                    first = &p;
                    break;
                }
            }
            ASSERT_EQ(&MatchInstruction(std::uint16_t(word), address), first) << std::hex << word << " at " << address;
        }
}

TEST(InstructionPatterns, EveryInstructionHasASample) {
    std::set<std::string> sampled;
    for (const Sample& sample : kSamples) sampled.insert(FirstWord(sample.source));
    for (const Family* family : test::kBothFamilies)
        ForEachKeyword(*family, [&](std::string_view name, Tok kind, std::int32_t) {
            if (kind == Tok::Instruction) {
                EXPECT_TRUE(sampled.count(std::string(name))) << name;
            }
        });
}

}  // namespace
}  // namespace korvid
