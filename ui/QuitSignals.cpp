#include "ui/QuitSignals.h"

namespace korvid {

QuitSignals::QuitSignals(std::function<void(const QuitRequest& request)> quit) : quit_(std::move(quit)) {
    int descriptor = -1;
    if (!OpenQuitRequests(descriptor)) return;
    notifier_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Read(); });
}

QuitSignals::~QuitSignals() {
    if (!notifier_) return;
    notifier_.reset();
    CloseQuitRequests();
}

// Each request read is handed on in turn; `quit` may run a nested event loop
// (a question to the user), during which a later request is read there.
void QuitSignals::Read() {
    QuitRequest request;
    while (NextQuitRequest(request))
        if (quit_) quit_(request);
}

}  // namespace korvid
