// `korvid debug` against korvid-sim on a real pseudo-terminal: commands
// from a script on stdin, halts and registers on stdout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/e2e/Process.h"
#include "tests/support/FaultyTool.h"

namespace korvid {
namespace {

using test::RunChild;
using test::RunResult;
using test::SimTool;
using test::Lines;
using test::TempDir;

// Runs `korvid debug` on `source` with `script` as its stdin.
RunResult Debug(const TempDir& dir, const std::string& port, const std::string& family, const std::string& source,
                const std::string& script, const std::string& extra = "") {
    test::WriteText(dir.File("prog.src"), source);
    test::WriteText(dir.File("script.txt"), script);
    const std::string command = "'" + test::KorvidPath() + "' debug '" + dir.File("prog.src") + "' --family " +
                                family + " --port '" + port + "' " + extra + " < '" + dir.File("script.txt") + "'";
    return RunChild({"/bin/sh", "-c", command}, {}, 60);
}

// Each of `parts` somewhere in `text`.
void ExpectFound(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

const char* const kCounter =
    "count   EQU     0Ch\n"
    "        WATCH   count, 8, UDEC\n"
    "        RESET   start\n"
    "        ORG     10h\n"
    "start   MOV     W,#5\n"        // 010
    "        MOV     count,W\n"     // 011
    "loop    INC     count\n"       // 012
    "        SB      count.0\n"     // 013
    "        JMP     loop\n"        // 014
    "        SLEEP\n";              // 015

class DebugCommand : public ::testing::TestWithParam<const char*> {
protected:
    bool is52() const { return std::string(GetParam()) == "52"; }
    std::string Source() const {
        return std::string(is52() ? "" : "        DEVICE  SX28L, TURBO, STACKX_OPTIONX\n") + kCounter;
    }
    std::string Reset() const { return is52() ? "PC FFF" : "PC 7FF"; }
    // Runs `korvid debug` against this family's tool, on the counter
    // unless given another source.
    RunResult Run(const std::string& script, const std::string& source = {}, const std::string& extra = "") {
        return Debug(dir, tool.Path(), GetParam(), source.empty() ? Source() : source, script, extra);
    }

    SimTool tool{std::vector<std::string>{"--family", GetParam()}};
    TempDir dir;
};

TEST_P(DebugCommand, StepsRunsToABreakpointAndEditsRegisters) {
    RunResult r = Run("step 3\n"
                      "watch\n"
                      "step\n"
                      "break loop\n"
                      "run\n"
                      "set count 40h\n"
                      "watch\n"
                      "regs\n"
                      "pc start\n"
                      "reset\n"
                      "quit\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> out = Lines(r.out);
    ASSERT_GE(out.size(), 12u) << r.out;
    EXPECT_EQ(out[0].rfind(Reset(), 0), 0u) << out[0];        // halt at reset: the reset vector
    EXPECT_NE(out[0].find("RESET   start"), std::string::npos) << out[0];
    EXPECT_EQ(out[1].rfind("PC 010  MOV", 0), 0u) << out[1];
    EXPECT_EQ(out[3].rfind("PC 012  INC", 0), 0u) << out[3];
    EXPECT_EQ(out[4], "count = 5");
    EXPECT_EQ(out[5].rfind("PC 013  SB", 0), 0u) << out[5];
    EXPECT_EQ(out[6], "breakpoint 012");
    // SB count.0 with count = 6: not taken; JMP loop; INC executed: halt after it.
    EXPECT_EQ(out[7].rfind("PC 013", 0), 0u) << out[7];
    EXPECT_EQ(out[8].rfind("PC 013", 0), 0u) << out[8];       // after set
    EXPECT_EQ(out[9], "count = 64");
    ExpectFound(r.out, {"STATUS", "INT 0  SKIP 0", "0C:40", "PC 010  MOV"});
    EXPECT_EQ(out.back().rfind(Reset(), 0), 0u) << out.back();
}

// Every command that assembles takes --dialect, debug among them.
TEST_P(DebugCommand, ExtendedDialectSource) {
    const std::string source = "\tRESET start\n\tORG 10h\nstart:\tMOV W,#5\n\tJMP start\n";
    RunResult strict = Run("quit\n", source);
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find("note: accepted with --dialect extended"), std::string::npos) << strict.err;
    RunResult r = Run("pc start\nquit\n", source, "--dialect extended");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("PC 010  MOV"), std::string::npos) << r.out;
}

// `set` reads register addresses and values in hex, as `regs` prints them;
// one failed command among good ones still makes the exit status 1.
TEST_P(DebugCommand, SetTakesHexAsRegsPrintsAndAFailureSetsTheStatus) {
    RunResult r = Run("step 2\n"
                      "set count 40\n"
                      "watch\n"
                      "set 0D 7F\n"
                      "set 0E %101\n"
                      "regs\n"
                      "quit\n");
    ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
    ExpectFound(r.out, {"count = 64", "0C:40 0D:7F 0E:05"});
    RunResult bad = Run("set count 1G\nstep\nquit\n");
    EXPECT_EQ(bad.exitCode, 1);
    ExpectFound(bad.out, {
        "error: set takes",
        "PC 010  MOV",  // the session went on
    });
}

TEST_P(DebugCommand, SkipFreeRunStopAndSleep) {
    RunResult r = Run("step 4\n"      // to SB with count = 6
                      "step 2\n"      // SB not taken, JMP
                      "step\n"        // INC -> 7
                      "step\n"        // SB taken: halts on the skipped JMP
                      "step\n"        // passes over it
                      "step\n"        // SLEEP
                      "stop\n"
                      "reset\n"
                      "break none\n"
                      "run\n"
                      "stop\n"
                      "quit\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectFound(r.out, {"PC 014  JMP   012          SKIP", "PC 015  SLEEP", "sleeping", "running"});
}

TEST_P(DebugCommand, ErrorsAreReportedAndTheSessionGoesOn) {
    RunResult r = Run("frobnicate\n"
                      "break nowhere\n"
                      "break 300h\n"
                      "set count 999\n"
                      "step 0\n"
                      "step 2 regs\n"    // refused whole: neither steps nor registers
                      "quit now\n"       // refused: the session goes on
                      "x" + std::string(100'000, 'y') + "z\n"  // quoted by its ends
                      "step\n"
                      "quit\n");
    EXPECT_EQ(r.exitCode, 1) << r.err;  // a script can tell that a command failed
    ExpectFound(r.out, {
        "error: unknown command 'FROBNICATE'",
        "error: 'nowhere' is not a program address or label",
        "error: no code at 300",
        "error: set takes a register and a value from 0 to 255",
        "error: too many words in 'step 2 regs'",
        "error: too many words in 'quit now'",
        "error: unknown command 'XYYYYY",
        "YYYYYZ'\n",
        "PC 010  MOV",
    });
    EXPECT_LT(r.out.size(), 10'000u) << "the long line is not repeated whole";
    EXPECT_EQ(r.out.find("PC 011"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("FSR"), std::string::npos) << r.out;
}

// The script's `help` lists the words `korvid debug --help` lists, and the
// session takes every one of them: the words are one table.
TEST_P(DebugCommand, ScriptHelpListsTheWordsTheSessionTakes) {
    const std::string help = RunChild({test::KorvidPath(), "debug", "--help"}).out;
    const std::size_t at = help.find("script commands");
    ASSERT_NE(at, std::string::npos) << help;
    const std::string words = help.substr(at);
    std::string script = "help\n";
    for (const std::string& line : Lines(words))
        if (line.rfind("  ", 0) == 0) {
            const std::string word = line.substr(2, line.find_first_of(" ,", 2) - 2);
            if (word != "quit" && word != "run") script += word + "\n";  // a free run would be stopped anyway
        }
    const RunResult r = Run(script + "quit\n");
    ExpectFound(r.out, {words});
    EXPECT_EQ(r.out.find("unknown command"), std::string::npos) << r.out;
    EXPECT_GE(Lines(words).size(), 13u) << words;
}

// A Hop over a loop on one line (DJNZ from 0: 255 rounds of DECSZ and JMP,
// then the skip over the JMP, 512 halts) reads only where the chip is at
// each silent step and sends the rest back as it was: it ends on the next
// line with every register as the same steps one by one leave them.
TEST_P(DebugCommand, HopOverALoopOnOneLineLeavesWhatItsStepsLeave) {
    SimTool tool({"--family", GetParam()});
    TempDir dir;
    const std::string source = std::string(is52() ? "" : "        DEVICE  SX28L, TURBO, STACKX_OPTIONX\n") +
                               "count   EQU     0Ch\n"
                               "        RESET   start\n"
                               "        ORG     10h\n"
                               "start   MOV     W,#0A5h\n"
                               "        MOV     FSR,W\n"
                               "        MOV     0Dh,W\n"
                               "        MOV     W,#3Ch\n"
                               "        MOV     0Fh,W\n"
                               "        MOV     M,#5\n"
                               "        STC\n"
                               "        CLR     count\n"
                               "        MOV     W,#77h\n"
                               "inner   DJNZ    count, inner\n"     // 019, 01A
                               "        NOP\n";                     // 01B
    // The registers after the last halt line.
    auto registers = [](const std::string& out) {
        std::vector<std::string> lines = Lines(out);
        std::size_t last = 0;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind("PC 0", 0) == 0 && lines[i].find('|') != std::string::npos) last = i;
        return std::vector<std::string>(lines.begin() + std::ptrdiff_t(last) + 1, lines.end());
    };
    RunResult hop = Debug(dir, tool.Path(), GetParam(), source, "step 10\nhop\nregs\nquit\n");
    ASSERT_EQ(hop.exitCode, 0) << hop.err << hop.out;
    RunResult steps = Debug(dir, tool.Path(), GetParam(), source, "step 10\nstep 512\nregs\nquit\n", "--no-program");
    ASSERT_EQ(steps.exitCode, 0) << steps.err << steps.out;
    const std::vector<std::string> out = Lines(hop.out);
    ASSERT_EQ(out.size(), 12u + registers(hop.out).size()) << hop.out;  // reset, 10 steps, the Hop's one halt
    EXPECT_EQ(out[10].rfind("PC 019  DECSZ", 0), 0u) << out[10];
    EXPECT_EQ(out[11].rfind("PC 01B  NOP", 0), 0u) << out[11];
    EXPECT_NE(hop.out.find("W 77  M "), std::string::npos) << hop.out;
    EXPECT_NE(hop.out.find("FSR A5"), std::string::npos) << hop.out;
    EXPECT_EQ(registers(hop.out), registers(steps.out)) << hop.out << steps.out;
    EXPECT_EQ(Lines(steps.out)[Lines(steps.out).size() - registers(steps.out).size() - 1].rfind("PC 01B  NOP", 0), 0u)
        << steps.out;
}

INSTANTIATE_TEST_SUITE_P(Families, DebugCommand, ::testing::Values("28l", "52"),
                         [](const auto& info) { return std::string(info.param) == "52" ? "Sx52" : "Sx28l"; });

TEST(DebugCommandTool, RunsToTheBreakDirectiveOnAOneBankPart) {
    SimTool tool({});
    TempDir dir;
    RunResult r = Debug(dir, tool.Path(), "28l",
                        " DEVICE PIC16C54, TURBO\n"
                        " RESET start\n"
                        " ORG 10h\n"
                        "start INC 0Ch\n"
                        " BREAK\n"
                        " INC 0Dh\n"      // 011: the breakpoint
                        " JMP start\n",
                        "run\nrun\nregs\nquit\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> out = Lines(r.out);
    ASSERT_GE(out.size(), 5u) << r.out;
    EXPECT_EQ(out[0].rfind("PC 1FF", 0), 0u) << out[0];
    EXPECT_EQ(out[1].rfind("PC 012  JMP", 0), 0u) << out[1];
    EXPECT_EQ(out[2].rfind("PC 012  JMP", 0), 0u) << out[2];
    ExpectFound(r.out, {
        "FSR E0",  // one bank: bank bits read as ones
        "0C:02 0D:02",
        "bank 7",
    });
    EXPECT_EQ(r.out.find("bank 6"), std::string::npos);
}

TEST(DebugCommandTool, BrandelIsRefused) {
    SimTool tool({"--brandel"});
    TempDir dir;
    RunResult r = Debug(dir, tool.Path(), "28l", std::string(" DEVICE SX28L\n") + kCounter, "quit\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Brandel does not support this function."), std::string::npos) << r.err;
}

TEST(DebugCommandTool, ADebugImageThatDoesNotFitIsRefused) {
    SimTool tool({});
    TempDir dir;
    RunResult r = Debug(dir, tool.Path(), "28l", " DEVICE SX28L, WATCHDOG\n RESET start\nstart JMP start\n", "quit\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ERROR! Debug requires the following:"), std::string::npos) << r.err;
}

// The tool falls silent in the middle of a script: the failure is the
// link's (the tool had been found), and the session says that it dropped
// the rest of the script instead of ending as if the script had ended.
TEST(DebugCommandTool, ALinkLostMidScriptDropsTheRestAndSaysSo) {
    test::FaultyTool tool({test::Misbehaviour::Stall, 400});
    TempDir dir;
    std::string script;
    for (int i = 0; i < 30; ++i) script += "step\n";
    RunResult r = Debug(dir, tool.Path(), "28l", std::string(" DEVICE SX28L\n") + kCounter, script, "--no-program");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("korvid: Link failed: no answer from Korvid on " + tool.Path() + ".\n"), std::string::npos)
        << r.err;
    const std::string ended = "korvid: the session ended at line ";
    const std::size_t at = r.err.find(ended);
    ASSERT_NE(at, std::string::npos) << r.err;
    const int line = std::atoi(r.err.c_str() + at + ended.size());
    EXPECT_GE(line, 1);
    EXPECT_LT(line, 30);
    EXPECT_NE(r.err.find("the rest was dropped"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace korvid
