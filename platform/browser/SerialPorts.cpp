// No serial ports: a page or node has no way to the tool's port, so a device
// refuses to open and says that the native program is what reaches the tool.
#include "platform/SerialPorts.h"

namespace korvid {

namespace {

constexpr const char* kNoSerialPorts = "this build has no serial ports: the tool is reached by the native program";

class NoSerialDevice final : public SerialDevice {
public:
    bool Open(const std::string&, std::string* reason) override {
        if (reason) *reason = kNoSerialPorts;
        return false;
    }
    bool SetLine(std::uint32_t, std::string* reason) override { return Open({}, reason); }
    long Write(const std::uint8_t*, std::size_t) override { return -1; }
    long Read(std::uint8_t*, std::size_t) override { return -1; }
    void WaitReadable(std::uint32_t) override {}
    void Close() override {}
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() { return std::make_unique<NoSerialDevice>(); }

void ReleasePortsOnSignals() {}

bool HasSerialPorts() { return false; }

}  // namespace korvid
