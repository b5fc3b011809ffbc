// One connection from a client on this machine (the debug adapter's
// `--port`): listen on 127.0.0.1, take the first client that connects,
// then bytes both ways.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace korvid {

class LoopbackConnection {
public:
    virtual ~LoopbackConnection() = default;
    // Waits for bytes: the count read, 0 at the end of the connection.
    virtual std::size_t Read(char* data, std::size_t size) = 0;
    // Sends all of `data`; false when the client went away.
    virtual bool Write(std::string_view data) = 0;
};

class LoopbackListener {
public:
    virtual ~LoopbackListener() = default;
    // Waits for the first client; null with the system's reason.
    virtual std::unique_ptr<LoopbackConnection> Accept(std::string& reason) = 0;
};

// Listens on 127.0.0.1:`port`; null with the system's reason.
std::unique_ptr<LoopbackListener> ListenOnLoopback(int port, std::string& reason);

}  // namespace korvid
