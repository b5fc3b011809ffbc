#include "rpc/MemoryTransport.h"

#include <algorithm>

namespace korvid::rpc {

void MemoryTransport::Send(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    input_.append(bytes);
    ready_.notify_all();
}

void MemoryTransport::CloseInput() {
    std::lock_guard lock(mutex_);
    inputClosed_ = true;
    ready_.notify_all();
}

void MemoryTransport::CloseOutput() {
    std::lock_guard lock(mutex_);
    outputClosed_ = true;
}

std::string MemoryTransport::Received() {
    std::lock_guard lock(mutex_);
    std::string out;
    out.swap(output_);
    return out;
}

std::size_t MemoryTransport::Read(char* data, std::size_t size) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !input_.empty() || inputClosed_; });
    const std::size_t n = std::min(size, input_.size());
    std::copy_n(input_.data(), n, data);
    input_.erase(0, n);
    return n;
}

bool MemoryTransport::InputWaiting() {
    std::lock_guard lock(mutex_);
    return !input_.empty() || inputClosed_;
}

bool MemoryTransport::Write(std::string_view data) {
    std::lock_guard lock(mutex_);
    if (outputClosed_) return false;
    output_.append(data);
    return true;
}

}  // namespace korvid::rpc
