// `korvid cycles` through the real binary: spans by label, local label
// and address, counted and open loops, routines, the interrupt routine
// against its period (an overrun is an error at its place, exit 1), the
// JSON document, usage errors, and the examples.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/e2e/Process.h"

namespace korvid {
namespace {

using test::RunChild;
using test::RunResult;
using test::TempDir;
using test::WriteText;

// MOV count,#5 (2 cycles); five passes of NOP and DJNZ (4 looping, 2
// falling through); a routine of NOP and RET; a loop that waits for RB.0.
constexpr const char* kLoop = R"(        DEVICE  SX28L, OSCHS2, TURBO, STACKX_OPTIONX
        RESET   start
count   EQU     08h
        ORG     0
start   MOV     count, #5
:loop   NOP
        DJNZ    count, :loop
done    CALL    wait
        JMP     poll
wait    NOP
        RET
poll    SB      RB.0
        JMP     poll
        JMP     done
)";

// An interrupt routine of ten DJNZ passes with a period of 20 cycles
// (RETIW's W = -20, prescaler to the watchdog): 47 cycles with its entry.
constexpr const char* kOverrun = R"(        DEVICE  SX28L, OSCHS2, TURBO, STACKX_OPTIONX
        RESET   start
        ORG     0
isr     MOV     08h, #10
:spin   DJNZ    08h, :spin
        MOV     W, #-20
        RETIW
start   MOV     !OPTION, #%1000_1000
main    JMP     main
)";

RunResult KorvidCycles(const std::vector<std::string>& args) {
    std::vector<std::string> argv{test::BinaryPath("apps/korvid/korvid"), "cycles"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, {}, 60);
}

std::string Example(const char* name) { return std::string(KORVID_SOURCE_DIR) + "/examples/" + name; }

// Every test has a folder of its own with kLoop in it as loop.src.
class CyclesCommand : public ::testing::Test {
protected:
    void SetUp() override { WriteText(loop, kLoop); }
    TempDir dir;
    const std::string loop = dir.File("loop.src");
};

TEST_F(CyclesCommand, SpansByLabelLocalLabelAndAddress) {
    const RunResult r = KorvidCycles({loop, "start..done", "start:loop..done", "done..poll", "5..$9", "0x7..wait"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "start..done: 25..25 cycles\n"
              // Arriving in the loop's middle pass: one to five passes left.
              "start:loop..done: 3..23 cycles\n"
              "done..poll: 10..10 cycles\n"
              "5..$9: 10..10 cycles\n"
              "0x7..wait: 4..? cycles (unbounded: at wait+1: a path returns before it arrives at the end)\n");
}

TEST_F(CyclesCommand, AWaitingLoopLeavesTheSpanOpenAndNamesTheLoop) {
    const RunResult r = KorvidCycles({loop, "poll..done"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "poll..done: 5..? cycles (unbounded: at poll: no DECSZ or INCSZ counts every pass of the loop)\n");
}

TEST_F(CyclesCommand, RoutinesWithoutSpans) {
    const RunResult r = KorvidCycles({loop});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "wait: 4..4 cycles\n");

    const RunResult pwm = KorvidCycles({"--family", "52", Example("sx52_pwm.src")});
    EXPECT_EQ(pwm.exitCode, 0) << pwm.err;
    EXPECT_EQ(pwm.out, "duty25: 15..15 cycles\nduty75: 15..15 cycles\n");  // no interrupt routine
}

TEST_F(CyclesCommand, TheSerialExampleFitsItsPeriod) {
    const RunResult r = KorvidCycles({Example("serial_echo.src")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "interrupt: 20..43 cycles of a period of 104 cycles\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CyclesCommand, AnInterruptRoutineLongerThanItsPeriodIsAnError) {
    const std::string src = dir.File("isr.src");
    WriteText(src, kOverrun);
    const RunResult r = KorvidCycles({src});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "interrupt: 47..47 cycles of a period of 20 cycles\n");
    EXPECT_EQ(r.err,
              src + ":7:9: error: the interrupt routine can take 47 cycles, longer than its period of 20 cycles\n");

    const RunResult j = KorvidCycles({"--json", src});
    EXPECT_EQ(j.exitCode, 1);
    const auto doc = nlohmann::json::parse(j.out);
    const auto& isr = doc.at("interrupt");
    EXPECT_EQ(isr.at("min"), 47);
    EXPECT_EQ(isr.at("max"), 47);
    EXPECT_EQ(isr.at("period"), 20);
    EXPECT_EQ(isr.at("bounded"), true);
    EXPECT_EQ(isr.at("overrun"), true);
    EXPECT_EQ(isr.at("longest").at("to"), 5);  // the RETIW
}

TEST_F(CyclesCommand, JsonSpans) {
    const RunResult r = KorvidCycles({loop, "--json", "start..done", "poll..done"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    const auto& spans = doc.at("spans");
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].at("from"), "start");
    EXPECT_EQ(spans[0].at("to"), "done");
    EXPECT_EQ(spans[0].at("min"), 25);
    EXPECT_EQ(spans[0].at("max"), 25);
    EXPECT_EQ(spans[0].at("bounded"), true);
    EXPECT_EQ(spans[0].at("longest").at("from"), 0);
    EXPECT_EQ(spans[0].at("longest").at("to"), 3);  // the DJNZ's DECSZ, skipping its JMP
    EXPECT_EQ(spans[1].at("bounded"), false);
    EXPECT_TRUE(spans[1].at("max").is_null());
    EXPECT_EQ(spans[1].at("reason"), "at poll: no DECSZ or INCSZ counts every pass of the loop");
}

TEST_F(CyclesCommand, UsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "korvid cycles: expected a source file\n"},
        {{loop, "start.done"}, "korvid cycles: expected FROM..TO, not 'start.done'\n"},
        {{loop, "nowhere..done"}, "korvid cycles: 'nowhere' is not a label or address of the program\n"},
        {{loop, "start..800h"}, "korvid cycles: '800h' is not a label or address of the program\n"},
        {{loop, "--frobnicate"}, nullptr},
    };
    for (const Case& c : cases) {
        const RunResult r = KorvidCycles(c.args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        if (c.message) {
            EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), c.message);
        }
        EXPECT_EQ(r.out, "");
    }
    const RunResult missing = KorvidCycles({dir.File("none.src")});
    EXPECT_EQ(missing.exitCode, 1);
}

RunResult KorvidTest(const std::vector<std::string>& args) {
    std::vector<std::string> argv{test::BinaryPath("apps/korvid/korvid"), "test"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, {}, 60);
}

// `expect static cycles` holds the bound over every path, also where the
// run never goes (the loop waiting for RB.0 is never left here).
TEST_F(CyclesCommand, ExpectStaticCyclesInTestFiles) {
    WriteText(dir.File("loop.test"),
              "source loop.src\n"
              "run for 10us\n"
              "expect static cycles start..done <= 25\n"
              "expect static cycles start:loop..done >= 3\n"
              "expect static cycles start..done < 25\n"
              "expect static cycles poll..done <= 100\n"
              "expect static cycles done..start >= 1\n");
    const RunResult r = KorvidTest({dir.File("loop.test")});
    EXPECT_EQ(r.exitCode, 1);
    const std::string file = dir.File("loop.test");
    EXPECT_EQ(r.out,
              "FAIL " + file + "\n" + file +
                  ":5:1: error: expected static cycles start..done < 25, the bound is 25..25 cycles\n" + file +
                  ":6:1: error: expected static cycles poll..done <= 100, but the bound is open (no DECSZ or INCSZ "
                  "counts every pass of the loop at 009h)\n" +
                  file +
                  ":7:1: error: expected static cycles done..start >= 1, but start is never reached from done\n"
                  "0 passed, 1 failed\n");

    WriteText(dir.File("bad.test"), "source loop.src\nrun for 1us\nexpect static frob a..b <= 3\n");
    const RunResult bad = KorvidTest({dir.File("bad.test")});
    EXPECT_EQ(bad.exitCode, 2);  // a test file that does not parse
    EXPECT_NE(bad.out.find("bad.test:3:15: error: expected 'cycles' after 'static', not 'frob'"), std::string::npos)
        << bad.out;

    const RunResult example = KorvidTest({std::string(KORVID_SOURCE_DIR) + "/examples/tests/serial_echo.test"});
    EXPECT_EQ(example.exitCode, 0) << example.out;
}

}  // namespace
}  // namespace korvid
