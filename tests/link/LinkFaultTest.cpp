// The link against a tool that misbehaves in the middle of a session, on a
// real pseudo-terminal: each misbehaviour ends the operation with its own
// message, in a time bounded by the operation, with the port released.
#include <gtest/gtest.h>

#include <chrono>

#include "core/asm/AssemblyState.h"
#include "core/link/Debug.h"
#include "core/link/Link.h"
#include "core/link/LinkError.h"
#include "platform/posix/PosixSerialDevice.h"
#include "core/link/Programming.h"
#include "tests/support/FaultyTool.h"

namespace korvid {
namespace {

using test::FaultyTool;
using test::Misbehaviour;
using test::ToolFault;

// Detection as the tool's output: the echo of " Korvid", "Korvid", the seed
// and the version.
constexpr std::size_t kDetectionBytes = 16;

struct Outcome {
    std::string window;       // what the windows show
    std::string commandLine;  // what the command line prints
    double seconds = 0;
};

Outcome RunAgainst(FaultyTool& tool, const std::function<void(Link&)>& operation) {
    PosixSerialDevice device;
    Link link(device);
    link.PortName = tool.Path();
    const auto start = std::chrono::steady_clock::now();
    Outcome o{"no failure", "no failure"};
    try {
        operation(link);
    } catch (const LinkFailure& e) {
        o.window = e.Text();
        o.commandLine = e.CommandLineText();
    }
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(link.PortOpen) << o.commandLine;
    EXPECT_FALSE(tool.Exclusive()) << o.commandLine << ": the port is left exclusive";
    return o;
}

void Read(Link& link) {
    AssemblyState state(Sx28lFamily());
    ReadDevice(link, state, NoLinkObserver(), "Reading...");
}

TEST(LinkFaults, EachMisbehaviourHasItsMessageAndEndsInTime) {
    // Each text is followed by the port's path and "." when it ends in a
    // blank. The windows keep their established texts; the command line
    // says that the link failed once the tool was found.
    const std::string notFound = "Korvid not found on ";
    struct Case {
        ToolFault fault;
        std::string window;
        std::string commandLine;
        double seconds;  // the operation ends before this
    };
    const Case cases[] = {
        // Not a word from the tool: both line speeds tried.
        {{Misbehaviour::Stall, 0}, notFound, notFound, 4},
        // Found, then silent.
        {{Misbehaviour::Stall, kDetectionBytes}, notFound, "Link failed: no answer from Korvid on ", 2.5},
        // Each byte inside the time-out, the reply as a whole far beyond it:
        // a read of the whole chip would have taken an hour.
        {{Misbehaviour::Drip, kDetectionBytes, 800}, notFound, "Link failed: Korvid answers too slowly on ", 3},
        {{Misbehaviour::Garbage, kDetectionBytes}, "Communication failed", "Communication failed", 2.5},
        {{Misbehaviour::Flood, kDetectionBytes}, "Communication failed", "Communication failed", 2.5},
        {{Misbehaviour::HangUp, kDetectionBytes}, "Unable to read from ", "Unable to read from ", 2.5},
    };
    for (const Case& c : cases) {
        FaultyTool tool(c.fault);
        ASSERT_FALSE(tool.Path().empty());
        SCOPED_TRACE(c.commandLine);
        auto full = [&](const std::string& text) { return text + (text.back() == ' ' ? tool.Path() : "") + "."; };
        const Outcome o = RunAgainst(tool, Read);
        EXPECT_EQ(o.window, full(c.window));
        EXPECT_EQ(o.commandLine, full(c.commandLine));
        EXPECT_LT(o.seconds, c.seconds);
    }
}

// A slow but steady tool is no fault: the allowance grows with the reply.
// The debugger's state block (152 bytes) at 8 ms a byte takes longer than
// the reply time-out as a whole.
TEST(LinkFaults, SteadyDripWithinTheAllowanceCompletes) {
    FaultyTool tool({Misbehaviour::Drip, kDetectionBytes, 8});
    AssemblyState state(Sx28lFamily());
    const Outcome o = RunAgainst(tool, [&](Link& link) {
        link.OpenLink();
        DebugSession session(link, state);
        session.Begin();
        session.ReadState();
        link.CloseLink();
    });
    EXPECT_EQ(o.commandLine, "no failure");
    EXPECT_GT(o.seconds, 1.0);
}

// Noise where the debugger polls for the run state is no run state.
TEST(LinkFaults, NoiseForARunStateIsAnUnexpectedAnswer) {
    FaultyTool tool({Misbehaviour::Flood, kDetectionBytes});
    AssemblyState state(Sx28lFamily());
    const Outcome o = RunAgainst(tool, [&](Link& link) {
        link.OpenLink();
        DebugSession session(link, state);
        session.Begin();
        for (int i = 0; i < 8; ++i) (void)session.Poll();
    });
    EXPECT_EQ(o.window, "Link failed: unexpected answer from Korvid on " + tool.Path() + ".");
    EXPECT_EQ(o.commandLine, o.window);
}

}  // namespace
}  // namespace korvid
