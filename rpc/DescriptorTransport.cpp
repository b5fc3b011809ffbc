#include "rpc/DescriptorTransport.h"

#include <unistd.h>

#include <cerrno>

#include "platform/ProgramStart.h"

namespace korvid::rpc {

DescriptorTransport::DescriptorTransport(int in, int out) : in_(in), out_(out) { IgnoreBrokenPipes(); }

std::size_t DescriptorTransport::Read(char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(in_, data, size);
        if (n > 0) return std::size_t(n);
        if (n < 0 && errno == EINTR) continue;
        return 0;
    }
}

bool DescriptorTransport::Write(std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(out_, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

}  // namespace korvid::rpc
