// Assemble allocates nothing, on success or failure.
#include "core/asm/AsmCore.h"
#include "tests/asm/AsmFixture.h"
#include "tests/support/AllocCounter.h"

namespace korvid::test {
namespace {

TEST(Allocation, AssembleAllocatesNothing) {
    const std::string program =
        " DEVICE SYNC, CARRYX\nx = 1\nmac MACRO 2\n:l DJNZ \\1,:l\n REPT \\2\n DW %\n ENDR\n ENDM\n"
        "start mac 8,3\n mac 9,2\n IF x\n WATCH 8,8,UDEC\n ENDIF\n RESET start\n ID 'AB'\n";
    for (const Family* f : kFamilies) {
        for (const char* tail : {"", " NOP 1\n", " ERROR 'stop'\n", "lab\nlab\n"}) {
            Assembly a(*f);
            std::string src = program + tail;
            for (char& c : src)
                if (c == '\n') c = '\r';
            a.state().SourceText = src.c_str();
            AllocCounter counter;
            Assemble(a.state());
            EXPECT_EQ(counter.Count(), 0u) << tail;
            EXPECT_EQ(a.state().ErrorFlag, *tail ? 1 : 0) << tail;
        }
    }
}

// The keyword table holds exactly the family's vocabulary.
TEST(Allocation, KeywordTableSize) {
    EXPECT_EQ(KeywordCount(Sx28lFamily()), 205);
    EXPECT_EQ(KeywordCount(Sx52Family()), 204);
}

}  // namespace
}  // namespace korvid::test
