#include "core/image/DebugImage.h"

#include <algorithm>

#include "core/image/DebugKernel.h"

namespace korvid {

const char* const kDebugRequirementsMessage =
    "ERROR! Debug requires the following:\r\n\r\n"
    " - 2 free words on the first page\r\n"
    " - 136 free words at the end of the last page\r\n"
    " - RESET jump at the end of memory\r\n"
    " - Watchdog disabled";

namespace {

constexpr std::uint16_t kUnused = 0x0FFF;  // erased and no contains-data flag

void SetLowByte(std::uint16_t& word, std::uint8_t value) { word = std::uint16_t((word & 0xF00) | value); }

}  // namespace

KernelDelay ComputeKernelDelay(std::uint32_t f, bool turbo) {
    // Unsigned arithmetic throughout, as the kernel's loops count.
    KernelDelay d{};
    if (turbo ? f >= 10000000u : f >= 30000000u) {
        std::uint32_t q = turbo ? (f / 10000u - 14u) / 6u : (f / 40000u - 13u) / 5u;
        std::uint32_t v = ~q;
        d.longForm = true;
        d.low = std::uint8_t(v & 0xFF);
        d.high = std::uint8_t((v >> 8) & 0xFF);
    } else {
        std::uint32_t steps = turbo ? 4u : 3u;
        std::uint32_t t = turbo ? f / 10000u - 10u : f / 40000u - 9u;
        d.longForm = false;
        d.low = std::uint8_t(t / steps + 1u);
        d.high = std::uint8_t(t % steps);
    }
    return d;
}

void PrepareDebugImage(AssemblyState& state) {
    state.ErrorFlag = 1;
    state.ErrorMessage = kDebugRequirementsMessage;
    Image& image = state.DeviceImage;
    image = state.ChipImage;

    const Family& data = *state.family;
    std::uint16_t& fuse = image[kFuseIndex];
    fuse = std::uint16_t((fuse & data.debugFuseKeep) | data.debugFuseOscillator);
    const ConfigWords words{fuse, image[kExtFuseIndex]};
    if (data.fuseOn(FuseField::Watchdog, words)) return;

    const int size = ProgramSize(*state.family, image[kExtFuseIndex]);
    const int kernelStart = size - 1 - kKernelWords;  // size - 137

    // Stub: the highest pair of unused neighbours on the first page, below
    // the kernel when the first page is also the last.
    const int top = size == 512 ? kKernelPageOffset - 1 : 0x1FF;
    int stub = -1;
    for (int k = top; k >= 1; --k) {
        if (image[std::size_t(k - 1)] == kUnused && image[std::size_t(k)] == kUnused) {
            stub = k - 1;
            break;
        }
    }
    if (stub < 0) return;

    const std::uint16_t reset = image[std::size_t(size - 1)];
    if ((reset & 0xE00) != 0xA00) return;

    if (!std::all_of(image.begin() + kernelStart, image.begin() + (size - 1),
                     [](std::uint16_t w) { return w == kUnused; }))
        return;

    std::uint16_t* kernel = image.data() + kernelStart;
    std::copy(std::begin(kDebugKernel), std::end(kDebugKernel), kernel);
    kernel[kKernelFamilyWord] = data.kernelWord75;
    kernel[kKernelResetWord] = reset;
    image[std::size_t(size - 1)] = std::uint16_t(0x0A00 | stub);
    image[std::size_t(stub)] = kStubPage;
    image[std::size_t(stub + 1)] = kStubJump;

    const bool turbo = data.fuseOn(FuseField::Turbo, words);
    if (turbo)
        std::copy(std::begin(kKernelReceiveTurbo), std::end(kKernelReceiveTurbo), kernel + kKernelReceiveWord);
    const KernelDelay delay = ComputeKernelDelay(state.ClockFrequency, turbo);
    if (delay.longForm) {
        std::copy(std::begin(kKernelDelay16), std::end(kKernelDelay16), kernel + kKernelDelayWord);
        SetLowByte(kernel[kKernelDelayLowWord], delay.low);
        SetLowByte(kernel[kKernelDelayHighWord], delay.high);
    } else {
        SetLowByte(kernel[kKernelCountWord], delay.low);
        SetLowByte(kernel[kKernelTrimWord], std::uint8_t((kernel[kKernelTrimWord] & 0xFF) - delay.high));
    }
    state.ErrorFlag = 0;
}

}  // namespace korvid
