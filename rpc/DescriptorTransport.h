// A transport on file descriptors (a pipe, a socket, a terminal); the
// process's standard input and output are StdioTransport.h's.
#pragma once

#include "rpc/Transport.h"

namespace korvid::rpc {

class DescriptorTransport : public Transport {
public:
    // Reads from `in`, writes to `out` (the same descriptor for a socket).
    // The descriptors stay open: their owner closes them. A write to a
    // reader that is gone fails instead of ending the process (SIGPIPE is
    // ignored from the first transport on).
    DescriptorTransport(int in, int out);
    std::size_t Read(char* data, std::size_t size) override;
    bool Write(std::string_view data) override;

private:
    int in_, out_;
};

}  // namespace korvid::rpc
