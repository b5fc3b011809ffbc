#include "core/link/TickSource.h"

#include <chrono>
#include <thread>

namespace korvid {

namespace {
class SteadyTicks final : public TickSource {
public:
    std::uint64_t NowMs() override {
        using namespace std::chrono;
        return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void SleepMs(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};
}  // namespace

TickSource& SystemTicks() {
    static SteadyTicks ticks;
    return ticks;
}

}  // namespace korvid
