// Content-Length framing of JSON-RPC messages on a byte stream, as the
// Language Server and Debug Adapter protocols use it: header lines ending
// in CR LF, a blank line, then exactly Content-Length bytes of body.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "rpc/Transport.h"

namespace korvid::rpc {

// Bodies larger than this are read and dropped, never held.
inline constexpr std::size_t kMaxMessageBytes = 64u << 20;

enum class ReadStatus {
    Message,     // body holds one message
    BadHeader,   // a header block without a usable Content-Length (skipped)
    TooLarge,    // a body over kMaxMessageBytes (read and dropped)
    End,         // the stream ended (or failed) before a message began
    Truncated,   // the stream ended inside a message
};

// Reads framed messages from a transport (blocking reads, buffered).
class MessageReader {
public:
    explicit MessageReader(Transport& input) : input_(input) {}
    ReadStatus Read(std::string& body);
    // True when Read would not wait for the client: a message, or the start
    // of one, is buffered or waiting on the transport, or the stream has
    // ended. Takes in what waits, on a transport that tells
    // (Transport::InputWaiting); a message that has only begun to arrive is
    // then read to its end, which its sender is writing.
    bool MessageWaiting();

private:
    bool Fill();  // false at the end of the stream
    Transport& input_;
    std::string buffer_;
    std::size_t pos_ = 0;
};

// Writes one message with its header; false when the stream is closed.
bool WriteMessage(Transport& output, std::string_view body);

}  // namespace korvid::rpc
