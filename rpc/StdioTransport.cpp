// Standard input and output on their descriptors (POSIX and Windows): reads
// wait for bytes, so the adapter reads on a thread of its own.
#include "rpc/StdioTransport.h"

#include <unistd.h>

#include "platform/ProgramStart.h"
#include "rpc/DescriptorTransport.h"

namespace korvid::rpc {

struct StdioTransport::Side {
    DescriptorTransport descriptors{STDIN_FILENO, STDOUT_FILENO};
};

StdioTransport::StdioTransport() : side_(std::make_unique<Side>()) { UseStdioAsBytes(); }
StdioTransport::~StdioTransport() = default;

std::size_t StdioTransport::Read(char* data, std::size_t size) { return side_->descriptors.Read(data, size); }
bool StdioTransport::Write(std::string_view data) { return side_->descriptors.Write(data); }
bool StdioTransport::TellsInputWaiting() const { return false; }
bool StdioTransport::InputWaiting() { return false; }

}  // namespace korvid::rpc
