// Device-family tables: everything that differs between the SX18L/SX28L
// build (Korvid28L) and the SX48/SX52 build (Korvid52).
//
// Each program's entry picks one Family and hands it, as const Family&, to
// the core, the link, the simulator and the windows. Nothing switches family
// at run time. Areas that need more family data add fields here and fill them
// in Families.cpp, one line for both families (the fields have no defaults,
// so that neither family's value stands in for the other's); prefer data in
// these tables over `if (is52)` scattered through the code.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "family/Fuses.h"

namespace korvid {

enum class FamilyId : std::uint8_t { Sx28l, Sx52 };

struct Family {
    FamilyId id;
    std::string_view name;        // "28l" or "52" (command-line --family value)
    std::string_view title;       // application title: "Korvid28L" / "Korvid52"

    // Blank configuration words of a fresh image.
    std::uint16_t blankFuse;
    std::uint16_t blankExtFuse;

    // Largest program memory of the family and the address mask a pass
    // starts with (28L: recomputed by DEVICE from the extended fuse word).
    std::uint16_t maxProgramSize;
    std::uint16_t initialAddressMask;

    // Link: the programming sequence sends the extended fuse word with these
    // bits forced on (besides the trim bits) and the fuse word with
    // linkFuseSet forced on.
    std::uint16_t linkExtFuseSet;
    std::uint16_t linkFuseSet;
    // Link: before programming the clock is stopped when the tool's firmware
    // version equals stopClockVersion (stopClockUnlessVersion false) or
    // differs from it (true).
    std::uint8_t stopClockVersion;
    bool stopClockUnlessVersion;
    // Verify: the configuration parts compared in order (masks of the
    // extended fuse and fuse words), before the ID and the program words.
    struct VerifyPart {
        std::string_view name;
        std::uint16_t extFuseMask;
        std::uint16_t fuseMask;
    };
    std::array<VerifyPart, 4> verifyParts;
    int verifyPartCount;

    // Assembler: the DEVICE vocabulary. Each parameter decides the bits of
    // `mask` in the fuse word or the extended fuse word and XORs `pattern`
    // into the blank word. `piece` (bit 0 or 1) marks one of two words
    // that together spell one option written apart (STACKX and OPTIONX for
    // STACKX_OPTIONX): either sets the option, and the other may follow it on
    // the same DEVICE line without being redundant.
    struct DeviceParam {
        std::string_view name;
        bool extFuse;
        std::uint16_t mask;
        std::uint16_t pattern;
        std::uint8_t piece = 0;
    };
    const DeviceParam* deviceParams;
    int deviceParamCount;
    // Assembler: DEVICE words that only the extended dialect knows (part
    // name aliases, options written apart, names of other tools). A mask of
    // 0 accepts the word and sets nothing.
    const DeviceParam* extendedDeviceParams;
    int extendedDeviceParamCount;
    // Memory layout (family/Layout.h): the 28 family's program size, banks
    // and ports follow the memory code and pin-count bit of the extended
    // fuse word (DEVICE recomputes the address mask from it); otherwise the
    // part has the family's largest layout and the mask stays
    // initialAddressMask.
    bool memoryFromExtFuse;
    int maxBankCount;
    int maxPortCount;
    // Indirect addresses with bit 4 clear reach the 16 global registers
    // (28 family); on the 52 FSR is a linear register address.
    bool globalRegistersMirrored;
    // MODE register bits.
    std::uint8_t modeMask;
    // Assembler: fr operands. false: the low 5 bits; true: the low 8 bits
    // folded to 5 (0x00..0x0F kept, any of bits 4..7 set -> 0x10 + low nibble).
    bool foldBankedRegisters;
    // Assembler: BANK addr stores (addr >> bankShift) AND 7.
    std::uint8_t bankShift;

    // Disassembler: highest register address printed by name, by bit 10 of
    // the extended fuse word (28L: the 18-pin part names up to RB, the
    // 28-pin part up to RC; 52: RE either way). BANK n prints n << bankShift.
    std::array<std::uint8_t, 2> namedRegisterLimit;
    // Debug image: fuse := (fuse & debugFuseKeep) | debugFuseOscillator.
    std::uint16_t debugFuseKeep;
    std::uint16_t debugFuseOscillator;
    // Debug kernel word 75: SETB FSR.4 where FSR bit 4 selects the banked
    // half of a bank (28L), NOP where FSR is a linear address (52).
    std::uint16_t kernelWord75;

    // Hex files: the ID and configuration addresses of the PIC16C5x files the
    // 28 family replaces are read, and a file without fuse words has its
    // configuration inferred from them.
    bool picHexFiles;

    // The part word a read sequence answers first (0x028 / 0x052).
    std::uint16_t partWord;
    // Debugger: the state block carries the banked registers after its
    // header (28L); otherwise the RAM is read with a request of its own.
    bool debugStateWithBanks;
    // Debugger: zero bytes of the payload that interrupts a free run.
    std::uint8_t debugInterruptBytes;

    // The configuration words' fields (family/Fuses.h).
    const FuseFieldInfo* fuseFields;
    const FuseFieldInfo& fuseField(FuseField field) const { return fuseFields[static_cast<int>(field)]; }
    // Configuration bits every image of the family holds set (family/Fuses.h).
    ConfigWords setBits;
    // Whether configuration words can belong to an image of this family.
    bool fitsConfig(ConfigWords words) const { return HasSetBits(words, setBits); }
    bool fuseOn(FuseField field, ConfigWords words) const { return FieldOn(fuseField(field), words); }
    unsigned fuseValue(FuseField field, ConfigWords words) const { return FieldValue(fuseField(field), words); }
    // Delay after a reset by the ResetDelay field's value.
    std::array<std::uint32_t, 4> resetDelayUs;

    bool is52() const { return id == FamilyId::Sx52; }
};

const Family& Sx28lFamily();
const Family& Sx52Family();

// "28l"/"28L"/"52" -> family; nullptr for anything else.
const Family* FamilyByName(std::string_view name);

}  // namespace korvid
