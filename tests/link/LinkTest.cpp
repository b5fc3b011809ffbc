#include <gtest/gtest.h>

#include "core/link/Link.h"
#include "core/link/LinkError.h"
#include "core/link/Scrambler.h"
#include "tests/link/ScriptDevice.h"

namespace korvid {
namespace {

using test::FakeTicks;
using test::ScriptDevice;

const std::vector<std::uint8_t> kDetect = {' ', 'K', 'o', 'r', 'v', 'i', 'd'};

// A tool that answers the detection at `baud` with `seed` and `version`.
struct ScriptedTool {
    FakeTicks ticks;
    ScriptDevice device{ticks};
    Link link{device, ticks};
    std::uint32_t toolBaud = 57600;
    std::uint16_t seed = 0x5A3C;
    std::uint8_t version = 2;
    std::string reply = "Korvid";
    std::uint16_t toolState = 0;  // the tool's scrambler register

    ScriptedTool() {
        device.onWrite = [this](const std::vector<std::uint8_t>& bytes) {
            if (bytes == kDetect && device.bauds.back() == toolBaud) {
                device.Answer(reply);
                device.Answer({std::uint8_t(seed & 0xFF), std::uint8_t(seed >> 8)});
                toolState = seed ^ kLinkKey;
                device.Answer({ToolEncode(toolState, version)});
            }
        };
    }
    // Queues bytes the tool sends after the next write, scrambled.
    void Reply(std::initializer_list<std::uint8_t> plain) {
        for (std::uint8_t p : plain) device.Answer({ToolEncode(toolState, p)});
    }
    std::string Failure(const std::function<void()>& f) {
        try {
            f();
        } catch (const LinkFailure& e) {
            return e.Text();
        }
        return "no failure";
    }
};

TEST(LinkDetection, FindsToolAndStartsScrambling) {
    ScriptedTool t;
    t.link.OpenLink();
    EXPECT_TRUE(t.link.PortOpen);
    EXPECT_TRUE(t.link.Scrambling);
    EXPECT_EQ(t.link.FirmwareVersion, 2);
    // The version byte was decoded, so the register moved on by one step.
    EXPECT_EQ(t.link.ScrambleState, ScrambleStep(0x5A3C ^ kLinkKey));
    ASSERT_EQ(t.device.writes.size(), 1u);
    EXPECT_EQ(t.device.writes[0], kDetect);
    EXPECT_EQ(t.device.bauds, std::vector<std::uint32_t>{57600});
    EXPECT_EQ(t.ticks.slept.front(), 100u);  // settle time before the first byte
    EXPECT_EQ(t.link.ReplyTimeout, 1000u);
}

TEST(LinkDetection, WrongCharacterFailsAtOnceWithoutOtherSpeed) {
    for (std::string reply : {"Xorvid", "Korvix"}) {
        ScriptedTool t;
        t.reply = reply;
        EXPECT_EQ(t.Failure([&] { t.link.OpenLink(); }), "Korvid not found on COM1.");
        EXPECT_EQ(t.device.bauds.size(), 1u) << reply;
        EXPECT_FALSE(t.link.PortOpen);
        EXPECT_FALSE(t.link.Probing);
    }
}

TEST(LinkDetection, SilenceOnBothSpeeds) {
    ScriptedTool t;
    t.toolBaud = 0;
    t.link.PortName = "COM3";
    EXPECT_EQ(t.Failure([&] { t.link.OpenLink(); }), "Korvid not found on COM3.");
    EXPECT_EQ(t.device.bauds, (std::vector<std::uint32_t>{57600, 19200}));
    EXPECT_EQ(t.link.BaudRate, 57600u);
    EXPECT_FALSE(t.link.PortOpen);
    EXPECT_EQ(t.device.closes, 2);
}

TEST(LinkDetection, SecondSpeedIsKeptForNextConnection) {
    ScriptedTool t;
    t.toolBaud = 19200;
    t.link.OpenLink();
    EXPECT_EQ(t.link.BaudRate, 19200u);
    t.link.CloseLink();
    t.link.OpenLink();
    EXPECT_EQ(t.device.bauds, (std::vector<std::uint32_t>{57600, 19200, 19200}));
}

TEST(LinkDetection, ReplySplitAcrossReadsWithEcho) {
    for (std::size_t chunk : {1u, 3u, 7u, 8u}) {
        ScriptedTool t;
        t.device.chunk = chunk;
        t.link.OpenLink();
        EXPECT_EQ(t.link.FirmwareVersion, 2) << chunk;
    }
}

TEST(LinkDetection, SeedEqualToKeyIsPlainAndRefusedForDebugging) {
    ScriptedTool t;
    t.seed = kLinkKey;
    t.version = 7;
    t.link.OpenLink();
    EXPECT_EQ(t.link.ScrambleState, 0);
    EXPECT_EQ(t.link.FirmwareVersion, 7);
    t.link.CloseLink();
    EXPECT_EQ(t.device.writes.back(), std::vector<std::uint8_t>{0});  // plain end byte
    EXPECT_EQ(t.Failure([&] { t.link.RequireDebugTool(); }), "Brandel does not support this function.");

    ScriptedTool d;
    d.link.RequireDebugTool();
    EXPECT_FALSE(d.link.PortOpen);
}

TEST(LinkBytes, SendWordLayoutAndBatching) {
    ScriptedTool t;
    t.device.echo = false;
    t.link.SendWord(0x0ABC);
    t.link.SendWord(0xFABC);  // bits above 11 are not sent
    t.link.SendText("AB");
    EXPECT_TRUE(t.device.writes.empty());  // nothing leaves before Flush
    t.device.open = true;
    t.link.Flush();
    ASSERT_EQ(t.device.writes.size(), 1u);
    EXPECT_EQ(t.device.writes[0], (std::vector<std::uint8_t>{0xBC, 0x0A, 0xBC, 0x0A, 'A', 'B'}));
    EXPECT_EQ(t.link.EchoPending, 6u);
    EXPECT_EQ(t.link.TransmitLength, 0u);
}

TEST(LinkBytes, ReceiveWordDropsUpperNibble) {
    ScriptedTool t;
    t.link.OpenLink();
    t.Reply({0x34, 0xF2});
    EXPECT_EQ(t.link.ReceiveWord(), 0x234);
}

TEST(LinkBytes, EchoSkippedAsRawBytesAcrossSplitReads) {
    ScriptedTool t;
    t.link.OpenLink();
    t.device.chunk = 2;
    t.device.onWrite = [&](const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) ToolDecode(t.toolState, b);
        t.Reply({0});
    };
    for (int i = 0; i < 5; ++i) t.link.SendByte(0x55);
    t.link.Flush();
    t.link.CheckStatus();  // the 5 echo bytes are skipped, then status 0
    EXPECT_EQ(t.link.EchoPending, 0u);
    EXPECT_EQ(t.link.ScrambleState, t.toolState);
}

TEST(LinkStatus, EveryStatusByte) {
    for (int status = 0; status < 256; ++status) {
        ScriptedTool t;
        t.link.OpenLink();
        t.Reply({std::uint8_t(status)});
        std::string result = t.Failure([&] { t.link.CheckStatus(); });
        const char* expected = status == 0   ? "no failure"
                               : status == 1 ? "Vpp generation failed."
                               : status == 2 ? "Chip connection failed."
                               : status == 3 ? "Programming failed."
                                             : "Communication failed.";
        EXPECT_EQ(result, expected) << status;
        EXPECT_EQ(t.link.PortOpen, status == 0);
    }
}

TEST(LinkFailures, PortErrorsCloseThePort) {
    struct Case {
        const char* port;
        std::function<void(ScriptedTool&)> arrange;
        std::function<void(ScriptedTool&)> act;
        const char* message;
    };
    const Case cases[] = {
        {"COM1", [](ScriptedTool& t) { t.device.failOpen = true; }, [](ScriptedTool& t) { t.link.OpenLink(); },
         "Unable to open COM1."},
        {"COM2", [](ScriptedTool& t) { t.link.OpenLink(); t.device.writeLimit = 1; },
         [](ScriptedTool& t) { t.link.SendByte(1); t.link.SendByte(2); t.link.Flush(); }, "Transmit stall on COM2."},
        {"COM4", [](ScriptedTool& t) { t.link.OpenLink(); t.device.failWrite = true; },
         [](ScriptedTool& t) { t.link.SendByte(1); t.link.Flush(); }, "Unable to write to COM4."},
        {"COM1", [](ScriptedTool& t) { t.link.OpenLink(); t.device.failRead = true; },
         [](ScriptedTool& t) { t.link.ReceiveByte(); }, "Unable to read from COM1."},
        {"COM1", [](ScriptedTool& t) { t.link.OpenLink(); },
         [](ScriptedTool& t) { t.link.SendByte(1); t.link.Flush(); t.link.ReceiveByte(); }, "Korvid not found on COM1."},
    };
    for (const Case& c : cases) {
        ScriptedTool t;
        t.link.PortName = c.port;
        c.arrange(t);
        EXPECT_EQ(t.Failure([&] { c.act(t); }), c.message);
        EXPECT_FALSE(t.link.PortOpen) << c.message;
        EXPECT_FALSE(t.device.open) << c.message;
    }
}

TEST(LinkFailures, ReplyTimeoutBoundsTheWait) {
    ScriptedTool t;
    t.link.OpenLink();
    t.link.ReplyTimeout = 1640;
    std::uint64_t before = t.ticks.now;
    EXPECT_EQ(t.Failure([&] { t.link.ReceiveByte(); }), "Korvid not found on COM1.");
    EXPECT_EQ(t.ticks.now - before, 1640u);
    EXPECT_LE(t.device.waits, 2);  // waited, did not spin
}

}  // namespace
}  // namespace korvid
