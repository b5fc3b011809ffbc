// Quitting on the requests that end a desktop program from outside
// (platform/QuitRequests.h: a logout, `kill`, the terminal going away,
// Ctrl+C): the event loop watches the requests' descriptor and hands each to
// `quit`, where anything may be done.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "platform/QuitRequests.h"

namespace korvid {

class QuitSignals : public QObject {
public:
    explicit QuitSignals(std::function<void(const QuitRequest& request)> quit);
    // The handlers as they were; signals from then on act as they would
    // have without this object.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void Read();

    std::function<void(const QuitRequest&)> quit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace korvid
