// Stimulus files: errors with their positions, times, and the schedule of
// pin events they make.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include "family/Family.h"
#include "sim/FirmwareTest.h"
#include "sim/Stimulus.h"
#include "sim/UartDecoder.h"

namespace korvid {
namespace {

StimulusPins Pins28() { return StimulusPins::Of(Sx28lFamily(), 3); }

struct ErrorCase {
    const char* text;
    int line, column;
    const char* message;  // a part of the message
};

TEST(Stimulus, EveryErrorHasItsPosition) {
    const ErrorCase cases[] = {
        {"wait 10us RB.0 = 1", 1, 1, "unknown statement 'wait'"},
        {"at RB.0 = 1", 1, 4, "not a time"},
        {"at \"1us\" RB.0 = 1", 1, 4, "time after 'at' is written without quotes"},
        {"at 10 RB.0 = 1", 1, 4, "needs a unit"},
        {"at 10xs RB.0 = 1", 1, 4, "not a time"},
        {"at 1.5c RB.0 = 1", 1, 4, "whole number"},
        {"at 0.0001ns RB.0 = 1", 1, 4, "finer than a picosecond"},
        {"at 99999999999999999999s RB.0 = 1", 1, 4, "too large"},
        {"at 1us", 1, 7, "missing pin or port"},
        {"at 1us RB.8 = 1", 1, 8, "not a pin or port"},
        {"at 1us RA.5 = 1", 1, 8, "no pin RA.5"},
        {"at 1us RD.0 = 1", 1, 8, "no port RD"},
        {"at 1us RB.0 1", 1, 13, "expected '='"},
        {"at 1us RB.0 =", 1, 14, "missing value"},
        {"at 1us RB.0 = 2", 1, 15, "0, 1 or z"},
        {"at 1us RB = 0x100", 1, 13, "0 to 0xFF"},
        {"at 1us RA = 0x10", 1, 13, "does not have"},
        {"at 1us RB = 1 2", 1, 15, "unexpected '2'"},
        {"clock RB.2 1us", 1, 12, "expected 'period'"},
        {"clock RB.2 period 0ns", 1, 19, "longer than 0"},
        {"clock RB.2 period 1us duty 0%", 1, 28, "1% to 99%"},
        {"clock RB.2 period 1us duty 50", 1, 28, "1% to 99%"},
        {"clock RB.2 period 1us from 1us from 2us", 1, 32, "given twice"},
        {"clock RB.2 period 1us every 2us", 1, 23, "expected duty, from or until"},
        {"clock RB period 1us", 1, 7, "not a pin"},
        {"uart RB.7 fast at 1ms \"x\"", 1, 11, "baud rate"},
        {"uart RB.7 9600 1ms \"x\"", 1, 16, "expected 'at'"},
        {"uart RB.7 9600 at 1ms text", 1, 23, "quoted string"},
        {"uart RB.7 9600 at 1ms \"text", 1, 23, "unterminated string"},
        {"uart RB.7 9600 at 1ms \"a\\q\"", 1, 25, "unknown escape"},
        {"uart RB.7 9600 at 1ms", 1, 22, "missing the text"},
        {"# fine\n\n  at 1us RB.0 = 1 # ok\n\tat 2us RB.0 = 3", 4, 16, "0, 1 or z"},
    };
    for (const ErrorCase& c : cases) {
        Stimulus st;
        std::vector<StimulusError> errors;
        EXPECT_FALSE(ParseStimulus(c.text, Pins28(), st, errors)) << c.text;
        ASSERT_EQ(errors.size(), 1u) << c.text;
        EXPECT_EQ(errors[0].line, c.line) << c.text;
        EXPECT_EQ(errors[0].column, c.column) << c.text << ": " << errors[0].message;
        EXPECT_NE(errors[0].message.find(c.message), std::string::npos) << c.text << ": " << errors[0].message;
    }
}

TEST(Stimulus, ReportsTheFirstErrorOfEveryLine) {
    Stimulus st;
    std::vector<StimulusError> errors;
    EXPECT_FALSE(ParseStimulus("at x RB.9 = 7\nat 1us RB.0 = 1\nbad\r\n", Pins28(), st, errors));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].line, 1);
    EXPECT_EQ(errors[0].column, 4);
    EXPECT_EQ(errors[1].line, 3);
}

TEST(Stimulus, ClocksAndUartsFasterThanTheChipCanSeeAreRefused) {
    Stimulus st;
    std::vector<StimulusError> errors;
    ASSERT_TRUE(ParseStimulus("clock RB.0 period 40ns\nclock RB.1   period 39ns\nclock RB.2 period 1c\n"
                              "uart RB.3 50000000 at 0 \"x\"\nuart RB.4 50000001 at 0 \"x\"\n",
                              Pins28(), st, errors));
    EXPECT_FALSE(CheckStimulusTiming(st, {50'000'000, 1}, errors));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].line, 2);
    EXPECT_EQ(errors[0].column, 21);
    EXPECT_EQ(errors[1].line, 3);
    EXPECT_EQ(errors[2].line, 5);
    EXPECT_EQ(errors[2].column, 11);
    EXPECT_FALSE(CheckStimulusTiming(st, {10'000'000, 1}, errors));
    EXPECT_EQ(errors.size(), 5u) << "a slower clock refuses all of them";
}

TEST(Stimulus, TimesConvertToTheFirstCycleAtOrAfterThem) {
    struct Case {
        const char* time;
        std::uint32_t hz;
        int cpc;
        std::uint64_t cycle;
    } cases[] = {
        {"0s", 50'000'000, 1, 0},        {"0", 50'000'000, 1, 0},        {"20ns", 50'000'000, 1, 1},   {"21ns", 50'000'000, 1, 2},
        {"1us", 50'000'000, 1, 50},      {"1us", 50'000'000, 4, 13},   {"1.5ms", 4'000'000, 1, 6000},
        {"2000c", 50'000'000, 4, 2000},  {"1_000ns", 50'000'000, 1, 50}, {"3s", 4'000'000'000u, 1, 12'000'000'000},
    };
    for (const Case& c : cases) {
        StimulusTime t;
        std::string message;
        ASSERT_TRUE(ParseStimulusTime(c.time, t, message)) << c.time << ": " << message;
        EXPECT_EQ((SimTimeBase{c.hz, c.cpc}.CycleAt(t)), c.cycle) << c.time;
    }
    EXPECT_EQ((SimTimeBase{3'000'000, 1}.Picoseconds(1)), 333'333u);
    EXPECT_EQ((SimTimeBase{50'000'000, 4}.Picoseconds(3)), 240'000u);
}

std::vector<PinEvent> Events(const std::string& text, SimTimeBase base, std::size_t max = 1000) {
    Stimulus st;
    std::vector<StimulusError> errors;
    EXPECT_TRUE(ParseStimulus(text, Pins28(), st, errors)) << (errors.empty() ? "" : errors[0].message);
    StimulusSchedule schedule(st, base);
    std::vector<PinEvent> out;
    PinEvent e;
    while (out.size() < max && schedule.Take(e)) out.push_back(e);
    return out;
}

TEST(Stimulus, ScheduleMergesStatementsInCycleOrder) {
    const auto events = Events("at 3us RB.0 = 1\nat 1us RB = 0x5A\nat 2us RB.0 = z\nat 1us RC.1 = 1\n",
                               {1'000'000, 1});
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].cycle, 1u);
    EXPECT_EQ(events[0].mask, 0xFF);
    EXPECT_EQ(events[0].level, 0x5A);
    EXPECT_EQ(events[1].port, 2) << "same cycle: file order";
    EXPECT_EQ(events[2].cycle, 2u);
    EXPECT_TRUE(events[2].release);
    EXPECT_EQ(events[3].cycle, 3u);
    EXPECT_EQ(events[3].level, 0x01);
}

TEST(Stimulus, ClockEdgesFollowPeriodDutyFromAndUntilWithoutDrift) {
    // 3 MHz: a cycle is 333.33 ns; a 1 us period is 3 cycles exactly, so
    // edges computed from the start never drift.
    const auto events = Events("clock RB.2 period 1us duty 25% from 10us until 13us", {3'000'000, 1});
    std::vector<std::pair<std::uint64_t, std::uint8_t>> got;
    for (const PinEvent& e : events) got.push_back({e.cycle, e.level});
    const std::vector<std::pair<std::uint64_t, std::uint8_t>> want{
        {30, 4}, {31, 0}, {33, 4}, {34, 0}, {36, 4}, {37, 0}};
    EXPECT_EQ(got, want);
    const auto cycles = Events("clock RA.0 period 10c", {50'000'000, 1}, 5);
    ASSERT_EQ(cycles.size(), 5u);
    EXPECT_EQ(cycles[4].cycle, 20u);
    EXPECT_EQ(cycles[3].cycle, 15u);
}

// A UART statement decoded by the decoder gives back its text, bit times
// rounded to cycles included (115200 baud at 4 MHz: 34.7 cycles a bit).
TEST(Stimulus, UartFramesDecodeBackToTheirText) {
    const SimTimeBase base{4'000'000, 1};
    const auto events = Events("uart RB.7 115200 at 100us \"Hi\\n\\xff\\0\"", base);
    ASSERT_EQ(events.size(), 51u);
    EXPECT_EQ(events[0].cycle, 0u) << "idle high from the start";
    EXPECT_EQ(events[0].level, 0x80);
    EXPECT_EQ(events[1].cycle, 400u);
    EXPECT_EQ(events[1].level, 0) << "start bit";
    UartDecoder decoder(1, 7, 4'000'000.0 / 115200);
    std::string text;
    int framing = 0;
    decoder.onByte = [&](std::uint8_t b) { text += static_cast<char>(b); };
    decoder.onFramingError = [&](std::uint64_t) { ++framing; };
    for (const PinEvent& e : events) decoder.PinsChanged(1, e.level, e.cycle);
    decoder.Reached(events.back().cycle + 100);
    EXPECT_EQ(text, std::string("Hi\n\xff\0", 5));
    EXPECT_EQ(framing, 0);
}

// Many generators and at statements, with ties: the schedule gives what a
// stable sort of every statement's own events gives (at statements first on
// a tie, then file order).
TEST(Stimulus, ScheduleOfManyStatementsIsAStableMergeOfTheirEvents) {
    const SimTimeBase base{4'000'000, 1};
    std::string text;
    std::vector<std::string> lines;
    unsigned seed = 12345;
    auto next = [&](unsigned n) { return (seed = seed * 1103515245u + 12345u) / 65536u % n; };
    for (int i = 0; i < 300; ++i) {
        const int kind = static_cast<int>(next(3));
        const std::string pin = "RB." + std::to_string(next(8));
        std::string line;
        if (kind == 0)
            line = "at " + std::to_string(next(400)) + (next(2) ? "c " : "us ") + pin + " = " + std::to_string(next(2));
        else if (kind == 1)
            line = "clock " + pin + " period " + std::to_string(2 + next(40)) + (next(2) ? "c" : "us") + " from " +
                   std::to_string(next(50)) + "c until 300us";
        else
            line = "uart " + pin + " 115200 at " + std::to_string(next(200)) + "us \"ab\"";
        lines.push_back(line);
        text += line + (i % 3 == 0 ? "\r" : i % 3 == 1 ? "\r\n" : "\n");
    }
    const std::uint64_t end = 1200;  // cycles: 300 us
    std::vector<PinEvent> all = Events(text, base, 1'000'000);
    while (!all.empty() && all.back().cycle >= end) all.pop_back();

    std::vector<std::pair<int, PinEvent>> want;  // (rank, event)
    std::string ats;
    for (const std::string& line : lines)
        if (line.rfind("at ", 0) == 0) ats += line + "\n";
    for (const PinEvent& e : Events(ats, base, 1'000'000)) want.push_back({0, e});
    int rank = 0;
    for (const std::string& line : lines)
        if (line.rfind("at ", 0) != 0) {
            ++rank;
            for (const PinEvent& e : Events(line, base, 1'000'000)) want.push_back({rank, e});
        }
    std::stable_sort(want.begin(), want.end(), [](const auto& a, const auto& b) {
        return a.second.cycle != b.second.cycle ? a.second.cycle < b.second.cycle : a.first < b.first;
    });
    while (!want.empty() && want.back().second.cycle >= end) want.pop_back();
    ASSERT_EQ(all.size(), want.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const PinEvent &a = all[i], &b = want[i].second;
        ASSERT_TRUE(a.cycle == b.cycle && a.port == b.port && a.mask == b.mask && a.level == b.level &&
                    a.release == b.release)
            << "event " << i << " at cycle " << a.cycle << " (want " << b.cycle << ")";
    }
}

// Lines end in LF, CR LF or a lone CR; errors count lines the same way.
TEST(Stimulus, EveryLineEndCountsOneLine) {
    const struct {
        const char* text;
        std::size_t sets;
        int errorLine;  // 0: none
    } cases[] = {
        {"at 1us RB.0 = 1\rat 2us RB.0 = 0\r", 2, 0},
        {"at 1us RB.0 = 1\r\nat 2us RB.0 = 0", 2, 0},
        {"at 1us RB.0 = 1\r\r\nat 2us RB.0 = 0\n\rat 3us RB = 5", 3, 0},
        {"# one\rat 1us RB.0 = 1\r\nat 2us RB.0 = 3\r", 1, 3},
        {"\r\r\rat 1us RB.0 = 2", 0, 4},
    };
    for (const auto& c : cases) {
        Stimulus st;
        std::vector<StimulusError> errors;
        ParseStimulus(c.text, Pins28(), st, errors);
        EXPECT_EQ(st.sets.size(), c.sets) << c.text;
        if (c.errorLine) {
            ASSERT_EQ(errors.size(), 1u) << c.text;
            EXPECT_EQ(errors[0].line, c.errorLine) << c.text;
        } else {
            EXPECT_TRUE(errors.empty()) << c.text;
        }
    }
}

// What a statement costs in memory, measured: an at statement 16 bytes kept
// plus 16 in the schedule, a clock a few hundred bytes. (A file of millions
// of lines must not take gigabytes.)
TEST(Stimulus, MemoryIsASmallConstantPerStatement) {
    const struct {
        const char* line;
        std::size_t bytesPerLine;
    } cases[] = {{"at 1234567c RB.3 = 1\n", 48}, {"clock RB.2 period 3us duty 30% from 1us\n", 320}};
    for (const auto& c : cases) {
        constexpr int kLines = 50'000;
        std::string text;
        for (int i = 0; i < kLines; ++i) text += c.line;
        const std::size_t before = mallinfo2().uordblks;
        {
            auto stimulus = std::make_unique<Stimulus>();
            std::vector<StimulusError> errors;
            ASSERT_TRUE(ParseStimulus(text, Pins28(), *stimulus, errors));
            StimulusSchedule schedule(*stimulus, {});
            const std::size_t used = mallinfo2().uordblks - before;
            EXPECT_LE(used, kLines * c.bytesPerLine) << c.line << ": " << used / kLines << " bytes a line";
            PinEvent e;
            for (int i = 0; i < 1000; ++i) schedule.Take(e);
        }
    }
}

// A file may be one line of many megabytes: a word that long is refused
// unread, a string is taken whole (escapes across the scanner's megabyte
// pieces included), and a message quotes only its ends.
TEST(Stimulus, OneLineOfMegabytesIsReadWholeAndQuotedShort) {
    const std::string mega(3u << 20, 'x');
    Stimulus st;
    std::vector<StimulusError> errors;
    EXPECT_FALSE(ParseStimulus("at 1" + mega + "c RB.0 = 1", Pins28(), st, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].column, 4);
    EXPECT_EQ(errors[0].message, "a word of more than 256 characters");

    EXPECT_FALSE(ParseStimulus("at 1us \"" + mega + "\" = 1", Pins28(), st, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].column, 8);
    EXPECT_LE(errors[0].message.size(), 240u);
    EXPECT_EQ(errors[0].message.rfind("'xxxx", 0), 0u) << errors[0].message.substr(0, 80);
    EXPECT_NE(errors[0].message.find("is not a pin or port"), std::string::npos);

    std::string text = mega;
    const std::size_t escape = (1u << 20) - 25;  // the line's first megabyte ends inside it
    text.replace(escape, 4, "\\x41");
    ASSERT_TRUE(ParseStimulus("uart RB.7 9600 at 1ms \"" + text + "\"\nat 1us RB.0 = 1", Pins28(), st, errors))
        << errors[0].message;
    ASSERT_EQ(st.statements.size(), 1u);
    EXPECT_EQ(st.statements[0].text.size(), mega.size() - 3);
    EXPECT_EQ(st.statements[0].text.substr(escape - 3, 5), "xxxAx");
    EXPECT_EQ(st.sets.size(), 1u);
}

// A stop signal's flag ends parsing and the sorting of the schedule.
TEST(Stimulus, ParsingAndSchedulingStopAtTheFlag) {
    std::string text;
    for (int i = 0; i < 100'000; ++i) text += "at " + std::to_string(100'000 - i) + "c RB.0 = 1\n";
    volatile std::sig_atomic_t stop = 1;
    Stimulus st;
    std::vector<StimulusError> errors;
    EXPECT_FALSE(ParseStimulus(text, Pins28(), st, errors, {}, &stop));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(st.sets.empty());
    stop = 0;
    ASSERT_TRUE(ParseStimulus(text, Pins28(), st, errors, {}, &stop));
    EXPECT_EQ(st.sets.size(), 100'000u);
    stop = 1;
    EXPECT_TRUE(StimulusSchedule(st, {}, &stop).empty());
    stop = 0;
    StimulusSchedule sorted(st, {}, &stop);
    EXPECT_EQ(sorted.NextCycle(), 1u) << "reverse order sorted in runs and merges";

    // The flag is looked at before every line, however few came before: a
    // signal during line 1 does not wait for a long line 2.
    stop = 0;
    auto raise = [&](const std::vector<StimulusToken>&, int, StimulusError&) { return stop = 1, true; };
    EXPECT_FALSE(ParseStimulus("note\nuart RB.7 9600 at 0 \"" + std::string(1u << 20, 'x') + "\"", Pins28(), st,
                               errors, raise, &stop));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(st.statements.empty());
    // A test file stopped while parsing reports nothing of what it lacks.
    FirmwareTest test;
    EXPECT_FALSE(ParseFirmwareTest("source a.src\nrun for 1ms\n", test, errors, &stop));
    EXPECT_TRUE(errors.empty());
}

TEST(Stimulus, UartDecoderReportsALowStopBitAndResynchronises) {
    UartDecoder decoder(1, 0, 10.0);
    std::string text;
    std::vector<std::uint64_t> errors;
    decoder.onByte = [&](std::uint8_t b) { text += static_cast<char>(b); };
    decoder.onFramingError = [&](std::uint64_t c) { errors.push_back(c); };
    decoder.PinsChanged(1, 1, 0);
    decoder.PinsChanged(1, 0, 100);   // start, then all low through the stop bit
    decoder.PinsChanged(1, 1, 300);   // high again long after
    decoder.PinsChanged(1, 0, 400);   // 'A' = 0x41: start 0, 1 0 0 0 0 0 1 0, stop 1
    decoder.PinsChanged(1, 1, 410);
    decoder.PinsChanged(1, 0, 420);
    decoder.PinsChanged(1, 1, 470);
    decoder.PinsChanged(1, 0, 480);
    decoder.PinsChanged(1, 1, 490);
    decoder.PinsChanged(1, 0, 402 + 0);  // a report that goes back is not a new frame
    decoder.PinsChanged(1, 1, 490);
    decoder.Reached(600);
    EXPECT_EQ(errors, std::vector<std::uint64_t>{195});
    EXPECT_EQ(text, "A");
}

}  // namespace
}  // namespace korvid
