#include "tests/support/FaultyTool.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace korvid::test {

FaultyTool::FaultyTool(ToolFault fault, const Family& family) : fault_(fault), firmware_(family) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    path_ = ::ptsname(master_);
    (void)::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    heldSlave_ = ::open(path_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    thread_ = std::thread([this] { Serve(); });
}

FaultyTool::~FaultyTool() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (heldSlave_ >= 0) ::close(heldSlave_);
    if (master_ >= 0) ::close(master_);
}

bool FaultyTool::Exclusive() const {
    int exclusive = 0;
    return heldSlave_ >= 0 && ::ioctl(heldSlave_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

void FaultyTool::Write(const unsigned char* data, std::size_t size) {
    for (std::size_t done = 0; done < size && !stop_;) {
        const ssize_t n = ::write(master_, data + done, size - done);
        if (n > 0) {
            done += std::size_t(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p{master_, POLLOUT, 0};
            (void)::poll(&p, 1, 20);
        }
    }
}

bool FaultyTool::Out(unsigned char b, bool echo) {
    if (sent_++ < fault_.after) {
        Write(&b, 1);
        return true;
    }
    switch (fault_.what) {
        case Misbehaviour::Stall: return true;
        case Misbehaviour::Drip:
            if (!echo) std::this_thread::sleep_for(std::chrono::milliseconds(fault_.dripMs));
            Write(&b, 1);
            return true;
        case Misbehaviour::Garbage: b = static_cast<unsigned char>(b ^ 0xA5); Write(&b, 1); return true;
        case Misbehaviour::Flood: return true;  // the noise goes out from the serving loop
        case Misbehaviour::HangUp:
            ::close(master_);
            master_ = -1;
            return false;
    }
    return true;
}

void FaultyTool::Serve() {
    unsigned char buffer[4096];
    while (!stop_ && master_ >= 0) {
        if (fault_.what == Misbehaviour::Flood && sent_ > fault_.after) {
            for (unsigned char& b : buffer) b = static_cast<unsigned char>((noise_ = noise_ * 1103515245u + 12345u) >> 16);
            Write(buffer, sizeof buffer);
        }
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        // Byte by byte, so that each byte's echo (the first of what it
        // brings out) is told from the answer.
        for (ssize_t k = 0; k < n; ++k) {
            firmware_.Receive(buffer[k]);
            unsigned char out[4096];
            bool echo = true;
            while (std::size_t m = firmware_.TakeOutput(out, sizeof out))
                for (std::size_t i = 0; i < m; ++i, echo = false)
                    if (!Out(out[i], echo)) return;
        }
    }
}

}  // namespace korvid::test
