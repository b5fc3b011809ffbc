// The embedded kernel tables must be exactly what the kernel sources
// assemble to, so that the data can never drift from its source.
#include <gtest/gtest.h>

#include "core/image/DebugKernel.h"
#include "tests/image/ImageTestSupport.h"

namespace korvid {
namespace {

struct KernelPart {
    const char* file;
    int firstWord;
    const std::uint16_t* words;
    int count;
};

const KernelPart kParts[] = {
    {"core/image/kernel/DebugKernel.src", 0, kDebugKernel, kKernelWords},
    {"core/image/kernel/KernelDelay16.src", kKernelDelayWord, kKernelDelay16, kKernelDelayWords},
    {"core/image/kernel/KernelReceiveTurbo.src", kKernelReceiveWord, kKernelReceiveTurbo, kKernelReceiveWords},
};

TEST(DebugKernel, TablesEqualTheAssembledSources) {
    for (const Family* family : test::kBothFamilies) {
        for (const KernelPart& part : kParts) {
            SCOPED_TRACE(std::string(part.file) + " " + std::string(family->name));
            test::ImageSession session(*family);
            std::string text = test::ReadSourceFile(part.file);
            ASSERT_FALSE(text.empty());
            ASSERT_TRUE(session.Assemble(text)) << session.state->ErrorMessage;
            const Image& image = session.state->ChipImage;
            int used = 0;
            for (int a = 0; a < kProgramWords; ++a) used += (image[a] & kDataFlag) != 0;
            EXPECT_EQ(used, part.count) << "the source stores words outside its part";
            for (int i = 0; i < part.count; ++i) {
                int address = kKernelPageOffset + part.firstWord + i;
                ASSERT_TRUE(image[address] & kDataFlag) << "word " << part.firstWord + i << " missing";
                EXPECT_EQ(image[address] & kWordMask, part.words[i]) << "kernel word " << part.firstWord + i;
            }
        }
    }
}

TEST(DebugKernel, FixedPoints) {
    // The stub jumps to the entry; word 134 is the JMP 0 placeholder; the
    // reset re-entry at word 0 must reach word 134 by falling through with
    // the page bits cleared (words 131..133).
    EXPECT_EQ(kStubJump, 0xB83);
    EXPECT_EQ(kDebugKernel[kKernelResetWord], 0xA00);
    EXPECT_EQ(kDebugKernel[131], 0x4A3);
    EXPECT_EQ(kDebugKernel[132], 0x4C3);
    EXPECT_EQ(kDebugKernel[133], 0x4E3);
    // Word 43 is a JMP whose target can move back up to three NOPs.
    EXPECT_EQ(kDebugKernel[kKernelTrimWord] & 0xE00, 0xA00);
    int target = (kDebugKernel[kKernelTrimWord] & 0x1FF) - kKernelPageOffset;
    for (int back = 1; back <= 3; ++back) EXPECT_EQ(kDebugKernel[target - back], 0x000);
    EXPECT_EQ(kDebugKernel[kKernelCountWord] & 0xF00, 0xC00);  // MOV W,#count
    EXPECT_EQ(kKernelDelay16[0] & 0xF00, 0xC00);
    EXPECT_EQ(kKernelDelay16[kKernelDelayHighWord - kKernelDelayWord] & 0xF00, 0xC00);
    // Every jump stays inside the kernel.
    for (int i = 0; i < kKernelWords; ++i) {
        if (i == kKernelResetWord || (kDebugKernel[i] & 0xE00) != 0xA00) continue;
        int to = (kDebugKernel[i] & 0x1FF) - kKernelPageOffset;
        EXPECT_TRUE(to >= 0 && to < kKernelWords) << "word " << i;
    }
}

}  // namespace
}  // namespace korvid
