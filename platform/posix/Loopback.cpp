#include "platform/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace korvid {

namespace {

class SocketConnection final : public LoopbackConnection {
public:
    explicit SocketConnection(int fd) : fd_(fd) {}
    ~SocketConnection() override { ::close(fd_); }
    std::size_t Read(char* data, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::read(fd_, data, size);
            if (n > 0) return std::size_t(n);
            if (n < 0 && errno == EINTR) continue;
            return 0;
        }
    }
    bool Write(std::string_view data) override {
        while (!data.empty()) {
            const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data.remove_prefix(std::size_t(n));
        }
        return true;
    }

private:
    int fd_;
};

class SocketListener final : public LoopbackListener {
public:
    explicit SocketListener(int fd) : fd_(fd) {}
    ~SocketListener() override { ::close(fd_); }
    std::unique_ptr<LoopbackConnection> Accept(std::string& reason) override {
        int client;
        do client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        while (client < 0 && errno == EINTR);
        if (client < 0) {
            reason = std::strerror(errno);
            return nullptr;
        }
        return std::make_unique<SocketConnection>(client);
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<LoopbackListener> ListenOnLoopback(int port, std::string& reason) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    if (listener < 0 || ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
        reason = std::strerror(errno);
        if (listener >= 0) ::close(listener);
        return nullptr;
    }
    return std::make_unique<SocketListener>(listener);
}

}  // namespace korvid
