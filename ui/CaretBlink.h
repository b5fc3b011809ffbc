// The edit caret of the Registers and Watch windows: on when an edit
// starts, toggled at every fourth tick of its 125 ms timer (twice a
// second), off when the edit ends. `repaint` draws the edited place again
// at each toggle.
#pragma once

#include <QTimer>
#include <functional>

namespace korvid {

class CaretBlink {
public:
    explicit CaretBlink(std::function<void()> repaint) : repaint_(std::move(repaint)) {
        timer_.setInterval(125);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        on_ = true;
        ticks_ = 0;
        timer_.start();
    }
    void Stop() {
        on_ = false;
        timer_.stop();
    }
    bool on() const { return on_; }
    bool Running() const { return timer_.isActive(); }

private:
    void Tick() {
        if (++ticks_ % 4 != 0) return;
        on_ = !on_;
        repaint_();
    }
    std::function<void()> repaint_;
    QTimer timer_;
    bool on_ = false;
    int ticks_ = 0;
};

}  // namespace korvid
