// The playground's object as the page's worker drives it, natively: the
// answers the page turns into its regions.
#include "playground/Playground.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/RunProgram.h"

namespace korvid::test {
namespace {

using Json = nlohmann::json;

std::string Example(const std::string& name) {
    std::ifstream in(std::string(KORVID_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const Json* Pin(const Json& state, const std::string& name) {
    for (const Json& p : state["pins"])
        if (p["name"] == name) return &p;
    return nullptr;
}

class PlaygroundTest : public ::testing::Test {
protected:
    Json Assemble(const std::string& source, const std::string& name = "program.src") {
        return Json::parse(playground.Assemble(source, name, "", ""));
    }
    Json Run(double cycles) { return Json::parse(playground.Run(cycles)); }
    TempDir dir;
    Playground playground{dir.path()};
};

TEST_F(PlaygroundTest, ProblemsNameTheirLineAndColumnAsTheCommandLineDoes) {
    const Json a = Assemble("        DEVICE  SX28L\n        ORG     0\n        JMP     nowhere\n", "bad.src");
    ASSERT_FALSE(a["ok"]);
    ASSERT_EQ(a["problems"].size(), 1u);
    const Json& p = a["problems"][0];
    EXPECT_EQ(p["line"], 3);
    EXPECT_EQ(p["column"], 17);
    EXPECT_EQ(p["text"].get<std::string>().rfind("3:17: error: ", 0), 0u) << p["text"];
    // The whole text is the command line's, the file named as the user named it.
    EXPECT_EQ(a["text"].get<std::string>().rfind("bad.src:3:17: error: ", 0), 0u) << a["text"];
    EXPECT_EQ(Json::parse(playground.Run(1000))["stop"], "idle");
}

TEST_F(PlaygroundTest, TheFamilyCommentChoosesThe52AndAnOptionOverridesIt) {
    const std::string source = Example("sx52_counter.src");
    EXPECT_EQ(Assemble(source)["family"], "52");
    const Json forced = Json::parse(playground.Assemble(source, "c.src", "28l", ""));
    EXPECT_EQ(forced["family"], "28l");
}

TEST_F(PlaygroundTest, BreakpointsStopOnTheirLineAndARunLeavesThem) {
    const Json a = Assemble(Example("blink.src"));
    ASSERT_TRUE(a["ok"]) << a["text"];
    // Line 20 is `main SETB led`; line 19 is empty and moves to it.
    EXPECT_EQ(Json::parse(playground.SetBreakpoints("[19]")), Json::parse("[20]"));
    Json r = Run(1e6);
    EXPECT_EQ(r["stop"], "breakpoint");
    EXPECT_EQ(r["state"]["line"], 20);
    const std::uint64_t first = r["state"]["cycle"];
    // The next arrival is after two quarter-second delays at 50 MHz.
    r = Run(30e6);
    EXPECT_EQ(r["stop"], "breakpoint");
    EXPECT_GT(r["state"]["cycle"].get<std::uint64_t>() - first, 20'000'000u);
    EXPECT_EQ(Json::parse(playground.SetBreakpoints("[]")), Json::array());
    EXPECT_EQ(Run(1e6)["stop"], "budget");
}

TEST_F(PlaygroundTest, ASwitchedInputReachesTheProgramAndItsLampFollows) {
    ASSERT_TRUE(Assemble(Example("button_led.src"))["ok"]);
    Json s = Run(2e6)["state"];  // 40 ms: released (the pull-up)
    ASSERT_NE(Pin(s, "RB.0"), nullptr);
    EXPECT_EQ((*Pin(s, "RB.0"))["output"], true);
    EXPECT_EQ((*Pin(s, "RB.0"))["level"], "0");
    EXPECT_EQ((*Pin(s, "RB.1"))["output"], false);
    EXPECT_EQ(playground.SetPin("RB.1", 0), "");
    s = Run(2e6)["state"];
    EXPECT_EQ((*Pin(s, "RB.0"))["level"], "1");
    EXPECT_EQ((*Pin(s, "RB.1"))["level"], "0");
    EXPECT_EQ(playground.SetPin("RB.1", 1), "");
    s = Run(2e6)["state"];
    EXPECT_EQ((*Pin(s, "RB.0"))["level"], "0");
    // The waveform saw the lamp go on and off.
    const Json wave = Json::parse(playground.TakeWave());
    int rises = 0;
    int last = 0;
    for (const Json& c : wave["changes"])
        if (c[1] == 1) {
            const int level = c[2].get<int>() & 1;
            rises += level && !last;
            last = level;
        }
    EXPECT_EQ(rises, 1);
    EXPECT_NE(playground.Vcd().find("$enddefinitions"), std::string::npos);
}

TEST_F(PlaygroundTest, TheSerialTerminalEchoesWhatIsTyped) {
    ASSERT_TRUE(Assemble(Example("serial_echo.src"))["ok"]);
    playground.SerialSend(std::string("Hi\x00\xff", 4));
    Run(4e6 * 0.01);  // 10 ms at 4 MHz: four bytes take about 4.2 ms
    EXPECT_EQ(Json::parse(playground.TakeSerial()).get<std::string>(), std::string("Hi\x00\xc3\xbf", 5));
    EXPECT_EQ(Json::parse(playground.TakeSerial()).get<std::string>(), "");
}

TEST_F(PlaygroundTest, RegistersAreWrittenOnlyWithValuesThatFit) {
    ASSERT_TRUE(Assemble(Example("blink.src"))["ok"]);
    EXPECT_EQ(playground.SetRegister("w", "$2A"), "");
    const Json s = Json::parse(playground.State());
    for (const Json& r : s["registers"]) {
        if (r["name"] == "W") { EXPECT_EQ(r["value"], 0x2A); }
    }
    struct Case {
        const char* name;
        const char* value;
        const char* reason;
    } cases[] = {
        {"W", "$1FF", "'$1FF' is not a value for W (0 to 255)"},
        {"NOPE", "1", "no register NOPE"},
        {"OPTION", "1", "OPTION cannot be written"},
    };
    for (const Case& c : cases) EXPECT_EQ(playground.SetRegister(c.name, c.value), c.reason) << c.name;
    EXPECT_EQ(playground.SetPin("RX.9", 1), "the chip has no pin RX.9");
    EXPECT_EQ(playground.SetRam(300, 1), "a RAM byte is 0 to 255 at 0 to 255");
}

TEST_F(PlaygroundTest, ATestFileRunsAgainstTheEditorsText) {
    const std::string test = Example("tests/blink.test");
    Json r = Json::parse(playground.RunTest(test, Example("blink.src"), "blink.src"));
    EXPECT_EQ(r["status"], "pass") << r["text"];
    EXPECT_EQ(r["text"].get<std::string>().rfind("PASS blink.test", 0), 0u) << r["text"];
    // The editor's text is what runs: a blink that never lights fails.
    std::string dark = Example("blink.src");
    const std::string lit = "main    SETB    led";
    dark.replace(dark.find(lit), lit.size(), "main    CLRB    led");
    r = Json::parse(playground.RunTest(test, dark, "blink.src"));
    EXPECT_EQ(r["status"], "fail") << r["text"];
    // Messages name the files inside the playground's folder, not where it is.
    r = Json::parse(playground.RunTest(test, "  JMP nowhere\n", "blink.src"));
    EXPECT_EQ(r["status"], "error");
    EXPECT_NE(r["text"].get<std::string>().find("\ntests/../blink.src:1:7: error: "), std::string::npos) << r["text"];
    EXPECT_EQ(r["text"].get<std::string>().find(dir.path()), std::string::npos) << r["text"];
}

TEST_F(PlaygroundTest, TheLanguageServerAnswersThroughStrings) {
    const Json out = Json::parse(playground.Lsp(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})"));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0]["result"].contains("capabilities"));
    EXPECT_EQ(Json::parse(playground.Lsp("not json"))[0]["error"]["code"], -32700);
}

}  // namespace
}  // namespace korvid::test
