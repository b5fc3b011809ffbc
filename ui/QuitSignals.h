// Quitting on the signals that end a desktop program from outside: SIGTERM
// (a logout, `kill`), SIGHUP (the terminal or the session went away) and
// SIGINT (Ctrl+C in the terminal it was started from). The handler only
// writes the signal's number into a pipe; the event loop reads it and hands
// it to `quit`, where anything may be done. A signal that was ignored when
// the program started (nohup) stays ignored.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace korvid {

class QuitSignals : public QObject {
public:
    explicit QuitSignals(std::function<void(int signal)> quit);
    // The handlers as they were; signals from then on act as they would
    // have without this object.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void Read();

    std::function<void(int)> quit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace korvid
