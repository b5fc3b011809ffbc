// `korvid sim`: programs of known cycle counts leave exact edges in the
// waveform; stimulus pins and serial frames reach the program; its serial
// output is decoded; bad inputs stop it before anything runs.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/e2e/Process.h"

namespace korvid::test {
namespace {

std::string Korvid() { return test::BinaryPath("apps/korvid/korvid"); }
std::vector<std::string> FilesIn(const std::string& path);

RunResult Sim(const std::vector<std::string>& args) {
    std::vector<std::string> argv{Korvid(), "sim"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, {}, 60);
}

// A small reader of value change dumps, apart from the writer: wire names
// from $var, then (time, value) pairs per wire.
struct Waveform {
    std::string timescale, scope;
    std::map<std::string, std::vector<std::pair<std::uint64_t, char>>> changes;
    std::map<std::string, std::vector<std::pair<std::uint64_t, int>>> vectors;  // 8-bit registers
    bool ok = false;
};

Waveform ReadVcd(const std::string& text) {
    Waveform w;
    std::istringstream in(text);
    std::map<std::string, std::string> names;
    std::string tok;
    std::uint64_t now = 0;
    bool body = false;
    while (in >> tok) {
        if (!body) {
            if (tok == "$timescale") in >> w.timescale;
            if (tok == "$scope") in >> tok >> w.scope;
            if (tok == "$var") {
                std::string type, width, id, name;
                in >> type >> width >> id >> name;
                if (!(type == "wire" && width == "1") && !(type == "reg" && width == "8")) return w;
                names[id] = name;
            }
            if (tok == "$enddefinitions") body = true;
            continue;
        }
        if (tok[0] == '#') {
            const std::uint64_t t = std::stoull(tok.substr(1));
            if (t < now) return w;  // time must not go back
            now = t;
        } else if (tok[0] == '0' || tok[0] == '1') {
            auto it = names.find(tok.substr(1));
            if (it == names.end()) return w;
            w.changes[it->second].push_back({now, tok[0]});
        } else if (tok[0] == 'b') {
            std::string id;
            in >> id;
            auto it = names.find(id);
            if (it == names.end() || tok.size() != 9) return w;
            w.vectors[it->second].push_back({now, std::stoi(tok.substr(1), nullptr, 2)});
        } else if (tok[0] == '$') {
            continue;  // $dumpvars, $end
        } else {
            return w;
        }
    }
    w.ok = body;
    return w;
}

// Times of the changes to `level` after the initial value.
std::vector<std::uint64_t> Edges(const Waveform& w, const std::string& wire, char level) {
    std::vector<std::uint64_t> out;
    auto it = w.changes.find(wire);
    if (it == w.changes.end()) return out;
    for (std::size_t i = 1; i < it->second.size(); ++i)
        if (it->second[i].second == level) out.push_back(it->second[i].first);
    return out;
}

// The head of most programs here: the 28L in turbo mode with the option
// extension, starting at `start`.
const std::string kTurbo28 =
    "        DEVICE  SX28L, TURBO, STACKX_OPTIONX\n"
    "        RESET   start\n";

// SETB RB.0 / CLRB RB.0 / JMP: the reset jump and MOV !RB take the first
// cycles, then the pin rises once a loop.
std::string Toggler(bool turbo) {
    return std::string("        DEVICE  SX28L, ") + (turbo ? "TURBO, " : "") +
           "STACKX_OPTIONX\n"
           "        RESET   start\n"
           "        ORG     0\n"
           "start   MOV     !RB, #%1111_1110\n"
           "loop    SETB    RB.0\n"
           "        CLRB    RB.0\n"
           "        JMP     loop\n";
}

TEST(SimCommand, WaveformEdgesAreExactInTurboAndCompatibleTiming) {
    struct Case {
        bool turbo;
        std::uint64_t firstRise, period, high;  // ps at 50 MHz (20 ns a clock)
    } cases[] = {
        // turbo: reset jump 3 cycles, MOV W + MOV !RB 2; SETB ends in cycle 6; loop 1 + 1 + 3.
        {true, 6 * 20'000, 5 * 20'000, 20'000},
        // compatible: 4 clocks a cycle, jumps 2 cycles; SETB ends in cycle 5; loop 4 cycles.
        {false, 5 * 80'000, 4 * 80'000, 80'000},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteText(dir.File("t.src"), Toggler(c.turbo));
        const RunResult r = Sim({dir.File("t.src"), "--cycles", "1000", "--vcd", dir.File("t.vcd")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("cycles 1000  time " + std::string(c.turbo ? "20.000000" : "80.000000") + " us"),
                  std::string::npos)
            << r.out;
        const Waveform w = ReadVcd(ReadText(dir.File("t.vcd")));
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(w.timescale, "1ps");
        EXPECT_EQ(w.scope, "SX28L");
        EXPECT_EQ(w.changes.count("RA3"), 1u);
        EXPECT_EQ(w.changes.count("RA4"), 0u) << "RA has four pins on the 28 family";
        const auto rises = Edges(w, "RB0", '1');
        const auto falls = Edges(w, "RB0", '0');
        ASSERT_GE(rises.size(), 10u);
        ASSERT_GE(falls.size(), 10u);
        for (std::size_t k = 0; k < 10; ++k) {
            EXPECT_EQ(rises[k], c.firstRise + k * c.period) << k;
            EXPECT_EQ(falls[k], c.firstRise + k * c.period + c.high) << k;
        }
        EXPECT_TRUE(Edges(w, "RB1", '1').empty());
        if (test::RunChild({"/bin/sh", "-c", "command -v vcd2fst"}).exitCode == 0) {
            const RunResult f = RunChild({"/bin/sh", "-c", "vcd2fst \"$0\" \"$1\"", dir.File("t.vcd"), dir.File("t.fst")});
            EXPECT_EQ(f.exitCode, 0) << f.err << f.out;
            EXPECT_GT(ReadText(dir.File("t.fst")).size(), 100u);
        }
    }
}

// INC count / NOP / JMP: count goes up once every 5 cycles (100 ns), first
// at the end of cycle 4; W stays 0.
TEST(SimCommand, WatchedRegistersAreVectorsWithExactTimes) {
    TempDir dir;
    WriteText(dir.File("cnt.src"), kTurbo28 +
              "count   EQU     08h\n"
              "        ORG     0\n"
              "start   CLR     count\n"
              "loop    INC     count\n"
              "        NOP\n"
              "        JMP     loop\n");
    const RunResult r =
        Sim({dir.File("cnt.src"), "--cycles", "2000", "--vcd", dir.File("c.vcd"), "--vcd-reg", "count,w,09h"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Waveform w = ReadVcd(ReadText(dir.File("c.vcd")));
    ASSERT_TRUE(w.ok);
    const auto& count = w.vectors.at("count");
    ASSERT_EQ(count.size(), 1u + 400u);  // the start value, then 1 .. 400 (the last at cycle 2000)
    for (std::size_t k = 1; k < count.size(); ++k) {
        EXPECT_EQ(count[k].first, 100'000u * k);
        EXPECT_EQ(count[k].second, static_cast<int>(k & 0xFF));
    }
    EXPECT_EQ(w.vectors.at("w").size(), 1u);
    EXPECT_EQ(w.vectors.at("09h").size(), 1u);
    EXPECT_EQ(Sim({dir.File("cnt.src"), "--cycles", "20", "--vcd-reg", "count"}).exitCode, 2) << "needs --vcd";
    EXPECT_EQ(Sim({dir.File("cnt.src"), "--cycles", "20", "--vcd", dir.File("x.vcd"), "--vcd-reg", "nothing"}).exitCode,
              1);
}

// --gtkw: a viewer save file that names every wire of the waveform, in the
// dump's order, grouped by port, the registers last; the dump by its full path.
TEST(SimCommand, GtkwSaveFileNamesEveryWaveOfTheDumpGroupedByPort) {
    TempDir dir;
    WriteText(dir.File("cnt.src"), kTurbo28 +
              "count   EQU     08h\n"
              "        ORG     0\nstart   INC     count\n        JMP     start\n");
    const RunResult r = Sim({dir.File("cnt.src"), "--cycles", "100", "--vcd", dir.File("c.vcd"), "--vcd-reg",
                             "count,W", "--gtkw", dir.File("c.gtkw")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> dumped;
    std::istringstream vcd(ReadText(dir.File("c.vcd")));
    for (std::string line; std::getline(vcd, line);) {
        std::istringstream words(line);
        std::string var, type, width, id, name;
        if (words >> var >> type >> width >> id >> name && var == "$var")
            dumped.push_back("SX28L." + name + (width == "8" ? "[7:0]" : ""));
    }
    std::vector<std::string> shown, groups;
    std::string dumpfile;
    std::istringstream gtkw(ReadText(dir.File("c.gtkw")));
    int depth = 0;
    for (std::string line; std::getline(gtkw, line);) {
        if (line.rfind("[dumpfile] ", 0) == 0) dumpfile = line.substr(11);
        else if (line == "@800200") ++depth;
        else if (line == "@1000200") --depth;
        else if (line[0] == '-' && depth > 0) groups.push_back(line.substr(1));
        else if (line[0] != '[' && line[0] != '@' && line[0] != '-') {
            EXPECT_EQ(depth, 1) << line << " outside a group";
            shown.push_back(line);
        }
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(dumpfile, "\"" + dir.File("c.vcd") + "\"");
    EXPECT_EQ(shown, dumped);
    ASSERT_EQ(dumped.size(), 4u + 8u + 8u + 2u);
    EXPECT_EQ(groups, (std::vector<std::string>{"RA", "RB", "RC", "registers"}));
    EXPECT_EQ(Sim({dir.File("cnt.src"), "--cycles", "20", "--gtkw", dir.File("x.gtkw")}).exitCode, 2) << "needs --vcd";

    // GTKWave itself opens it (on a virtual screen) and shows those waves in
    // that order, from the dump the file names.
    WriteText(dir.File("ask.tcl"), "puts \"SHOWN [gtkwave::getDisplayedSignals]\"\n"
                                   "puts \"DUMP [gtkwave::getDumpFileName]\"\n"
                                   "gtkwave::/File/Quit\n");
    const RunResult g = RunChild({"/usr/bin/xvfb-run", "-a", "gtkwave", "-S", dir.File("ask.tcl"), dir.File("c.gtkw")}, {}, 120);
    std::string expected = "SHOWN";
    for (const std::string& name : dumped) expected += " " + name;
    EXPECT_NE(g.out.find(expected + " \n"), std::string::npos) << g.out << g.err;
    EXPECT_NE(g.out.find("DUMP " + dir.File("c.vcd") + "\n"), std::string::npos) << g.out;
}

// W and M have register numbers of their own beyond the file; the waveform
// follows both by name, whatever case they are written in.
TEST(SimCommand, WAndMAreWatchedByName) {
    TempDir dir;
    WriteText(dir.File("wm.src"), kTurbo28 +
              "        ORG     0\n"
              "start   MOV     W,#3Ah\n"
              "        MOV     M,#0Ah\n"
              "loop    JMP     loop\n");
    const RunResult r = Sim({dir.File("wm.src"), "--cycles", "50", "--vcd", dir.File("wm.vcd"), "--vcd-reg", "W,m"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Waveform w = ReadVcd(ReadText(dir.File("wm.vcd")));
    ASSERT_TRUE(w.ok);
    ASSERT_FALSE(w.vectors.at("W").empty());
    ASSERT_FALSE(w.vectors.at("m").empty());
    EXPECT_EQ(w.vectors.at("W").back().second, 0x3A);
    EXPECT_EQ(w.vectors.at("m").back().second, 0x0A);
}

// Copies RB.1 to RB.0 in a loop of 6 cycles: the copy follows each
// stimulus edge within a loop (plus any input synchroniser delay).
TEST(SimCommand, StimulusEdgeReachesAProgramThatCopiesAPin) {
    TempDir dir;
    WriteText(dir.File("copy.src"), kTurbo28 +
              "        ORG     0\n"
              "start   MOV     !RB, #%1111_1110\n"
              "loop    SNB     RB.1\n"
              "        SETB    RB.0\n"
              "        SB      RB.1\n"
              "        CLRB    RB.0\n"
              "        JMP     loop\n");
    WriteText(dir.File("in.stim"), "# a pulse on RB.1\nat 1us RB.1 = 1\nat 2000ns RB.1 = 0   # back low\n");
    const RunResult r = Sim({dir.File("copy.src"), "--for", "3us", "--stimulus", dir.File("in.stim"), "--vcd",
                             dir.File("copy.vcd")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Waveform w = ReadVcd(ReadText(dir.File("copy.vcd")));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(Edges(w, "RB1", '1'), std::vector<std::uint64_t>{1'000'000});
    EXPECT_EQ(Edges(w, "RB1", '0'), std::vector<std::uint64_t>{2'000'000});
    const auto rise = Edges(w, "RB0", '1'), fall = Edges(w, "RB0", '0');
    ASSERT_EQ(rise.size(), 1u);
    ASSERT_EQ(fall.size(), 1u);
    EXPECT_GT(rise[0], 1'000'000u);
    EXPECT_LE(rise[0], 1'000'000u + 10 * 20'000);
    EXPECT_GT(fall[0], 2'000'000u);
    EXPECT_LE(fall[0], 2'000'000u + 10 * 20'000);
}

// A stimulus with a line that does not read and a clock too fast for the
// run: both lines are reported at once, in line order, and nothing runs.
TEST(SimCommand, StimulusErrorsOfBothKindsComeInOneRun) {
    TempDir dir;
    WriteText(dir.File("p.src"), kTurbo28 + "        ORG     0\nstart   JMP     start\n");
    WriteText(dir.File("bad.stim"), "uart RB.1 100000000 at 0 \"x\"\nat 1us RB.1 = 5\nclock RB.2 period 10ns\n");
    const RunResult r = Sim({dir.File("p.src"), "--for", "1us", "--stimulus", dir.File("bad.stim")});
    EXPECT_EQ(r.exitCode, 1);
    const std::string f = dir.File("bad.stim") + ":";
    EXPECT_EQ(r.err, f + "1:11: error: at 100000000 baud a bit is shorter than an instruction cycle\n" + f +
                         "2:15: error: a pin takes 0, 1 or z, not 5\n" + f +
                         "3:19: error: the period is shorter than two instruction cycles (40000 ps at this clock)\n");
    EXPECT_EQ(r.out, "");
}

// The chip sleeps with a wake-up on RB.0's falling edge; the stimulus
// brings it at 50 us, and the program then raises RB.1: 10 cycles of
// reset jump and start-up code after the edge (plus any latency of the
// edge detector).
TEST(SimCommand, PortBEdgeFromTheStimulusWakesTheChipFromSleep) {
    TempDir dir;
    WriteText(dir.File("wake.src"), kTurbo28 +
              "        ORG     0\n"
              "start   SB      STATUS.3\n"  // PD is 0 after the wake-up
              "        JMP     woke\n"
              "        CLRB    RB.1\n"
              "        MOV     !RB, #%1111_1101\n"
              "        MOV     M, #0Bh\n"
              "        MOV     !RB, #%1111_1110\n"  // WKEN_B: RB.0
              "        SLEEP\n"
              "woke    SETB    RB.1\n"
              "        MOV     !RB, #%1111_1101\n"
              "done    JMP     done\n");
    WriteText(dir.File("wake.stim"), "at 0 RB.0 = 1\nat 50us RB.0 = 0\n");
    const RunResult r = Sim({dir.File("wake.src"), "--stimulus", dir.File("wake.stim"), "--for", "100us", "--vcd",
                             dir.File("w.vcd")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("[TO]"), std::string::npos) << "PD clear after the wake-up\n" << r.out;
    const Waveform w = ReadVcd(ReadText(dir.File("w.vcd")));
    const auto up = Edges(w, "RB1", '1');
    ASSERT_EQ(up.size(), 1u);
    EXPECT_GE(up[0], 50'000'000u + 10 * 20'000);
    EXPECT_LE(up[0], 50'000'000u + 20 * 20'000);
}

// A bit-banged receiver at 9600 baud, 4 MHz: waits for the start bit,
// samples eight bits in their middles into 0Ah and reaches its BREAK.
TEST(SimCommand, StimulusUartByteIsReceivedByTheProgram) {
    TempDir dir;
    WriteText(dir.File("rx.src"), kTurbo28 +
              "        FREQ    4_000_000\n"
              "cnt     EQU     08h\n"
              "bits    EQU     09h\n"
              "data    EQU     0Ah\n"
              "        ORG     0\n"
              "start   MOV     !RB, #$FF\n"
              "wait    SNB     RB.7\n"
              "        JMP     wait\n"
              "        MOV     cnt, #150\n"
              ":d1     DJNZ    cnt, :d1\n"
              "        MOV     bits, #8\n"
              "next    CLC\n"
              "        SNB     RB.7\n"
              "        STC\n"
              "        RR      data\n"
              "        MOV     cnt, #101\n"
              ":d2     DJNZ    cnt, :d2\n"
              "        DJNZ    bits, next\n"
              "        BREAK\n"
              "done    JMP     done\n");
    for (const char* byte : {"A", "\\xA5"}) {
        WriteText(dir.File("rx.stim"), std::string("uart RB.7 9600 at 300us \"") + byte + "\"\n");
        const RunResult r = Sim({dir.File("rx.src"), "--stimulus", dir.File("rx.stim"), "--until-break"});
        ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
        EXPECT_NE(r.out.find(std::string(" 0A:") + (byte[0] == 'A' ? "41" : "A5")), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("stop break"), std::string::npos) << r.out;
    }
}

TEST(SimCommand, UartOutDecodesTheProgramsSerialText) {
    TempDir dir;
    WriteText(dir.File("tx.src"), kTurbo28 +
              "        FREQ    4_000_000\n"
              "cnt     EQU     08h\n"
              "bits    EQU     09h\n"
              "data    EQU     0Ah\n"
              "        ORG     0\n"
              "start   SETB    RB.6\n"
              "        MOV     !RB, #%1011_1111\n"
              "        MOV     W, #'O'\n"
              "        CALL    tx\n"
              "        MOV     W, #'K'\n"
              "        CALL    tx\n"
              "        MOV     W, #10\n"
              "        CALL    tx\n"
              "        CLRB    RB.6\n"   // a break: the line held low
              "        BREAK\n"
              "done    JMP     done\n"
              "tx      MOV     data, W\n"
              "        CLRB    RB.6\n"
              "        CALL    bitdelay\n"
              "        MOV     bits, #8\n"
              ":loop   SNB     data.0\n"
              "        SETB    RB.6\n"
              "        SB      data.0\n"
              "        CLRB    RB.6\n"
              "        RR      data\n"
              "        CALL    bitdelay\n"
              "        DJNZ    bits, :loop\n"
              "        SETB    RB.6\n"
              "        CALL    bitdelay\n"
              "        RET\n"
              "bitdelay MOV    cnt, #99\n"
              ":d      DJNZ    cnt, :d\n"
              "        RET\n");
    const RunResult r = Sim({dir.File("tx.src"), "--uart-out", "rb.6:9600", "--for", "5ms"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("OK\n", 0), 0u) << r.out;
    EXPECT_NE(r.err.find("korvid: uart RB.6: framing error at "), std::string::npos) << r.err;
    const RunResult wrong = Sim({dir.File("tx.src"), "--uart-out", "RB.6:19200", "--for", "5ms"});
    EXPECT_EQ(wrong.out.rfind("OK\n", 0), std::string::npos) << "twice the baud rate decodes other bytes";
}

// korvid-sim drives the same schedule in a debug session and leaves a
// waveform of it when it ends.
TEST(SimCommand, SimulatedToolDrivesTheStimulusAndLeavesAWaveform) {
    TempDir dir;
    // RB.0 follows RB.1 up and down once, then the program stops at finish.
    WriteText(dir.File("follow.src"), kTurbo28 +
              "        ORG     0\n"
              "start   MOV     !RB, #%1111_1110\n"
              "wait1   SB      RB.1\n"
              "        JMP     wait1\n"
              "        SETB    RB.0\n"
              "wait0   SNB     RB.1\n"
              "        JMP     wait0\n"
              "        CLRB    RB.0\n"
              "finish  JMP     finish\n");
    WriteText(dir.File("in.stim"), "at 10us RB.1 = 1\nat 20us RB.1 = 0\n");
    std::string log;
    {
        test::SimTool tool({"--stimulus", dir.File("in.stim"), "--vcd", dir.File("session.vcd")});
        const std::string command = "(echo break finish; echo run; echo quit) | '" + Korvid() + "' debug '" +
                                    dir.File("follow.src") + "' --port '" + tool.Path() + "'";
        const RunResult r = RunChild({"/bin/sh", "-c", command}, {}, 60);
        ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
        EXPECT_NE(r.out.find("finish  JMP"), std::string::npos) << r.out;
        EXPECT_FALSE(ReadText(dir.File("session.vcd")).size()) << "written when the tool ends";
        log = tool.StopAndLog();
    }
    const Waveform w = ReadVcd(ReadText(dir.File("session.vcd")));
    ASSERT_TRUE(w.ok) << log;
    const auto in = Edges(w, "RB1", '1'), out = Edges(w, "RB0", '1');
    ASSERT_EQ(in.size(), 1u);
    ASSERT_EQ(Edges(w, "RB1", '0').size(), 1u);
    EXPECT_EQ(Edges(w, "RB1", '0')[0] - in[0], 10'000'000u) << "10 us apart at 50 MHz";
    ASSERT_EQ(out.size(), 1u);
    EXPECT_GT(out[0], in[0]);
    EXPECT_LE(out[0], in[0] + 10 * 20'000);
    ASSERT_EQ(Edges(w, "RB0", '0').size(), 1u);
    EXPECT_LE(Edges(w, "RB0", '0')[0], Edges(w, "RB1", '0')[0] + 10 * 20'000);

    // A stimulus with an error: the tool does not start.
    WriteText(dir.File("bad.stim"), "at 1us RB.1 = 5\n");
    const RunResult bad = RunChild({test::BinaryPath("apps/korvid-sim/korvid-sim"), "--stimulus", dir.File("bad.stim")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("bad.stim:1:15: error: "), std::string::npos) << bad.err;
}

std::string Example(const std::string& name) { return std::string(KORVID_SOURCE_DIR) + "/examples/" + name; }

// The button is pressed at 2.3 ms after its bounce and released at
// 10.15 ms: the LED follows each once, 20 samples of 20 us later.
TEST(SimExamples, ButtonWithDebounceLightsTheLedOnceAPress) {
    TempDir dir;
    const RunResult r = Sim({Example("button_led.src"), "--stimulus", Example("button_led.stim"), "--for", "15ms",
                             "--vcd", dir.File("b.vcd")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Waveform w = ReadVcd(ReadText(dir.File("b.vcd")));
    ASSERT_TRUE(w.ok);
    const auto on = Edges(w, "RB0", '1'), off = Edges(w, "RB0", '0');
    ASSERT_EQ(on.size(), 1u) << "bounce is ignored";
    ASSERT_EQ(off.size(), 1u);
    EXPECT_GT(on[0], 2'300'000'000u + 380'000'000u);
    EXPECT_LT(on[0], 2'300'000'000u + 480'000'000u);
    EXPECT_GT(off[0], 10'150'000'000u + 380'000'000u);
    EXPECT_LT(off[0], 10'150'000'000u + 480'000'000u);
}

TEST(SimExamples, SerialTransmitterTextAppearsWithUartOut) {
    const RunResult r = Sim({Example("serial_tx.src"), "--uart-out", "RB.6:9600", "--until-break"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Hello from the SX\r\n", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
}

// Timer T1 in PWM mode on RB.6: 300 cycles low and 100 high until RB.0
// rises at 100 us, then 100 low and 300 high.
TEST(SimExamples, Sx52TimerPwmDutyFollowsTheStimulus) {
    TempDir dir;
    const RunResult r = Sim({"--family", "52", Example("sx52_pwm.src"), "--stimulus", Example("sx52_pwm.stim"),
                             "--for", "200us", "--vcd", dir.File("p.vcd")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Waveform w = ReadVcd(ReadText(dir.File("p.vcd")));
    const auto rise = Edges(w, "RB6", '1'), fall = Edges(w, "RB6", '0');
    ASSERT_GE(rise.size(), 20u);
    auto highTime = [&](std::uint64_t after) -> std::uint64_t {
        for (std::size_t i = 0; i < rise.size(); ++i)
            if (rise[i] > after)
                for (std::uint64_t f : fall)
                    if (f > rise[i]) return f - rise[i];
        return 0;
    };
    EXPECT_EQ(highTime(20'000'000), 100 * 20'000u);
    EXPECT_EQ(highTime(150'000'000), 300 * 20'000u);
}

// A long run stopped by a signal prints its state, keeps the waveform up
// to there (complete, no temporary file left) and exits 1.
TEST(SimCommand, SignalEndsALongRunWithAWholeWaveform) {
    TempDir dir;
    // RB.0 toggles about every 1,030 cycles, keeping the dump small.
    WriteText(dir.File("t.src"), kTurbo28 +
              "        ORG     0\n"
              "start   MOV     !RB, #%1111_1110\n"
              "        MOV     W, #1\n"
              "loop    XOR     RB, W\n"
              "        CLR     08h\n"
              ":wait   DJNZ    08h, :wait\n"
              "        JMP     loop\n");
    const std::string command = "'" + Korvid() + "' sim '" + dir.File("t.src") + "' --for 1000s --vcd '" +
                                dir.File("t.vcd") + "' > '" + dir.File("out") + "' 2> '" + dir.File("err") +
                                "' & p=$!; " + SignalWhenCaught("p", SIGTERM, 0.5) + "; wait $p; echo $?";
    const RunResult r = RunChild({"/bin/sh", "-c", command}, {}, 60);
    EXPECT_EQ(r.out, "1\n");
    EXPECT_NE(ReadText(dir.File("out")).find("stop interrupted"), std::string::npos);
    EXPECT_NE(ReadText(dir.File("err")).find("interrupted"), std::string::npos);
    const Waveform w = ReadVcd(ReadText(dir.File("t.vcd")));
    ASSERT_TRUE(w.ok);
    EXPECT_GT(Edges(w, "RB0", '1').size(), 100u);
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"err", "out", "t.src", "t.vcd"}));
}

// Every stop signal ends the run the same way: the state so far, a whole
// waveform, no temporary file. During the stimulus's parsing (a 50 MB file)
// it ends before anything runs, and so while reading a FIFO whose writer
// stays.
TEST(SimCommand, StopSignalsEndEachStageCleanly) {
    TempDir dir;
    WriteText(dir.File("t.src"), Toggler(true));
    std::string big;
    big.reserve(56u << 20);
    for (int i = 0; big.size() < (50u << 20); ++i) big += "at " + std::to_string(3 * i) + "c RB.1 = " + (i & 1 ? "1\n" : "0\n");
    WriteText(dir.File("big.stim"), big);
    enum Stage { Run, Parse, Pipe };
    const struct {
        const char* signal;
        int number;
        Stage stage;
    } cases[] = {{"INT", SIGINT, Parse}, {"INT", SIGINT, Run},   {"HUP", SIGHUP, Run},
                 {"PIPE", SIGPIPE, Run}, {"TERM", SIGTERM, Parse}, {"INT", SIGINT, Pipe}};
    for (const auto& c : cases) {
        const bool parsing = c.stage != Run;
        const std::string stimulus = c.stage == Parse  ? " --stimulus '" + dir.File("big.stim") + "'"
                                     : c.stage == Pipe ? " --stimulus '" + dir.File("fifo") + "'"
                                                       : "";
        const std::string fifo = "mkfifo '" + dir.File("fifo") + "'; exec 3<>'" + dir.File("fifo") + "'; ";
        const std::string command = std::string(c.stage == Pipe ? fifo : "") + "'" + Korvid() + "' sim '" + dir.File("t.src") + "' --for 1000s --vcd '" +
                                    dir.File("t.vcd") + "'" + stimulus + " > '" + dir.File("out") + "' 2> '" +
                                    dir.File("err") + "' & p=$!; " + SignalWhenCaught("p", c.number, parsing ? 0.1 : 0.3) +
                                    "; wait $p; echo $?; rm -f '" + dir.File("fifo") + "'";
        const RunResult r = RunChild({"/bin/sh", "-c", command}, {}, 60);
        const std::string out = ReadText(dir.File("out")), err = ReadText(dir.File("err"));
        EXPECT_EQ(r.out, "1\n") << c.signal << ": " << err;
        if (parsing) {
            EXPECT_NE(err.find("interrupted while"), std::string::npos) << c.signal << ": " << err;
            EXPECT_NE(err.find("the stimulus"), std::string::npos) << err;
            EXPECT_EQ(out, "") << "nothing ran";
            EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"big.stim", "err", "out", "t.src"}));
        } else {
            EXPECT_NE(out.find("stop interrupted"), std::string::npos) << c.signal << ": " << out;
            EXPECT_TRUE(ReadVcd(ReadText(dir.File("t.vcd"))).ok) << c.signal;
            EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"big.stim", "err", "out", "t.src", "t.vcd"}));
        }
        ::unlink(dir.File("t.vcd").c_str());
    }
}

// The largest regular file process `pid` has open in `folder` (the dump).
long long OpenFileSizeIn(pid_t pid, const std::string& folder) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
    long long size = -1;
    for (const std::string& n : FilesIn(fds)) {
        char target[4096] = {};
        struct stat st {};
        if (::readlink((fds + n).c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).rfind(folder + "/", 0) == 0 && ::stat((fds + n).c_str(), &st) == 0)
            size = std::max<long long>(size, st.st_size);
    }
    return size;
}

// kill -9 while the waveform grows: the folder is as it was, with no
// temporary dump and the old waveform untouched, and while it ran nothing
// new was named in it. Run as an ordinary user, who cannot name a file by
// its descriptor alone.
TEST(SimCommand, KilledRunLeavesTheFolderAsItWas) {
    for (const bool hadOld : {false, true}) {
        SCOPED_TRACE(hadOld ? "old waveform" : "no waveform");
        TempDir dir;
        dir.GiveToOrdinaryUser();
        WriteText(dir.File("t.src"), Toggler(true));
        if (hadOld) {
            WriteText(dir.File("out.vcd"), "old waveform\n");
            ::chmod(dir.File("out.vcd").c_str(), 0604);
        }
        const std::vector<std::string> before = FilesIn(dir.Path());
        test::Background run(
            test::AsOrdinaryUser({Korvid(), "sim", dir.File("t.src"), "--for", "1000s", "--vcd", dir.File("out.vcd")}));
        ASSERT_TRUE(run.WaitUntil([&] { return OpenFileSizeIn(run.Pid(), dir.Path()) > 100000; }, 30))
            << "the dump did not grow";
        EXPECT_EQ(FilesIn(dir.Path()), before);
        run.Signal(SIGKILL);
        run.Finish(10);
        EXPECT_EQ(run.TermSignal(), SIGKILL);
        EXPECT_EQ(FilesIn(dir.Path()), before);
        if (hadOld) {
            EXPECT_EQ(ReadText(dir.File("out.vcd")), "old waveform\n");
            struct stat st {};
            ASSERT_EQ(::stat(dir.File("out.vcd").c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0604u);
        }
    }
}

// A waveform stops at its size limit as a valid dump, and the run with it;
// a write that fails (a full file system, /dev/full) stops the run at once
// and leaves no part of the dump.
TEST(SimCommand, WaveformLimitAndFullDiskStopTheRun) {
    TempDir dir;
    WriteText(dir.File("t.src"), Toggler(true));
    RunResult r = Sim({dir.File("t.src"), "--for", "1000s", "--vcd", dir.File("t.vcd"), "--vcd-limit", "64K"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.out.find("stop waveform"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("t.vcd: the waveform reached its size limit of 65536 bytes at"), std::string::npos) << r.err;
    const std::string dump = ReadText(dir.File("t.vcd"));
    EXPECT_LE(dump.size(), 65536u);
    EXPECT_GT(dump.size(), 60000u);
    const Waveform w = ReadVcd(dump);
    ASSERT_TRUE(w.ok);
    EXPECT_GT(Edges(w, "RB0", '1').size(), 1000u);
    EXPECT_EQ(dump.substr(dump.rfind('\n', dump.size() - 2) + 1, 1), "#") << "ends on a time stamp";
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"t.src", "t.vcd"}));

    std::vector<std::string> full{"/dev/full"};
    const std::string mount = dir.File("small");
    ::mkdir(mount.c_str(), 0755);
    const bool mounted = RunChild({"/bin/mount", "-t", "tmpfs", "-o", "size=128k", "tmpfs", mount}).exitCode == 0;
    if (mounted) full.push_back(mount + "/t.vcd");
    for (const std::string& target : full) {
        r = Sim({dir.File("t.src"), "--for", "1000s", "--vcd", target});
        EXPECT_EQ(r.exitCode, 1) << target << ": " << r.err;
        EXPECT_NE(r.out.find("stop waveform"), std::string::npos) << target << ": " << r.out;
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    }
    if (mounted) {
        EXPECT_EQ(FilesIn(mount), std::vector<std::string>{}) << "no part of the dump is left";
        RunChild({"/bin/umount", mount});
    }
    EXPECT_TRUE(mounted || ::geteuid() != 0) << "root makes a small file system for the full-disk case";
}

// The simulated tool follows the clash rule of every output.
TEST(SimCommand, SimulatedToolRefusesAWaveformOverItsStimulus) {
    TempDir dir;
    WriteText(dir.File("s.stim"), "at 1us RB.0 = 1\n");
    const RunResult r =
        RunChild({test::SimPath(), "--stimulus", dir.File("s.stim"), "--vcd", dir.File("s.stim")}, {}, 20);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--vcd " + dir.File("s.stim") + " is the input file"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(dir.File("s.stim")), "at 1us RB.0 = 1\n");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"s.stim"});
}

// Replacing a waveform keeps what the user set up: a link stays a link to
// the new file, and the old file's permissions stay.
TEST(SimCommand, WaveformReplacesALinksTargetAndKeepsItsPermissions) {
    TempDir dir;
    WriteText(dir.File("t.src"), Toggler(true));
    WriteText(dir.File("real.vcd"), "old");
    ASSERT_EQ(::chmod(dir.File("real.vcd").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.vcd", dir.File("link.vcd").c_str()), 0);
    const RunResult r = Sim({dir.File("t.src"), "--cycles", "100", "--vcd", dir.File("link.vcd")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link.vcd").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(dir.File("real.vcd").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(ReadVcd(ReadText(dir.File("real.vcd"))).ok);
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"link.vcd", "real.vcd", "t.src"}));
}

std::vector<std::string> FilesIn(const std::string& path) {
    std::vector<std::string> out;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' || (e->d_name[1] != '\0' && e->d_name[1] != '.')) out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SimCommand, BadStimulusOrWaveformPathStopsBeforeRunningAndWritesNothing) {
    TempDir dir;
    WriteText(dir.File("t.src"), Toggler(true));
    WriteText(dir.File("old.vcd"), "keep");
    WriteText(dir.File("bad.stim"), "at 1us RB.0 = 1\nat 2us RB.9 = 1\nclock RB.1 period 1us duty 5\n");
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::vector<std::string> err;
    } cases[] = {
        {{"--stimulus", dir.File("missing.stim"), "--vcd", dir.File("old.vcd")}, 1, {"cannot read", "missing.stim"}},
        {{"--stimulus", dir.File("bad.stim"), "--vcd", dir.File("old.vcd")},
         1,
         {dir.File("bad.stim") + ":2:8: error: 'RB.9' is not a pin", dir.File("bad.stim") + ":3:28: error: a duty cycle"}},
        {{"--vcd", dir.File("no/such/folder.vcd")}, 1, {"cannot write", "folder.vcd"}},
        {{"--vcd", dir.Path()}, 1, {"cannot write"}},
        {{"--vcd", dir.File("t.src")}, 2, {"is the input file"}},
        {{"--vcd", ""}, 2, {"--vcd takes a file name"}},
        {{"--vcd", dir.File("new.vcd"), "--vcd-limit", "100"}, 1, {"new.vcd", "leaves no room"}},
        {{"--vcd", dir.File("new.vcd"), "--vcd-limit", "ten"}, 2, {"--vcd-limit takes a size"}},
        {{"--vcd-limit", "1G"}, 2, {"--vcd-limit needs --vcd"}},
        {{"--uart-out", "RB.6"}, 2, {"PIN:BAUD"}},
        {{"--uart-out", "RD.1:9600"}, 1, {"no pin RD.1"}},
        {{"--until-break"}, 1, {"no BREAK"}},
        {{"--clock", "fast"}, 2, {"--clock"}},
        {{"--for", "10"}, 2, {"needs a unit"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{dir.File("t.src"), "--cycles", "100"};
        if (c.args[0] == "--until-break" || c.args[0] == "--for") args.pop_back(), args.pop_back();
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = Sim(args);
        EXPECT_EQ(r.exitCode, c.exit) << c.args[0] << ": " << r.err;
        for (const std::string& e : c.err) EXPECT_NE(r.err.find(e), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("cycles "), std::string::npos) << "nothing ran: " << r.out;
        EXPECT_EQ(ReadText(dir.File("old.vcd")), "keep");
        EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"bad.stim", "old.vcd", "t.src"}));
    }
}

}  // namespace
}  // namespace korvid::test
