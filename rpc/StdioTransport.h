// The process's standard input and output as a transport: a message's CR LF
// and its body pass unchanged (switched to binary where the system's
// streams translate). On the descriptors as they are natively
// (StdioTransport.cpp); the WebAssembly build for node can also tell
// whether input waits, for its adapter without threads (browser/).
#pragma once

#include <memory>

#include "rpc/Transport.h"

namespace korvid::rpc {

class StdioTransport final : public Transport {
public:
    StdioTransport();
    ~StdioTransport() override;
    StdioTransport(const StdioTransport&) = delete;
    StdioTransport& operator=(const StdioTransport&) = delete;

    std::size_t Read(char* data, std::size_t size) override;
    bool Write(std::string_view data) override;
    bool TellsInputWaiting() const override;
    bool InputWaiting() override;

private:
    struct Side;  // what this system's side keeps of the streams
    std::unique_ptr<Side> side_;
};

}  // namespace korvid::rpc
