// korvid-sim --link PATH: replaces only a stale simulator's link, never a
// file, a link elsewhere or a running simulator's link, and removes at exit
// only a link that is still its own.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/Process.h"

namespace korvid {
namespace {

using test::Background;
using test::RunChild;
using test::RunResult;
using test::SimTool;
using test::TempDir;

std::string Sim() { return test::SimPath(); }

std::string Target(const std::string& path) {
    char buffer[256];
    ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, std::size_t(n));
}

TEST(SimLink, RefusesWhatIsNotAStaleSimulatorLink) {
    TempDir dir;
    const std::string link = dir.File("tty");
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string liveSlave = ::ptsname(master);
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* message;
    };
    const Case cases[] = {
        {"regular file", [&] { std::ofstream(link) << "keep me\n"; }, "exists and is not a simulator's link"},
        {"directory", [&] { ::mkdir(link.c_str(), 0700); }, "exists and is not a simulator's link"},
        {"link elsewhere", [&] { (void)!::symlink(dir.File("other").c_str(), link.c_str()); },
         "exists and is not a simulator's link"},
        // A terminal whose master this test holds: in use.
        {"live terminal", [&] { (void)!::symlink(liveSlave.c_str(), link.c_str()); },
         "is the link of a running simulator"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(link);
        c.make();
        struct stat before {};
        ASSERT_EQ(::lstat(link.c_str(), &before), 0);
        const std::string targetBefore = Target(link);
        RunResult r = RunChild({Sim(), "--link", link}, {}, 10);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("korvid-sim: " + link + " "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        struct stat after {};
        ASSERT_EQ(::lstat(link.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(Target(link), targetBefore);
        EXPECT_NE(::lstat((link + ".lock").c_str(), &after), 0) << "no lock file left behind";
    }
    ::close(master);
}

TEST(SimLink, SecondSimulatorDoesNotTakeOverALiveLink) {
    TempDir dir;
    const std::string link = dir.File("tty");
    {
        SimTool first({"--link", link});
        ASSERT_FALSE(first.Path().empty());
        ASSERT_EQ(Target(link), first.Path());
        // Refused, and the chip's serial link it had claimed first is gone too.
        RunResult second =
            RunChild({Sim(), "--serial", "RB.7,RB.6:9600", "--serial-link", dir.File("serial"), "--link", link}, {}, 10);
        EXPECT_EQ(second.exitCode, 1);
        EXPECT_NE(second.err.find("is the link of a running simulator (" + first.Path() + ")"), std::string::npos)
            << second.err;
        EXPECT_EQ(Target(link), first.Path());  // still the first one's, after the second one gave up
        struct stat st {};
        EXPECT_NE(::lstat(dir.File("serial").c_str(), &st), 0);
        EXPECT_NE(::lstat(dir.File("serial.lock").c_str(), &st), 0);
        first.StopAndLog();
        EXPECT_NE(::lstat(link.c_str(), &st), 0) << "the first simulator removes its own link at exit";
    }
}

TEST(SimLink, StaleLinkIsReplacedAndAForeignOneKeptAtExit) {
    TempDir dir;
    const std::string link = dir.File("tty");
    // What a simulator that was killed leaves behind: a link to a terminal
    // number nobody has.
    ASSERT_EQ(::symlink("/dev/pts/987654", link.c_str()), 0);
    SimTool sim({"--link", link});
    ASSERT_FALSE(sim.Path().empty());
    EXPECT_EQ(Target(link), sim.Path());
    // Someone else points the name elsewhere while it runs: left alone.
    ASSERT_EQ(::unlink(link.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
    sim.StopAndLog();
    EXPECT_EQ(Target(link), "/dev/null");
}

// kill -9 leaves the link and its lock file; the system has dropped the
// lock, so the next simulator takes the name over even when the terminal
// number behind the old link is alive again (given to someone else). SIGHUP
// ends a simulator as SIGTERM does, link and lock file removed.
TEST(SimLink, RestartsOnItsOwnLinkAfterKillNine) {
    TempDir dir;
    const std::string link = dir.File("tty");
    std::string killedSlave;
    {
        Background killed({Sim(), "--link", link});
        ASSERT_TRUE(killed.WaitForOutput("/dev/pts/", 5));
        killedSlave = Target(link);
        killed.Signal(SIGKILL);
        killed.Finish(5);
    }
    ASSERT_EQ(Target(link), killedSlave);
    // The number reused: a terminal of this test now answers to it (or, when
    // another one was free first, the link is pointed at that live terminal).
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string live = ::ptsname(master);
    if (live != killedSlave) {
        ASSERT_EQ(::unlink(link.c_str()), 0);
        ASSERT_EQ(::symlink(live.c_str(), link.c_str()), 0);
    }
    Background restarted({Sim(), "--link", link});
    ASSERT_TRUE(restarted.WaitForOutput("/dev/pts/", 5)) << restarted.Finish(1).err;
    EXPECT_NE(Target(link), live);
    EXPECT_EQ(Target(link).rfind("/dev/pts/", 0), 0u);
    restarted.Signal(SIGHUP);
    RunResult end = restarted.Finish(5);
    EXPECT_EQ(end.exitCode, 0) << end.err;
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "link removed after SIGHUP";
    EXPECT_NE(::lstat((link + ".lock").c_str(), &st), 0) << "lock file removed after SIGHUP";
    ::close(master);
}

}  // namespace
}  // namespace korvid
