// The waveform writer's time stamps and its buffering: every stamp is the
// exact picosecond count of its cycle, across the digits it keeps between
// stamps, at clocks with and without a whole number of picoseconds a cycle,
// and for dumps much larger than its buffer.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "family/Family.h"
#include "sim/VcdWriter.h"

namespace korvid {
namespace {

std::string TempPath() {
    char name[] = "/tmp/korvid-vcd-XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    return name;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The "#N" lines of a dump in order.
std::vector<std::string> Stamps(const std::string& dump) {
    std::vector<std::string> out;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] == '#') out.push_back(line.substr(1));
    return out;
}

struct Dump {
    std::string dump;
    bool ok;
};

// Toggles RB0 at each of `cycles` and commits at the last one plus one.
Dump Toggle(SimTimeBase base, const std::vector<std::uint64_t>& cycles) {
    const std::string path = TempPath();
    VcdWriter vcd;
    std::string message;
    EXPECT_TRUE(vcd.Open(path, "SX28L", StimulusPins::Of(Sx28lFamily(), 3), base, message)) << message;
    std::uint8_t level = 0;
    for (std::uint64_t c : cycles) vcd.PinsChanged(1, level ^= 1, c);
    const bool ok = vcd.Commit(cycles.back() + 1, message);
    Dump r{ReadAll(path), ok};
    std::remove(path.c_str());
    return r;
}

TEST(VcdWriter, StampsAreExactPicosecondsOfTheirCycles) {
    struct Case {
        SimTimeBase base;
        std::vector<std::uint64_t> cycles;
    };
    // 50 MHz turbo: 20,000 ps a cycle, 10^8 ps at cycle 5,000. 3 MHz
    // compatible: 4/3 us a cycle, rounded. 4 GHz: 250 ps.
    const Case cases[] = {
        {{50'000'000, 1}, {0, 1, 4'999, 5'000, 5'001, 9'999, 10'000, 10'005, 4'999'999'999, 5'000'000'000}},
        {{3'000'000, 4}, {0, 1, 2, 74, 75, 76, 150, 1'000'001, 123'456'789'012}},
        {{4'000'000'000u, 1}, {0, 3, 4, 399'999, 400'000, 400'001, 40'000'000'000'000}},
    };
    for (const Case& c : cases) {
        const Dump r = Toggle(c.base, c.cycles);
        ASSERT_TRUE(r.ok);
        std::vector<std::string> expected;
        for (std::uint64_t cycle : c.cycles) expected.push_back(std::to_string(c.base.Picoseconds(cycle)));
        expected.push_back(std::to_string(c.base.Picoseconds(c.cycles.back() + 1)));
        EXPECT_EQ(Stamps(r.dump), expected) << c.base.clockHz;
    }
}

TEST(VcdWriter, DumpsLargerThanTheBufferArriveWhole) {
    std::vector<std::uint64_t> cycles;
    for (std::uint64_t c = 0; c < 200'000; ++c) cycles.push_back(c * 100);
    const Dump r = Toggle({50'000'000, 1}, cycles);
    ASSERT_TRUE(r.ok);
    const std::vector<std::string> stamps = Stamps(r.dump);
    ASSERT_EQ(stamps.size(), cycles.size() + 1);
    for (std::size_t i = 0; i < cycles.size(); ++i)
        ASSERT_EQ(stamps[i], std::to_string(cycles[i] * 20'000)) << i;
    // Every stamp but the last is followed by the one change of RB0.
    EXPECT_NE(r.dump.find("#399998000000\n0B0\n#399998020000\n"), std::string::npos);
}

// At its size limit the dump stops recording, raises the stop flag once and
// ends on a time stamp at the cycle where it stopped, within the limit;
// pin and register changes count alike. A limit below the header is
// refused at Open.
TEST(VcdWriter, SizeLimitEndsAValidDumpAndRaisesTheStopFlag) {
    for (const bool registers : {false, true}) {
        const std::string path = TempPath();
        VcdWriter vcd;
        volatile std::sig_atomic_t stop = 0;
        vcd.stopFlag = &stop;
        vcd.SetLimit(4096);
        std::string message;
        ASSERT_TRUE(vcd.Open(path, "SX28L", StimulusPins::Of(Sx28lFamily(), 3), {}, message, {"W"})) << message;
        std::uint64_t c = 0;
        for (; c < 10'000 && !stop; ++c) {
            if (registers) vcd.RegisterChanged(0, static_cast<std::uint8_t>(c), c * 10);
            else vcd.PinsChanged(1, c & 1, c * 10);
        }
        EXPECT_EQ(stop, 1) << "stopped after " << c;
        EXPECT_TRUE(vcd.limitReached());
        for (; c < 10'000; ++c) vcd.PinsChanged(1, c & 1, c * 10);  // ignored from now on
        ASSERT_TRUE(vcd.Commit(100'000, message)) << message;
        const std::string dump = ReadAll(path);
        EXPECT_LE(dump.size(), 4096u);
        EXPECT_GT(dump.size(), 3900u);
        const auto stamps = Stamps(dump);
        ASSERT_GE(stamps.size(), 2u);
        EXPECT_LT(std::stoull(stamps.back()), 100'000ull * 20'000) << "the dump ends where it stopped";
        EXPECT_EQ(dump.back(), '\n');
        EXPECT_NE(vcd.LimitMessage().find("size limit of 4096 bytes"), std::string::npos) << vcd.LimitMessage();
        unlink(path.c_str());
    }
    VcdWriter tiny;
    tiny.SetLimit(200);
    std::string message;
    const std::string path = TempPath();
    EXPECT_FALSE(tiny.Open(path, "SX28L", StimulusPins::Of(Sx28lFamily(), 3), {}, message));
    EXPECT_NE(message.find("leaves no room"), std::string::npos) << message;
    unlink(path.c_str());
}

TEST(VcdWriter, AFullDeviceIsAFailureAndLeavesNothing) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    VcdWriter vcd;
    std::string message;
    ASSERT_TRUE(vcd.Open("/dev/full", "SX28L", StimulusPins::Of(Sx28lFamily(), 3), {}, message));
    for (std::uint64_t c = 0; c < 100'000; ++c) vcd.PinsChanged(1, c & 1, c * 10);
    EXPECT_FALSE(vcd.Commit(1'000'000, message));
    EXPECT_NE(message.find("/dev/full"), std::string::npos) << message;
}

}  // namespace
}  // namespace korvid
