// The family and dialect a command takes for a program: the option, else
// the source's `; korvid:` comment in its first lines, else its DEVICE
// line, else the 28L; an option against the comment is said in a warning
// naming both. Each command run as the user runs it.
#include <gtest/gtest.h>

#include "tests/e2e/Process.h"

namespace korvid::test {
namespace {

std::string Example(const std::string& name) { return std::string(KORVID_SOURCE_DIR) + "/examples/" + name; }

RunResult Korvid(std::vector<std::string> args) {
    args.insert(args.begin(), test::KorvidPath());
    return RunChild(args);
}

const char* const kWarning52 = ": warning: --family 28l overrides the source's \"korvid: family=52\"";

// asm: the comment, the DEVICE line and the options in their order, each
// case by the image it builds (byte for byte the image of the choice it
// should have taken, and not that of the other) or the failure it should
// meet.
TEST(FamilyComment, AsmTakesOptionThenCommentThenDevice) {
    TempDir dir;
    test::WriteText(dir.File("c52.src"), "; a counter\n;korvid: family=52\n  NOP\n");
    test::WriteText(dir.File("d52.src"), "  DEVICE OSCHS2, DRT60MS\n  NOP\n");
    test::WriteText(dir.File("c28d52.src"), "; korvid: family=28l\n  DEVICE OSCHS2, DRT60MS\n  NOP\n");
    test::WriteText(dir.File("late.src"), ";\n;\n;\n;\n;\n; korvid: family=52\n  NOP\n");
    test::WriteText(dir.File("ext.src"), "; korvid: dialect=extended\nloop: NOP\n  JMP loop\n");
    const std::vector<std::string> f52{"--family", "52"}, f28{"--family", "28l"};
    const std::vector<std::string> extended{"--dialect", "extended"};
    struct Case {
        std::vector<std::string> args;  // before the source
        const char* source;
        std::vector<std::string> same, other;  // options giving the same image and another one
        bool fails, warns;
    } cases[] = {
        {{}, "c52.src", f52, f28, false, false},
        {{}, "d52.src", f52, {}, false, false},
        {f28, "c52.src", f28, f52, false, true},
        {{}, "c28d52.src", {}, {}, true, false},  // the comment wins over DEVICE: the 28L knows no DRT60MS
        {{}, "late.src", f28, f52, false, false},  // past the first five lines the comment is prose
        {{}, "ext.src", extended, {}, false, false},
        {{"--dialect", "strict"}, "ext.src", {}, {}, true, true},
    };
    auto image = [&](std::vector<std::string> options, const char* source, const std::string& out) {
        options.insert(options.begin(), "asm");
        options.insert(options.end(), {dir.File(source), "-o", dir.File(out)});
        return Korvid(options);
    };
    for (const Case& c : cases) {
        const RunResult r = image(c.args, c.source, "out.sxh");
        EXPECT_EQ(r.exitCode, c.fails ? 1 : 0) << c.source << r.err;
        EXPECT_EQ(r.err.find(": warning: ") != std::string::npos, c.warns) << c.source << r.err;
        if (c.fails) continue;
        ASSERT_EQ(image(c.same, c.source, "same.sxh").exitCode, 0) << c.source;
        EXPECT_EQ(test::ReadText(dir.File("out.sxh")), test::ReadText(dir.File("same.sxh"))) << c.source;
        if (c.other.empty()) continue;
        ASSERT_EQ(image(c.other, c.source, "other.sxh").exitCode, 0) << c.source;
        EXPECT_NE(test::ReadText(dir.File("out.sxh")), test::ReadText(dir.File("other.sxh"))) << c.source;
    }
}

// An option that contradicts the comment wins, and the warning names both
// at the comment's place; an option that agrees says nothing.
TEST(FamilyComment, ContradictingOptionIsWarnedOf) {
    TempDir dir;
    test::WriteText(dir.File("ext.src"), "; korvid: dialect=extended family=28l\nloop: NOP\n  JMP loop\n");
    const RunResult strict = Korvid({"asm", "--dialect", "strict", dir.File("ext.src"), "-o", dir.File("x.sxh")});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find(dir.File("ext.src") +
                              ":1:11: warning: --dialect strict overrides the source's \"korvid: dialect=extended\"\n"),
              std::string::npos)
        << strict.err;
    const RunResult agree = Korvid({"asm", "--family", "28l", dir.File("ext.src"), "-o", dir.File("x.sxh")});
    EXPECT_EQ(agree.exitCode, 0) << agree.err;
    EXPECT_EQ(agree.err, "");

    // The PWM example assembles for either family: the option is obeyed.
    const RunResult pwm = Korvid({"asm", "--family", "28l", Example("sx52_pwm.src"), "-o", dir.File("p.sxh")});
    EXPECT_EQ(pwm.exitCode, 0) << pwm.err;
    EXPECT_EQ(pwm.err, Example("sx52_pwm.src") + ":5:11" + kWarning52 + "\n");
    ASSERT_EQ(Korvid({"asm", Example("sx52_pwm.src"), "-o", dir.File("p52.sxh")}).exitCode, 0);
    EXPECT_NE(test::ReadText(dir.File("p.sxh")), test::ReadText(dir.File("p52.sxh")));
}

// sim and debugimage on a 52 example without --family behave as with it.
TEST(FamilyComment, SimAndDebugImageTakeTheComment) {
    TempDir dir;
    const std::string pwm = Example("sx52_pwm.src");
    const RunResult plain = Korvid({"sim", pwm, "--for", "10us", "--vcd", dir.File("a.vcd")});
    const RunResult given = Korvid({"sim", "--family", "52", pwm, "--for", "10us", "--vcd", dir.File("b.vcd")});
    ASSERT_EQ(given.exitCode, 0) << given.err;
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out, given.out);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(test::ReadText(dir.File("a.vcd")), test::ReadText(dir.File("b.vcd")));
    EXPECT_NE(test::ReadText(dir.File("a.vcd")).find("RE"), std::string::npos);  // the 52's fifth port

    const std::string counter = Example("sx52_counter.src");
    const RunResult image = Korvid({"debugimage", counter});
    const RunResult image52 = Korvid({"debugimage", "--family", "52", counter});
    ASSERT_EQ(image52.exitCode, 0) << image52.err;
    EXPECT_EQ(image.exitCode, 0) << image.err;
    EXPECT_EQ(image.out, image52.out);
    const RunResult against = Korvid({"debugimage", "--family", "28l", counter});
    EXPECT_EQ(against.exitCode, 1);
    EXPECT_NE(against.err.find(kWarning52), std::string::npos) << against.err;
}

// korvid test: a test file without a family line runs the program in the
// family its comment names.
TEST(FamilyComment, TestFileTakesTheComment) {
    TempDir dir;
    test::WriteText(dir.File("pwm.test"),
                    "source " + Example("sx52_pwm.src") +
                        "\nrun for 200us\nat 0 RB.0 = 0\nat 100us RB.0 = 1\n"
                        "expect period RB.6 == 8us ±1%\nexpect duty RB.6 == 75% ±1% from 120us\n");
    const RunResult r = Korvid({"test", dir.File("pwm.test")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("PASS "), std::string::npos) << r.out;
}

// program and debug against a 52 tool, the source's family from its comment.
TEST(FamilyComment, ProgramAndDebugTakeTheComment) {
    SimTool sim({"--family", "52"});
    const std::string counter = Example("sx52_counter.src");
    const RunResult p = sim.Korvid({"program", counter});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(sim.Korvid({"verify", "--family", "52", counter}).out, "Device verified OK\n");
    const RunResult against = sim.Korvid({"program", "--family", "28l", counter});
    EXPECT_EQ(against.exitCode, 1);
    EXPECT_NE(against.err.find(kWarning52), std::string::npos) << against.err;

    TempDir dir;
    test::WriteText(dir.File("script.txt"), "regs\nquit\n");
    const std::string command = "'" + test::KorvidPath() + "' debug '" + counter + "' --port '" + sim.Path() + "' < '" +
                                dir.File("script.txt") + "'";
    const RunResult d = RunChild({"/bin/sh", "-c", command}, {}, 60);
    EXPECT_EQ(d.exitCode, 0) << d.out << d.err;
    EXPECT_NE(d.out.find("PC FFF"), std::string::npos) << d.out;  // the 52's reset vector
}

}  // namespace
}  // namespace korvid::test
