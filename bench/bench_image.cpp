// The chip image services: disassembling a whole program memory (what the
// Registers window redraws), expanding list lines (the Code view), preparing
// a debug image and loading an SXC program.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/image/DebugImage.h"
#include "core/image/Disassembler.h"
#include "core/image/SxcLoader.h"

namespace {

using namespace korvid;

struct Session {
    explicit Session(const Family& family) : state(std::make_unique<AssemblyState>(family)), buffer(kDefaultListCapacity) {
        state->ListText = buffer.data();
        state->ListCapacity = kDefaultListCapacity;
    }
    std::unique_ptr<AssemblyState> state;
    std::vector<char> buffer;
};

void BM_DisassembleAllWords(benchmark::State& st) {
    Session s(Sx52Family());
    for (int a = 0; a < kProgramWords; ++a) s.state->ChipImage[std::size_t(a)] = std::uint16_t(a) | kDataFlag;
    for (auto _ : st)
        for (int a = 0; a < kProgramWords; ++a) benchmark::DoNotOptimize(DisassembleWord(*s.state, a, 0));
    st.SetItemsProcessed(std::int64_t(st.iterations()) * kProgramWords);
}
BENCHMARK(BM_DisassembleAllWords);

void BM_GetListLine(benchmark::State& st) {
    Session s(Sx28lFamily());
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        s.state->ListLineOffset[std::size_t(i)] = std::uint32_t(text.size());
        text += "000- C01\t\tstart\tMOV\tW,#1\t; comment\r";
    }
    std::copy(text.begin(), text.end(), s.buffer.begin());
    s.state->ListLength = std::uint32_t(text.size());
    s.state->ListLineCount = 1000;
    const char* line = nullptr;
    for (auto _ : st)
        for (int i = 0; i < 1000; ++i) {
            GetListLine(*s.state, i, line);
            benchmark::DoNotOptimize(line);
        }
    st.SetItemsProcessed(std::int64_t(st.iterations()) * 1000);
}
BENCHMARK(BM_GetListLine);

void BM_PrepareDebugImage(benchmark::State& st) {
    Session s(Sx52Family());
    for (int a = 0; a < 3000; ++a) s.state->ChipImage[std::size_t(a)] = kDataFlag | 0x200;
    s.state->ChipImage[4095] = kDataFlag | 0xA00;
    s.state->ChipImage[kFuseIndex] = 0x0FFA;
    for (auto _ : st) {
        PrepareDebugImage(*s.state);
        benchmark::DoNotOptimize(s.state->DeviceImage[4095]);
    }
}
BENCHMARK(BM_PrepareDebugImage);

// A .cod file with all 17 code ranges, a full memory map and 255 blocks of
// line table.
void BM_PrepareEEPROM(benchmark::State& st) {
    Session s(Sx52Family());
    std::vector<std::uint8_t> cod(512u * 256u, 0);
    auto put = [&](std::size_t at, unsigned v) {
        cod[at] = std::uint8_t(v);
        cod[at + 1] = std::uint8_t(v >> 8);
    };
    for (unsigned j = 0; j < 17; ++j) put(2 * j, 1 + j);
    cod[0x1BB] = 18;
    cod[0x1BD] = 18;
    put(18u * 512u, 0);
    put(18u * 512u + 2, 0x1FFF);
    cod[0x1B2] = 19;
    cod[0x1B4] = 255;
    for (std::size_t b = 19; b < 256; ++b)
        for (std::size_t e = 0; e < 85; ++e) put(b * 512 + 6 * e + 4, unsigned(e * 48 % 4096));
    std::copy(cod.begin(), cod.end(), s.buffer.begin());
    for (auto _ : st) {
        s.state->ListLength = std::uint32_t(cod.size());
        PrepareEEPROM(*s.state);
        benchmark::DoNotOptimize(s.state->AddressLine[0]);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(cod.size()));
}
BENCHMARK(BM_PrepareEEPROM);

}  // namespace
