// `korvid asm` and `korvid hex` run as child processes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/RunProgram.h"

namespace korvid {
namespace {

using test::RunProgram;
using test::TempDir;

const std::string kKorvid = std::string(KORVID_BINARY_DIR) + "/apps/korvid/korvid";

TEST(CliAsm, WritesHexAndListingWithCrLf) {
    TempDir dir;
    dir.Write("p.src", "start\tmov w,#5\n\tjmp start\n");
    auto r = RunProgram(kKorvid, {"asm", dir.File("p.src"), "-o", dir.File("p.sxh"), "-l", dir.File("p.lst")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string hex = dir.Read("p.sxh");
    // MOV W,#5 = C05, JMP 0 = A00: the first record starts with them.
    EXPECT_EQ(hex.substr(0, 17), ":20000000050C000A");
    const std::string lst = dir.Read("p.lst");
    ASSERT_FALSE(lst.empty());
    for (std::size_t i = 0; i < lst.size(); ++i)
        if (lst[i] == '\r') {
            ASSERT_TRUE(i + 1 < lst.size() && lst[i + 1] == '\n') << "bare CR at " << i;
        }
}

TEST(CliAsm, DefaultOutputBesideTheSource) {
    TempDir dir;
    dir.Write("blink.src", "\tnop\r\n");
    auto r = RunProgram(kKorvid, {"asm", dir.File("blink.src")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(dir.Exists("blink.sxh"));
}

TEST(CliAsm, ErrorPrintsFileLineColumnAndWritesNothing) {
    TempDir dir({{"bad.src", "\tnop\n\tnop\n  mov w,#1 ?\n"}, {"old.sxh", "old contents"}});
    auto r = RunProgram(kKorvid, {"asm", dir.File("bad.src"), "-o", dir.File("old.sxh"), "-l", dir.File("bad.lst")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(dir.File("bad.src") + ":3:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": error: "), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("old.sxh"), "old contents");
    EXPECT_FALSE(dir.Exists("bad.lst"));
}

// A source for the other chip (its korvid comment overruled) fails with a
// note naming the family that takes it, at the error's place; both
// families failing gives no note.
TEST(CliAsm, OtherFamilyNote) {
    const std::string sx52 = std::string(KORVID_SOURCE_DIR) + "/examples/sx52_counter.src";
    auto r = RunProgram(kKorvid, {"asm", "--family", "28l", sx52, "-o", "/dev/null"});
    EXPECT_EQ(r.exitCode, 1);
    const auto error = r.err.find(": error: ");
    ASSERT_NE(error, std::string::npos) << r.err;
    const std::string place = r.err.substr(0, error);
    EXPECT_NE(r.err.find(place + ": note: assembles with --family 52\n"), std::string::npos) << r.err;
    EXPECT_EQ(RunProgram(kKorvid, {"asm", "--family", "52", sx52, "-o", "/dev/null"}).exitCode, 0);
}

TEST(CliAsm, DialectOptionAndNote) {
    TempDir dir({{"c.src", "loop: nop\n\tjmp loop\n"}, {"u.src", "\tjmp nowhere\n"}});
    auto strict = RunProgram(kKorvid, {"asm", dir.File("c.src"), "-o", dir.File("c.sxh")});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find(dir.File("c.src") + ":2:6: error: Undefined symbol\n" + dir.File("c.src") +
                              ":2:6: note: accepted with --dialect extended"),
              std::string::npos)
        << strict.err;
    auto plain = RunProgram(kKorvid, {"asm", dir.File("u.src"), "-o", dir.File("u.sxh")});
    EXPECT_EQ(plain.err.find("note:"), std::string::npos) << plain.err;
    auto ext = RunProgram(kKorvid, {"asm", "--dialect", "extended", dir.File("c.src"), "-o", dir.File("c.sxh")});
    EXPECT_EQ(ext.exitCode, 0) << ext.err;
    EXPECT_EQ(RunProgram(kKorvid, {"asm", "--dialect=loose", dir.File("c.src")}).exitCode, 2);
    // The other commands that assemble take it too.
    dir.Write("d.src", "\tRESET start\n\tORG 10h\nstart:\tjmp start\n");
    auto image = RunProgram(kKorvid, {"debugimage", dir.File("d.src"), "-o", dir.File("d.sxh")});
    EXPECT_EQ(image.exitCode, 1);
    EXPECT_NE(image.err.find("note: accepted with --dialect extended"), std::string::npos) << image.err;
    auto extImage = RunProgram(kKorvid, {"debugimage", "--dialect", "extended", dir.File("d.src"), "-o", dir.File("d.sxh")});
    EXPECT_EQ(extImage.exitCode, 0) << extImage.err;
    auto disasm = RunProgram(kKorvid, {"disasm", "--dialect", "extended", dir.File("c.src")});
    EXPECT_EQ(disasm.exitCode, 0) << disasm.err;
    for (const char* command : {"program", "verify", "debug"})
        EXPECT_EQ(RunProgram(kKorvid, {command, "--dialect", "loose", dir.File("c.src")}).exitCode, 2) << command;
}

// The word behind an error gets a note of its own, at the word.
TEST(CliAsm, NotesNameTheWord) {
    TempDir dir;
    const struct {
        const char* name;
        const char* source;
        std::string expected;  // stderr after the file name of each line
    } rows[] = {
        {"call.src", "\tCALL sub\nsub\tRET\n",
         ":1:7: error: Expected a constant, variable, unary operator, or \"(\"\n"
         ":1:7: note: sub is an instruction name, which cannot name a label or stand for a value\n"},
        {"carry.src", "\tJMP c\nc\tNOP\n",
         ":2:1: error: Label is already defined\n:2:1: note: c is a status bit name, which cannot name a label\n"},
        {"skip.src", "skip NOP\n",
         ":1:6: error: Expected end-of-line\n:1:1: note: skip is an instruction name, which cannot name a label\n"},
        {"device.src", " DEVICE SX28\n",
         ":1:9: error: Expected a DEVICE parameter\n"
         ":1:9: note: SX28 is a DEVICE word of the extended dialect; the strict dialect writes SX28L\n"},
        {"movx.src", "\tDEVICE SX28L\n        MOVX  W, 5\n",
         ":2:9: error: Expected a label, directive, or instruction\n"
         ":2:9: note: MOVX is no instruction, directive or macro defined above, so it is read as a label\n"},
    };
    for (const auto& r : rows) {
        dir.Write(r.name, r.source);
        const auto result = RunProgram(kKorvid, {"asm", dir.File(r.name), "-o", dir.File("out.sxh")});
        EXPECT_EQ(result.exitCode, 1) << r.name;
        std::string expected;
        for (std::size_t from = 0; from < r.expected.size();) {
            const std::size_t end = r.expected.find('\n', from) + 1;
            expected += dir.File(r.name) + r.expected.substr(from, end - from);
            from = end;
        }
        EXPECT_EQ(result.err.substr(0, expected.size()), expected) << result.err;
    }
}

// A long source with a small program: the image needs no listing, a
// listing larger than the windows' buffer is written, and the line limit
// that remains is named.
TEST(CliAsm, LongSourcesAssemble) {
    TempDir dir;
    std::string comments;
    for (int i = 0; i < 30000; ++i) comments += "; " + std::string(50, 'c') + "\n";
    dir.Write("long.src", "\tDEVICE SX28L\n" + comments + "start\tMOV W,#5\n\tJMP start\n");
    ASSERT_GT(dir.Read("long.src").size(), 1500000u);
    auto r = RunProgram(kKorvid, {"asm", dir.File("long.src"), "-o", dir.File("long.sxh")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(dir.Read("long.sxh").substr(0, 17), ":20000000050C000A");
    r = RunProgram(kKorvid, {"asm", dir.File("long.src"), "-o", dir.File("long.sxh"), "-l", dir.File("long.lst")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(": error: List is too large\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": note: a listing holds at most 25000 lines\n"), std::string::npos) << r.err;

    std::string wide;
    for (int i = 0; i < 9000; ++i) wide += "; " + std::string(100, 'w') + "\n";
    dir.Write("wide.src", "\tDEVICE SX28L\n" + wide + "start\tMOV W,#5\n\tJMP start\n");
    r = RunProgram(kKorvid, {"asm", dir.File("wide.src"), "-o", dir.File("wide.sxh"), "-l", dir.File("wide.lst")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string listing = dir.Read("wide.lst");
    EXPECT_GT(listing.size(), 900000u);
    EXPECT_NE(listing.find("001- A00\t\tJMP start\r\n"), std::string::npos);
}

TEST(CliAsm, UsageAndFileErrors) {
    TempDir dir;
    EXPECT_EQ(RunProgram(kKorvid, {"asm"}).exitCode, 2);
    EXPECT_EQ(RunProgram(kKorvid, {"asm", "--family", "99", "x.src"}).exitCode, 2);
    EXPECT_EQ(RunProgram(kKorvid, {"nosuchcommand"}).exitCode, 2);
    auto r = RunProgram(kKorvid, {"asm", dir.File("missing.src")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.src"), std::string::npos);
}

TEST(CliAsm, OutputNamingTheInputIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    dir.Write("a.src", "\tnop\n");
    const std::vector<std::vector<std::string>> cases = {
        {"asm", dir.File("a.src"), "-o", dir.path() + "/./a.src"},
        {"asm", dir.File("a.src"), "-l", dir.File("a.src")},
        {"asm", dir.File("a.src"), "-o", dir.File("x.sxh"), "-l", dir.File("x.sxh")},
        {"debugimage", dir.File("a.src"), "-o", dir.File("a.src")},
    };
    for (const auto& args : cases) {
        auto r = RunProgram(kKorvid, args);
        EXPECT_EQ(r.exitCode, 2) << args[3];
        EXPECT_EQ(r.err.rfind("korvid ", 0), 0u) << r.err;
        EXPECT_EQ(dir.Read("a.src"), "\tnop\n");
        EXPECT_FALSE(dir.Exists("x.sxh"));
    }
}

TEST(CliAsm, AllOutputsOrNoneAndPipes) {
    TempDir dir({{"a.src", "\tnop\n"}, {"old.sxh", "old"}});
    auto r = RunProgram(kKorvid, {"asm", dir.File("a.src"), "-o", dir.File("old.sxh"), "-l", dir.File("no/x.lst")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(dir.Read("old.sxh"), "old");
    // Source from standard input, hex to standard output.
    r = RunProgram(kKorvid, {"asm", "-", "-o", "-"}, "\tnop\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind(":20000000", 0), 0u) << r.out;
    r = RunProgram(kKorvid, {"asm", "/dev/stdin", "-o", dir.File("p.sxh")}, "\tnop\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// Outputs that name an open descriptor (/dev/stdout, /dev/fd/N, a link to
// them) are written through it as a shell set it up: after what the shell
// wrote, appending where it appends. The file behind it is never replaced.
TEST(CliAsm, DescriptorOutputsAreWrittenInPlace) {
    TempDir dir;
    dir.Write("a.src", "\tmov w,#5\n\tjmp 0\n");
    ASSERT_EQ(RunProgram(kKorvid, {"asm", dir.File("a.src"), "-o", dir.File("ref.sxh")}).exitCode, 0);
    const std::string hex = dir.Read("ref.sxh");
    ASSERT_EQ(hex.rfind(":20000000050C000A", 0), 0u);
    ASSERT_EQ(::symlink("/dev/stdout", dir.File("to-stdout").c_str()), 0);
    struct Case {
        std::string command;  // run in the folder; K is the tool
        int exitCode;
        std::string log;  // what log holds afterwards
    } cases[] = {
        {"{ echo header; K asm a.src -o /dev/stdout; } > log", 0, "header\n" + hex},
        {"echo old > log; K asm a.src -o /dev/stdout >> log", 0, "old\n" + hex},
        {"echo old > log; K asm a.src -o /dev/fd/3 3>>log", 0, "old\n" + hex},
        {"{ echo header; K asm a.src -o /proc/self/fd/1; } > log", 0, "header\n" + hex},
        {"{ echo header; K asm a.src -o to-stdout; } > log", 0, "header\n" + hex},
        {"K asm a.src -o /dev/stdout | cat > log", 0, hex},
        {"K asm - < a.src > log", 0, hex},  // no -o: standard input's hex goes to standard output
        {"echo old > log; K asm a.src -o /dev/fd/3 3<log", 1, "old\n"},   // read-only
        {"echo old > log; K asm a.src -o /dev/fd/9", 1, "old\n"},          // not open
        {"echo old > log; K asm a.src -o - -l /dev/stdout >> log", 2, "old\n"},
        {"echo old > log; K asm log -o /dev/stdout >> log", 2, "old\n"},  // the input itself
    };
    for (const Case& c : cases) {
        std::string command = c.command;
        for (std::size_t at; (at = command.find("K ")) != std::string::npos;) command.replace(at, 1, "'" + kKorvid + "'");
        auto r = RunProgram("/bin/sh", {"-c", "cd '" + dir.path() + "' && " + command});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.command << "\n" << r.err;
        EXPECT_EQ(dir.Read("log"), c.log) << c.command;
        if (c.exitCode != 0) {
            EXPECT_EQ(r.err.rfind("korvid", 0), 0u) << c.command << "\n" << r.err;
        }
    }
    EXPECT_FALSE(dir.Exists("-.sxh"));
    EXPECT_EQ(dir.Read("a.src"), "\tmov w,#5\n\tjmp 0\n");
    // A waveform follows the same rule.
    auto sim = RunProgram("/bin/sh", {"-c", "cd '" + dir.path() + "' && echo old > log && '" + kKorvid +
                                                "' sim a.src --for 1us --vcd /dev/stdout >> log"});
    EXPECT_EQ(sim.exitCode, 0) << sim.err;
    EXPECT_EQ(dir.Read("log").rfind("old\n$version", 0), 0u) << dir.Read("log").substr(0, 40);
    // So does every other command that writes a file.
    dir.Write("a.test", "source a.src\nrun for 1us\n");
    const std::string blink = std::string(KORVID_SOURCE_DIR) + "/examples/blink.src";
    const std::pair<std::string, const char*> others[] = {
        {"debugimage '" + blink + "' -o /dev/stdout", ":20000000"},
        {"sim a.src --for 1us --vcd w.vcd --gtkw /dev/stdout", "[dumpfile]"},
        {"test --junit /dev/stdout a.test", "<testsuite"},
    };
    for (const auto& [args, written] : others) {
        auto r = RunProgram("/bin/sh", {"-c", "cd '" + dir.path() + "' && echo old > log && '" + kKorvid + "' " +
                                                  args + " >> log"});
        EXPECT_EQ(r.exitCode, 0) << args << "\n" << r.err;
        EXPECT_EQ(dir.Read("log").rfind("old\n", 0), 0u) << args;
        EXPECT_NE(dir.Read("log").find(written), std::string::npos) << args;
    }
}

// An ordinary user who may not write the output's folder gets a message and
// loses nothing; run as nobody when the suite runs as root.
TEST(CliAsm, UnwritableFolderAsAnOrdinaryUserLeavesTheOldOutput) {
    TempDir dir({{"a.src", "\tnop\n"}, {"old.sxh", "old"}});
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(dir.File("a.src").c_str(), 0644);
    ::chmod(dir.File("old.sxh").c_str(), 0666);
    std::vector<std::string> args = {"asm", dir.File("a.src"), "-o", dir.File("old.sxh")};
    std::string program = kKorvid;
    if (::geteuid() == 0) {
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", kKorvid});
        program = "/usr/bin/setpriv";
    } else {
        ::chmod(dir.path().c_str(), 0555);
    }
    auto r = RunProgram(program, args);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.rfind("korvid: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("old.sxh"), "old");
}

TEST(CliConventions, HelpVersionAndSourceGivenToHex) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"asm", "--help"}, {"help", "asm"}, {"asm", "x.src", "-h"}}) {
        auto r = RunProgram(kKorvid, args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
        EXPECT_EQ(r.out.rfind("usage: korvid asm ", 0), 0u) << r.out;
    }
    auto r = RunProgram(kKorvid, {"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("korvid ", 0), 0u) << r.out;
    EXPECT_EQ(RunProgram(kKorvid, {"help", "nosuch"}).exitCode, 2);

    TempDir dir;
    dir.Write("a.src", "\tnop\n\tjmp 0\n");
    r = RunProgram(kKorvid, {"hex", dir.File("a.src")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("korvid: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("not a hex file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("korvid asm"), std::string::npos) << r.err;
    // A record of an unknown type is reported at its line.
    dir.Write("t.sxh", ":0200000000F00E\r\n:0200000600F008\r\n:00000001FF\r\n");
    r = RunProgram(kKorvid, {"hex", dir.File("t.sxh")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(dir.File("t.sxh") + ":2:1: error:"), std::string::npos) << r.err;
}

TEST(CliHex, ShowsConfigurationIdAndHighestAddress) {
    TempDir dir;
    dir.Write("p.src", "\torg 10h\n\tnop\n");
    ASSERT_EQ(RunProgram(kKorvid, {"asm", "--family", "52", dir.File("p.src"), "-o", dir.File("p.sxh")}).exitCode, 0);
    auto r = RunProgram(kKorvid, {"hex", "--family", "52", dir.File("p.sxh")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("fuse word:          0xFFA"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("extended fuse word: 0xFFF"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("program size:       4096 words"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("highest used:       0x010"), std::string::npos) << r.out;
}

TEST(CliHex, ViolationAndPicWarning) {
    TempDir dir;
    dir.Write("bad.sxh", ":0200000001020B\r\n");  // wrong checksum
    auto bad = RunProgram(kKorvid, {"hex", dir.File("bad.sxh")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("ERROR! Hex violation was encountered in file."), std::string::npos) << bad.err;
    dir.Write("pic.sxh", ":020000000A0CE8\r\n:00000001FF\r\n");  // no fuse data
    auto pic = RunProgram(kKorvid, {"hex", dir.File("pic.sxh")});
    EXPECT_EQ(pic.exitCode, 0);
    EXPECT_NE(pic.err.find("warning: WARNING! Fuse data was absent from hex file."), std::string::npos) << pic.err;
    EXPECT_NE(pic.out.find("program size:       512 words"), std::string::npos) << pic.out;
}

// A hex file assembled for the 28L (TURBO clears a bit every 52 image holds
// set) loads with --family 52 after a warning; its own family is quiet.
TEST(CliHex, ForeignFuseWordsWarn) {
    TempDir dir;
    dir.Write("t.src", "\tDEVICE SX28L, TURBO\n\tnop\n");
    ASSERT_EQ(RunProgram(kKorvid, {"asm", dir.File("t.src"), "-o", dir.File("t.sxh")}).exitCode, 0);
    auto own = RunProgram(kKorvid, {"hex", dir.File("t.sxh")});
    EXPECT_EQ(own.exitCode, 0);
    EXPECT_EQ(own.err, "");
    auto r = RunProgram(kKorvid, {"hex", "--family", "52", dir.File("t.sxh")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find(dir.File("t.sxh") + ": warning: The fuse words (FUSE 7FA, FUSEX FFF) cannot belong to the 52 "
                                             "family: bits that all its images hold set are clear; they fit the 28L "
                                             "family."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("fuse word:          0x7FA"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace korvid
