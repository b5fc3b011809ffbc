// The control flow's page bits through calls: what a routine leaves in
// them reaches its callers' return sites, however many calls come in a
// row, and a RETP gives back the caller's page.
#include <gtest/gtest.h>

#include "analysis/ControlFlow.h"

namespace korvid {
namespace {

FlowProgram Program(std::initializer_list<std::pair<int, int>> words) {
    FlowProgram p;
    p.family = &Sx28lFamily();
    p.size = 2048;
    for (auto [address, word] : words) {
        p.words[static_cast<std::size_t>(address)] = static_cast<std::uint16_t>(word);
        p.data[static_cast<std::size_t>(address)] = true;
    }
    return p;
}

TEST(ControlFlow, EveryRoutineOfALongRunOfCallsIsReached) {
    // 200 routines of one RET in page 1, called one after the other with
    // PAGE 1 and CALL from page 0; the run ends in a loop.
    FlowProgram p = Program({{2047, 0xA10}});
    int a = 0x10;
    auto emit = [&](int word) {
        p.words[static_cast<std::size_t>(a)] = static_cast<std::uint16_t>(word);
        p.data[static_cast<std::size_t>(a++)] = true;
    };
    for (int r = 0; r < 200; ++r) {
        p.words[static_cast<std::size_t>(0x200 + r)] = 0x00C;
        p.data[static_cast<std::size_t>(0x200 + r)] = true;
        emit(0x011);
        emit(0x900 | r);
    }
    const int end = a;
    emit(0x010);
    emit(0xA00 | ((end + 1) & 0x1FF));  // JMP $
    const ControlFlow flow = AnalyseControlFlow(p);
    EXPECT_EQ(flow.routines.size(), 200u);
    EXPECT_EQ(SinglePage(flow, end), 1);      // RET leaves the routine's page
    EXPECT_EQ(SinglePage(flow, end + 1), 0);  // until PAGE 0
}

TEST(ControlFlow, RetpGivesBackTheCallersPage) {
    // From page 0: PAGE 1, CALL a routine that ends in RETP; the JMP after
    // the call then goes within page 0.
    const ControlFlow flow = AnalyseControlFlow(
        Program({{2047, 0xA10}, {0x10, 0x011}, {0x11, 0x900}, {0x12, 0xA20}, {0x200, 0x00D}, {0x20, 0xA20}}));
    EXPECT_EQ(SinglePage(flow, 0x12), 0);
    EXPECT_NE(flow.nodes[0x20].pages, 0);
    EXPECT_EQ(flow.nodes[0x220].pages, 0);  // page 1 was never jumped to
}

}  // namespace
}  // namespace korvid
