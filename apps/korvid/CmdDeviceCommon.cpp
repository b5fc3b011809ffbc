#include "apps/korvid/CmdDeviceCommon.h"

#include <cstdio>
#include <unistd.h>

#include "apps/korvid/CommandTable.h"
#include "core/link/Irc.h"
#include "core/link/LinkError.h"

namespace korvid::cli {

std::string PortOption(const Options& options) { return options.Value("--port").value_or("COM1"); }

StderrProgress::StderrProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

StderrProgress::~StderrProgress() { EndLine(); }

void StderrProgress::Draw() {
    int filled = position_ / kProgressStep;
    char bar[33];
    for (int i = 0; i < 32; ++i) bar[i] = i < filled ? '#' : '.';
    bar[32] = '\0';
    // Redrawn in place on a terminal; printed once per stage otherwise.
    std::fprintf(stderr, "%s%-16s [%s]", terminal_ ? "\r" : "", text_.c_str(), bar);
    std::fflush(stderr);
}

void StderrProgress::EndLine(bool completed) {
    if (!active_) return;
    // A stage followed by the next one has completed, whether or not it
    // reported steps (the erase of a programming run reports none).
    if (completed) position_ = kProgressMax;
    if (!terminal_ || completed) Draw();
    std::fputc('\n', stderr);
    active_ = false;
}

void StderrProgress::ShowProgress(std::string_view text) {
    EndLine(true);
    text_ = std::string(text);
    position_ = 0;
    active_ = true;
    if (terminal_) Draw();
}

void StderrProgress::StepProgress() {
    if (position_ < kProgressMax) position_ += kProgressStep;
    if (terminal_) Draw();
}

void StderrProgress::HideProgress() { EndLine(); }

void StderrProgress::ShowIrcResults(const IrcResults& results) {
    EndLine();
    std::printf("IRC calibration (trim: MHz):\n");
    for (int t = 0; t < 8; ++t) {
        char text[16];
        FormatIrcMhz(results.frequencies[std::size_t(t)], text);
        std::printf("  %d: %s%s\n", t, text, t == results.chosenTrim ? "  <- chosen" : "");
    }
    std::fflush(stdout);
}

std::string LinkErrorLine(const LinkFailure& failure) { return "korvid: " + failure.CommandLineText(); }

int RunOnLink(Link& link, const std::function<int()>& body) {
    try {
        return body();
    } catch (const LinkFailure& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", LinkErrorLine(failure).c_str());
        const std::string note = LinkFailureNote(link);
        if (!note.empty()) std::fprintf(stderr, "note: %s\n", note.c_str());
        return kExitFailure;
    } catch (const SilentAbort&) {
        return kExitFailure;
    }
}

}  // namespace korvid::cli
