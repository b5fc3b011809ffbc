#include "platform/Loopback.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/SystemText.h"

namespace korvid {

namespace {

std::string SocketReason() { return win32::ReasonOf(DWORD(::WSAGetLastError())); }

class SocketConnection final : public LoopbackConnection {
public:
    explicit SocketConnection(SOCKET s) : socket_(s) {}
    ~SocketConnection() override { ::closesocket(socket_); }
    std::size_t Read(char* data, std::size_t size) override {
        const int n = ::recv(socket_, data, size > 0x7FFFFFFF ? 0x7FFFFFFF : int(size), 0);
        return n > 0 ? std::size_t(n) : 0;
    }
    bool Write(std::string_view data) override {
        while (!data.empty()) {
            const int n = ::send(socket_, data.data(), data.size() > 0x7FFFFFFF ? 0x7FFFFFFF : int(data.size()), 0);
            if (n <= 0) return false;
            data.remove_prefix(std::size_t(n));
        }
        return true;
    }

private:
    SOCKET socket_;
};

class SocketListener final : public LoopbackListener {
public:
    explicit SocketListener(SOCKET s) : socket_(s) {}
    ~SocketListener() override { ::closesocket(socket_); }
    std::unique_ptr<LoopbackConnection> Accept(std::string& reason) override {
        const SOCKET client = ::accept(socket_, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            reason = SocketReason();
            return nullptr;
        }
        return std::make_unique<SocketConnection>(client);
    }

private:
    SOCKET socket_;
};

}  // namespace

std::unique_ptr<LoopbackListener> ListenOnLoopback(int port, std::string& reason) {
    WSADATA data{};
    if (const int error = ::WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
        reason = win32::ReasonOf(DWORD(error));
        return nullptr;
    }
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Not SO_REUSEADDR: on Windows it lets a second program take a port in
    // use. A port this program just left is free at once anyway.
    const BOOL exclusive = TRUE;
    if (listener == INVALID_SOCKET ||
        ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                     sizeof exclusive) != 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
        reason = SocketReason();
        if (listener != INVALID_SOCKET) ::closesocket(listener);
        return nullptr;
    }
    return std::make_unique<SocketListener>(listener);
}

}  // namespace korvid
