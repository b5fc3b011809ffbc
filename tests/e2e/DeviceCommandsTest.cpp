// The device commands of `korvid` against korvid-sim on a real
// pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "core/asm/AssemblyState.h"
#include "core/image/HexFile.h"
#include "core/link/Programming.h"
#include "core/link/VerifyImage.h"
#include "tests/e2e/Process.h"
#include "tests/support/ChipCases.h"

namespace korvid::test {
namespace {

std::string Korvid() { return test::KorvidPath(); }

// An image with a pattern in its first `words` program words, an ID and a
// configuration of the family (its unused bits set, as in every real
// image); saved as an SXH file.
std::unique_ptr<AssemblyState> MakeImage(const Family& f, int words, unsigned salt = 0) {
    auto s = std::make_unique<AssemblyState>(f);
    Image& c = s->ChipImage;
    for (int i = 0; i < words; ++i) c[std::size_t(i)] = std::uint16_t(kDataFlag | ((i * 7 + 3 + salt) & 0xFFF));
    const char* id = "E2ETEST!";
    for (int i = 0; i < 8; ++i) {
        c[std::size_t(kIdBase + 2 * i)] = std::uint16_t(0x0FF0 | (id[i] >> 4));
        c[std::size_t(kIdBase + 2 * i + 1)] = std::uint16_t(0x0FF0 | (id[i] & 0xF));
    }
    if (f.is52()) {
        c[kFuseIndex] = 0x0FE1;
        c[kExtFuseIndex] = 0x0FDE;
    } else {
        c[kFuseIndex] = 0x0F3B;
        c[kExtFuseIndex] = std::uint16_t(0x0BFC | (words == 512 ? 0 : words == 1024 ? 1 : 2));
    }
    return s;
}

std::string SaveImage(AssemblyState& s, const std::string& path) {
    std::vector<char> buffer(kDefaultListCapacity);
    s.ListText = buffer.data();
    s.ListCapacity = kDefaultListCapacity;
    std::string message;
    EXPECT_TRUE(SaveHexFile(s, path, message)) << message;
    s.ListText = nullptr;
    return path;
}

bool LoadImage(AssemblyState& s, const std::string& path) {
    std::vector<char> buffer(kDefaultListCapacity);
    s.ListText = buffer.data();
    s.ListCapacity = kDefaultListCapacity;
    std::string message;
    bool ok = LoadHexFile(s, path, message) && s.ErrorFlag == 0;
    s.ListText = nullptr;
    return ok;
}

TEST(DeviceCommands, ProgramThenReadBackEqual) {
    for (const ChipSize& c : kChipSizes) {
        SCOPED_TRACE(std::string(c.family->title) + " " + std::to_string(c.words));
        std::string fam(c.family->name);
        SimTool sim({"--family", fam});
        ASSERT_FALSE(sim.Path().empty());
        TempDir dir;
        auto image = MakeImage(*c.family, c.words);
        std::string in = SaveImage(*image, dir.File("in.sxh"));

        RunResult p = sim.Korvid({"program", in, "--family", fam});
        ASSERT_EQ(p.exitCode, 0) << p.err;
        RunResult r = sim.Korvid({"read", "-o", dir.File("out.sxh"), "--family", fam});
        ASSERT_EQ(r.exitCode, 0) << r.err;

        auto back = std::make_unique<AssemblyState>(*c.family);
        ASSERT_TRUE(LoadImage(*back, dir.File("out.sxh")));
        const Image& sent = image->ChipImage;
        const Image& got = back->DeviceImage;
        for (int i = 0; i < c.words; ++i) ASSERT_EQ(got[std::size_t(i)] & 0xFFF, sent[std::size_t(i)] & 0xFFF) << i;
        for (int i = 0; i < kIdWords; ++i) EXPECT_EQ(got[std::size_t(kIdBase + i)] & 0xFFF, sent[std::size_t(kIdBase + i)] & 0xFFF);
        EXPECT_EQ(got[kFuseIndex] & 0xFFF, FuseToProgram(*c.family, sent[kFuseIndex]));
        EXPECT_EQ(got[kExtFuseIndex] & 0xFFF, ExtFuseToProgram(*c.family, sent[kExtFuseIndex], 7));

        RunResult v = sim.Korvid({"verify", in, "--family", fam});
        EXPECT_EQ(v.exitCode, 0) << v.err;
        EXPECT_EQ(v.out, "Device verified OK\n");

        // Read into the shell's own output: what it wrote before stays.
        const RunResult shell = RunChild({"/bin/sh", "-c", "echo old > '" + dir.File("log") + "' && '" + Korvid() +
                                                               "' read -o /dev/stdout --family " + fam + " --port '" +
                                                               sim.Path() + "' >> '" + dir.File("log") + "'"});
        EXPECT_EQ(shell.exitCode, 0) << shell.err;
        EXPECT_EQ(test::ReadText(dir.File("log")), "old\n" + test::ReadText(dir.File("out.sxh")));
    }
}

// Neither an image without program words nor an output on the tool's own
// line reaches the tool: the chip keeps its program and the line stays clean.
TEST(DeviceCommands, EmptyImageAndOutputOnThePortAreRefusedBeforeTheTool) {
    SimTool sim({});
    TempDir dir;
    auto image = MakeImage(Sx28lFamily(), 512);
    const std::string programmed = SaveImage(*image, dir.File("a.sxh"));
    ASSERT_EQ(sim.Korvid({"program", programmed}).exitCode, 0);
    test::WriteText(dir.File("empty.sxh"), ":00000001FF\r\n");
    test::WriteText(dir.File("blank.src"), "; nothing yet\n");
    for (const std::string& file : {dir.File("empty.sxh"), dir.File("blank.src")}) {
        RunResult p = sim.Korvid({"program", file});
        EXPECT_EQ(p.exitCode, 1) << file;
        EXPECT_NE(p.err.find("korvid: Nothing to program: the image holds no program words, so the chip was not erased."),
                  std::string::npos)
            << p.err;
        EXPECT_EQ(p.err.find("Erasing"), std::string::npos) << p.err;
    }
    // A hex file spoilt in its third record: cut there, a byte count that
    // disagrees with the record, a checksum. The error names that line.
    const std::string hex = test::ReadText(programmed);
    const std::size_t third = hex.find(':', hex.find(':', 1) + 1);
    const std::size_t thirdEnd = hex.find_first_of("\r\n", third);
    const std::string line = std::to_string(std::count(hex.begin(), hex.begin() + std::ptrdiff_t(third), '\n') + 1);
    std::string badSum = hex;
    badSum[thirdEnd - 1] = badSum[thirdEnd - 1] == '0' ? '1' : '0';
    const std::pair<std::string, std::string> spoilt[] = {
        {"cut.sxh", hex.substr(0, third + 20)},
        {"count.sxh", hex.substr(0, third + 1) + "1E" + hex.substr(third + 3)},
        {"sum.sxh", badSum},
    };
    for (const auto& [name, text] : spoilt) {
        test::WriteText(dir.File(name), text);
        RunResult p = sim.Korvid({"program", dir.File(name)});
        EXPECT_EQ(p.exitCode, 1) << name;
        EXPECT_NE(p.err.find(dir.File(name) + ":" + line + ":1: error: ERROR! Hex violation"), std::string::npos)
            << p.err;
        EXPECT_EQ(p.err.find("Erasing"), std::string::npos) << p.err;
    }
    const std::vector<std::vector<std::string>> clashes = {
        {"read", "-o", sim.Path(), "--port", sim.Path()},
        {"read", "-o", sim.Path()},  // COM1 leads to it
    };
    for (const auto& args : clashes) {
        std::vector<std::string> argv = {Korvid()};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult r = RunChild(argv, {"KORVID_COM1=" + sim.Path()});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("korvid read: -o " + sim.Path() + " is the port " + sim.Path()), std::string::npos)
            << r.err;
    }
    RunResult v = sim.Korvid({"verify", programmed});
    EXPECT_EQ(v.exitCode, 0) << v.err;
    EXPECT_EQ(v.out, "Device verified OK\n");
}

TEST(DeviceCommands, ProgramAndVerifyAssemblySource) {
    struct Case {
        const char* family;
        const char* source;
    };
    const Case cases[] = {{"28l", "examples/blink.src"}, {"52", "examples/sx52_counter.src"}};
    for (const Case& c : cases) {
        SimTool sim({"--family", c.family});
        std::string source = std::string(KORVID_SOURCE_DIR) + "/" + c.source;
        RunResult p = sim.Korvid({"program", source, "--run", "--family", c.family});
        EXPECT_EQ(p.exitCode, 0) << p.err;
        RunResult v = sim.Korvid({"verify", source, "--family", c.family});
        EXPECT_EQ(v.out, "Device verified OK\n") << v.err;
    }
}

TEST(DeviceCommands, VerifyReportsFirstDifferingPart) {
    const ChangedWord cases[] = {
        {&Sx28lFamily(), 100, 0x001, kVerifyFlashPart},
        {&Sx28lFamily(), kIdBase + 3, 0x004, "ID"},
        {&Sx28lFamily(), kFuseIndex, 0x020, "Oscillator"},
        {&Sx52Family(), kExtFuseIndex, 0x010, "Brownout"},
    };
    for (const ChangedWord& c : cases) {
        std::string fam(c.family->name);
        SimTool sim({"--family", fam});
        TempDir dir;
        auto image = MakeImage(*c.family, c.family->maxProgramSize);
        ASSERT_EQ(sim.Korvid({"program", SaveImage(*image, dir.File("a.sxh")), "--family", fam}).exitCode, 0);
        image->ChipImage[std::size_t(c.index)] ^= c.xorMask;
        RunResult v = sim.Korvid({"verify", SaveImage(*image, dir.File("b.sxh")), "--family", fam});
        EXPECT_EQ(v.exitCode, 3);
        EXPECT_EQ(v.out, "Verify failed at " + std::string(c.part) + "\n");
    }
}

TEST(DeviceCommands, SecondSpeedFoundAndKeptForNextConnection) {
    SimTool sim({"--baud", "19200"});
    TempDir dir;
    auto image = MakeImage(Sx28lFamily(), 512);
    // --run makes two connections: the debug-tool check, then programming.
    RunResult p = sim.Korvid({"program", SaveImage(*image, dir.File("a.sxh")), "--run"});
    EXPECT_EQ(p.exitCode, 0) << p.err;
    std::string log = sim.StopAndLog();
    // Only the very first probe went out at 57600 (the 7 detection bytes).
    std::size_t ignored = 0;
    for (std::size_t at = log.find("ignored "); at != std::string::npos; at = log.find("ignored ", at + 1))
        ignored += std::stoul(log.substr(at + 8));
    EXPECT_EQ(ignored, 7u) << log;
}

TEST(DeviceCommands, BrandelProgramsButRefusesRun) {
    SimTool sim({"--brandel"});
    TempDir dir;
    auto image = MakeImage(Sx28lFamily(), 1024);
    std::string file = SaveImage(*image, dir.File("a.sxh"));
    RunResult run = sim.Korvid({"program", file, "--run"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Brandel does not support this function.\n"), std::string::npos) << run.err;
    RunResult p = sim.Korvid({"program", file});
    EXPECT_EQ(p.exitCode, 0) << p.err;
    RunResult v = sim.Korvid({"verify", file});
    EXPECT_EQ(v.out, "Device verified OK\n");
    RunResult clock = sim.Korvid({"clock", "4000000"});
    EXPECT_EQ(clock.exitCode, 1);
}

TEST(DeviceCommands, StatusFailureMessages) {
    struct Case {
        const char* status;
        const char* message;
    };
    const Case cases[] = {{"1", "Vpp generation failed.\n"},
                          {"2", "Chip connection failed.\n"},
                          {"3", "Programming failed.\n"},
                          {"200", "Communication failed.\n"}};
    TempDir dir;
    auto image = MakeImage(Sx28lFamily(), 512);
    std::string file = SaveImage(*image, dir.File("a.sxh"));
    for (const Case& c : cases) {
        // The fifth status answers the first block of 32 program words.
        SimTool sim({"--fail-status", c.status, "--fail-after", "4"});
        RunResult p = sim.Korvid({"program", file});
        EXPECT_EQ(p.exitCode, 1);
        EXPECT_NE(p.err.find(c.message), std::string::npos) << p.err;
    }
}

TEST(DeviceCommands, SilentToolIsNotFoundWithoutSpinning) {
    SimTool sim({"--silent-after", "0"});
    RunResult p = RunChild({Korvid(), "erase"}, {"KORVID_COM1=" + sim.Path()});
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_NE(p.err.find("Korvid not found on COM1.\n"), std::string::npos) << p.err;
    EXPECT_EQ(p.err.rfind("korvid: Korvid not found on COM1.\n", 0), 0u) << p.err;
    EXPECT_NE(p.err.find("note: COM1 is " + sim.Path()), std::string::npos) << p.err;
    // Two probes of a second each: the client waited in poll(), it did not
    // burn the processor.
    EXPECT_GT(p.wallSeconds, 2.0);
    EXPECT_LT(p.cpuSeconds, p.wallSeconds / 10);
}

TEST(DeviceCommands, ToolStoppingMidTransfer) {
    TempDir dir;
    auto image = MakeImage(Sx52Family(), 4096);
    std::string file = SaveImage(*image, dir.File("a.sxh"));
    {
        SimTool sim({"--family", "52", "--silent-after", "1000"});
        RunResult p = sim.Korvid({"program", file, "--family", "52"});
        EXPECT_EQ(p.exitCode, 1);
        EXPECT_NE(p.err.find("Link failed: no answer from Korvid on " + sim.Path() + ".\n"), std::string::npos)
            << p.err;
    }
    {
        SimTool sim({"--family", "52", "--silent-after", "20"});
        RunResult r = sim.Korvid({"read", "-o", dir.File("out.sxh"), "--family", "52"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_FALSE(std::ifstream(dir.File("out.sxh")).good());  // no half-written file
    }
}

TEST(DeviceCommands, BadDetectionAndGarbageEndCleanly) {
    const std::vector<std::vector<std::string>> faults = {{"--bad-detect", "3"}, {"--garbage-after", "0"},
                                                          {"--garbage-after", "40"}};
    TempDir dir;
    auto image = MakeImage(Sx28lFamily(), 512);
    std::string file = SaveImage(*image, dir.File("a.sxh"));
    for (const auto& fault : faults) {
        SimTool sim(fault);
        RunResult p = sim.Korvid({"program", file});
        EXPECT_EQ(p.exitCode, 1) << fault[0];
        EXPECT_TRUE(p.err.find("failed.") != std::string::npos || p.err.find("Korvid not found on") != std::string::npos)
            << p.err;
    }
}

TEST(DeviceCommands, CalibrationChoosesTrimNearestFourMegahertz) {
    SimTool sim({"--irc-offset", "0.03"});
    TempDir dir;
    auto image = MakeImage(Sx28lFamily(), 512);
    RunResult p = sim.Korvid({"program", SaveImage(*image, dir.File("a.sxh")), "--irc", "4mhz"});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    // 4 MHz x 1.03 x 0.975 = 4.017 MHz at trim 4.
    EXPECT_NE(p.out.find("  4: 4.01  <- chosen"), std::string::npos) << p.out;
    RunResult r = sim.Korvid({"read", "-o", dir.File("out.sxh")});
    ASSERT_EQ(r.exitCode, 0);
    auto back = std::make_unique<AssemblyState>(Sx28lFamily());
    ASSERT_TRUE(LoadImage(*back, dir.File("out.sxh")));
    EXPECT_EQ(back->DeviceImage[kExtFuseIndex] & 0xB00, 0x800);  // trim 4: bit 11 only
}

TEST(DeviceCommands, PortAndArgumentErrors) {
    RunResult missing = RunChild({Korvid(), "erase", "--port", "COM2"}, {"KORVID_COM2=/nonexistent/tty"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Unable to open COM2.\nnote: COM2 is /nonexistent/tty: "), std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.err.rfind("korvid: Unable to open COM2.\n", 0), 0u) << missing.err;  // the program's name first
    EXPECT_EQ(RunChild({Korvid(), "erase", "--port", "COM9"}).exitCode, 2);
    EXPECT_EQ(RunChild({Korvid(), "clock", "12"}).exitCode, 2);
    EXPECT_EQ(RunChild({Korvid(), "read"}).exitCode, 2);
    EXPECT_EQ(RunChild({Korvid(), "program", "x.sxh", "--irc", "medium"}).exitCode, 2);
}

TEST(DeviceCommands, ProgressBarsFillWhenTheirStageCompletes) {
    SimTool sim({});
    TempDir dir;
    const std::string full = "[" + std::string(32, '#') + "]\n";
    RunResult e = sim.Korvid({"erase"});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_EQ(e.err, "Erasing...       " + full);
    auto image = MakeImage(Sx28lFamily(), 512);
    RunResult p = sim.Korvid({"program", SaveImage(*image, dir.File("a.sxh"))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.err, "Erasing...       " + full + "Programming...   " + full);
}

TEST(DeviceCommands, ClockSetAndStopped) {
    SimTool sim({"--trace"});
    RunResult on = sim.Korvid({"clock", "4M"});
    EXPECT_EQ(on.exitCode, 0) << on.err << sim.StopAndLog();
    EXPECT_EQ(sim.Korvid({"clock", "off"}).exitCode, 0);
}

// IRC_CAL in an extended-dialect source chooses the calibration of its own
// programming run; an explicit --irc is this run's choice over it.
TEST(DeviceCommands, SourceIrcChoiceAndTheIrcOption) {
    SimTool sim({});
    TempDir dir;
    const std::string file = dir.File("cal.src");
    {
        std::ofstream out(file, std::ios::binary);
        out << "\tIRC_CAL IRC_4MHZ\nloop:\tjmp loop\n";
    }
    RunResult strict = RunChild({Korvid(), "program", file, "--port", sim.Path()});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find("note: accepted with --dialect extended"), std::string::npos) << strict.err;
    RunResult chosen = RunChild({Korvid(), "program", file, "--dialect", "extended", "--port", sim.Path()});
    ASSERT_EQ(chosen.exitCode, 0) << chosen.err;
    EXPECT_NE(chosen.out.find("IRC calibration (trim: MHz):"), std::string::npos) << chosen.out;
    RunResult fixed = RunChild({Korvid(), "program", file, "--dialect=extended", "--irc", "fastest", "--port", sim.Path()});
    ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_EQ(fixed.out.find("IRC calibration"), std::string::npos) << fixed.out;
}

}  // namespace
}  // namespace korvid::test
