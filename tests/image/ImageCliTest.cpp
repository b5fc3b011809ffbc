// `korvid disasm` and `korvid debugimage` run as child processes.
#include <gtest/gtest.h>

#include "tests/support/RunProgram.h"

namespace korvid {
namespace {

using test::RunProgram;
using test::TempDir;

const std::string kKorvid = std::string(KORVID_BINARY_DIR) + "/apps/korvid/korvid";
const char* const kProgram = " FREQ 20_000_000\nstart MOV W,#1\n SKIP\n JMP start\n RESET start\n";

// Every example and the debug kernel's sources, on the family they are
// written for (the kernel's on both): assembled, written back as a source
// with disasm --source and assembled again, they give the same hex file
// byte for byte.
TEST(CliDisasm, SourceOfEveryExampleAssemblesIntoTheSameHex) {
    struct Program {
        std::string path;
        std::vector<std::string> families;
    };
    std::vector<Program> programs;
    for (const char* name : {"blink", "button_led", "serial_echo", "serial_tx", "showcase"})
        programs.push_back({std::string("examples/") + name + ".src", {"28l"}});
    for (const char* name : {"sx52_counter", "sx52_pwm"})
        programs.push_back({std::string("examples/") + name + ".src", {"52"}});
    for (const char* name : {"DebugKernel", "KernelDelay16", "KernelReceiveTurbo"})
        programs.push_back({std::string("core/image/kernel/") + name + ".src", {"28l", "52"}});
    TempDir dir;
    for (const Program& p : programs)
        for (const std::string& family : p.families) {
            const std::string what = p.path + " --family " + family;
            auto first = RunProgram(kKorvid, {"asm", "--family", family, std::string(KORVID_SOURCE_DIR) + "/" + p.path,
                                              "-o", dir.File("first.sxh")});
            ASSERT_EQ(first.exitCode, 0) << what << ": " << first.err;
            auto source = RunProgram(
                kKorvid, {"disasm", "--family", family, "--source", dir.File("first.sxh"), "-o", dir.File("back.src")});
            ASSERT_EQ(source.exitCode, 0) << what << ": " << source.err;
            EXPECT_EQ(source.err, "") << what;
            auto second =
                RunProgram(kKorvid, {"asm", "--family", family, dir.File("back.src"), "-o", dir.File("second.sxh")});
            ASSERT_EQ(second.exitCode, 0) << what << ": " << second.err << "\n" << dir.Read("back.src");
            EXPECT_EQ(dir.Read("second.sxh"), dir.Read("first.sxh")) << what << "\n" << dir.Read("back.src");
        }
    // To standard output by default; -o only with --source.
    auto out = RunProgram(kKorvid, {"disasm", "--family", "52", "--source", dir.File("first.sxh")});
    EXPECT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.out, dir.Read("back.src"));
    EXPECT_EQ(RunProgram(kKorvid, {"disasm", dir.File("first.sxh"), "-o", dir.File("x.src")}).exitCode, 2);
}

TEST(CliDisasm, PrintsUsedWordsOfSourceAndHex) {
    TempDir dir;
    dir.Write("p.src", kProgram);
    auto r = RunProgram(kKorvid, {"disasm", dir.File("p.src")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "000- C01  MOV   W,#01\n001- 602  SKIP\n002- A00  JMP   000\n7FF- A00  JMP   000\n");

    ASSERT_EQ(RunProgram(kKorvid, {"asm", dir.File("p.src"), "-o", dir.File("p.sxh")}).exitCode, 0);
    auto h = RunProgram(kKorvid, {"disasm", "--family", "52", dir.File("p.sxh")});
    ASSERT_EQ(h.exitCode, 0) << h.err;
    EXPECT_NE(h.out.find("001- 602  SKIP\n"), std::string::npos) << h.out;

    EXPECT_EQ(RunProgram(kKorvid, {"disasm"}).exitCode, 2);
    EXPECT_EQ(RunProgram(kKorvid, {"disasm", dir.File("missing.sxh")}).exitCode, 1);
}

TEST(CliDebugImage, SummaryAndPreparedHex) {
    TempDir dir;
    dir.Write("p.src", kProgram);
    auto r = RunProgram(kKorvid, {"debugimage", dir.File("p.src")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("stub:           0x1FE"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("compatible mode"), std::string::npos) << r.out;

    auto w = RunProgram(kKorvid, {"debugimage", dir.File("p.src"), "-o", dir.File("d.sxh")});
    ASSERT_EQ(w.exitCode, 0) << w.err;
    auto d = RunProgram(kKorvid, {"disasm", dir.File("d.sxh")});
    ASSERT_EQ(d.exitCode, 0) << d.err;
    EXPECT_NE(d.out.find("1FE- 017  PAGE  E00\n1FF- B83  JMP   183\n"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("7FD- A00  JMP   000\n7FE- B83  JMP   183\n7FF- BFE  JMP   1FE\n"), std::string::npos);
}

TEST(CliDebugImage, FailureWritesNothing) {
    TempDir dir({{"w.src", " DEVICE WATCHDOG\nstart JMP start\n RESET start\n"}, {"old.sxh", "old"}});
    auto r = RunProgram(kKorvid, {"debugimage", dir.File("w.src"), "-o", dir.File("old.sxh")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(" - Watchdog disabled"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_EQ(dir.Read("old.sxh"), "old");
    EXPECT_EQ(RunProgram(kKorvid, {"debugimage", "--freq", "5", dir.File("w.src")}).exitCode, 2);
}

}  // namespace
}  // namespace korvid
