// The IDE as a person uses it: the real programs on an X server with the
// simulated tool, real keys and clicks, judged by what the windows show a
// while later and by the files saved.
#include <cstdio>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include <sys/stat.h>

#include "tests/live/Desktop.h"

namespace korvid::live {
namespace {

const std::string kSource = KORVID_SOURCE_DIR;

// With KORVID_LIVE_PICTURES set, the pictures a test judges are kept there.
void Keep(const Picture& p, const std::string& name) {
    if (const char* dir = std::getenv("KORVID_LIVE_PICTURES")) p.Save(std::string(dir) + "/" + name + ".ppm");
}

// One program on one simulated tool, with its own home folder; the X
// server's screen of `screen` pixels, the program's extra environment `env`.
struct Session {
    Session(const std::string& program, const std::string& family, const std::string& source, bool fast,
            const std::string& screen = "1280x1024", const std::vector<std::string>& env = {})
        : x(Desktop::Get(screen)), sim(family, fast), file(home.Add(source)), ide(program, home, file, sim.Port(), env) {
        if (!x.Ok()) return;  // main stays 0: the X server did not start
        const std::string name = file.substr(file.rfind('/') + 1);
        main = x.WaitWindow(name + " - " + program);
    }
    Desktop& x;
    UserHome home;
    LiveSim sim;
    std::string file;
    LiveIde ide;
    WindowId main = 0;
};

// Korvid28L on a file `name` of `text` in a fresh home folder.
struct OnFile {
    OnFile(const std::string& name, const std::string& text)
        : file(home.Write(name, text)), sim("28l", true), ide("Korvid28L", home, file, sim.Port()),
          main(x.Ok() ? x.WaitWindow(name + " - Korvid28L") : 0) {}
    Desktop& x = Desktop::Get();
    UserHome home;
    std::string file;
    LiveSim sim;
    LiveIde ide;
    WindowId main;
};

// Rows [top, bottom] of the first band of `colour` in column `x`; top -1
// when there is none.
std::pair<int, int> Band(const Picture& p, int x, std::uint32_t colour) {
    int y = 0;
    while (y < p.height && p.At(x, y) != colour) ++y;
    if (y == p.height) return {-1, -1};
    int top = y;
    while (y < p.height && p.At(x, y) == colour) ++y;
    return {top, y - 1};
}

bool Dark(std::uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) < 0x80 && ((rgb >> 8) & 0xFF) < 0x80 && (rgb & 0xFF) < 0x80;
}

// The rows [top, bottom] of the text lines in the band x0..x1 below y0: the
// runs of rows with a pixel that is `ink`.
std::vector<std::pair<int, int>> TextLines(const Picture& p, int x0, int x1, int y0,
                                           bool (*ink)(std::uint32_t) = Dark) {
    std::vector<std::pair<int, int>> lines;
    bool inLine = false;
    for (int y = y0; y < p.height; ++y) {
        bool dark = false;
        for (int x = x0; x < std::min(x1, p.width) && !dark; ++x) dark = ink(p.At(x, y));
        if (dark && !inLine) lines.push_back({y, y});
        if (dark) lines.back().second = y;
        inLine = dark;
    }
    return lines;
}

// Pixels of a clear colour (a bar, a selection), not a grey.
int Coloured(const Picture& p) {
    int n = 0;
    for (std::uint32_t c : p.pixels) {
        int r = int(c >> 16) & 0xFF, g = int(c >> 8) & 0xFF, b = int(c) & 0xFF;
        n += std::max({r, g, b}) - std::min({r, g, b}) > 60;
    }
    return n;
}

// The Code window's current line: blue right of the address column (a
// breakpoint on it makes the left part red), past the end of the text of
// an instruction line.
std::pair<int, int> PcRow(const Picture& code) { return Band(code, code.width * 2 / 3, kBlue); }

// Run > Debug (Ctrl+D) in the session's main window: the three debug
// windows, and whether the Code window shows the first halt.
struct DebugWindows {
    WindowId debug = 0, regs = 0, code = 0;
    bool started = false, halted = false;
    // What went wrong at the start ("" when the first halt shows).
    std::string Fault() const { return !started ? "no debug window" : !halted ? "no first halt" : ""; }
};
DebugWindows StartDebug(Session& s) {
    DebugWindows w;
    Desktop& x = s.x;
    if (s.main == 0 || !x.Key(s.main, "ctrl+d")) return w;
    w.debug = x.WaitWindow("Debug"), w.regs = x.WaitWindow("Registers"), w.code = x.WaitWindow("Code");
    w.started = w.debug && w.regs && w.code;
    // The lines these tests click lie low in the listing: the user gives
    // the Code window more height, down to the bottom of the screen, so
    // that the listing does not scroll under the clicks.
    if (w.started) {
        std::string place, screen;
        x.Xdo({"getwindowgeometry", std::to_string(w.code)}, &place);
        x.Xdo({"getdisplaygeometry"}, &screen);
        int left = 0, top = 0, width = 0, height = 0, screenWidth = 0, screenHeight = 0;
        if (std::sscanf(place.c_str(), "Window %*u\n  Position: %d,%d (screen: %*d)\n  Geometry: %dx%d", &left, &top,
                        &width, &height) == 4 &&
            std::sscanf(screen.c_str(), "%d %d", &screenWidth, &screenHeight) == 2 && screenHeight - top - 24 > height)
            x.Xdo({"windowsize", "--sync", std::to_string(w.code), std::to_string(width),
                   std::to_string(screenHeight - top - 24)});
    }
    w.halted = w.started && WaitFor([&] { return PcRow(x.Grab(w.code)).first >= 0; }, 20);
    return w;
}

// Where xdotool sees a window: "  Position: X,Y (screen: 0)\n  Geometry: WxH\n".
std::string PlaceOf(Desktop& x, WindowId w) {
    std::string out;
    x.Xdo({"getwindowgeometry", std::to_string(w)}, &out);
    return out.substr(out.find('\n') + 1);
}

// Whether the window's title becomes `want` within 10 s.
bool Titled(Desktop& x, WindowId w, const std::string& want) {
    std::string name;
    return WaitFor([&] { return x.Xdo({"getwindowname", std::to_string(w)}, &name) && name == want + "\n"; }, 10, 200);
}

// Presses `keys` in `window` and waits until `watched` shows another
// picture; then `settle` seconds more.
Picture Press(Desktop& x, WindowId window, const std::string& keys, WindowId watched, double settle = 1) {
    Picture before = x.Steady(watched);
    if (!x.Key(window, keys)) return {};
    if (!WaitFor([&] { return x.Grab(watched) != before; }, 10)) return {};
    Pause(settle);
    return x.Grab(watched);
}

// A rectangle as X geometry: "WxH+X+Y".
std::string text(const ScreenRect& r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
           std::to_string(r.y);
}

// A debug session of the 28L program: change marks after Steps, a double
// click on a Code line, a Hop through a long loop on one line, minimise and
// restore, and the end of the link in the middle of a Jog.
TEST(Live, DebugSession) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true);
    Desktop& x = s.x;
    const DebugWindows w = StartDebug(s);
    ASSERT_EQ(w.Fault(), "");
    const WindowId debug = w.debug, regs = w.regs, code = w.code;

    // Step 2 loads W (MOVs of the start line), step 3 leaves it: W's row,
    // the lowest of the Registers window, is red a second after the one
    // and plain after the other, while the PC is red after both.
    ASSERT_FALSE(Press(x, debug, "alt+s", regs).empty());
    Picture loaded = Press(x, debug, "alt+s", regs);
    Picture kept = Press(x, debug, "alt+s", regs);
    Keep(loaded, "step-w-loaded");
    Keep(kept, "step-w-kept");
    ASSERT_FALSE(loaded.empty() || kept.empty());
    const int h = loaded.height;
    EXPECT_GT(loaded.Count(kRed, 0, h * 3 / 4, loaded.width, h), 20) << "W not red after the Step that loaded it";
    EXPECT_EQ(kept.Count(kRed, 0, h * 3 / 4, kept.width, h), 0) << "W still red after a Step that kept it";
    EXPECT_GT(kept.Count(kRed, 0, 0, kept.width, h / 4), 20) << "the changed PC is not red";

    // The PC is on listing line 17 (CLRB led at 002); a real double click
    // on line 29 (:inner DJNZ) makes it the next instruction.
    Picture listing = x.Steady(code);
    const auto [pcTop, pcBottom] = PcRow(listing);
    ASSERT_GE(pcTop, 0) << "no current line in the Code window";
    const int row = pcBottom - pcTop + 1;
    auto rowTop = [&](int line) { return pcTop + (line - 17) * row; };
    ASSERT_TRUE(x.Click(code, 40, rowTop(29) + row / 2, 2));
    ASSERT_TRUE(WaitFor([&] { return PcRow(x.Grab(code)).first == rowTop(29); }, 10))
        << "the double click did not move the PC";
    Picture moved = x.Steady(code);
    Keep(moved, "code-moved");
    EXPECT_EQ(moved.Count(kRed, 0, 0, 8, moved.height), 0) << "the double click left a breakpoint";

    // Hop over 256 rounds of the DJNZ on one line lands on the next line
    // within seconds; then nothing moves any more.
    // At one instruction a 40 ms tick these 512 instructions took 20 s.
    const auto hop = std::chrono::steady_clock::now();
    ASSERT_TRUE(x.Key(debug, "alt+h"));
    ASSERT_TRUE(WaitFor([&] { return PcRow(x.Grab(code)).first == rowTop(30); }, 30))
        << "the Hop did not land on the next line";
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - hop).count(), 6)
        << "the Hop over the loop on one line is slow";
    Pause(1);
    Picture second1 = x.Grab(regs);
    Pause(2);
    Picture second3 = x.Grab(regs);
    Keep(second1, "hop-1s");
    Keep(second3, "hop-3s");
    EXPECT_TRUE(second1 == second3) << "the Registers window changed between 1 s and 3 s after the Hop";

    // Minimising and restoring the Debug window keeps the session: the
    // chip is not reset and the next Step goes on from where it was.
    ASSERT_TRUE(x.Xdo({"windowminimize", "--sync", std::to_string(debug)}));
    ASSERT_TRUE(WaitFor([&] { return !x.IsVisible(debug); }, 10));
    Pause(0.5);
    ASSERT_TRUE(x.Activate(debug));
    ASSERT_TRUE(WaitFor([&] { return x.IsVisible(debug); }, 10));
    EXPECT_TRUE(x.Steady(regs) == second3) << "restoring the Debug window changed the chip";
    // DECSZ count2 (0 to FF) and its JMP back to :middle.
    ASSERT_FALSE(Press(x, debug, "alt+s", regs, 0).empty()) << "Step after restoring did nothing";
    ASSERT_FALSE(Press(x, debug, "alt+s", regs, 0).empty());
    EXPECT_EQ(PcRow(x.Grab(code)).first, rowTop(28)) << "Step after restoring did not go on";

    // The tool goes away in the middle of a Jog: the usual box, then the
    // debug windows go and the editor works again.
    ASSERT_TRUE(x.Key(debug, "alt+j"));
    Pause(0.5);
    s.sim.Process().Kill();
    const WindowId box = x.WaitWindow("Korvid28L");
    ASSERT_NE(box, 0u) << "no message after the link failed";
    ASSERT_TRUE(x.Key(box, "Return"));
    EXPECT_TRUE(WaitFor([&] { return !x.IsVisible(debug) && !x.IsVisible(regs); }, 10));
    ASSERT_TRUE(x.Key(s.main, "ctrl+Home"));
    ASSERT_TRUE(x.Type(s.main, ";x"));
    ASSERT_TRUE(x.Key(s.main, "ctrl+s"));
    EXPECT_TRUE(WaitFor([&] { return UserHome::Read(s.file).rfind(";x;", 0) == 0; }, 10));
}

// The debug keys typed into the Registers window, whose cell editor has the
// focus and takes every other key: F10 hops from the reset vector to the
// program's first line, F5 runs the blink loop and Shift+F5 stops it
// somewhere else. Then in the Code window, whose scroll bar has the focus:
// a click on `main` sets a breakpoint there and selects the line, F9 clears
// it and sets it again, and F5 runs to it.
TEST(Live, DebugKeys) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true);
    Desktop& x = s.x;
    const DebugWindows w = StartDebug(s);
    ASSERT_EQ(w.Fault(), "");
    const int reset = PcRow(x.Steady(w.code)).first;
    ASSERT_FALSE(Press(x, w.regs, "F10", w.code).empty()) << "F10 in the Registers window did nothing";
    const int first = PcRow(x.Steady(w.code)).first;
    ASSERT_GE(first, 0) << "no current line after F10";
    EXPECT_NE(first, reset);
    ASSERT_TRUE(x.Key(w.regs, "F5"));
    Pause(1);
    ASSERT_TRUE(x.Key(w.regs, "shift+F5"));
    auto movedOn = [&] {
        const int top = PcRow(x.Grab(w.code)).first;
        return top >= 0 && top != first;
    };
    EXPECT_TRUE(WaitFor(movedOn, 10)) << "F5 and Shift+F5 in the Registers window did not move the program counter";

    // `start` is listing line 16, `main` line 19.
    const auto [startTop, startBottom] = PcRow(x.Steady(w.code));
    const int row = startBottom - startTop + 1, mainTop = first + 3 * row;
    auto breakpointShown = [&] { return x.Grab(w.code).Count(kRed, 0, mainTop, 8, mainTop + row) > 0; };
    ASSERT_TRUE(x.Click(w.code, 40, mainTop + row / 2));
    ASSERT_TRUE(WaitFor(breakpointShown, 10)) << "the click set no breakpoint";
    ASSERT_TRUE(x.Key(w.code, "F9"));
    ASSERT_TRUE(WaitFor([&] { return !breakpointShown(); }, 10)) << "F9 did not clear the breakpoint";
    ASSERT_TRUE(x.Key(w.code, "F9"));
    ASSERT_TRUE(WaitFor(breakpointShown, 10)) << "F9 did not set the breakpoint again";
    // The chip halts once the breakpoint's instruction has run: on the next line.
    ASSERT_TRUE(x.Key(w.code, "F5"));
    EXPECT_TRUE(WaitFor([&] { return PcRow(x.Grab(w.code)).first == mainTop + row; }, 10))
        << "F5 in the Code window did not run to the breakpoint";
    Keep(x.Steady(w.code), "keys-at-breakpoint");
}

// The 52's marks: the sixth Step runs BANK (FSR to 30h), the seventh a CLR
// of a register that was 0 (only Z changes). FSR, below the PC in the same
// column, is red a second after the one and plain after the other.
TEST(Live, DebugMarks52) {
    Session s("Korvid52", "52", kSource + "/examples/sx52_counter.src", true);
    Desktop& x = s.x;
    const DebugWindows w = StartDebug(s);
    ASSERT_EQ(w.Fault(), "");
    const WindowId debug = w.debug, regs = w.regs;
    for (int i = 0; i < 5; ++i) ASSERT_FALSE(Press(x, debug, "alt+s", regs, 0).empty());
    const Picture banked = Press(x, debug, "alt+s", regs);
    const Picture cleared = Press(x, debug, "alt+s", regs);
    Keep(banked, "52-banked");
    Keep(cleared, "52-cleared");
    ASSERT_FALSE(banked.empty() || cleared.empty());
    // The PC's cell: the topmost red pixel.
    int pcX = -1, pcY = -1;
    for (int y = 0; y < banked.height && pcX < 0; ++y)
        for (int c = 0; c < banked.width / 3 && pcX < 0; ++c)
            if (banked.At(c, y) == kRed) pcX = c + 2, pcY = y;
    ASSERT_GE(pcX, 0) << "the changed PC is not red";
    // FSR: the next red cell below the PC (STATUS, between them, is plain).
    int top = Band(banked, pcX, kRed).second + 2, bottom = 0;
    while (top < banked.height && banked.At(pcX, top) != kRed) ++top;
    ASSERT_LT(top, banked.height) << "FSR not red after BANK";
    for (bottom = top; bottom + 1 < banked.height && banked.At(pcX, bottom + 1) == kRed;) ++bottom;
    EXPECT_EQ(cleared.Count(kRed, pcX, top, pcX + 1, bottom + 1), 0) << "FSR still red a Step later";
    EXPECT_EQ(cleared.At(pcX, pcY), kRed) << "the changed PC is not red";
}

// Mouse and keys in the editor: a double click selects a word, a triple
// click the line with its CR, Shift+Tab types a TAB; checked in the file.
TEST(Live, EditorClicksAndKeys) {
    OnFile f("words.src", "wordone beta\r\nsecond line\r\nthird\r\n");
    Desktop& x = f.x;
    const std::string& file = f.file;
    const WindowId main = f.main;
    ASSERT_NE(main, 0u);
    // The text area is the white one below the menu bar; its three lines
    // are there once it is painted (the caret blinks, so no picture stays).
    Picture p;
    int top = 0, left = 0;
    std::vector<std::pair<int, int>> lines;
    WaitFor(
        [&] {
            p = x.Grab(main);
            for (top = 0; top < p.height && p.At(p.width / 2, top) != kWhite;) ++top;
            if (top + 4 >= p.height) return false;
            for (left = 0; left < p.width && p.At(left, top + 4) != kWhite;) ++left;
            lines = TextLines(p, left + 6, left + 200, top);
            return lines.size() >= 3;
        },
        20, 200);
    Keep(p, "editor");
    ASSERT_GE(lines.size(), 3u) << "the text is not shown";
    auto middle = [&](int line) { return (lines[std::size_t(line)].first + lines[std::size_t(line)].second) / 2; };
    ASSERT_TRUE(x.Click(main, left + 20, middle(0), 2));
    ASSERT_TRUE(x.Type(main, "Z"));
    ASSERT_TRUE(x.Click(main, left + 20, middle(1), 3));
    ASSERT_TRUE(x.Type(main, "Y"));
    ASSERT_TRUE(x.Key(main, "shift+Tab ctrl+s"));
    std::string saved;
    EXPECT_TRUE(WaitFor([&] { return (saved = UserHome::Read(file)).rfind("Z", 0) == 0; }, 10));
    EXPECT_EQ(saved, "Z beta\r\nY\tthird\r\n");
}

// The source is coloured by what the assembler reads (clear colours in the
// text area, none with View > Syntax Colours off); Ctrl+Z takes a whole
// Replace All back, and the title shows the unsaved text meanwhile.
TEST(Live, ColoursAndUndoAfterReplaceAll) {
    Desktop& x = Desktop::Get();
    const std::string text = "start\tmov\tra,#$0F\t; comment\r\n\tjmp\tstart\r\n";
    OnFile f("colours.src", text);
    const std::string& file = f.file;
    const WindowId main = f.main;
    ASSERT_NE(main, 0u);
    // The text area: the top half of the window without its menu bar.
    auto coloured = [&] {
        Picture p = x.Steady(main);
        Picture area{p.width, p.height / 2, {}};
        for (int y = 0; y < area.height; ++y)
            for (int c = 0; c < p.width; ++c) area.pixels.push_back(p.At(c, y));
        return std::pair(Coloured(area), area);
    };
    int on = 0;
    WaitFor([&] { return (on = coloured().first) > 40; }, 20, 300);
    Keep(coloured().second, "colours-on");
    EXPECT_GT(on, 40) << "the source is not coloured";
    ASSERT_TRUE(x.Key(main, "alt+v c"));
    int off = on;
    WaitFor([&] { return (off = coloured().first) < on / 4; }, 10, 300);
    Keep(coloured().second, "colours-off");
    EXPECT_LT(off, on / 4) << "View > Syntax Colours does not switch the colours off";
    // Replace All of "start" by "begin", then Ctrl+Z.
    ASSERT_TRUE(x.Key(main, "ctrl+f"));
    const WindowId find = x.WaitWindow("Find/Replace");
    ASSERT_NE(find, 0u);
    ASSERT_TRUE(x.Type(find, "start"));
    ASSERT_TRUE(x.Key(find, "Tab"));
    ASSERT_TRUE(x.Type(find, "begin"));
    ASSERT_TRUE(x.Key(find, "alt+a"));
    auto titled = [&](const std::string& want) {
        std::string name;
        WaitFor([&] { return x.Xdo({"getwindowname", std::to_string(main)}, &name) && name == want + "\n"; }, 10, 200);
        return name;
    };
    EXPECT_EQ(titled("*colours.src - Korvid28L"), "*colours.src - Korvid28L\n") << "no unsaved mark after Replace All";
    Keep(x.Grab(main), "replaced");
    ASSERT_TRUE(x.Key(main, "ctrl+z"));
    EXPECT_EQ(titled("colours.src - Korvid28L"), "colours.src - Korvid28L\n") << "Undo did not return to the saved text";
    // Saving the text as loaded leaves the file alone; a real edit saves.
    ASSERT_TRUE(x.Key(main, "ctrl+s"));
    Pause(0.5);
    EXPECT_EQ(UserHome::Read(file), text);
    ASSERT_TRUE(x.Key(main, "ctrl+End"));
    ASSERT_TRUE(x.Type(main, "X"));
    ASSERT_TRUE(x.Key(main, "ctrl+s"));
    std::string saved;
    EXPECT_TRUE(WaitFor([&] { return (saved = UserHome::Read(file)).find("X") != std::string::npos; }, 10));
    EXPECT_EQ(saved, text + "X");
}

// A file that is not text is refused: a box says so, the editor keeps its
// text and the file on disk is untouched, also after Ctrl+S.
TEST(Live, BinaryFileRefused) {
    Desktop& x = Desktop::Get();
    UserHome home;
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    for (int i = 0; i < 4000; ++i) png.push_back(char(i * 7));
    const std::string file = home.Write("picture.png", png);
    LiveSim sim("28l", true);
    LiveIde ide("Korvid28L", home, file, sim.Port());
    // The start-up load is refused with the usual error box.
    const WindowId box = x.WaitWindow("Korvid28L");
    ASSERT_NE(box, 0u) << "no error box for a binary file";
    ASSERT_TRUE(x.Key(box, "Return"));
    const WindowId main = x.WaitWindow("Untitled.SRC - Korvid28L");
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(x.Key(main, "ctrl+s"));
    ASSERT_NE(x.WaitWindow("Save Source"), 0u);
    ASSERT_TRUE(x.Key(x.WaitWindow("Save Source"), "Escape"));
    Pause(0.5);
    EXPECT_EQ(UserHome::Read(file), png);
}

// The first debug session on a screen of `screen` pixels: the Debug,
// Registers, Code and Watch windows, frames included, each lie on the screen
// and none covers another. The Registers window shows its whole content
// when the screen is `roomy`, and is smaller (it scrolls) when not.
void ExpectDebugLayout(const std::string& screen, const std::vector<std::string>& env, bool roomy = true) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true, screen, env);
    Desktop& x = s.x;
    ASSERT_NE(s.main, 0u);
    ASSERT_TRUE(x.Key(s.main, "ctrl+d"));
    const std::vector<std::string> names{"Debug", "Registers", "Code", "Watch"};
    std::vector<WindowId> windows;
    for (const std::string& n : names) {
        windows.push_back(x.WaitWindow(n));
        ASSERT_NE(windows.back(), 0u) << "no " << n << " window";
    }
    // Once the window manager has framed and placed them all.
    std::vector<ScreenRect> frames, last;
    auto same = [](const std::vector<ScreenRect>& a, const std::vector<ScreenRect>& b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (i >= b.size() || a[i].x != b[i].x || a[i].y != b[i].y || a[i].width != b[i].width ||
                a[i].height != b[i].height)
                return false;
        return !a.empty();
    };
    WaitFor(
        [&] {
            last = std::exchange(frames, {});
            for (WindowId w : windows) frames.push_back(x.Frame(w));
            return same(frames, last);
        },
        10, 300);
    const ScreenRect all = x.Screen();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(frames[i].Inside(all)) << names[i] << " " << text(frames[i]) << " is not on the screen";
        for (std::size_t j = i + 1; j < frames.size(); ++j)
            EXPECT_FALSE(frames[i].Overlaps(frames[j]))
                << names[i] << " " << text(frames[i]) << " covers " << names[j] << " " << text(frames[j]);
    }
    Keep(x.Grab(windows[1]), "layout-registers-" + screen);
    // The fixed-size Debug window offers no maximising.
    const test::RunResult r =
        test::RunChild({"/usr/bin/xprop", "-id", std::to_string(windows[0]), "_NET_WM_ALLOWED_ACTIONS"}, {}, 10);
    EXPECT_NE(r.out.find("_NET_WM_ACTION_MOVE"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("MAXIMIZE"), std::string::npos) << "Debug can be maximised: " << r.out;
    // The Registers and Watch windows, whose content scrolls, open whole
    // where the screen has room and grow no larger than their content.
    for (std::size_t i : {1u, 3u}) {
        if (!roomy && i == 3) continue;
        const test::RunResult hints = test::RunChild(
            {"/usr/bin/xprop", "-id", std::to_string(windows[i]), "WM_NORMAL_HINTS"}, {}, 10);
        const std::string size = PlaceOf(x, windows[i]);
        const std::size_t at = size.find("Geometry: ");
        ASSERT_NE(at, std::string::npos) << size;
        std::string most = size.substr(at + 10, size.find('\n', at) - at - 10);
        most.replace(most.find('x'), 1, " by ");
        EXPECT_EQ(hints.out.find("program specified maximum size: " + most + "\n") != std::string::npos, roomy)
            << names[i] << " at " << most << ": " << hints.out;
    }
}

TEST(Live, DebugLayoutOnALaptopScreen) { ExpectDebugLayout("1280x800", {}); }
TEST(Live, DebugLayoutAtScaleFactor2) { ExpectDebugLayout("2560x1600", {"QT_SCALE_FACTOR=2"}); }
// A netbook's screen has no room for the whole Registers window: it is
// made smaller and scrolls.
TEST(Live, DebugLayoutOnANetbookScreen) { ExpectDebugLayout("1024x600", {}, false); }

// Is the window maximised (by the window manager's word)?
bool Maximised(WindowId w) {
    const test::RunResult r = test::RunChild({"/usr/bin/xprop", "-id", std::to_string(w), "_NET_WM_STATE"}, {}, 10);
    return r.out.find("_NET_WM_STATE_MAXIMIZED_VERT") != std::string::npos &&
           r.out.find("_NET_WM_STATE_MAXIMIZED_HORZ") != std::string::npos;
}

// The Registers and Watch windows made smaller than their content scroll
// it: the wheel brings their last rows into view, judged by the red of the
// values a Step changed (W, the lowest register row; the last watch), and
// Home goes back to the top of the Registers window.
TEST(Live, RegistersAndWatchScroll) {
    UserHome sources;
    std::string text = "\tDEVICE\tSX28L, OSCHS2, TURBO, STACKX_OPTIONX\r\n\tRESET\tstart\r\n";
    // 24 watches: 08h to 1Eh, never written, and 1Fh, written last.
    for (int r = 0x08; r <= 0x1F; ++r) {
        char line[64];
        std::snprintf(line, sizeof line, "r%02X\tEQU\t%02Xh\r\n\tWATCH\tr%02X, 8, UDEC\r\n", r, r, r);
        text += line;
    }
    text += "\tORG\t0\r\nstart\tMOV\tW, #200\r\n\tMOV\tr1F, W\r\n\tJMP\tstart\r\n";
    Session s("Korvid28L", "28l", sources.Write("watches.src", text), true);
    Desktop& x = s.x;
    const DebugWindows w = StartDebug(s);
    ASSERT_EQ(w.Fault(), "");
    const WindowId watch = x.WaitWindow("Watch");
    ASSERT_NE(watch, 0u);
    for (WindowId small : {w.regs, watch})
        ASSERT_TRUE(x.Xdo({"windowsize", "--sync", std::to_string(small), "320", "150"}));
    // The jump from the reset vector, then MOV W,#200.
    ASSERT_FALSE(Press(x, w.debug, "alt+s", w.regs).empty());
    ASSERT_FALSE(Press(x, w.debug, "alt+s", w.regs).empty());
    auto red = [&](WindowId window, double from, double to) {
        const Picture p = x.Grab(window);
        return p.Count(kRed, 0, int(p.height * from), p.width, int(p.height * to));
    };
    const Picture top = x.Steady(w.regs);
    Keep(top, "scroll-registers-top");
    ASSERT_EQ(top.height, 150) << "the Registers window did not get smaller";
    EXPECT_GT(red(w.regs, 0, 0.5), 20) << "the changed PC is not red at the top";
    // The wheel over the register labels (left of the program lines, whose
    // wheel is their own) scrolls the window to its end: W's red row shows,
    // the PC's is gone.
    ASSERT_TRUE(x.Wheel(w.regs, 20, 75, 15));
    EXPECT_TRUE(WaitFor([&] { return red(w.regs, 0.5, 1) > 20 && red(w.regs, 0, 0.25) == 0; }, 10))
        << "the wheel did not bring W into view";
    Keep(x.Grab(w.regs), "scroll-registers-end");
    ASSERT_TRUE(x.Key(w.regs, "Home"));
    EXPECT_TRUE(WaitFor([&] { return red(w.regs, 0, 0.5) > 20; }, 10)) << "Home did not go back to the top";
    // MOV r1F,W: only the last watch changes.
    ASSERT_FALSE(Press(x, w.debug, "alt+s", w.regs).empty());
    const Picture first = x.Steady(watch);
    Keep(first, "scroll-watch-top");
    ASSERT_EQ(first.height, 150) << "the Watch window did not get smaller";
    EXPECT_EQ(first.Count(kRed), 0) << "a watch at the top is marked changed";
    ASSERT_TRUE(x.Wheel(watch, first.width / 2, 75, 15));
    EXPECT_TRUE(WaitFor([&] { return red(watch, 0.5, 1) > 20; }, 10)) << "the wheel did not bring the last watch into view";
    Keep(x.Grab(watch), "scroll-watch-end");
}

// The settings are stored however the program is ended from outside. kill
// -TERM (a logout) after the main window and the User Guide were moved and
// a text was left unsaved: at the next start both windows are where they
// were, and the text was kept in a file of its own with the source left as
// it was. kill -HUP keeps a maximised main window maximised. Ctrl+C
// (SIGINT) asks about unsaved text as File > Exit does.
TEST(Live, SettingsKeptOnSignals) {
    Desktop& x = Desktop::Get();
    UserHome home;
    const std::string file = home.Write("sig.src", "AAAA\r\n");
    const std::string unsaved = home.Path() + "/.local/share/korvid/unsaved";
    const std::string ini = home.Path() + "/.config/korvid/Korvid28L.ini";
    LiveSim sim("28l", true);
    auto ends = [&](LiveIde& ide, int signal) {
        ide.Process().Signal(signal);
        return WaitFor([&] { return !ide.Process().Running(); }, 15);
    };
    std::string mainPlace, guidePlace;
    {
        LiveIde ide("Korvid28L", home, file, sim.Port());
        const WindowId main = x.WaitWindow("sig.src - Korvid28L");
        ASSERT_NE(main, 0u);
        ASSERT_TRUE(x.Key(main, "F1"));
        const WindowId guide = x.WaitWindow("User Guide");
        ASSERT_NE(guide, 0u);
        ASSERT_TRUE(x.Xdo({"windowsize", "--sync", std::to_string(main), "700", "500"}));
        ASSERT_TRUE(x.Xdo({"windowmove", "--sync", std::to_string(main), "37", "41"}));
        ASSERT_TRUE(x.Xdo({"windowsize", "--sync", std::to_string(guide), "520", "410"}));
        ASSERT_TRUE(x.Xdo({"windowmove", "--sync", std::to_string(guide), "600", "300"}));
        Pause(0.5);
        mainPlace = PlaceOf(x, main);
        guidePlace = PlaceOf(x, guide);
        ASSERT_TRUE(x.Key(main, "ctrl+End"));
        ASSERT_TRUE(x.Type(main, "B"));
        ASSERT_TRUE(Titled(x, main, "*sig.src - Korvid28L"));
        ASSERT_TRUE(ends(ide, SIGTERM)) << "SIGTERM did not end the program";
    }
    EXPECT_EQ(UserHome::Read(file), "AAAA\r\n") << "the source was changed";
    std::vector<std::string> kept;
    if (std::filesystem::is_directory(unsaved))
        for (const auto& entry : std::filesystem::directory_iterator(unsaved)) kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u) << "no copy of the unsaved text in " << unsaved;
    EXPECT_EQ(kept[0].substr(unsaved.size()).rfind("/sig-", 0), 0u) << kept[0];
    EXPECT_EQ(UserHome::Read(kept[0]), "AAAA\r\nB");
    {
        LiveIde ide("Korvid28L", home, file, sim.Port());
        const WindowId main = x.WaitWindow("sig.src - Korvid28L");
        ASSERT_NE(main, 0u);
        EXPECT_TRUE(WaitFor([&] { return PlaceOf(x, main) == mainPlace; }, 5)) << PlaceOf(x, main) << " is not " << mainPlace;
        ASSERT_TRUE(x.Key(main, "F1"));
        const WindowId guide = x.WaitWindow("User Guide");
        ASSERT_NE(guide, 0u);
        EXPECT_TRUE(WaitFor([&] { return PlaceOf(x, guide) == guidePlace; }, 5))
            << "the User Guide at " << PlaceOf(x, guide) << " is not at " << guidePlace;
        ASSERT_TRUE(x.ToggleMaximised(main));
        ASSERT_TRUE(WaitFor([&] { return Maximised(main); }, 10)) << "the main window did not maximise";
        Pause(0.5);
        ASSERT_TRUE(ends(ide, SIGHUP)) << "SIGHUP did not end the program";
    }
    EXPECT_NE(UserHome::Read(ini).find("maximised"), std::string::npos) << UserHome::Read(ini);
    {
        LiveIde ide("Korvid28L", home, file, sim.Port());
        const WindowId main = x.WaitWindow("sig.src - Korvid28L");
        ASSERT_NE(main, 0u);
        EXPECT_TRUE(WaitFor([&] { return Maximised(main); }, 10)) << "the main window is not maximised again";
        ASSERT_TRUE(x.Type(main, "C"));
        ASSERT_TRUE(Titled(x, main, "*sig.src - Korvid28L"));
        ide.Process().Signal(SIGINT);
        const WindowId box = x.WaitWindow("Korvid28L");
        ASSERT_NE(box, 0u) << "Ctrl+C did not ask about the unsaved text";
        ASSERT_TRUE(x.Key(box, "alt+n"));
        EXPECT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10)) << "the program did not end after No";
    }
    EXPECT_EQ(UserHome::Read(file), "AAAA\r\n");
    // SIGTERM while the Ctrl+C question is open: no answer is waited for.
    {
        LiveIde ide("Korvid28L", home, file, sim.Port());
        const WindowId main = x.WaitWindow("sig.src - Korvid28L");
        ASSERT_NE(main, 0u);
        ASSERT_TRUE(x.Key(main, "ctrl+End"));
        ASSERT_TRUE(x.Type(main, "D"));
        ASSERT_TRUE(Titled(x, main, "*sig.src - Korvid28L"));
        ide.Process().Signal(SIGINT);
        ASSERT_NE(x.WaitWindow("Korvid28L"), 0u);
        ASSERT_TRUE(ends(ide, SIGTERM)) << "SIGTERM did not end the program while it asked";
    }
    EXPECT_EQ(UserHome::Read(file), "AAAA\r\n");
    kept.clear();
    for (const auto& entry : std::filesystem::directory_iterator(unsaved)) kept.push_back(UserHome::Read(entry.path()));
    EXPECT_NE(std::find(kept.begin(), kept.end(), "AAAA\r\nD"), kept.end()) << "the text of the last run was not kept";
}

// Edit > Find/Replace as typed: the labels' accelerators lead to the memos,
// Match Case keeps All to the spelling typed; judged in the saved file.
TEST(Live, FindMatchCase) {
    OnFile f("case.src", "mov Mov MOV mov\r\n");
    Desktop& x = f.x;
    const std::string& file = f.file;
    const WindowId main = f.main;
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(x.Key(main, "ctrl+f"));
    const WindowId find = x.WaitWindow("Find/Replace");
    ASSERT_NE(find, 0u);
    ASSERT_TRUE(x.Type(find, "mov"));
    ASSERT_TRUE(x.Key(find, "alt+p"));
    ASSERT_TRUE(x.Type(find, "x"));
    ASSERT_TRUE(x.Key(find, "alt+m alt+s alt+a"));
    ASSERT_TRUE(x.Key(main, "ctrl+s"));
    std::string saved;
    EXPECT_TRUE(WaitFor([&] { return (saved = UserHome::Read(file)) != "mov Mov MOV mov\r\n"; }, 10));
    EXPECT_EQ(saved, "x Mov MOV x\r\n");
}

// The editor's vertical scroll bar on a long file: shown, a click below its
// slider pages down and dragging the slider to the end brings the last line
// to the top, judged by which lines are drawn. Line k holds (k % 60) + 1 '#'s, so the
// length of a drawn line tells which one it is.
TEST(Live, EditorScrollBar) {
    Desktop& x = Desktop::Get();
    std::string text;
    for (int k = 1; k <= 300; ++k) text += std::string(std::size_t(k % 60 + 1), '#') + (k < 300 ? "\r\n" : "");
    OnFile f("long.src", text);
    const WindowId main = f.main;
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(x.Key(main, "alt+v c"));  // plain black text
    // The text area: the white below the menu bar; its scroll bar begins
    // right of its last white column.
    Picture p;
    int top = 0, left = 0, right = 0, bottom = 0;
    auto find = [&] {
        p = x.Grab(main);
        if (p.empty()) return false;
        for (top = 0; top < p.height && p.At(p.width / 3, top) != kWhite;) ++top;
        if (top + 40 >= p.height) return false;
        for (left = 0; left < p.width && p.At(left, top + 4) != kWhite;) ++left;
        for (right = p.width; right > left && p.At(right - 1, top + 4) != kWhite;) --right;
        for (bottom = top + 4; bottom < p.height && p.At(right - 1, bottom) == kWhite;) ++bottom;
        return right > left + 100 && right < p.width - 4;
    };
    const bool found = WaitFor(find, 20, 200);
    Keep(p, "scroll-window");
    ASSERT_TRUE(found) << "no text area";
    // Lengths in pixels of the drawn lines, top to bottom.
    auto drawn = [&](const Picture& q) {
        std::vector<int> lengths;
        for (auto [y0, y1] : TextLines(q, left + 2, right - 2, top)) {
            if (y1 >= bottom) break;
            if (y1 - y0 < 3) continue;  // a border, not a glyph
            int end = 0;
            for (int y = y0; y <= y1; ++y)
                for (int c = left + 2; c < right - 2; ++c)
                    if (Dark(q.At(c, y))) end = std::max(end, c);
            lengths.push_back(end);
        }
        return lengths;
    };
    std::vector<int> first;
    ASSERT_TRUE(WaitFor([&] { return (first = drawn(x.Grab(main))).size() > 10; }, 20, 200)) << "the text is not shown";
    Keep(x.Grab(main), "scroll-start");
    const int glyph = first[1] - first[0];  // lines 1 and 2: 2 and 3 '#'s
    ASSERT_GT(glyph, 3);
    auto hashes = [&](int length) { return 2 + int(std::lround(double(length - first[0]) / glyph)); };
    const int bar = right + 6;
    EXPECT_NE(p.At(bar, top + 40), kWhite) << "no vertical scroll bar beside the text";
    // A click low in the bar pages down: the top line is then far below line 1.
    ASSERT_TRUE(x.Click(main, bar, top + (p.height - top) * 3 / 5));
    std::vector<int> paged;
    EXPECT_TRUE(WaitFor([&] { return (paged = drawn(x.Grab(main))).size() > 10 && paged[0] != first[0]; }, 10, 200))
        << "a click in the scroll bar did not scroll";
    Keep(x.Grab(main), "scroll-paged");
    ASSERT_FALSE(paged.empty());
    EXPECT_GE(hashes(paged[0]) - 1, int(first.size()) / 2) << "the click moved less than half a page";
    // Drag the slider from near the top of the bar to its bottom: the view
    // goes as far as the last line (300: one '#') at its top.
    ASSERT_TRUE(x.Key(main, "ctrl+Home"));
    ASSERT_TRUE(WaitFor([&] { return drawn(x.Grab(main)) == first; }, 10, 200));
    ASSERT_TRUE(x.Drag(main, bar, top + 24, bar, p.height - 4));
    std::vector<int> end;
    EXPECT_TRUE(WaitFor(
        [&] {
            end = drawn(x.Grab(main));
            return end.size() == 1 && hashes(end[0]) == 1;
        },
        10, 200))
        << "dragging the slider did not show the end of the text: " << end.size() << " lines, the first "
        << (end.empty() ? 0 : hashes(end[0])) << " '#'s";
    Keep(x.Grab(main), "scroll-dragged");
}

// Delete in the Clock window's edit box: "50" with its first digit deleted
// and a 2 typed is 20 MHz, where the slider of a typed 20 stands.
TEST(Live, ClockEditDelete) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true);
    Desktop& x = s.x;
    ASSERT_NE(s.main, 0u);
    ASSERT_TRUE(x.Key(s.main, "alt+r k"));
    const WindowId clock = x.WaitWindow("Clock");
    ASSERT_NE(clock, 0u);
    // The slider column, left of the edit box and its blinking caret, once
    // two grabs of it agree.
    auto strip = [&] {
        Picture p = x.Grab(clock);
        Picture left{p.width / 4, p.height, {}};
        for (int y = 0; y < p.height; ++y)
            for (int c = 0; c < left.width; ++c) left.pixels.push_back(p.At(c, y));
        return left;
    };
    auto slider = [&] {
        Picture last = strip(), now;
        WaitFor([&] { return !(now = strip()).empty() && std::exchange(last, now) == now; }, 10, 300);
        return now;
    };
    auto enter = [&](const std::string& keys, const std::string& text) {
        return x.Key(clock, keys) && x.Type(clock, text) && x.Key(clock, "Return");
    };
    ASSERT_TRUE(enter("ctrl+a BackSpace", "20"));
    const Picture at20 = slider();
    ASSERT_TRUE(enter("End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace", "50"));
    const Picture at50 = slider();
    Keep(at20, "clock-20");
    Keep(at50, "clock-50");
    ASSERT_FALSE(at20 == at50) << "the slider does not show the frequency";
    ASSERT_TRUE(enter("Home Delete", "2"));
    const Picture deleted = slider();
    Keep(deleted, "clock-deleted");
    EXPECT_TRUE(deleted == at20) << "Delete did not delete in the edit box";
}

// Ctrl+L shows the listing, Ctrl+S saves it: every line ends with CR LF.
TEST(Live, SavedListingHasCrLf) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true);
    ASSERT_NE(s.main, 0u);
    ASSERT_TRUE(s.x.Key(s.main, "ctrl+l ctrl+s"));
    const std::string listing = s.file.substr(0, s.file.rfind('.')) + ".LST";
    std::string text;
    ASSERT_TRUE(WaitFor([&] { return (text = UserHome::Read(listing)).find("RESET") != std::string::npos; }, 10));
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
            ++lines;
        } else if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_GT(lines, 30u);
}

// The Device Operation window is painted while the tool is held up (its
// process stopped for a moment): its bar shows in a grab. Then the tool
// goes away in the middle of programming: the usual box, and the main
// window works on.
TEST(Live, ProgressWindowAndLinkFailure) {
    Session s("Korvid52", "52", kSource + "/examples/sx52_counter.src", false);
    Desktop& x = s.x;
    ASSERT_NE(s.main, 0u);
    ASSERT_TRUE(x.Key(s.main, "ctrl+p"));
    const WindowId progress = x.WaitWindow("Device Operation");
    ASSERT_NE(progress, 0u);
    Child& tool = s.sim.Process();
    Picture held;
    bool painted = WaitFor(
        [&] {
            tool.Signal(SIGSTOP);
            Pause(0.1);
            held = x.Grab(progress);
            tool.Signal(SIGCONT);
            Keep(held, "progress-held");
            return !held.empty() && Coloured(held) > 100;
        },
        20, 100);
    EXPECT_TRUE(painted) << "no bar in the Device Operation window while the tool was held";
    EXPECT_TRUE(WaitFor([&] { return !x.IsVisible(progress); }, 30)) << "programming did not end";

    ASSERT_TRUE(x.Key(s.main, "ctrl+p"));
    ASSERT_NE(x.WaitWindow("Device Operation"), 0u);
    Pause(0.3);
    tool.Kill();
    const WindowId box = x.WaitWindow("Korvid52");
    ASSERT_NE(box, 0u) << "no message after the link failed";
    ASSERT_TRUE(x.Key(box, "Return"));
    EXPECT_TRUE(WaitFor([&] { return !x.IsVisible(progress); }, 10));
    ASSERT_TRUE(x.Key(s.main, "ctrl+Home"));
    ASSERT_TRUE(x.Type(s.main, ";x"));
    ASSERT_TRUE(x.Key(s.main, "ctrl+s"));
    EXPECT_TRUE(WaitFor([&] { return UserHome::Read(s.file).rfind(";x;", 0) == 0; }, 10));
}

// The settings of one run are there in the next one (the same configuration
// folder): File > Recent Files lists the files opened, the current one
// first, and opens them; the text size and the main window's place are the
// ones left. With --defaults nothing is read or written, and a settings
// file the user cannot read is neither used nor replaced.
TEST(Live, SettingsSurviveARestart) {
    Desktop& x = Desktop::Get();
    UserHome home;
    const std::string a = home.Write("first.src", "AAAA\r\nAAAA\r\nAAAA\r\n");
    const std::string b = home.Write("second.src", "HHHH\r\nHHHH\r\nHHHH\r\n");
    LiveSim sim("28l", true);
    const std::string ini = home.Path() + "/.config/korvid/Korvid28L.ini";
    // The rows from the first text line's top to the second's. A line is
    // every row with ink on the white, its faint edges too: letters drawn
    // on whole pixels may have no dark pixel in some of their rows (the
    // slopes of an A), which would split one line in two.
    auto pitch = [&](WindowId w) {
        int rows = 0;
        WaitFor(
            [&] {
                Picture p = x.Grab(w);
                int top = 0, left = 0;
                while (top < p.height && p.At(p.width / 2, top) != kWhite) ++top;
                if (top + 4 >= p.height) return false;
                while (left < p.width && p.At(left, top + 4) != kWhite) ++left;
                auto lines = TextLines(p, left + 6, left + 300, top, [](std::uint32_t c) { return c != kWhite; });
                if (lines.size() < 2) return false;
                rows = lines[1].first - lines[0].first;
                return true;
            },
            20, 200);
        return rows;
    };
    std::string place;
    int smallPitch = 0, bigPitch = 0;
    {
        LiveIde ide("Korvid28L", home, a, sim.Port());
        const WindowId main = x.WaitWindow("first.src - Korvid28L");
        ASSERT_NE(main, 0u);
        ASSERT_TRUE(x.Key(main, "ctrl+o"));
        const WindowId open = x.WaitWindow("Open Source");
        ASSERT_NE(open, 0u);
        ASSERT_TRUE(x.Type(open, b));
        ASSERT_TRUE(x.Key(open, "Return"));
        ASSERT_TRUE(Titled(x, main, "second.src - Korvid28L"));
        smallPitch = pitch(main);
        // A click into the text closes what the dialog's name completion
        // may have left open.
        ASSERT_TRUE(x.Click(main, 300, 300));
        ASSERT_TRUE(x.Key(main, "ctrl+Up ctrl+Up ctrl+Up ctrl+Up ctrl+Up"));
        WaitFor([&] { return (bigPitch = pitch(main)) > smallPitch; }, 10, 200);
        ASSERT_GT(bigPitch, smallPitch) << "Text Bigger did not enlarge the text";
        const std::string builtIn = PlaceOf(x, main);
        ASSERT_TRUE(x.Xdo({"windowmove", "--sync", std::to_string(main), "37", "41"}));
        Pause(0.5);
        place = PlaceOf(x, main);
        ASSERT_NE(place, builtIn) << "the window did not move";
        ASSERT_TRUE(x.Key(main, "alt+f x"));
        ASSERT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10)) << "File > Exit did not end the program";
    }
    const std::string stored = UserHome::Read(ini);
    ASSERT_NE(stored.find("second.src"), std::string::npos) << stored;
    {
        LiveIde ide("Korvid28L", home, std::vector<std::string>{}, sim.Port());
        const WindowId main = x.WaitWindow("Untitled.SRC - Korvid28L");
        ASSERT_NE(main, 0u);
        EXPECT_TRUE(WaitFor([&] { return PlaceOf(x, main) == place; }, 5)) << PlaceOf(x, main) << " is not " << place;
        // Recent Files: 1 is the file that was current, 2 the one before.
        ASSERT_TRUE(x.Key(main, "alt+f f 1"));
        EXPECT_TRUE(Titled(x, main, "second.src - Korvid28L")) << "Recent Files 1 did not open the current file";
        EXPECT_EQ(pitch(main), bigPitch) << "the text size was not kept";
        ASSERT_TRUE(x.Key(main, "alt+f f 2"));
        EXPECT_TRUE(Titled(x, main, "first.src - Korvid28L")) << "Recent Files 2 did not open the file before";
        ASSERT_TRUE(x.Key(main, "alt+f x"));
        ASSERT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10));
    }
    EXPECT_NE(UserHome::Read(ini).find("[RecentFiles]\n1=" + a + "\n"), std::string::npos) << UserHome::Read(ini);
    // --defaults: the built-in text size, and the file is left as it was.
    const std::string before = UserHome::Read(ini);
    {
        LiveIde ide("Korvid28L", home, std::vector<std::string>{"--defaults", b}, sim.Port());
        const WindowId main = x.WaitWindow("second.src - Korvid28L");
        ASSERT_NE(main, 0u);
        EXPECT_EQ(pitch(main), smallPitch) << "--defaults did not start with the built-in text size";
        ASSERT_TRUE(x.Key(main, "ctrl+Up alt+f x"));
        ASSERT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10));
    }
    EXPECT_EQ(UserHome::Read(ini), before) << "--defaults wrote the settings";
    // A settings file its user cannot read: the program starts with the
    // built-in settings and leaves the file alone.
    ASSERT_EQ(::chmod(ini.c_str(), 0), 0);
    {
        LiveIde ide("Korvid28L", home, a, sim.Port());
        const WindowId main = x.WaitWindow("first.src - Korvid28L");
        ASSERT_NE(main, 0u);
        EXPECT_EQ(pitch(main), smallPitch);
        ASSERT_TRUE(x.Key(main, "alt+f x"));
        ASSERT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10));
    }
    ASSERT_EQ(::chmod(ini.c_str(), 0600), 0);
    EXPECT_EQ(UserHome::Read(ini), before) << "an unreadable settings file was replaced";
}

// A debug window's place is kept too: the Registers window moved in one
// run is there at the next debug session after a restart, over the first
// layout.
TEST(Live, DebugWindowPlaceSurvivesARestart) {
    Desktop& x = Desktop::Get();
    UserHome home;
    const std::string file = home.Add(kSource + "/examples/blink.src");
    LiveSim sim("28l", true);
    std::string place;
    for (int run = 0; run < 2; ++run) {
        LiveIde ide("Korvid28L", home, file, sim.Port());
        const WindowId main = x.WaitWindow("blink.src - Korvid28L");
        ASSERT_TRUE(main != 0 && x.Key(main, "ctrl+d"));
        const WindowId regs = x.WaitWindow("Registers");
        ASSERT_NE(regs, 0u);
        if (run == 0) {
            Pause(1);
            const std::string arranged = PlaceOf(x, regs);
            ASSERT_TRUE(x.Xdo({"windowmove", "--sync", std::to_string(regs), "311", "222"}));
            Pause(0.5);
            place = PlaceOf(x, regs);
            ASSERT_NE(place, arranged) << "the window did not move";
        } else {
            EXPECT_TRUE(WaitFor([&] { return PlaceOf(x, regs) == place; }, 5)) << PlaceOf(x, regs) << " is not " << place;
        }
        ASSERT_TRUE(x.Key(main, "alt+f x"));
        ASSERT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10)) << "File > Exit did not end the program";
    }
}

// A new text at File > Exit, Yes to the save question: the program asks
// for a name, as Ctrl+S does, and never writes Untitled.SRC into the folder
// it was started in (over the one an earlier session left there).
TEST(Live, UntitledTextAsksForANameAtExit) {
    Desktop& x = Desktop::Get();
    UserHome home;
    const std::string earlier = home.Write("Untitled.SRC", "; an earlier session\r\n");
    const std::string chosen = home.Path() + "/kept.src";
    LiveSim sim("28l", true);
    LiveIde ide("Korvid28L", home, std::vector<std::string>{}, sim.Port(), {}, home.Path());
    const WindowId main = x.WaitWindow("Untitled.SRC - Korvid28L");
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(x.Type(main, "abc"));
    ASSERT_TRUE(x.Key(main, "alt+f x"));
    const WindowId question = x.WaitWindow("Korvid28L");
    ASSERT_NE(question, 0u) << "no save question";
    // Yes, pressed again until the box has taken it (it has the keyboard
    // only once the window manager gave it the focus).
    ASSERT_TRUE(WaitFor([&] { return x.Key(question, "alt+y") && WaitFor([&] { return !x.IsVisible(question); }, 1); },
                        10, 100));
    const WindowId save = x.WaitWindow("Save Source", 10);
    EXPECT_NE(save, 0u) << "Yes saved the untitled text without asking for a name";
    if (save != 0) {
        ASSERT_TRUE(x.Type(save, chosen));
        ASSERT_TRUE(x.Key(save, "Return"));
    }
    EXPECT_TRUE(WaitFor([&] { return !ide.Process().Running(); }, 10)) << "the program did not end";
    EXPECT_EQ(UserHome::Read(earlier), "; an earlier session\r\n") << "Untitled.SRC was replaced";
    EXPECT_EQ(UserHome::Read(chosen), "abc");
}

// Keys typed at once after File > Open reach the text, the next Open starts
// with an empty name and Save As with the proposed name selected, so that a
// typed path replaces it.
TEST(Live, KeysAfterAFileDialogReachTheText) {
    OnFile f("first.src", "first\r\n");
    Desktop& x = f.x;
    ASSERT_NE(f.main, 0u);
    const std::string second = f.home.Write("second.src", "second\r\n");
    const std::string third = f.home.Path() + "/third.src";
    ASSERT_TRUE(x.Key(f.main, "ctrl+o"));
    WindowId open = x.WaitWindow("Open Source");
    ASSERT_NE(open, 0u);
    ASSERT_TRUE(x.Type(open, second));
    ASSERT_TRUE(x.Key(open, "Return a b c"));
    ASSERT_TRUE(Titled(x, f.main, "*second.src - Korvid28L"));
    ASSERT_TRUE(x.Key(f.main, "ctrl+s"));
    EXPECT_TRUE(WaitFor([&] { return UserHome::Read(second).rfind("abc", 0) == 0; }, 10))
        << "the text got " << UserHome::Read(second);
    // The next Open: the whole path typed again is the file opened.
    ASSERT_TRUE(x.Key(f.main, "ctrl+o"));
    open = x.WaitWindow("Open Source");
    ASSERT_NE(open, 0u);
    ASSERT_TRUE(x.Type(open, f.file));
    ASSERT_TRUE(x.Key(open, "Return"));
    EXPECT_TRUE(Titled(x, f.main, "first.src - Korvid28L")) << "the second Open did not open the file typed";
    // Save As proposes first.src; the typed path replaces it.
    ASSERT_TRUE(x.Key(f.main, "alt+f a"));
    const WindowId save = x.WaitWindow("Save Source");
    ASSERT_NE(save, 0u);
    Pause(0.5);
    ASSERT_TRUE(x.Type(save, third));
    ASSERT_TRUE(x.Key(save, "Return"));
    EXPECT_TRUE(Titled(x, f.main, "third.src - Korvid28L"));
    EXPECT_EQ(UserHome::Read(third), "first\r\n");
}

// The listing with colours on: the comment lines at its top are all in the
// comment colour (no register or directive colour in them), while the
// DEVICE line below shows the directive's.
TEST(Live, ListingCommentsKeepTheirColour) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true);
    Desktop& x = s.x;
    ASSERT_NE(s.main, 0u);
    ASSERT_TRUE(x.Key(s.main, "ctrl+l"));
    ASSERT_TRUE(Titled(x, s.main, "blink.LST - Korvid28L"));
    Picture p;
    int top = 0, left = 0;
    std::vector<std::pair<int, int>> lines;
    WaitFor(
        [&] {
            p = x.Steady(s.main);
            for (top = 0; top < p.height && p.At(p.width / 2, top) != kWhite;) ++top;
            if (top + 4 >= p.height) return false;
            for (left = 0; left < p.width && p.At(left, top + 4) != kWhite;) ++left;
            lines = TextLines(p, left + 4, p.width * 3 / 4, top);
            return lines.size() >= 4;
        },
        20, 200);
    Keep(p, "listing-colours");
    ASSERT_GE(lines.size(), 4u) << "the listing is not shown";
    auto colouredIn = [&](std::pair<int, int> line) {
        Picture band{p.width, line.second - line.first + 1, {}};
        for (int y = line.first; y <= line.second; ++y)
            for (int c = 0; c < p.width; ++c) band.pixels.push_back(p.At(c, y));
        return Coloured(band);
    };
    // Lines 1 and 2 are comments, line 3 is empty: DEVICE is the third drawn.
    EXPECT_EQ(colouredIn(lines[0]), 0) << "the first comment line has code colours";
    EXPECT_EQ(colouredIn(lines[1]), 0) << "the second comment line has code colours";
    EXPECT_GT(colouredIn(lines[2]), 20) << "the DEVICE line is not coloured";
}

// With colours on, the text keeps one column grid in the source and in its
// listing: a comment line (one colour) and a code line (several) whose
// comments end in the same column with the same letters have their last
// letter on the same pixels. Text laid out by the font alone drifts off
// the cells on this server (its advance is a fraction of a pixel off).
// The listing is also seen scrolled sideways past its address columns,
// where its comment line is of one colour too.
TEST(Live, CommentAndCodeLinesShareColumns) {
    const std::string h(12, 'H');
    OnFile f("grid.src", ";" + std::string(23, ' ') + "; " + h + "\r\n        MOV     W, #1   ; " + h +
                             "\r\n        MOV     W, #2   ; " + std::string(77, 'x') + "\r\n");
    Desktop& x = f.x;
    ASSERT_NE(f.main, 0u);
    // The rightmost dark pixel of the first two text lines.
    auto ends = [&](const std::string& name) {
        Picture p;
        int top = 0, left = 0;
        std::vector<std::pair<int, int>> lines;
        WaitFor(
            [&] {
                p = x.Steady(f.main);
                for (top = 0; top < p.height && p.At(p.width / 2, top) != kWhite;) ++top;
                if (top + 4 >= p.height) return false;
                for (left = 0; left < p.width && p.At(left, top + 4) != kWhite;) ++left;
                lines = TextLines(p, left + 4, p.width * 3 / 4, top);
                return lines.size() >= 3;
            },
            20, 200);
        Keep(p, name);
        auto end = [&](std::pair<int, int> line) {
            int last = -1;
            for (int y = line.first; y <= line.second; ++y)
                for (int c = left + 4; c < p.width * 3 / 4; ++c)
                    if (Dark(p.At(c, y))) last = std::max(last, c);
            return last;
        };
        return lines.size() < 3 ? std::pair{-1, -1} : std::pair{end(lines[0]), end(lines[1])};
    };
    const auto [comment, code] = ends("columns-source");
    ASSERT_GT(comment, 100) << "the source is not shown";
    EXPECT_EQ(comment, code) << "in the source the comment line's letters are off the code line's columns";
    ASSERT_TRUE(x.Key(f.main, "ctrl+l"));
    ASSERT_TRUE(Titled(x, f.main, "grid.LST - Korvid28L"));
    const auto [listedComment, listedCode] = ends("columns-listing");
    ASSERT_GT(listedComment, comment) << "the listing is not shown";
    EXPECT_EQ(listedComment, listedCode) << "in the listing the comment line's letters are off the code line's columns";
    // The end of the long third line scrolls the view sideways by some 30
    // columns (as many as the window is short of the line's 119).
    ASSERT_TRUE(x.Key(f.main, "Down Down End"));
    const auto [scrolledComment, scrolledCode] = ends("columns-listing-scrolled");
    ASSERT_GT(scrolledComment, 0) << "the scrolled listing is not shown";
    ASSERT_LT(scrolledComment, listedComment) << "the listing did not scroll";
    EXPECT_EQ(scrolledComment, scrolledCode) << "scrolled, the comment line's letters are off the code line's columns";
}

// Debug (reenter) on a chip that was never given the debug image: after the
// time the chip would take to halt at reset, a box says why, and debugging
// ends (the Debug window goes, the editor's Run menu works again).
TEST(Live, ReenterWithoutTheDebugImage) {
    Session s("Korvid28L", "28l", kSource + "/examples/blink.src", true);
    Desktop& x = s.x;
    ASSERT_NE(s.main, 0u);
    ASSERT_TRUE(x.Key(s.main, "ctrl+alt+d"));
    const WindowId debug = x.WaitWindow("Debug");
    ASSERT_NE(debug, 0u);
    const auto start = std::chrono::steady_clock::now();
    const WindowId box = x.WaitWindow("Korvid28L", 20);
    ASSERT_NE(box, 0u) << "nothing says that the chip holds no debug image";
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0)
        << "the box came before the chip had its time to halt";
    Keep(x.Grab(box), "no-debug-image");
    ASSERT_TRUE(x.Key(box, "Return"));
    EXPECT_TRUE(WaitFor([&] { return !x.IsVisible(debug); }, 10)) << "debugging did not end";
    // The Run menu is back: Run > Debug programs the chip and halts.
    ASSERT_TRUE(x.Key(s.main, "ctrl+d"));
    const WindowId code = x.WaitWindow("Code");
    ASSERT_NE(code, 0u);
    EXPECT_TRUE(WaitFor([&] { return PcRow(x.Grab(code)).first >= 0; }, 20)) << "Run > Debug did not halt afterwards";
}

// Places left on a larger screen, used on a smaller one: the main window
// and the Registers and Code windows come up whole on the screen, frames
// included.
TEST(Live, RememberedPlacesFitASmallerScreen) {
    Desktop& x = Desktop::Get("1024x768");
    UserHome home;
    const std::string file = home.Add(kSource + "/examples/blink.src");
    home.Write(".config/korvid/Korvid28L.ini",
               "[Windows]\nEditor=180 91 860 710\nRegister=700 300 560 420\nCode=650 560 560 400\n");
    LiveSim sim("28l", true);
    LiveIde ide("Korvid28L", home, file, sim.Port());
    const WindowId main = x.WaitWindow("blink.src - Korvid28L");
    ASSERT_NE(main, 0u);
    const ScreenRect screen = x.Screen();
    auto settled = [&](WindowId w) {
        ScreenRect last{}, now = x.Frame(w);
        WaitFor(
            [&] {
                last = std::exchange(now, x.Frame(w));
                return now.x == last.x && now.y == last.y && now.width == last.width && now.height == last.height;
            },
            10, 300);
        return now;
    };
    const ScreenRect placed = settled(main);
    EXPECT_TRUE(placed.Inside(screen)) << "the main window " << text(placed) << " is off the screen";
    ASSERT_TRUE(x.Key(main, "ctrl+d"));
    for (const char* name : {"Registers", "Code"}) {
        const WindowId w = x.WaitWindow(name);
        ASSERT_NE(w, 0u) << name;
        Pause(1);
        const ScreenRect frame = settled(w);
        EXPECT_TRUE(frame.Inside(screen)) << name << " " << text(frame) << " is off the screen";
    }
}

}  // namespace
}  // namespace korvid::live
