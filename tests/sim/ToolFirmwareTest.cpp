#include <gtest/gtest.h>

#include "core/link/Scrambler.h"
#include "sim/ToolFirmware.h"

namespace korvid {
namespace {

// Drives the firmware as a client would: scrambles what it sends, skips the
// echo and unscrambles the answers.
struct Client {
    explicit Client(ToolFirmware& f) : fw(f) {}
    ToolFirmware& fw;
    std::uint16_t state = 0;
    bool scrambling = false;

    std::vector<std::uint8_t> SendRaw(const std::vector<std::uint8_t>& bytes) {
        fw.Receive(bytes.data(), bytes.size());
        std::vector<std::uint8_t> out(4096);
        out.resize(fw.TakeOutput(out.data(), out.size()));
        return out;
    }
    // Sends plain bytes; returns the plain answer after the echo.
    std::vector<std::uint8_t> Send(std::vector<std::uint8_t> plain) {
        std::vector<std::uint8_t> wire = plain;
        if (scrambling)
            for (auto& b : wire) b = ScrambleOut(state, b);
        std::vector<std::uint8_t> out = SendRaw(wire);
        EXPECT_GE(out.size(), wire.size());
        EXPECT_TRUE(std::equal(wire.begin(), wire.end(), out.begin())) << "echo";
        std::vector<std::uint8_t> answer(out.begin() + long(wire.size()), out.end());
        if (scrambling)
            for (auto& b : answer) b = UnscrambleIn(state, b);
        return answer;
    }
    std::uint8_t Detect() {
        auto out = SendRaw({' ', 'K', 'o', 'r', 'v', 'i', 'd'});
        EXPECT_EQ(out.size(), 7u + 9u);
        EXPECT_EQ(std::string(out.begin() + 7, out.begin() + 13), "Korvid");
        state = std::uint16_t((out[13] | (out[14] << 8)) ^ kLinkKey);
        scrambling = true;
        return UnscrambleIn(state, out[15]);
    }
};

class RecordingRunner final : public ChipRunner {
public:
    int releases = 0;
    std::vector<std::uint8_t> payload;
    void Release(SimChip&) override { ++releases; }
    std::uint8_t RunState(SimChip&) override { return 1; }
    void ReadState(SimChip&, std::uint8_t count, std::uint8_t* out) override {
        for (int i = 0; i < count; ++i) out[i] = std::uint8_t(0xA0 + i);
    }
    void Payload(SimChip&, const std::uint8_t* data, std::size_t size) override { payload.assign(data, data + size); }
};

TEST(ToolFirmware, DetectionSeedVersionAndEcho) {
    ToolOptions o;
    o.seed = 0x1234;
    o.firmwareVersion = 3;
    ToolFirmware fw(Sx52Family(), o);
    Client c(fw);
    // Bytes before the detection text are echoed and otherwise ignored.
    EXPECT_EQ(c.SendRaw({'x', ' ', ' '}), (std::vector<std::uint8_t>{'x', ' ', ' '}));
    EXPECT_EQ(c.Detect(), 3);
    EXPECT_TRUE(fw.Connected());
    // End of connection: the stream is plain again and waits for detection.
    EXPECT_TRUE(c.Send({0}).empty());
    EXPECT_FALSE(fw.Connected());
    c.scrambling = false;
    EXPECT_EQ(c.Detect(), 3);
}

TEST(ToolFirmware, ServesCommandsAndRoutesDebugToRunner) {
    ToolFirmware fw(Sx28lFamily());
    RecordingRunner runner;
    fw.SetRunner(&runner);
    Client c(fw);
    c.Detect();
    EXPECT_EQ(c.Send({4}), std::vector<std::uint8_t>{0});
    EXPECT_EQ(runner.releases, 1);
    EXPECT_EQ(c.Send({5}), std::vector<std::uint8_t>{1});
    EXPECT_EQ(c.Send({6, 3}), (std::vector<std::uint8_t>{0xA0, 0xA1, 0xA2}));
    EXPECT_TRUE(c.Send({7, 4, 1, 8, 2, 0x55}).empty());
    EXPECT_EQ(runner.payload, (std::vector<std::uint8_t>{1, 8, 2, 0x55}));
    EXPECT_EQ(c.Send({8, 0x20, 0x46, 0x3D}), std::vector<std::uint8_t>{0});
    EXPECT_EQ(fw.Chip().clockSetting, 0x3D4620u);
    EXPECT_TRUE(fw.Chip().clockRunning);
    EXPECT_TRUE(c.Send({9}).empty());
    EXPECT_FALSE(fw.Chip().clockRunning);
    EXPECT_EQ(c.Send({0x42}), std::vector<std::uint8_t>{4});  // unknown command
    // A payload may arrive split over several writes.
    EXPECT_TRUE(c.Send({7, 2}).empty());
    EXPECT_TRUE(c.Send({0}).empty());
    EXPECT_TRUE(c.Send({0}).empty());
    EXPECT_EQ(runner.payload, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_TRUE(fw.Connected());
}

TEST(ToolFirmware, ProgrammingBlocksAndMeasuredCount) {
    ToolFirmware fw(Sx28lFamily());
    Client c(fw);
    c.Detect();
    EXPECT_EQ(c.Send({1, 255}), std::vector<std::uint8_t>{0});
    EXPECT_EQ(c.Send({2}), std::vector<std::uint8_t>{0});
    EXPECT_EQ(c.Send({1, 50, 0xFF, 0x04}), std::vector<std::uint8_t>{0});  // trim 0
    auto end = c.Send({0});
    ASSERT_EQ(end.size(), 3u);
    std::uint16_t count = std::uint16_t(end[0] | (end[1] << 8));
    // 1266035968 / (4 MHz x 1.03 x 1.175) = 261.5
    EXPECT_NEAR(count, 262, 1);
    EXPECT_EQ(fw.Chip().flash[kExtFuseIndex], 0x4FF);
    // An unknown block header ends the sequence with a communication failure.
    EXPECT_EQ(c.Send({2}), std::vector<std::uint8_t>{0});
    EXPECT_EQ(c.Send({0x33}), std::vector<std::uint8_t>{4});
}

TEST(ToolFirmware, BrandelStreamIsPlainAndCannotClock) {
    ToolOptions o;
    o.brandel = true;
    ToolFirmware fw(Sx28lFamily(), o);
    Client c(fw);
    c.Detect();
    EXPECT_EQ(c.state, 0);
    EXPECT_EQ(c.Send({8, 1, 2, 3}), std::vector<std::uint8_t>{4});
    EXPECT_EQ(c.Send({4}), std::vector<std::uint8_t>{0});
}

TEST(ToolFirmware, Faults) {
    {
        ToolOptions o;
        o.badDetectIndex = 0;
        ToolFirmware fw(Sx28lFamily(), o);
        Client c(fw);
        auto out = c.SendRaw({' ', 'K', 'o', 'r', 'v', 'i', 'd'});
        EXPECT_EQ(out[7], 'k');
    }
    {
        ToolOptions o;
        o.silentAfterBytes = 8;
        ToolFirmware fw(Sx28lFamily(), o);
        Client c(fw);
        c.Detect();
        EXPECT_TRUE(c.Send({1}).empty());  // echo only: the erase waits for its length
        EXPECT_TRUE(c.SendRaw({2}).empty());  // silent: not even an echo
    }
    {
        ToolOptions o;
        o.failStatus = 2;
        o.failAfterStatuses = 1;
        ToolFirmware fw(Sx28lFamily(), o);
        Client c(fw);
        c.Detect();
        EXPECT_EQ(c.Send({4}), std::vector<std::uint8_t>{0});
        EXPECT_EQ(c.Send({4}), std::vector<std::uint8_t>{2});
        EXPECT_EQ(c.Send({4}), std::vector<std::uint8_t>{0});  // once only
    }
}

}  // namespace
}  // namespace korvid
