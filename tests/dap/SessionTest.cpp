// The debug adapter's session without a process: requests go in through
// Handle, responses and events come out of its send function. The history
// against the forward run, breakpoint conditions, hit counts and logpoints
// on the simulator; the one hardware breakpoint and the end of a session on
// the simulated tool in memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "dap/Session.h"
#include "rpc/Framing.h"
#include "rpc/MemoryTransport.h"
#include "sim/InProcessToolDevice.h"
#include "sim/ToolDebug.h"
#include "sim/ToolFirmware.h"

namespace korvid::dap {
namespace {

// A loop that counts in 08h and sums the counts in 09h (line numbers in
// the comments).
constexpr const char* kLoop =
    "        DEVICE  SX28L, OSCHS2, TURBO\n"  // 1
    "        RESET   start\n"                 // 2
    "count   EQU     08h\n"                   // 3
    "total   EQU     09h\n"                   // 4
    "        ORG     0\n"                     // 5
    "start   CLR     count\n"                 // 6
    "        CLR     total\n"                 // 7
    "loop    INC     count\n"                 // 8
    "        MOV     W, count\n"              // 9
    "        ADD     total, W\n"              // 10
    "        JMP     loop\n";                 // 11

std::string WriteSource(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / ("korvid-dap-" + name + ".src");
    std::ofstream(path) << text;
    return path.string();
}

// A client of one session: it keeps every message the session sends.
class Client {
public:
    explicit Client(SessionOptions options = {})
        : session_([this](const Json& m) { messages_.push_back(m); }, std::move(options)) {}

    Json Request(const std::string& command, Json arguments = Json::object()) {
        const int seq = seq_++;
        session_.Handle({{"seq", seq}, {"type", "request"}, {"command", command}, {"arguments", arguments}});
        for (const Json& m : messages_)
            if (m.value("type", "") == "response" && m.value("request_seq", 0) == seq) return m;
        return Json();
    }
    // Lets the chip run until it stops; the stop event (null when it never stops).
    Json WaitStop(int slices = 1'000'000) {
        for (int i = 0; i <= slices; ++i) {
            for (; seen_ < messages_.size(); ++seen_)
                if (messages_[seen_].value("event", "") == "stopped") return messages_[seen_++];
            if (!session_.running()) break;
            session_.Advance();
        }
        return Json();
    }
    Json Stop(const std::string& command, Json arguments = Json::object()) {
        arguments["threadId"] = 1;
        EXPECT_TRUE(Request(command, arguments).value("success", false)) << command;
        return WaitStop();
    }
    // Initializes, launches (or attaches), sets the breakpoints and waits for the first stop.
    Json Launch(Json arguments, Json breakpoints = Json::array(), const std::string& command = "launch") {
        Request("initialize", {{"adapterID", "korvid"}});
        const Json launched = Request(command, arguments);
        EXPECT_TRUE(launched.value("success", false)) << launched.dump();
        breakpoints_ =
            Request("setBreakpoints", {{"source", {{"path", arguments["program"]}}}, {"breakpoints", breakpoints}});
        Request("configurationDone");
        return WaitStop();
    }
    std::string Evaluate(const std::string& expression) {
        return Request("evaluate", {{"expression", expression}})["body"].value("result", "");
    }
    int Line() { return Request("stackTrace", {{"threadId", 1}})["body"]["stackFrames"][0].value("line", 0); }
    // What a client sees of the stopped chip: the registers and the cycles.
    Json State() {
        return {Request("variables", {{"variablesReference", 1}})["body"]["variables"],
                Request("variables", {{"variablesReference", 4}})["body"]["variables"][0], Evaluate("count"),
                Evaluate("total")};
    }
    std::vector<std::string> Outputs(const std::string& category) const {
        std::vector<std::string> out;
        for (const Json& m : messages_)
            if (m.value("event", "") == "output" && m["body"].value("category", "") == category)
                out.push_back(m["body"].value("output", ""));
        return out;
    }
    const Json& breakpoints() const { return breakpoints_; }
    Session& session() { return session_; }

private:
    std::vector<Json> messages_;
    Session session_;
    int seq_ = 1;
    std::size_t seen_ = 0;
    Json breakpoints_;
};

// Going back replays the history: every state a step back or a reverse
// continue reaches is the one the forward run showed there, across a
// snapshot of the history (the hits lie beyond its first 65,536 cycles).
TEST(DapSession, HistoryReplaysTheForwardRun) {
    Client c;
    const std::string program = WriteSource("history", kLoop);
    ASSERT_EQ(
        c.Launch({{"program", program}, {"stopOnEntry", true}}, Json::array({{{"line", 8}, {"hitCondition", "15000"}}}))
            .value("body", Json::object())
            .value("reason", ""),
        "entry");
    EXPECT_EQ(c.Stop("continue")["body"].value("reason", ""), "breakpoint");
    EXPECT_EQ(c.Evaluate("count"), "$97 (151) in 08h");  // 15,000 mod 256, less the one INC to come
    const Json first = c.State();
    c.Stop("continue");
    const Json second = c.State();
    std::vector<Json> steps;
    for (int i = 0; i < 4; ++i) {
        c.Stop("stepIn", {{"granularity", "instruction"}});
        steps.push_back(c.State());
    }
    for (int i = 2; i >= 0; --i) {
        c.Stop("stepBack");
        EXPECT_EQ(c.State(), steps[std::size_t(i)]) << i;
    }
    c.Stop("stepBack");
    EXPECT_EQ(c.State(), second);
    EXPECT_EQ(c.Stop("reverseContinue")["body"].value("reason", ""), "breakpoint");
    EXPECT_EQ(c.State(), first);
    // Forward from there: the same second hit as the first time.
    c.Stop("continue");
    EXPECT_EQ(c.State(), second);
}

// Conditions, hit counts and logpoints on one line of the loop: the count
// at each of the first stops.
TEST(DapSession, ConditionsHitCountsAndLogpoints) {
    struct Case {
        Json breakpoints;
        std::vector<int> counts;  // `count` at the first stops
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {Json::array({{{"line", 9}, {"condition", "count == 5"}}}), {5, 5}, {}},
        {Json::array({{{"line", 9}, {"condition", "COUNT>250"}, {"hitCondition", "%2"}}}), {252, 254}, {}},
        {Json::array({{{"line", 9}, {"hitCondition", "3"}}}), {3, 4}, {}},
        {Json::array({{{"line", 9}, {"hitCondition", "== 2"}}, {{"line", 10}, {"hitCondition", "5"}}}), {2, 5}, {}},
        {Json::array({{{"line", 9}, {"hitCondition", "> 6"}}}), {7, 8}, {}},
        // A condition that cannot be read stops, so that it is seen.
        {Json::array({{{"line", 9}, {"condition", "nowhere == 1"}}}), {1, 2}, {}},
        {Json::array({{{"line", 9}, {"logMessage", "count={count}"}}, {{"line", 10}, {"hitCondition", "2"}}}),
         {2, 3},
         {"count=$01 (1) in 08h\n", "count=$02 (2) in 08h\n", "count=$03 (3) in 08h\n"}},
    };
    const std::string program = WriteSource("conditions", kLoop);
    for (const Case& k : cases) {
        Client c;
        c.Launch({{"program", program}, {"stopOnEntry", true}}, k.breakpoints);
        std::vector<int> counts;
        for (std::size_t i = 0; i < k.counts.size(); ++i) {
            EXPECT_EQ(c.Stop("continue")["body"].value("reason", ""), "breakpoint") << k.breakpoints.dump();
            const std::string shown = c.Evaluate("count");  // "$05 (5) in 08h"
            counts.push_back(shown.size() > 5 ? std::atoi(shown.c_str() + 5) : -1);
        }
        EXPECT_EQ(counts, k.counts) << k.breakpoints.dump();
        EXPECT_EQ(c.Outputs("console"), k.logged) << k.breakpoints.dump();
    }
}

// The simulated tool in memory: its one hardware breakpoint, which halts
// after its instruction; what it cannot do; and a disconnect that stops the
// chip or leaves it running, as the client asks.
TEST(DapSession, TheToolsOneHardwareBreakpointAndItsEnd) {
    const Family& family = Sx28lFamily();
    ToolFirmware firmware(family, {});
    ToolDebugRunner runner(family);
    runner.cyclesPerPoll = 2'000;
    firmware.SetRunner(&runner);
    std::vector<std::uint8_t> decoded;
    firmware.plainLog = &decoded;
    SessionOptions options;
    options.toolDevice = [&] { return std::make_unique<InProcessToolDevice>(firmware, SystemTicks()); };
    const std::string program = WriteSource("tool", kLoop);
    const Json tool{{"program", program}, {"target", "/dev/korvid-in-memory"}, {"stopOnEntry", true}};
    {
        Client c(options);
        EXPECT_EQ(c.Launch(tool, Json::array({{{"line", 9}}, {{"line", 10}}}))["body"].value("reason", ""), "entry");
        const Json& set = c.breakpoints()["body"]["breakpoints"];
        EXPECT_TRUE(set[0].value("verified", false));
        EXPECT_EQ(set[0].value("message", ""),
                  "the tool's one hardware breakpoint: the chip halts after the instruction at $003 has run, on the "
                  "instruction that follows it");
        EXPECT_FALSE(set[1].value("verified", true));
        EXPECT_EQ(set[1].value("message", ""), "the tool has one hardware breakpoint, and it is in use at $003");
        // An instruction breakpoint only where the one breakpoint is.
        const Json ib = c.Request(
            "setInstructionBreakpoints",
            {{"breakpoints", Json::array({{{"instructionReference", "0x004"}}, {{"instructionReference", "0x003"}}})}});
        EXPECT_FALSE(ib["body"]["breakpoints"][0].value("verified", true));
        EXPECT_TRUE(ib["body"]["breakpoints"][1].value("verified", false));
        // It halts after the instruction at its address ran: on line 10.
        EXPECT_EQ(c.Stop("continue")["body"].value("reason", ""), "breakpoint");
        EXPECT_EQ(c.Line(), 10);
        EXPECT_EQ(c.Evaluate("W"), "$01 (1)");
        for (const char* command : {"stepBack", "reverseContinue"})
            EXPECT_EQ(c.Request(command, {{"threadId", 1}}).value("message", ""),
                      "step back needs the simulator ('target': 'sim'): the tool cannot run backwards");
        EXPECT_FALSE(c.Request("writeMemory", {{"memoryReference", "code"}, {"data", "AAA="}}).value("success", true));
        EXPECT_FALSE(c.Request("variables", {{"variablesReference", 4}}).value("success", true));  // no cycle count
        // Left running: the last thing the tool hears is the end of the connection.
        c.Request("setBreakpoints", {{"source", {{"path", program}}}, {"breakpoints", Json::array()}});
        c.Request("setInstructionBreakpoints", {{"breakpoints", Json::array()}});
        c.Request("continue", {{"threadId", 1}});
        c.session().Advance();
        EXPECT_TRUE(c.Request("disconnect", {{"terminateDebuggee", false}}).value("success", false));
        EXPECT_TRUE(c.session().finished());
        c.session().Advance();  // nothing runs after the end
        EXPECT_EQ(c.Outputs("stderr"), std::vector<std::string>{});
        ASSERT_GE(decoded.size(), 2u);
        EXPECT_NE(decoded[decoded.size() - 2], kCmdStopClock);
        EXPECT_EQ(decoded.back(), kCmdEnd);
        EXPECT_EQ(runner.mode(), ToolDebugRunner::Mode::Running);
    }
    {
        // Attached again, it runs, and a disconnect that ends the program stops the clock.
        Client c(options);
        EXPECT_EQ(c.Launch(tool, Json::array(), "attach")["body"].value("reason", ""), "entry");
        c.Request("continue", {{"threadId", 1}});
        c.session().Advance();
        decoded.clear();
        EXPECT_TRUE(c.Request("disconnect", {{"terminateDebuggee", true}}).value("success", false));
        EXPECT_EQ(c.Outputs("stderr"), std::vector<std::string>{});
        EXPECT_EQ(decoded, (std::vector<std::uint8_t>{kCmdStopClock, kCmdEnd}));
    }
}

// The adapter on a transport in memory: framed requests in, framed
// answers out, a broken header and a message that is no request answered
// as errors, and the end of the input ends it.
TEST(DapServer, AnswersFramedMessagesOnATransportInMemory) {
    const auto frame = [](const std::string& body) {
        return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    rpc::MemoryTransport transport;
    transport.Send(frame(R"({"seq": 1, "type": "request", "command": "initialize", "arguments": {}})"));
    transport.Send("Content-Length: many\r\n\r\n");
    transport.Send(frame("[1, 2]"));
    transport.Send(frame(R"({"seq": 2, "type": "request", "command": "stackTrace"})"));
    transport.CloseInput();
    EXPECT_EQ(RunDebugAdapter(transport), 0);

    rpc::MemoryTransport answers;
    answers.Send(transport.Received());
    answers.CloseInput();
    rpc::MessageReader reader(answers);
    std::vector<std::tuple<int, bool, std::string>> responses;
    std::string body;
    while (reader.Read(body) == rpc::ReadStatus::Message) {
        const Json m = Json::parse(body);
        responses.emplace_back(m.value("request_seq", -1), m.value("success", false), m.value("message", ""));
    }
    using R = std::tuple<int, bool, std::string>;
    EXPECT_EQ(responses, (std::vector<R>{
                             R{1, true, ""}, R{0, false, "malformed message: a header without a usable Content-Length"},
                             R{0, false, "malformed message: not a request"}, R{2, false, "no program is launched"}}));
}

// A client of the adapter on a transport in memory, from another thread:
// framed requests in, the adapter's messages read as they come.
class FramedClient {
public:
    explicit FramedClient(rpc::MemoryTransport& transport) : transport_(transport) {}
    void Send(const std::string& command, Json arguments = Json::object()) {
        const std::string body =
            Json{{"seq", seq_++}, {"type", "request"}, {"command", command}, {"arguments", arguments}}.dump();
        transport_.Send("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    // The first message from here on that `wanted` accepts; an empty object after 20 s.
    Json WaitFor(const std::function<bool(const Json&)>& wanted) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            for (; seen_ < messages_.size(); ++seen_)
                if (wanted(messages_[seen_])) return messages_[seen_++];
            if (std::chrono::steady_clock::now() > deadline) return Json::object();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            pending_ += transport_.Received();
            for (;;) {  // whole frames only
                const std::size_t end = pending_.find("\r\n\r\n");
                if (end == std::string::npos) break;
                const std::size_t length = std::stoul(pending_.substr(pending_.find(':') + 1));
                if (pending_.size() < end + 4 + length) break;
                messages_.push_back(Json::parse(pending_.substr(end + 4, length)));
                pending_.erase(0, end + 4 + length);
            }
        }
    }
    Json Event(const std::string& name) {
        return WaitFor([&](const Json& m) { return m.value("event", "") == name; });
    }
    Json Response(const std::string& command) {
        return WaitFor(
            [&](const Json& m) { return m.value("type", "") == "response" && m.value("command", "") == command; });
    }

private:
    rpc::MemoryTransport& transport_;
    std::vector<Json> messages_;
    std::string pending_;
    std::size_t seen_ = 0;
    int seq_ = 1;
};

std::string Reason(const Json& stopped) { return stopped.value("body", Json::object()).value("reason", ""); }

// Both ways of reading the input, a thread of its own and one thread that
// looks for waiting requests between slices of a run, answer alike: a
// breakpoint far into a run stops it (a stray line end during the run
// holds up nothing), a pause is seen while the chip runs, and a disconnect
// or the end of the input while it runs ends the adapter.
TEST(DapServer, SeesRequestsWhileTheChipRunsOnEitherInput) {
    const std::string program = WriteSource("server-run", kLoop);
    // (A disconnect leaves the reader thread waiting for input that never
    // comes, on a transport that this test would destroy: that case is the
    // protocol tests', in a process of its own.)
    for (const auto& [oneThread, disconnect] :
         std::vector<std::pair<bool, bool>>{{false, false}, {true, false}, {true, true}}) {
        SCOPED_TRACE(std::string(oneThread ? "one thread" : "reader thread") +
                     (disconnect ? ", disconnect" : ", input ends"));
        // Shared with the adapter's thread, which a hung adapter keeps.
        const auto transportHeld = std::make_shared<rpc::MemoryTransport>(oneThread);
        const auto status = std::make_shared<std::atomic<int>>(-1);
        std::thread adapter([transportHeld, status] { *status = RunDebugAdapter(*transportHeld); });
        rpc::MemoryTransport& transport = *transportHeld;
        FramedClient client(transport);
        client.Send("initialize", {{"adapterID", "korvid"}});
        client.Send("launch", {{"program", program}});
        EXPECT_TRUE(client.Response("launch").value("success", false));
        // 200,000 passes through the loop, each a trap for the hit count.
        client.Send("setBreakpoints",
                    {{"source", {{"path", program}}}, {"breakpoints", {{{"line", 9}, {"hitCondition", "200000"}}}}});
        client.Send("configurationDone");
        client.Response("configurationDone");
        transport.Send("\r\n");  // nothing follows it until the stop
        EXPECT_EQ(Reason(client.Event("stopped")), "breakpoint");
        client.Send("evaluate", {{"expression", "count"}});
        EXPECT_EQ(client.Response("evaluate").value("body", Json::object()).value("result", ""), "$40 (64) in 08h");

        client.Send("setBreakpoints", {{"source", {{"path", program}}}, {"breakpoints", Json::array()}});
        client.Send("continue", {{"threadId", 1}});
        EXPECT_TRUE(client.Response("continue").value("success", false));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        client.Send("pause", {{"threadId", 1}});
        EXPECT_EQ(Reason(client.Event("stopped")), "pause");

        client.Send("continue", {{"threadId", 1}});
        EXPECT_TRUE(client.Response("continue").value("success", false));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (disconnect) {
            client.Send("disconnect", {{"terminateDebuggee", true}});
            EXPECT_TRUE(client.Response("disconnect").value("success", false));
        } else {
            transport.CloseInput();
        }
        // The adapter ends by itself; a hung one fails here after the wait.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (*status < 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(*status, 0);
        if (*status < 0) {
            transport.CloseInput();
            adapter.detach();
        } else {
            adapter.join();
        }
    }
}

}  // namespace
}  // namespace korvid::dap
