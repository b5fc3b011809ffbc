// A client that ends in the middle of its work (Ctrl-C, kill -9) leaves the
// simulated tool's port to the next ordinary user, and a simulator killed
// with kill -9 starts again on its own link.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/Process.h"
#include "tests/support/FaultyTool.h"

namespace korvid {
namespace {

using test::AsOrdinaryUser;
using test::Background;
using test::PortHeldExclusively;
using test::RunChild;
using test::RunResult;
using test::SimTool;
using test::TempDir;

// An editor's start of a debug session on the tool at `port`, framed as
// the debug adapter protocol frames requests.
std::string DapLaunch(const std::string& program, const std::string& port) {
    std::string framed;
    int seq = 0;
    for (const std::string& body : {std::string("\"initialize\",\"arguments\":{\"adapterID\":\"korvid\"}"),
                                    "\"launch\",\"arguments\":{\"program\":\"" + program + "\",\"target\":\"" +
                                        port + "\",\"stopOnEntry\":true}",
                                    std::string("\"configurationDone\",\"arguments\":{}")}) {
        const std::string request = "{\"seq\":" + std::to_string(++seq) + ",\"type\":\"request\",\"command\":" + body + "}";
        framed += "Content-Length: " + std::to_string(request.size()) + "\r\n\r\n" + request;
    }
    return framed;
}

// `korvid dap` reading its requests from the FIFO `editor` (so that the
// signals reach the adapter itself), or the device command `args`.
std::vector<std::string> ClientArgv(const std::vector<std::string>& args, const std::string& editor) {
    if (args[0] == "dap") return {"/bin/sh", "-c", "exec '" + test::KorvidPath() + "' dap < '" + editor + "'"};
    std::vector<std::string> argv = {test::KorvidPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

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
        // The debug adapter on the tool, as an editor ends it.
        {{"dap"}, SIGINT}, {{"dap"}, SIGTERM}, {{"dap"}, SIGHUP}, {{"dap"}, SIGKILL},
    };
    const std::string requests = DapLaunch(source, sim.Path());
    const std::string editor = dir.File("editor");
    ASSERT_EQ(::mkfifo(editor.c_str(), 0666), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " ended by signal " + std::to_string(c.signal));
        const bool dap = c.args[0] == "dap";
        std::vector<std::string> argv = ClientArgv(c.args, editor);
        if (!dap) argv.insert(argv.end(), {"--port", sim.Path()});
        Background client(AsOrdinaryUser(argv));
        const int requestsIn = dap ? ::open(editor.c_str(), O_WRONLY) : -1;
        if (dap) {
            ASSERT_EQ(::write(requestsIn, requests.data(), requests.size()), ssize_t(requests.size()));
        }
        ASSERT_TRUE(client.WaitUntil([&] { return PortHeldExclusively(sim.Path()); }, 20))
            << client.Finish(1).err << sim.StopAndLog();
        client.Signal(c.signal);
        if (requestsIn >= 0) ::close(requestsIn);
        RunResult ended = client.Finish(10);
        EXPECT_EQ(client.TermSignal(), c.signal) << ended.err;
        // korvid-sim frees the port once it has noticed (it may be busy
        // sending the last answer out at the line's pace first). The flag
        // must stay clear for longer than the simulator's 200 ms recheck:
        // its check clears the flag for a moment, and puts it back when
        // someone (this very probe) has the slave open just then.
        for (int i = 0, clear = 0; i < 600 && clear < 30; ++i) {
            clear = PortHeldExclusively(sim.Path()) ? 0 : clear + 1;
            ::usleep(10000);
        }
        // The next ordinary user gets the port.
        RunResult next = RunChild(AsOrdinaryUser({test::KorvidPath(), "read", "-o", dir.File("next.sxh"), "--port",
                                                  sim.Path()}),
                                  {}, 30);
        ASSERT_EQ(next.exitCode, 0) << next.err;
        EXPECT_FALSE(PortHeldExclusively(sim.Path()));
    }
}

// The client's own part: a tool that never clears the flag (unlike
// korvid-sim) and goes quiet once found, so that the client sits waiting
// with the port; each ending signal must release it on the way out.
TEST(PortRelease, EndingSignalsReleaseThePortInTheClient) {
    const rlimit noCore{0, 0};
    ASSERT_EQ(::setrlimit(RLIMIT_CORE, &noCore), 0);  // SIGQUIT would dump one
    TempDir dir;
    dir.GiveToOrdinaryUser();
    const std::string editor = dir.File("editor");
    ASSERT_EQ(::mkfifo(editor.c_str(), 0666), 0);
    const std::string source = std::string(KORVID_SOURCE_DIR) + "/examples/blink.src";
    for (const bool dap : {false, true}) {
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            SCOPED_TRACE(std::string(dap ? "dap" : "read") + ", signal " + std::to_string(signal));
            test::FaultyTool tool({test::Misbehaviour::Stall, 16});
            if (::geteuid() == 0) {
                ASSERT_EQ(::chown(tool.Path().c_str(), test::kOrdinaryUid, test::kOrdinaryUid), 0);
            }
            // The adapter's launch opens the port and waits on the stalled tool.
            Background client(AsOrdinaryUser(
                ClientArgv(dap ? std::vector<std::string>{"dap"}
                               : std::vector<std::string>{"read", "-o", dir.File("a.sxh"), "--port", tool.Path()},
                           editor)));
            const int requestsIn = dap ? ::open(editor.c_str(), O_WRONLY) : -1;
            const std::string requests = DapLaunch(source, tool.Path());
            if (dap) {
                ASSERT_EQ(::write(requestsIn, requests.data(), requests.size()), ssize_t(requests.size()));
            }
            ASSERT_TRUE(client.WaitUntil([&] { return tool.Exclusive(); }, 10)) << client.Finish(1).err;
            client.Signal(signal);
            client.Finish(10);
            if (requestsIn >= 0) ::close(requestsIn);
            EXPECT_EQ(client.TermSignal(), signal);
            EXPECT_FALSE(tool.Exclusive());
        }
    }
}

// The exclusive flag does not bind root; the lock on the open port does, so a
// second client of the same user (root, when the suite runs as root) is
// turned away instead of breaking into the first one's transfer.
TEST(PortRelease, SecondClientOfTheSameUserIsTurnedAway) {
    SimTool sim({}, {}, false);
    ASSERT_FALSE(sim.Path().empty());
    TempDir dir;
    Background first({test::KorvidPath(), "read", "-o", dir.File("first.sxh"), "--port", sim.Path()});
    ASSERT_TRUE(first.WaitUntil([&] { return PortHeldExclusively(sim.Path()); }, 20)) << first.Finish(1).err;
    RunResult second = sim.Korvid({"erase"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("Unable to open " + sim.Path() + "."), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("Device or resource busy"), std::string::npos) << second.err;
    RunResult done = first.Finish(30);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    struct stat st {};
    EXPECT_EQ(::stat(dir.File("first.sxh").c_str(), &st), 0);
}

}  // namespace
}  // namespace korvid
