// The adapter's input and output. Where the transport cannot tell whether
// input waits, a reader thread takes the framed messages off the input, and
// the session's thread answers them and, while the chip runs, looks for new
// ones between slices of the run. Where it can (the WebAssembly build's
// standard input, which has no threads), one thread does both: it waits for
// a message while the chip is stopped and, while it runs, takes the messages
// that wait between slices.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "dap/Session.h"
#include "rpc/Framing.h"

namespace korvid::dap {
namespace {

struct Inbox {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::pair<rpc::ReadStatus, std::string>> messages;
    bool ended = false;
};

// One message read off the input, handed to the session.
void Deliver(Session& session, rpc::ReadStatus status, const std::string& body) {
    if (status == rpc::ReadStatus::BadHeader) session.Malformed("a header without a usable Content-Length");
    else if (status == rpc::ReadStatus::TooLarge) session.Malformed("a message too large to read");
    else {
        Json message = Json::parse(body, nullptr, false);
        if (message.is_discarded()) session.Malformed("not JSON");
        else session.Handle(message);
    }
}

void ServeWithReader(rpc::Transport& transport, Session& session, const bool& outputOpen) {
    Inbox inbox;
    std::thread reader([&] {
        rpc::MessageReader input(transport);
        for (;;) {
            std::string body;
            const rpc::ReadStatus status = input.Read(body);
            std::lock_guard lock(inbox.mutex);
            if (status == rpc::ReadStatus::End || status == rpc::ReadStatus::Truncated) {
                inbox.ended = true;
                inbox.ready.notify_one();
                return;
            }
            inbox.messages.emplace_back(status, std::move(body));
            inbox.ready.notify_one();
        }
    });
    bool ended = false;
    while (!session.finished() && !ended && outputOpen) {
        std::deque<std::pair<rpc::ReadStatus, std::string>> batch;
        {
            std::unique_lock lock(inbox.mutex);
            if (!session.running()) inbox.ready.wait(lock, [&] { return !inbox.messages.empty() || inbox.ended; });
            batch.swap(inbox.messages);
            ended = inbox.ended && batch.empty();
        }
        for (auto& [status, body] : batch) {
            if (session.finished()) break;
            Deliver(session, status, body);
        }
        session.Advance();
    }
    session.Close();
    // A reader whose input ended is done; one that still waits for input
    // that never comes ends with the process.
    if (ended) reader.join();
    else reader.detach();
}

void ServeOnOneThread(rpc::Transport& transport, Session& session, const bool& outputOpen) {
    // A run that stops at many traps (a hit count, a condition, a logpoint)
    // ends its slices early: the input is looked at no more often than this.
    constexpr auto kLookEvery = std::chrono::milliseconds(1);
    rpc::MessageReader input(transport);
    auto lastLook = std::chrono::steady_clock::time_point();
    while (!session.finished() && outputOpen) {
        // Every message that waits is answered before the chip runs on.
        bool read = !session.running();
        if (!read) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastLook >= kLookEvery) {
                lastLook = now;
                read = input.MessageWaiting();
            }
        }
        if (read) {
            std::string body;
            const rpc::ReadStatus status = input.Read(body);
            if (status == rpc::ReadStatus::End || status == rpc::ReadStatus::Truncated) break;
            Deliver(session, status, body);
            lastLook = {};  // and look for the next one at once
            continue;
        }
        session.Advance();
    }
    session.Close();
}

}  // namespace

int RunDebugAdapter(rpc::Transport& transport, SessionOptions options) {
    // A client that goes away makes writes fail; the session then ends.
    bool outputOpen = true;
    Session session(
        [&](const Json& message) {
            if (outputOpen)
                outputOpen = rpc::WriteMessage(transport, message.dump(-1, ' ', false, Json::error_handler_t::replace));
        },
        std::move(options));
    if (transport.TellsInputWaiting()) ServeOnOneThread(transport, session, outputOpen);
    else ServeWithReader(transport, session, outputOpen);
    return 0;
}

}  // namespace korvid::dap
