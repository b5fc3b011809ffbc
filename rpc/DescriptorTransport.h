// A transport on file descriptors (a pipe, a socket, a terminal), and the
// process's standard input and output.
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

// Standard input and output as bytes: a message's CR LF and its body pass
// unchanged (switched to binary where the system's streams translate).
class StdioTransport : public DescriptorTransport {
public:
    StdioTransport();
};

}  // namespace korvid::rpc
