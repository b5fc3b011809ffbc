#include "core/link/VerifyImage.h"

namespace korvid {

std::string_view VerifyImage(const Family& family, const Image& expected, const Image& read) {
    const std::uint16_t ee = expected[kExtFuseIndex], re = read[kExtFuseIndex];
    const std::uint16_t ef = expected[kFuseIndex], rf = read[kFuseIndex];
    for (int i = 0; i < family.verifyPartCount; ++i) {
        const Family::VerifyPart& part = family.verifyParts[i];
        if ((ee & part.extFuseMask) != (re & part.extFuseMask) || (ef & part.fuseMask) != (rf & part.fuseMask))
            return part.name;
    }
    // The ID words are compared whole (all 16 bits), the program words by
    // their 12-bit values.
    for (int i = 0; i < kIdWords; ++i)
        if (expected[kIdBase + i] != read[kIdBase + i]) return kVerifyIdPart;
    const int words = ProgramSize(family, ee);
    for (int i = 0; i < words; ++i)
        if ((expected[i] & kWordMask) != (read[i] & kWordMask)) return kVerifyFlashPart;
    return {};
}

}  // namespace korvid
