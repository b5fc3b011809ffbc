// How the link's long operations report to the user: the Device Operation
// progress window in the IDE, a text progress bar on stderr in the
// command-line tool. The link never shows anything itself.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace korvid {

// Progress bar range and step: 32 steps of 16 fill 0..512.
inline constexpr int kProgressMax = 512;
inline constexpr int kProgressStep = 16;

// Results of an IRC calibration, shown after the programming run.
struct IrcResults {
    std::array<std::uint16_t, 8> counts{};       // measured count per trim
    std::array<std::uint32_t, 8> frequencies{};  // Hz per trim; 0 = none measured
    int chosenTrim = 0;
};

class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    // Sets the bar to 0, shows the text and the window.
    virtual void ShowProgress(std::string_view text) { (void)text; }
    // Advances the bar one step (16 of 512).
    virtual void StepProgress() {}
    // Hides the window; called at the end of every operation, also after a
    // failure.
    virtual void HideProgress() {}
    // After a programming run that calibrated the IRC (4 MHz mode), with the
    // measured frequencies; not called after a failure.
    virtual void ShowIrcResults(const IrcResults& results) { (void)results; }
};

// An observer that shows nothing.
LinkObserver& NoLinkObserver();

}  // namespace korvid
