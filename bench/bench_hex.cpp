// SaveHex and LoadHex of a full 4096-word image.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "core/image/HexFile.h"

namespace {

using namespace korvid;

struct FullImage {
    FullImage() : state(std::make_unique<AssemblyState>(Sx52Family())), buffer(kDefaultListCapacity) {
        state->ListText = buffer.data();
        state->ListCapacity = kDefaultListCapacity;
        for (int a = 0; a < kProgramWords; ++a) state->ChipImage[a] = std::uint16_t((a * 37) & 0xFFF) | kDataFlag;
    }
    std::unique_ptr<AssemblyState> state;
    std::vector<char> buffer;
};

void BM_SaveHex(benchmark::State& st) {
    FullImage img;
    for (auto _ : st) {
        SaveHex(*img.state);
        benchmark::DoNotOptimize(img.state->ListLength);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * img.state->ListLength);
}
BENCHMARK(BM_SaveHex);

void BM_LoadHex(benchmark::State& st) {
    FullImage img;
    SaveHex(*img.state);
    img.buffer[img.state->ListLength] = '\0';
    const auto length = img.state->ListLength;
    for (auto _ : st) {
        LoadHex(*img.state);
        benchmark::DoNotOptimize(img.state->DeviceImage[0]);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * length);
}
BENCHMARK(BM_LoadHex);

void BM_SaveAndLoadHex(benchmark::State& st) {
    FullImage img;
    for (auto _ : st) {
        SaveHex(*img.state);
        img.buffer[img.state->ListLength] = '\0';
        LoadHex(*img.state);
        benchmark::DoNotOptimize(img.state->DeviceImage[0]);
    }
}
BENCHMARK(BM_SaveAndLoadHex);

}  // namespace
