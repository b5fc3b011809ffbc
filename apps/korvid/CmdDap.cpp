// korvid dap: the Debug Adapter on standard input and output, or for one
// client that connects to a port on the loopback interface, for editors
// (VS Code, Neovim's nvim-dap, Emacs's dape, ...).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "dap/Session.h"
#include "rpc/DescriptorTransport.h"

namespace korvid::cli {
namespace {

// Listens on 127.0.0.1:port, serves the first client that connects.
int ServeOnPort(int port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    if (listener < 0 || setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0) {
        std::fprintf(stderr, "korvid dap: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        if (listener >= 0) close(listener);
        return kExitFailure;
    }
    std::fprintf(stderr, "korvid dap: listening on 127.0.0.1:%d\n", port);
    int client;
    do client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    while (client < 0 && errno == EINTR);
    close(listener);
    if (client < 0) {
        std::fprintf(stderr, "korvid dap: no client: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    rpc::DescriptorTransport connection(client, client);
    const int status = dap::RunDebugAdapter(connection);
    close(client);
    return status;
}

}  // namespace

int RunDap(const Options& options) {
    if (const auto port = options.Value("--port")) {
        char* end = nullptr;
        const long n = std::strtol(port->c_str(), &end, 10);
        if (port->empty() || *end != '\0' || n < 1 || n > 65535)
            return UsageError("dap", "--port takes a port number 1 to 65535");
        return ServeOnPort(int(n));
    }
    rpc::StdioTransport stdio;
    // The adapter reads its input in a thread of its own; a system that
    // cannot start one (a WebAssembly build without threads) is told, not
    // left to end the program with an uncaught exception.
    try {
        return dap::RunDebugAdapter(stdio);
    } catch (const std::system_error& e) {
        PrintError(std::string("dap: cannot start the adapter: ") + e.what());
        return kExitFailure;
    }
}

}  // namespace korvid::cli
