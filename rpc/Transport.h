// A byte stream that the protocol servers read their requests from and
// write their answers to: a pair of descriptors, standard input and output,
// or an in-memory pipe (tests, and a host without descriptors).
#pragma once

#include <cstddef>
#include <string_view>

namespace korvid::rpc {

class Transport {
public:
    virtual ~Transport() = default;
    // Waits for bytes and puts up to `size` of them at `data`; 0 at the end
    // of the stream (or when it failed).
    virtual std::size_t Read(char* data, std::size_t size) = 0;
    // Writes all of `data`; false when the other end is gone.
    virtual bool Write(std::string_view data) = 0;

    // True when this transport can tell, without waiting, whether a Read
    // would wait (InputWaiting): a server that works between requests can
    // then look for them on its one thread. False: such a server reads on a
    // thread of its own.
    virtual bool TellsInputWaiting() const { return false; }
    // True when a Read now returns at once: bytes are waiting, or the
    // stream has ended. Only meaningful where TellsInputWaiting.
    virtual bool InputWaiting() { return false; }
};

}  // namespace korvid::rpc
