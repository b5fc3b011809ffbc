// A debugging session against the simulated tool in the same process: the
// source is assembled, prepared for debugging and programmed; the session
// then holds the link open as the Debug window does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/asm/Assembler.h"
#include "core/image/DebugImage.h"
#include "core/image/DebugKernel.h"
#include "core/link/Clock.h"
#include "core/link/Debug.h"
#include "core/link/Programming.h"
#include "sim/ToolDebug.h"
#include "tests/sim/ToolSession.h"

namespace korvid::test {

struct DebugRig {
    explicit DebugRig(const Family& family, ToolOptions options = {})
        : t(family, options), runner(family), list(kDefaultListCapacity), session(t.link, *t.state) {
        t.firmware.SetRunner(&runner);
        runner.cyclesPerPoll = 20'000;
        t.state->ListText = list.data();
        t.state->ListCapacity = kDefaultListCapacity;
    }

    // Assembles ("\n" line ends), prepares and programs; false with a
    // message on failure.
    ::testing::AssertionResult Load(const std::string& text) {
        source = text;
        for (char& c : source)
            if (c == '\n') c = '\r';
        AssemblyState& s = *t.state;
        s.SourceText = source.c_str();
        Assemble(s);
        if (s.ErrorFlag) return ::testing::AssertionFailure() << "assembly: " << s.ErrorMessage;
        PrepareDebugImage(s);
        if (s.ErrorFlag) return ::testing::AssertionFailure() << "debug image: " << s.ErrorMessage;
        std::string failure = t.Run([&] { ProgramDevice(t.link, s, t.irc, t.observer, false); });
        if (!failure.empty()) return ::testing::AssertionFailure() << failure;
        return ::testing::AssertionSuccess();
    }

    // Opens the link and resets the chip as the Debug window does at its
    // start; waits for the halt at reset.
    ::testing::AssertionResult Start() {
        std::string failure = t.Run([&] {
            t.link.OpenLink();
            session.Begin();
            Reset();
        });
        if (!failure.empty()) return ::testing::AssertionFailure() << failure;
        return WaitHalt() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "no halt";
    }

    // The Debug window's Reset button.
    void Reset() {
        if (session.StateValid) {
            session.State.ProgramCounter = KernelStartAddress(session.ProgramSize);
            session.Resume(kModeReset);
        }
        StartClock(t.link, t.state->ClockFrequency);
        ReleaseChip(t.link);
    }

    // Polls until halted (then reads the state) or `polls` polls passed.
    bool WaitHalt(int polls = 200) {
        for (int i = 0; i < polls; ++i) {
            if (session.Poll()) {
                session.ReadState();
                return true;
            }
        }
        return false;
    }

    bool Step() {
        session.Resume(kModeStep);
        return WaitHalt();
    }

    // The address of a label from the listing's symbol values is not at
    // hand; tests place their code with ORG and count words instead.
    std::uint32_t pc() const { return session.State.ProgramCounter; }
    std::uint32_t reg(int address) const { return session.State.registers[static_cast<std::size_t>(address)]; }
    int size() const { return session.ProgramSize; }

    ToolSession t;
    ToolDebugRunner runner;
    std::vector<char> list;
    std::string source;
    DebugSession session;
};

}  // namespace korvid::test
