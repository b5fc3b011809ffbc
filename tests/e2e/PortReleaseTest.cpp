// A client that ends in the middle of its work (Ctrl-C, kill -9) leaves the
// simulated tool's port to the next ordinary user, and a simulator killed
// with kill -9 starts again on its own link.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/Process.h"

namespace korvid {
namespace {

using test::AsOrdinaryUser;
using test::Background;
using test::PortHeldExclusively;
using test::RunChild;
using test::RunResult;
using test::SimTool;
using test::TempDir;

TEST(PortRelease, ClientEndedMidOperationLeavesThePortFree) {
    // Paced, so that each operation holds the port long enough to be hit.
    SimTool sim({}, AsOrdinaryUser({}), false);
    ASSERT_FALSE(sim.Path().empty());
    TempDir dir;
    dir.GiveToOrdinaryUser();
    const std::string source = std::string(KORVID_SOURCE_DIR) + "/examples/blink.src";
    struct Case {
        std::vector<std::string> args;
        int signal;
    };
    const Case cases[] = {
        {{"program", source}, SIGINT}, {{"read", "-o", dir.File("a.sxh")}, SIGINT},
        {{"debug", source, "--no-program"}, SIGINT}, {{"program", source}, SIGKILL},
        {{"read", "-o", dir.File("b.sxh")}, SIGKILL}, {{"debug", source, "--no-program"}, SIGKILL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " ended by signal " + std::to_string(c.signal));
        std::vector<std::string> argv = {test::KorvidPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.end(), {"--port", sim.Path()});
        Background client(AsOrdinaryUser(argv));
        ASSERT_TRUE(client.WaitUntil([&] { return PortHeldExclusively(sim.Path()); }, 20))
            << client.Finish(1).err << sim.StopAndLog();
        client.Signal(c.signal);
        RunResult ended = client.Finish(10);
        EXPECT_EQ(client.TermSignal(), c.signal) << ended.err;
        // The next ordinary user gets the port.
        RunResult next = RunChild(AsOrdinaryUser({test::KorvidPath(), "read", "-o", dir.File("next.sxh"), "--port",
                                                  sim.Path()}),
                                  {}, 30);
        ASSERT_EQ(next.exitCode, 0) << next.err;
        EXPECT_FALSE(PortHeldExclusively(sim.Path()));
    }
}

}  // namespace
}  // namespace korvid
