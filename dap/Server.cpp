// The adapter's input and output: a reader thread takes the framed
// messages off the input, the session's thread answers them and, while the
// chip runs, looks for new ones between slices of the run.
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

}  // namespace

int RunDebugAdapter(rpc::Transport& transport, SessionOptions options) {
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
    // A client that goes away makes writes fail; the session then ends.
    bool outputOpen = true;
    Session session(
        [&](const Json& message) {
            if (outputOpen)
                outputOpen = rpc::WriteMessage(transport, message.dump(-1, ' ', false, Json::error_handler_t::replace));
        },
        std::move(options));
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
            if (status == rpc::ReadStatus::BadHeader) session.Malformed("a header without a usable Content-Length");
            else if (status == rpc::ReadStatus::TooLarge) session.Malformed("a message too large to read");
            else {
                Json message = Json::parse(body, nullptr, false);
                if (message.is_discarded()) session.Malformed("not JSON");
                else session.Handle(message);
            }
        }
        session.Advance();
    }
    session.Close();
    // A reader whose input ended is done; one that still waits for input
    // that never comes ends with the process.
    if (ended) reader.join();
    else reader.detach();
    return 0;
}

}  // namespace korvid::dap
