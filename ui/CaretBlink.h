// The edit caret of the Registers and Watch windows: on when an edit
// starts, toggled at every fourth tick of the window's 125 ms cursor timer
// (twice a second), off when the edit ends.
#pragma once

namespace korvid {

class CaretBlink {
public:
    void Start() {
        on_ = true;
        ticks_ = 0;
    }
    void Stop() { on_ = false; }
    // One timer tick; true when the caret changed and wants repainting.
    bool Tick() {
        if (++ticks_ % 4 != 0) return false;
        on_ = !on_;
        return true;
    }
    bool on() const { return on_; }

private:
    bool on_ = false;
    int ticks_ = 0;
};

}  // namespace korvid
