// An in-memory transport: what the server reads is put in with Send (from
// any thread), what it writes is taken out with Received. Reads wait for
// bytes until CloseInput, as a pipe's reader waits for its writer. Made
// with `tellsWaiting`, it says whether a read would wait, as the standard
// input of a build without threads does.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "rpc/Transport.h"

namespace korvid::rpc {

class MemoryTransport : public Transport {
public:
    explicit MemoryTransport(bool tellsWaiting = false) : tellsWaiting_(tellsWaiting) {}
    // Bytes for the server to read.
    void Send(std::string_view bytes);
    // The input ends: reads return 0 once the bytes sent are read.
    void CloseInput();
    // The other end stops reading: the server's writes fail from now on.
    void CloseOutput();
    // What the server wrote since the last call.
    std::string Received();

    std::size_t Read(char* data, std::size_t size) override;
    bool Write(std::string_view data) override;
    bool TellsInputWaiting() const override { return tellsWaiting_; }
    bool InputWaiting() override;

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::string input_, output_;
    bool inputClosed_ = false, outputClosed_ = false;
    const bool tellsWaiting_;
};

}  // namespace korvid::rpc
