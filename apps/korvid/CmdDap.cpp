// korvid dap: the Debug Adapter on standard input and output, or for one
// client that connects to a port on the loopback interface, for editors
// (VS Code, Neovim's nvim-dap, Emacs's dape, ...).
#include <cstdio>
#include <cstring>
#include <system_error>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "dap/Session.h"
#include "platform/Loopback.h"
#include "rpc/StdioTransport.h"

namespace korvid::cli {
namespace {

// The protocol on a client's connection.
class ConnectionTransport final : public rpc::Transport {
public:
    explicit ConnectionTransport(LoopbackConnection& connection) : connection_(connection) {}
    std::size_t Read(char* data, std::size_t size) override { return connection_.Read(data, size); }
    bool Write(std::string_view data) override { return connection_.Write(data); }

private:
    LoopbackConnection& connection_;
};

// Listens on 127.0.0.1:port, serves the first client that connects.
int ServeOnPort(int port) {
    std::string reason;
    const auto listener = ListenOnLoopback(port, reason);
    if (!listener) {
        std::fprintf(stderr, "korvid dap: cannot listen on 127.0.0.1:%d: %s\n", port, reason.c_str());
        return kExitFailure;
    }
    std::fprintf(stderr, "korvid dap: listening on 127.0.0.1:%d\n", port);
    std::fflush(stderr);
    const auto client = listener->Accept(reason);
    if (!client) {
        std::fprintf(stderr, "korvid dap: no client: %s\n", reason.c_str());
        return kExitFailure;
    }
    ConnectionTransport connection(*client);
    return dap::RunDebugAdapter(connection);
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
    // Natively the adapter reads its input in a thread of its own (the
    // WebAssembly build's input tells when a request waits, and it needs
    // none); a system that cannot start one is told, not left to end the
    // program with an uncaught exception.
    try {
        return dap::RunDebugAdapter(stdio);
    } catch (const std::system_error& e) {
        PrintError(std::string("dap: cannot start the adapter: ") + e.what());
        return kExitFailure;
    }
}

}  // namespace korvid::cli
