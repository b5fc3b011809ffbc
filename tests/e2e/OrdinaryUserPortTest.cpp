// The device commands as an ordinary user would run them: korvid-sim and
// every korvid command under the same unprivileged account. The port is
// exclusive while a command has it and free again after its close, so a
// whole working session of commands (and the IDE's repeated operations on
// one link) succeed one after the other, also where one command opens the
// port twice (program --run, debug, clock).
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/asm/AssemblyState.h"
#include "core/link/Link.h"
#include "core/link/LinkError.h"
#include "platform/posix/PosixSerialDevice.h"
#include "core/link/Programming.h"
#include "tests/e2e/Process.h"

namespace korvid {
namespace {

using test::AsOrdinaryUser;
using test::RunChild;
using test::RunResult;
using test::SimTool;
using test::TempDir;

std::string Korvid() { return test::KorvidPath(); }

// While it lives, this process's effective user is the ordinary one (when it
// runs as root; the saved user id brings root back at the end).
class OrdinaryEffectiveUser {
public:
    OrdinaryEffectiveUser() : root_(::geteuid() == 0) {
        if (!root_) return;
        EXPECT_EQ(::setegid(test::kOrdinaryUid), 0);
        EXPECT_EQ(::seteuid(test::kOrdinaryUid), 0);
    }
    ~OrdinaryEffectiveUser() {
        if (!root_) return;
        EXPECT_EQ(::seteuid(0), 0);
        EXPECT_EQ(::setegid(0), 0);
    }

private:
    bool root_;
};

TEST(OrdinaryUserPort, WholeSessionOfCommandsOnTheSimulatedTool) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::access("/usr/bin/setpriv", X_OK), 0) << "setpriv (util-linux) is needed";
    }
    SimTool sim({}, AsOrdinaryUser({}));
    ASSERT_FALSE(sim.Path().empty());
    TempDir dir;
    dir.GiveToOrdinaryUser();
    const std::string source = std::string(KORVID_SOURCE_DIR) + "/examples/blink.src";
    const std::string port = sim.Path();
    {
        RunResult who = RunChild(AsOrdinaryUser({"/usr/bin/id", "-u"}));
        ASSERT_EQ(who.out, std::to_string(::geteuid() == 0 ? test::kOrdinaryUid : ::geteuid()) + "\n");
    }
    struct Step {
        std::vector<std::string> args;
        const char* out;  // expected stdout, nullptr: not checked
    };
    const Step steps[] = {
        {{"program", source}, nullptr},
        {{"verify", source}, "Device verified OK\n"},
        {{"read", "-o", dir.File("chip.sxh")}, ""},
        {{"verify", dir.File("chip.sxh")}, "Device verified OK\n"},
        {{"clock", "4M"}, ""},  // two connections
        {{"clock", "off"}, ""},
        {{"program", source, "--run"}, nullptr},  // two connections
        {{"debug", source}, nullptr},             // three connections
        {{"debug", source, "--no-program"}, nullptr},
        {{"erase"}, ""},
        {{"program", source}, nullptr},  // the debug image replaced by the plain one
        {{"verify", source}, "Device verified OK\n"},
    };
    for (const Step& step : steps) {
        std::vector<std::string> argv = {Korvid()};
        argv.insert(argv.end(), step.args.begin(), step.args.end());
        argv.insert(argv.end(), {"--port", port});
        SCOPED_TRACE(step.args[0] + (step.args.size() > 2 ? " " + step.args.back() : std::string()));
        RunResult r = RunChild(AsOrdinaryUser(argv), {}, 60);
        ASSERT_EQ(r.exitCode, 0) << r.err << sim.StopAndLog();
        if (step.out) {
            EXPECT_EQ(r.out, step.out);
        }
    }
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("chip.sxh").c_str(), &st), 0);
    if (::geteuid() == 0) {
        EXPECT_EQ(st.st_uid, test::kOrdinaryUid);  // really written by the ordinary user
    }
}

// The IDE keeps one link for the life of the program and opens the port for
// every operation: two reads in a row, as the ordinary user, in process.
TEST(OrdinaryUserPort, OneLinkReadsTwiceAndIsExclusiveWhileOpen) {
    SimTool sim({}, AsOrdinaryUser({}));
    ASSERT_FALSE(sim.Path().empty());
    OrdinaryEffectiveUser user;
    PosixSerialDevice device;
    Link link(device);
    link.PortName = sim.Path();
    AssemblyState state(Sx28lFamily());
    for (int round = 0; round < 2; ++round) {
        try {
            ReadDevice(link, state, NoLinkObserver(), "Reading...");
        } catch (const LinkFailure& e) {
            FAIL() << "read " << round + 1 << ": " << e.Text() << " " << link.SystemReason;
        }
        EXPECT_FALSE(link.PortOpen);
    }
    // While one link has the port, a second open by the same user is refused;
    // after the close it succeeds.
    link.OpenLink();
    PosixSerialDevice other;
    std::string reason;
    EXPECT_FALSE(other.Open(sim.Path(), &reason));
    EXPECT_EQ(reason, "Device or resource busy");
    link.CloseLink();
    EXPECT_TRUE(other.Open(sim.Path(), &reason)) << reason;
    other.Close();
}

}  // namespace
}  // namespace korvid
