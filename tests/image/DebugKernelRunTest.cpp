// The debug kernel run on the SX emulator: it reports the registers bit by
// bit with one calibrated bit time, takes register writes and resumes.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "core/image/DebugImage.h"
#include "core/image/DebugKernel.h"
#include "sim/SxCpu.h"
#include "tests/image/ImageTestSupport.h"

namespace korvid {
namespace {

// Kernel lines on port A: KOUT bit 0 (the kernel's latch), KIN bit 1, KCLK bit 2.
constexpr int kPortA = 0;

struct KernelRun {
    KernelRun(const Family& family, std::uint16_t fuse, std::uint32_t frequency)
        : session(family), cpu(family) {
        AssemblyState& s = *session.state;
        s.ChipImage[0] = kDataFlag | 0x200;
        s.ChipImage[std::size_t(ProgramSize(family, s.ChipImage[kExtFuseIndex]) - 1)] = kDataFlag | 0xA00;
        s.ChipImage[kFuseIndex] = fuse;
        s.ClockFrequency = frequency;
        PrepareDebugImage(s);
        EXPECT_EQ(s.ErrorFlag, 0);
        size = ProgramSize(family, s.DeviceImage[kExtFuseIndex]);
        base = size - 137;
        SxCpuConfig config = SxCpuConfigFromFuses(family, s.DeviceImage[kFuseIndex], s.DeviceImage[kExtFuseIndex]);
        config.clockHz = frequency;
        cpu.Configure(config);
        std::vector<std::uint16_t> words(s.DeviceImage.begin(), s.DeviceImage.begin() + kProgramWords);
        cpu.LoadProgram(words.data(), kProgramWords);
        cpu.SetPortInput(kPortA, 0x00, 0x06);  // KIN and KCLK low
        // Halted program: the stub enters the kernel with the last page selected.
        cpu.SetPc(std::uint16_t(base + kKernelEntryWord));
        cpu.SetStatus(0xE0 | 0x18);
    }

    int Word(int n) const { return base + n; }

    // Steps until the kernel reaches `word`; false after too many steps.
    bool StepTo(int word, long limit = 5000000) {
        while (limit-- > 0) {
            if (cpu.pc() == Word(word)) return true;
            Step();
        }
        return false;
    }

    void Step() {
        // The tool's side of the command bytes: one bit per strobe. The
        // kernel may poll a wait a few times before a level passes the
        // input synchroniser, so each level is driven once per wait.
        if (cpu.pc() == Word(receiveWaitHigh) && !bits.empty() && !strobe) {
            cpu.SetPortInput(kPortA, std::uint8_t((bits.front() ? 0x02 : 0) | 0x04), 0x06);
            bits.pop_front();
            strobe = true;
        } else if (cpu.pc() == Word(receiveWaitLow) && strobe) {
            cpu.SetPortInput(kPortA, 0x00, 0x06);
            strobe = false;
        }
        cpu.Step();
    }

    // Bytes the tool sends, least significant bit first.
    void Send(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes)
            for (int i = 7; i >= 0; --i) bits.push_back((b >> i) & 1);  // shifted in from the left
    }

    test::ImageSession session;
    SxCpu cpu;
    int size = 0, base = 0;
    int receiveWaitHigh = 83, receiveWaitLow = 89;
    std::deque<bool> bits;
    bool strobe = false;
};

// Reads the report: the level of KOUT each time the kernel has driven a
// bit (word 22, the jump into the delay), with the clock at that moment.
struct Report {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> bitClocks;  // clocks from one bit to the next
    bool framed = true;
};

Report ReadReport(KernelRun& run, std::size_t maxBits = 5000) {
    Report r;
    std::vector<int> levels;
    std::uint64_t last = 0;
    for (;;) {
        run.Step();
        if (run.cpu.pc() == run.Word(53)) break;  // the command loop: report done
        if (run.cpu.pc() != run.Word(22)) continue;
        if (!levels.empty()) r.bitClocks.push_back(run.cpu.clocks() - last);
        last = run.cpu.clocks();
        levels.push_back(run.cpu.portLatch(kPortA) & 1);
        if (levels.size() >= maxBits) break;
    }
    for (std::size_t at = 0; at + 10 <= levels.size(); at += 10) {
        std::uint8_t byte = 0;
        for (int i = 0; i < 8; ++i) byte = std::uint8_t(byte | (levels[at + 1 + std::size_t(i)] << i));
        r.framed = r.framed && levels[at] == 0 && levels[at + 9] == 1;
        r.bytes.push_back(byte);
    }
    r.framed = r.framed && levels.size() % 10 == 0;
    return r;
}

TEST(DebugKernelRun, ReportsRegistersAndBanks) {
    for (const Family* family : test::kBothFamilies) {
        SCOPED_TRACE(std::string(family->name));
        KernelRun run(*family, 0x03FA, 1000000);  // short bits keep the run quick
        // Registers 10 to 12 are plain registers in both families.
        for (int a = 10; a <= 12; ++a) run.cpu.Poke(a, std::uint8_t(0xA0 + a));
        std::vector<int> ram;
        for (int a = 16; a < 256; ++a) {
            bool banked = family->is52() || (a & 0x10);
            if (!banked) continue;
            run.cpu.Poke(a, std::uint8_t(a ^ 0x5A));
            ram.push_back(a);
        }
        Report r = ReadReport(run);
        EXPECT_TRUE(r.framed);
        ASSERT_EQ(r.bytes.size(), 15 + ram.size());
        for (int a = 10; a <= 12; ++a) EXPECT_EQ(r.bytes[std::size_t(a - 1)], 0xA0 + a) << a;
        EXPECT_EQ(r.bytes[2] & 0x18, 0x18);  // STATUS with its PD and TO bits
        for (std::size_t i = 0; i < ram.size(); ++i)
            ASSERT_EQ(r.bytes[15 + i], std::uint8_t(ram[i] ^ 0x5A)) << "register " << ram[i];
    }
}

// The delay constants scale the bit time with the clock: a data bit lasts
// F / 10000 clocks (100 us) plus the kernel's own fixed work of about twenty
// instruction cycles, in both modes and both delay forms. A loop whose
// cycle count did not match the constants would drift with the frequency.
TEST(DebugKernelRun, BitTimeFollowsTheClock) {
    struct Row {
        bool turbo;
        std::uint32_t frequency;
    };
    const Row rows[] = {{true, 50000000}, {true, 10000000}, {true, 4000000}, {true, 1000000},
                        {false, 40000000}, {false, 30000000}, {false, 20000000}, {false, 4000000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.frequency) + (row.turbo ? " turbo" : " compatible"));
        KernelRun run(Sx28lFamily(), row.turbo ? 0x03FA : 0x0BFA, row.frequency);
        Report r = ReadReport(run, 300);
        ASSERT_GT(r.bitClocks.size(), 100u);
        std::vector<std::int64_t> extra;
        for (std::uint64_t clocks : r.bitClocks) extra.push_back(std::int64_t(clocks) - row.frequency / 10000);
        std::sort(extra.begin(), extra.end());
        const std::int64_t cycles = extra[extra.size() / 2] / (row.turbo ? 1 : 4);  // the usual data bit
        EXPECT_GE(cycles, 10);
        EXPECT_LE(cycles, 30);
        // Start and stop bits take at most a few cycles more.
        EXPECT_LE(extra.back() - extra.front(), (row.turbo ? 1 : 4) * 12);
    }
}

TEST(DebugKernelRun, WritesRegistersAndResumes) {
    for (bool turbo : {true, false}) {
        SCOPED_TRACE(turbo ? "turbo" : "compatible");
        KernelRun run(Sx28lFamily(), turbo ? 0x03FA : 0x0BFA, 4000000);
        if (turbo) run.receiveWaitLow = 91;
        ReadReport(run);
        run.Send({0x08, 0x5A, 0x3F, 0xC3, 0x80});  // register 8 := 5A, 3F := C3, resume
        ASSERT_TRUE(run.StepTo(9));                 // RETI of the resume
        EXPECT_EQ(run.cpu.Peek(8), 0x5A);
        EXPECT_EQ(run.cpu.Peek(0x3F), 0xC3);
        EXPECT_TRUE(run.bits.empty());
    }
}

}  // namespace
}  // namespace korvid
