// `korvid test`: every statement passing and failing with its exact
// message, parse and name errors with their positions, exit statuses, the
// same output alone and in parallel, JUnit XML read back by Python's own
// parser, waveforms of failing tests, and the examples' own tests.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <unistd.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "tests/e2e/Process.h"

namespace korvid::test {
namespace {

// A loop of six cycles (20 ns each): RB shows a count that the loop
// increments, so RB.0 has a 240 ns period; `trap` is never executed.
constexpr const char* kLoop = R"(        DEVICE  SX28L, OSCHS2, TURBO, STACKX_OPTIONX
        FREQ    50_000_000
        RESET   start
count   EQU     08h
flags   EQU     09h
        ORG     0
start   MOV     !RB, #0
        CLR     count
        MOV     flags, #%0000_0101
main    INC     count
        MOV     W, count
        MOV     RB, W
        JMP     main
trap    JMP     trap
)";

RunResult KorvidTest(const std::vector<std::string>& args) {
    std::vector<std::string> argv{test::BinaryPath("apps/korvid/korvid"), "test"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, {}, 120);
}

// What `korvid test` prints for a file that fails with these errors, each
// given as "LINE:COLUMN: error: TEXT".
std::string Failed(const std::string& file, std::initializer_list<const char*> errors) {
    std::string out = "FAIL " + file + "\n";
    for (const char* e : errors) out += file + ":" + e + "\n";
    return out;
}

struct CheckCase {
    const char* line;
    const char* failure;  // nullptr: passes
};

// Each check runs in one file; the failures come out in file order.
const CheckCase kChecks[] = {
    {"expect at main#3 count == 2", nullptr},
    {"expect at main#3 count == 3", "expected count == 3 at main#3, was 0x02 (2)"},
    {"expect at main#3 W == 2", nullptr},
    {"expect at main#100 W == 0", "expected W == 0 at main#100, but main was reached only 41 times"},
    {"expect at trap W == 0", "expected W == 0 at trap, but trap was never reached"},
    {"expect at 1us RB == 0x07", nullptr},
    {"expect at 1us RB.0 == 0", "expected RB.0 == 0 at 1us, was 1"},
    {"expect at 10us RB.0 == 0", "expected RB.0 == 0 at 10us, but the run ended at 5us"},
    {"expect at end flags == 5", nullptr},
    {"expect at end flags.2 == 1", nullptr},
    {"expect at end flags.1 == 1", "expected flags.1 == 1 at end, was 0"},
    {"expect at end 08h > 30", nullptr},
    {"expect at end $09 != 5", "expected $09 != 5 at end, was 0x05 (5)"},
    {"expect at end 0x09 <= 5", nullptr},
    {"expect at end FSR >= 1", "expected FSR >= 1 at end, was 0x00 (0)"},
    {"expect at end M == 0x0F", nullptr},
    {"expect at end STATUS.2 == 0", nullptr},
    {"expect edges RB.0 == 10 from 1us until 2.2us", nullptr},
    {"expect edges RB.1 > 10 from 1us until 2.2us", "expected edges RB.1 > 10 from 1us until 2.2us, was 5"},
    {"expect period RB.0 == 240ns ±1%", nullptr},
    {"expect period RB.1 == 240ns ±1%", "expected period RB.1 == 240ns ±1%, was 480ns"},
    {"expect period RB.1 == 481ns ±1ns", nullptr},
    {"expect period RB.7 > 1us", "expected period RB.7 > 1us, but RB.7 made no whole cycle"},
    {"expect duty RB.0 == 50% ±1%", nullptr},
    {"expect duty RB.0 < 40%", "expected duty RB.0 < 40%, was 50%"},
    {"expect cycles main..main == 6", nullptr},
    {"expect cycles main..main < 6", "expected cycles main..main < 6, was 6 from main at 160ns"},
    {"expect cycles trap..main < 6", "expected cycles trap..main < 6, but no span from trap to main was completed"},
    {"expect never trap", nullptr},
    {"expect never main", "expected never main, but it was reached at 160ns"},
    {"expect reached main", nullptr},
    {"expect reached trap", "expected reached trap, but it was never reached"},
};

TEST(TestCommand, EveryCheckPassesAndFailsWithItsMessage) {
    TempDir dir;
    WriteText(dir.File("loop.src"), kLoop);
    std::string text = "source loop.src\nrun for 5us\n";
    std::string want = "FAIL " + dir.File("checks.test") + "\n";
    int line = 3;
    for (const CheckCase& c : kChecks) {
        text += std::string(c.line) + "\n";
        if (c.failure) want += dir.File("checks.test") + ":" + std::to_string(line) + ":1: error: " + c.failure + "\n";
        ++line;
    }
    WriteText(dir.File("checks.test"), text);
    const RunResult r = KorvidTest({dir.File("checks.test")});
    EXPECT_EQ(r.out, want + "0 passed, 1 failed\n");
    EXPECT_EQ(r.exitCode, 1);

    // The passing checks alone pass.
    std::string passing = "source loop.src\nrun for 5us\n";
    int count = 0;
    for (const CheckCase& c : kChecks)
        if (!c.failure) passing += std::string(c.line) + "\n", ++count;
    WriteText(dir.File("passing.test"), passing);
    const RunResult p = KorvidTest({dir.File("passing.test")});
    EXPECT_EQ(p.out, "PASS " + dir.File("passing.test") + " (" + std::to_string(count) +
                         " checks, 5us simulated)\n1 passed, 0 failed\n");
    EXPECT_EQ(p.exitCode, 0);
}

TEST(TestCommand, SerialOutputAndRunEndsOnTheGreetingExample) {
    TempDir dir;
    const std::string source = std::string(KORVID_SOURCE_DIR) + "/examples/serial_tx.src";
    WriteText(dir.File("uart.test"), "source " + source +
                                      "\nrun until break\n"
                                      "expect uart RB.6 9600 == \"Hello from the SX\\r\\n\"\n"
                                      "expect uart RB.6 9600 == \"Hello\"\n"
                                      "expect uart RB.6 9600 contains \"from\"\n"
                                      "expect uart RB.6 9600 contains \"OK\"\n"
                                      "expect uart RB.6 4800 == \"Hello from the SX\\r\\n\"\n"
                                      "expect at bit_time:wait#2 delay == 98\n");  // a local label
    WriteText(dir.File("until.test"), "source " + source + "\nrun until done within 2ms\nexpect at end W == 0\n");
    WriteText(dir.File("break.test"), "source " + source + "\nrun until break within 3ms\n");
    // After the text the line is held low: a frame whose stop bit is low.
    std::string low = test::ReadText(source);
    low.replace(low.find("done    BREAK"), 13, "done    CLRB    tx_pin\n        BREAK");
    WriteText(dir.File("low.src"), low);
    WriteText(dir.File("low.test"), "source low.src\nrun for 25ms\n"
                                    "expect uart RB.6 9600 == \"Hello from the SX\\r\\n\"\n"
                                    "expect uart RB.6 9600 contains \"SX\"\n"
                                    "expect uart RB.6 9600 contains \"OK\"\n");
    const RunResult r =
        KorvidTest({dir.File("uart.test"), dir.File("until.test"), dir.File("break.test"), dir.File("low.test")});
    const std::string u = dir.File("uart.test"), t = dir.File("until.test"), b = dir.File("break.test"),
                      l = dir.File("low.test");
    const std::string lowSent = "was \"Hello from the SX\\r\\n\" (1 framing error at 20.556ms)\n";
    EXPECT_EQ(r.out, "FAIL " + u + "\n" + u +
                         ":4:1: error: expected uart RB.6 9600 == \"Hello\", was \"Hello from the SX\\r\\n\"\n" + u +
                         ":6:1: error: expected uart RB.6 9600 contains \"OK\", was \"Hello from the SX\\r\\n\"\n" + u +
                         ":7:1: error: expected uart RB.6 4800 == \"Hello from the SX\\r\\n\", was \"\\xbc\\xad\\xa8\\xbe\\xe8\\xbc\\xd8>\"\n"
                         "FAIL " + t + "\n" + t + ":2:1: error: the run did not reach done within 2ms\n" + t +
                         ":3:1: error: expected W == 0 at end, was 0x63 (99)\n" +
                         "FAIL " + b + "\n" + b + ":2:1: error: the run did not reach the BREAK address within 3ms\n" +
                         "FAIL " + l + "\n" + l + ":3:1: error: expected uart RB.6 9600 == \"Hello from the SX\\r\\n\", " +
                         lowSent + l + ":5:1: error: expected uart RB.6 9600 contains \"OK\", " + lowSent +
                         "0 passed, 4 failed\n");
    EXPECT_EQ(r.exitCode, 1);
}

TEST(TestCommand, ParseAndNameErrorsWithTheirPositions) {
    TempDir dir;
    WriteText(dir.File("loop.src"), kLoop);
    const std::string syntax =
        "source loop.src\nsource other.src\nfamily 16\ndialect loose\nfreq 0\nrun for\n"
        "expect\nexpect at 3ms RB.0 = 1\nexpect at 3ms RB.0 == one\nexpect at main#0 W == 1\n"
        "expect uart RB.6 9600 equals \"x\"\nexpect uart RB.6 0 == \"x\"\nexpect uart RB.6 9600 == x\n"
        "expect period RB.6 == 40c\nexpect period RB.6 == 40us ±x%\nexpect duty RB.6 == 120%\n"
        "expect cycles isr.. <= 3\nexpect soon\nat 1ms RB.1 = 2\nlaunch now\nexpect never trap extra\n"
        "expect edges RB.0 == 2 from 3\nexpect duty RB.6 < 50% \u00b11%\n";
    WriteText(dir.File("syntax.test"), syntax);
    const RunResult r = KorvidTest({dir.File("syntax.test")});
    EXPECT_EQ(r.out, Failed(dir.File("syntax.test"),
                            {"2:1: error: a second 'source' statement",
                             "3:8: error: unknown family '16' (use 28l or 52)",
                             "4:9: error: unknown dialect 'loose' (use strict or extended)",
                             "5:6: error: the clock must be 1 to 4000000000 Hz",
                             "6:8: error: missing the time to run",
                             "7:7: error: missing what to expect (at, uart, edges, period, duty, cycles, never or reached)",
                             "8:20: error: expected a comparison (==, !=, <, <=, >, >=), not '='",
                             "9:23: error: 'one' is not a number",
                             "10:11: error: '#0' is not an arrival count (1, 2, ...)",
                             "11:23: error: expected == or contains, not 'equals'",
                             "12:18: error: the baud rate must be 1 to 100000000",
                             "13:26: error: expected the text in quotes",
                             "14:23: error: give the period in s, ms, us or ns",
                             "15:28: error: 'x%' is not a tolerance",
                             "16:21: error: '120%' is not a duty cycle (0% to 100%)",
                             "17:15: error: expected LABEL..LABEL, not 'isr..'",
                             "18:8: error: unknown check 'soon' (expected at, uart, edges, period, duty, cycles, never or reached)",
                             "19:15: error: a pin takes 0, 1 or z, not 2",
                             "20:1: error: unknown statement 'launch' (expected at, clock, uart, source, family, dialect, freq, run or expect)",
                             "21:19: error: unexpected 'extra' after the statement",
                             "22:29: error: time '3' needs a unit (s, ms, us, ns or c)",
                             "23:24: error: a tolerance goes with == or != only, not <"}) +
                         "0 passed, 1 failed\n");
    EXPECT_EQ(r.exitCode, 2);

    // Names are checked against the chip and the program once it assembles.
    WriteText(dir.File("names.test"),
          "source loop.src\nrun until nowhere\nat 1ms RD.0 = 1\nexpect at 1ms RA.5 == 1\n"
          "expect at 1ms nothing == 1\nexpect at 1ms RB.0 == 2\nexpect at 1ms count == 256\n"
          "expect cycles main..nowhere < 3\nexpect edges RB.0 == 1 from 2ms until 1ms\nexpect reached :wait\n");
    WriteText(dir.File("nobreak.test"), "source loop.src\nrun until break\n");
    WriteText(dir.File("nosource.test"), "run for 1ms\n");
    const RunResult n = KorvidTest({dir.File("names.test"), dir.File("nobreak.test"), dir.File("nosource.test")});
    EXPECT_EQ(n.out, Failed(dir.File("names.test"),
                            {"2:11: error: 'nowhere' is not a label of the program",
                             "3:8: error: the chip has no port RD",
                             "4:15: error: the chip has no pin RA.5",
                             "5:15: error: 'nothing' is not a pin, port or register (W, M, FSR, STATUS, RTCC, a symbol, an address)",
                             "6:15: error: a pin or bit is 0 or 1",
                             "7:15: error: a register or port holds 0 to 255",
                             "8:21: error: 'nowhere' is not a label of the program",
                             "9:14: error: the window ends before it starts ('until' before 'from')",
                             "10:16: error: ':wait' is not a label of the program (a local label goes with the one "
                             "before it: LABEL:wait)"}) +
                         Failed(dir.File("nobreak.test"), {"2:1: error: the program has no BREAK address to run until"}) +
                         Failed(dir.File("nosource.test"), {"1:1: error: the test names no program ('source FILE')"}) +
                         "0 passed, 3 failed\n");
    EXPECT_EQ(n.exitCode, 2);
}

// One run reports every error of a file, in line order: the statements
// that do not read, and those that read but do not fit the program or the
// chip (a label it lacks, a port the chip lacks, a clock too fast for the
// run's clock), and a missing statement beside them.
TEST(TestCommand, EveryErrorOfAFileComesInOneRunInLineOrder) {
    TempDir dir;
    WriteText(dir.File("loop.src"), kLoop);
    WriteText(dir.File("mixed.test"),
              "source loop.src\n"
              "clock RB.1 period 10ns\n"
              "run for 1us\n"
              "expect at 1us RB.0 = 1\n"
              "expect reached nowhere\n"
              "at 1us RD.0 = 1\n"
              "expect edges RB.0 == 1 from 3\n"
              "expect never trap extra\n");
    WriteText(dir.File("norun.test"), "source loop.src\nexpect reached nowhere\nexpect at 1us RB.0 = 1\n");
    const RunResult r = KorvidTest({dir.File("mixed.test"), dir.File("norun.test")});
    const std::string f = dir.File("mixed.test") + ":", g = dir.File("norun.test") + ":";
    EXPECT_EQ(r.out,
              "FAIL " + dir.File("mixed.test") + "\n" + f +
                  "2:19: error: the period is shorter than two instruction cycles (40000 ps at this clock)\n" + f +
                  "4:20: error: expected a comparison (==, !=, <, <=, >, >=), not '='\n" + f +
                  "5:16: error: 'nowhere' is not a label of the program\n" + f +
                  "6:8: error: the chip has no port RD\n" + f +
                  "7:29: error: time '3' needs a unit (s, ms, us, ns or c)\n" + f +
                  "8:19: error: unexpected 'extra' after the statement\n" + "FAIL " + dir.File("norun.test") + "\n" +
                  g + "1:1: error: the test has no 'run' statement (run for TIME, run until break, run until LABEL)\n" +
                  g + "2:16: error: 'nowhere' is not a label of the program\n" + g +
                  "3:20: error: expected a comparison (==, !=, <, <=, >, >=), not '='\n" + "0 passed, 2 failed\n");
    EXPECT_EQ(r.exitCode, 2);
}

// The program's clock, dialect and family come from the test when it names
// them: a 25 MHz clock doubles the loop's period; a colon label needs the
// extended dialect (without it the assembler's error is shown).
TEST(TestCommand, ClockDialectAndFamilyStatements) {
    TempDir dir;
    std::string colon = kLoop;
    colon.replace(colon.find("main    INC"), 4, "main:");
    colon.replace(colon.find("JMP     main"), 12, "JMP     MAIN");
    WriteText(dir.File("colon.src"), colon);
    WriteText(dir.File("loop.src"), kLoop);
    WriteText(dir.File("clock.test"), "source loop.src\nfreq 25_000_000\nrun for 5us\nexpect period RB.0 == 480ns ±1%\n");
    WriteText(dir.File("ext.test"), "source colon.src\ndialect extended\nrun for 1us\nexpect reached MAIN\n");
    WriteText(dir.File("strict.test"), "source colon.src\nrun for 1us\n");
    std::string neutral = kLoop;  // a DEVICE line that names no family
    neutral.replace(0, neutral.find('\n'), "        DEVICE  OSCHS2");
    WriteText(dir.File("neutral.src"), neutral);
    WriteText(dir.File("f52.test"), "source neutral.src\nfamily 52\nrun for 1us\nexpect at 1us RD == 0\n");
    // A hex image has no DEVICE line: one that holds the 52's program words
    // is the 52's.
    ASSERT_EQ(RunChild({test::BinaryPath("apps/korvid/korvid"), "asm", "--family", "52", dir.File("neutral.src"), "-o",
                        dir.File("n52.sxh")}).exitCode, 0);
    WriteText(dir.File("hex52.test"), "source n52.sxh\nrun for 1us\nexpect at 1us RD == 0\n");
    const RunResult r = KorvidTest({"-j", "2", dir.File("clock.test"), dir.File("ext.test"), dir.File("strict.test"),
                                    dir.File("f52.test"), dir.File("hex52.test")});
    const std::string strict = dir.File("strict.test");
    EXPECT_EQ(r.out, "PASS " + dir.File("clock.test") + " (1 check, 5us simulated)\n"
                     "PASS " + dir.File("ext.test") + " (1 check, 1us simulated)\n"
                     "FAIL " + strict + "\n" + strict + ":1:8: error: cannot load the program " + dir.File("colon.src") +
                         "\n" + dir.File("colon.src") + ":13:17: error: Undefined symbol\n" +
                         dir.File("colon.src") + ":13:17: note: accepted with --dialect extended\n"
                     "PASS " + dir.File("f52.test") + " (1 check, 1us simulated)\n"
                     "PASS " + dir.File("hex52.test") + " (1 check, 1us simulated)\n"
                     "4 passed, 1 failed\n");
    EXPECT_EQ(r.exitCode, 2);
}

// A folder with a broken file: the others still run, in the same order and
// with the same output alone and in parallel; the status says 2. A link
// back up the tree finds no test twice.
TEST(TestCommand, FolderWithABrokenFileRunsTheRestTheSameAloneAndInParallel) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
    WriteText(dir.File("loop.src"), kLoop);
    WriteText(dir.File("sub/loop.src"), kLoop);
    WriteText(dir.File("a.test"), "source loop.src\nrun for 2us\nexpect reached main\n");
    WriteText(dir.File("b.test"), "source nowhere.src\nrun for 2us\n");
    WriteText(dir.File("c.test"), "source loop.src\nrun for 3us\nexpect at end count == 0\n");
    WriteText(dir.File("sub/d.test"), "source loop.src\nrun for 1ms\nexpect cycles main..main == 6\n");
    WriteText(dir.File("notes.txt"), "not a test\n");
    ASSERT_EQ(::symlink("..", dir.File("sub/up").c_str()), 0);  // a loop: its tests are found once
    const RunResult alone = KorvidTest({"-j", "1", dir.Path()});
    const RunResult parallel = KorvidTest({"-j4", dir.Path()});
    const std::string p = dir.Path() + "/";
    EXPECT_EQ(alone.out, "PASS " + p + "a.test (1 check, 2us simulated)\n"
                         "FAIL " + p + "b.test\n" + p + "b.test:1:8: error: cannot load the program " + p +
                             "nowhere.src\n"
                             "korvid: cannot read " + p + "nowhere.src: No such file or directory\n"
                         "FAIL " + p + "c.test\n" + p + "c.test:3:1: error: expected count == 0 at end, was 0x18 (24)\n"
                         "PASS " + p + "sub/d.test (1 check, 1ms simulated)\n"
                         "2 passed, 2 failed\n");
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_EQ(parallel.out, alone.out);
    EXPECT_EQ(parallel.exitCode, 2);
    // Without a path: the current folder, the names relative to it.
    const RunResult here = RunChild({"/bin/sh", "-c", "cd \"$0\" && \"$1\" test", dir.Path(),
                                     test::BinaryPath("apps/korvid/korvid")}, {}, 120);
    std::string relative = alone.out;
    for (std::size_t at; (at = relative.find(p)) != std::string::npos;) relative.erase(at, p.size());
    EXPECT_EQ(here.out, relative);
    EXPECT_EQ(here.exitCode, 2);

    // A folder without tests is a usage error.
    ASSERT_EQ(::mkdir(dir.File("empty").c_str(), 0755), 0);
    const RunResult none = KorvidTest({dir.File("empty")});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.err, "korvid: no test files (*.test) found\n");

    // A report that could not be written is said before any test runs.
    const RunResult nowhere = KorvidTest({"--junit", dir.File("missing/out.xml"), dir.Path()});
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_EQ(nowhere.out, "");
    EXPECT_EQ(nowhere.err.rfind("korvid test: --junit: cannot write in " + dir.File("missing") +
                                    ": No such file or directory\n", 0), 0u) << nowhere.err;
}

TEST(TestCommand, JUnitReportReadByPythonAndWaveformsOfFailingTests) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("waves").c_str(), 0755), 0);
    WriteText(dir.File("loop.src"), kLoop);
    // Names and messages with UTF-8 (±) and with a byte that is not UTF-8
    // (a Latin-1 ä): the report stays XML that a parser reads.
    WriteText(dir.File("pass.test"),
              "source loop.src\nrun for 2us\nexpect reached main\nexpect never trap\nexpect period RB.0 == 240ns \u00b11%\n");
    WriteText(dir.File("fail2.test"), "source loop.src\nrun for 2us\nexpect at end flags == 4\n");
    WriteText(dir.File("broken.test"), "source loop.src\nrun l\xe4ter\n");
    const RunResult r = KorvidTest({"--junit", dir.File("out.xml"), "--vcd-dir", dir.File("waves"), dir.File("pass.test"),
                                    dir.File("fail2.test"), dir.File("broken.test")});
    EXPECT_EQ(r.exitCode, 2);
    const std::string script =
        "import sys, xml.etree.ElementTree as E\n"
        "root = E.parse(sys.argv[1]).getroot()\n"
        "print(root.tag, root.get('tests'), root.get('failures'), root.get('errors'))\n"
        "for s in root.findall('testsuite'):\n"
        "    cases = s.findall('testcase')\n"
        "    print(s.get('name').rsplit('/', 1)[-1], s.get('tests'), s.get('failures'), s.get('errors'), len(cases),\n"
        "          sum(1 for c in cases if c.find('failure') is not None),\n"
        "          sum(1 for c in cases if c.find('error') is not None))\n"
        "    for c in cases:\n"
        "        f = c.find('failure') if c.find('failure') is not None else c.find('error')\n"
        "        if f is not None: print(' ', f.get('message'))\n"
        "        if '\u00b1' in c.get('name'): print(' ', c.get('name'))\n";
    const RunResult py = RunChild({"/usr/bin/python3", "-c", script, dir.File("out.xml")}, {}, 30);
    EXPECT_EQ(py.exitCode, 0) << py.err;
    EXPECT_EQ(py.out, "testsuites 5 1 1\n"
                      "pass.test 3 0 0 3 0 0\n"
                      "  expect period RB.0 == 240ns \u00b11% (line 5)\n"
                      "fail2.test 1 1 0 1 1 0\n"
                      "  expected flags == 4 at end, was 0x05 (5)\n"
                      "broken.test 1 0 1 1 0 1\n"
                      "  " + dir.File("broken.test") + ":2:5: error: expected 'for' or 'until', not 'l\\xe4ter'\n");
    // Only the failing test left a waveform, and it is complete.
    struct stat st {};
    EXPECT_NE(::stat(dir.File("waves/pass.vcd").c_str(), &st), 0);
    const std::string vcd = test::ReadText(dir.File("waves/fail2.vcd"));
    EXPECT_NE(vcd.find("$enddefinitions"), std::string::npos);
    EXPECT_NE(vcd.find("#2000000"), std::string::npos);
}

// A stop signal ends the running tests early, starts no more, keeps no
// half-written waveform and still reports and exits with 2.
TEST(TestCommand, StopSignalEndsTheRunCleanly) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("waves").c_str(), 0755), 0);
    WriteText(dir.File("loop.src"), kLoop);
    for (const char* name : {"a.test", "b.test", "c.test"})
        WriteText(dir.File(name), "source loop.src\nrun for 100s\nexpect reached trap\n");
    const std::string command = "'" + test::BinaryPath("apps/korvid/korvid") + "' test -j 2 --vcd-dir '" +
                                dir.File("waves") + "' '" + dir.File("a.test") + "' '" + dir.File("b.test") + "' '" +
                                dir.File("c.test") + "' & pid=$!; sleep 1; kill -TERM $pid; wait $pid; echo status $?";
    const RunResult r = RunChild({"/bin/sh", "-c", command}, {}, 60);
    const std::string a = dir.File("a.test"), b = dir.File("b.test"), c = dir.File("c.test");
    EXPECT_EQ(r.out, "FAIL " + a + "\nkorvid: " + a + ": interrupted before the end of the run\n"
                     "FAIL " + b + "\nkorvid: " + b + ": interrupted before the end of the run\n"
                     "FAIL " + c + "\nkorvid: " + c + ": not run: interrupted\n"
                     "0 passed, 3 failed\nstatus 2\n");
    std::size_t left = 0;
    if (DIR* d = opendir(dir.File("waves").c_str())) {
        while (const dirent* e = readdir(d)) left += e->d_name[0] == '.' ? 0 : 1;
        closedir(d);
    }
    EXPECT_EQ(left, 0u) << "no waveform or temporary file stays";
}

// kill -9 of the command ends its workers too (they would run on for the
// whole simulated time), and their unfinished waveforms go with them.
TEST(TestCommand, KilledCommandTakesItsWorkersWithIt) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("waves").c_str(), 0755), 0);
    WriteText(dir.File("loop.src"), kLoop);
    WriteText(dir.File("a.test"), "source loop.src\nrun for 100s\nexpect reached trap\n");
    // Gone, or a zombie nobody reaps: no longer running either way.
    const std::string running = "case $(cut -d' ' -f3 /proc/$worker/stat 2>/dev/null) in ''|Z) false;; esac";
    const std::string command = "'" + test::BinaryPath("apps/korvid/korvid") + "' test --vcd-dir '" +
                                dir.File("waves") + "' '" + dir.File("a.test") +
                                "' & pid=$!; sleep 1; worker=$(tr -d ' ' < /proc/$pid/task/$pid/children); "
                                "[ -n \"$worker\" ] || echo no worker; kill -KILL $pid; "
                                "for i in $(seq 50); do " + running + " || break; sleep 0.1; done; " + running +
                                " && echo worker runs on || echo worker ended";
    const RunResult r = RunChild({"/bin/sh", "-c", command}, {}, 60);
    EXPECT_EQ(r.out, "worker ended\n") << r.err;
    DIR* d = opendir(dir.File("waves").c_str());
    ASSERT_NE(d, nullptr);
    std::size_t left = 0;
    while (const dirent* e = readdir(d)) left += e->d_name[0] == '.' ? 0 : 1;
    closedir(d);
    EXPECT_EQ(left, 0u) << "no temporary waveform stays";
}

// A test file still being read (a FIFO whose writer stays and sends
// nothing) is ended by Ctrl-C like a run: the worker does not wait on.
TEST(TestCommand, StopSignalEndsAFileStillBeingRead) {
    TempDir dir;
    const std::string fifo = dir.File("slow.test");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string command = "exec 3<>'" + fifo + "'; '" + test::BinaryPath("apps/korvid/korvid") + "' test '" +
                                fifo + "' & pid=$!; " + SignalWhenCaught("pid", SIGINT, 0.3) + "; wait $pid; echo status $?";
    const RunResult r = RunChild({"/bin/sh", "-c", command}, {}, 30);
    EXPECT_EQ(r.out, "FAIL " + fifo + "\nkorvid: " + fifo + ": interrupted while reading the test\n"
                     "0 passed, 1 failed\nstatus 2\n");
}

// A report or a waveform that finds the disk full: the reason, status 2
// and no part of either file left (a small file system made full, as root;
// /dev/full always).
TEST(TestCommand, FullDiskIsReportedAndLeavesNoPartOfAFile) {
    TempDir dir;
    WriteText(dir.File("loop.src"), kLoop);
    WriteText(dir.File("fail.test"), "source loop.src\nrun for 1ms\nexpect reached trap\n");
    const std::string small = dir.File("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    const bool mounted = RunChild({"/bin/mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", small}).exitCode == 0;
    if (mounted) {
        std::ofstream fill(small + "/fill");
        const std::string block(4096, 'x');
        while (fill.write(block.data(), block.size()) && fill.flush()) {
        }
    }
    std::vector<std::vector<std::string>> runs = {{"--junit", "/dev/full", dir.File("fail.test")}};
    if (mounted) {
        runs.push_back({"--junit", small + "/report.xml", dir.File("fail.test")});
        runs.push_back({"--vcd-dir", small, dir.File("fail.test")});
    }
    for (const auto& args : runs) {
        const RunResult r = KorvidTest(args);
        EXPECT_EQ(r.exitCode, 2) << args[1];
        EXPECT_NE((r.out + r.err).find("No space left on device"), std::string::npos) << args[1] << ": " << r.out << r.err;
    }
    if (mounted) {
        std::vector<std::string> left;
        if (DIR* d = opendir(small.c_str())) {
            while (const dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") left.push_back(e->d_name);
            closedir(d);
        }
        EXPECT_EQ(left, std::vector<std::string>{"fill"});
        RunChild({"/bin/umount", small});
    }
    EXPECT_TRUE(mounted || ::geteuid() != 0) << "root makes a small file system for the full-disk case";
}

// The project's examples pass their own tests.
TEST(TestCommand, ExamplesPassTheirTests) {
    const RunResult r = KorvidTest({std::string(KORVID_SOURCE_DIR) + "/examples/tests"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(" 0 failed\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace korvid::test
