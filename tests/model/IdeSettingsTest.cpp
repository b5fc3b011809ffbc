// The remembered settings read from whatever a settings file holds: each
// value that makes no sense keeps its default with a note naming its key,
// the others are taken; what is written reads back the same.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "core/asm/AssemblyState.h"
#include "family/Family.h"
#include "model/IdeSettings.h"

namespace korvid {
namespace {

const SettingsStore kDefaults = IdeSettings().Save();

TEST(IdeSettings, WrittenValuesReadBack) {
    IdeSettings a;
    EXPECT_TRUE(a.SetText(Setting::Port, "/dev/ttyUSB3"));
    EXPECT_TRUE(a.SetNumber(Setting::IrcMode, 2));
    EXPECT_TRUE(a.SetNumber(Setting::Dialect, 1));
    EXPECT_TRUE(a.SetNumber(Setting::Clock, 3579000));
    EXPECT_TRUE(a.SetNumber(Setting::TextSize, 14));
    EXPECT_TRUE(a.SetText(Setting::LastFolder, "/home/ann/sx projects, old"));
    a.AddRecentFile("/home/ann/b=c.src");
    a.AddRecentFile("/home/ann/a b.src");
    a.SetPlace("Editor", {-20, 30, 640, 480});
    a.SetPlace("Guide", {5, 6, 700, 500, true});
    EXPECT_TRUE(a.SetText(Setting::UnsavedCopy, "/home/ann/.local/share/korvid/unsaved/a b-20261208-231500.src"));
    a.SetBreakpointLine("/home/ann/a b.src", 17);
    IdeSettings b;
    EXPECT_TRUE(b.Load(a.Save()).empty());
    EXPECT_EQ(b.Save(), a.Save());
    EXPECT_EQ(b.Text(Setting::Port), "/dev/ttyUSB3");
    EXPECT_EQ(b.Number(Setting::Clock), 3579000);
    EXPECT_EQ(b.RecentFiles(), (std::vector<std::string>{"/home/ann/a b.src", "/home/ann/b=c.src"}));
    EXPECT_EQ(b.Place("Editor"), (WindowPlace{-20, 30, 640, 480}));
    EXPECT_EQ(b.Place("Guide"), (WindowPlace{5, 6, 700, 500, true}));
    EXPECT_EQ(a.Save().at("Windows/Guide"), "5 6 700 500 maximised");
    EXPECT_EQ(b.BreakpointLine("/home/ann/a b.src"), 17);
    EXPECT_EQ(b.BreakpointLine("/home/ann/b=c.src"), std::nullopt);
    // Words are read in any case; Load starts from the defaults again.
    EXPECT_TRUE(b.Load({{"Assembler/Dialect", "EXTENDED"}}).empty());
    EXPECT_EQ(b.Number(Setting::Dialect), 1);
    EXPECT_EQ(b.Number(Setting::Clock), kDefaultClockFrequency);
    EXPECT_TRUE(b.RecentFiles().empty());
}

TEST(IdeSettings, NonsenseKeepsTheDefaultWithANote) {
    const struct {
        const char* key;
        std::string value;
    } cases[] = {
        {"Clock/Frequency", "fast"},
        {"Clock/Frequency", "399999"},
        {"Clock/Frequency", "110000001"},
        {"Clock/Frequency", "4e6"},
        {"Clock/Frequency", "4000000 "},
        {"Clock/Frequency", ""},
        {"Editor/TextSize", "0"},
        {"Editor/TextSize", "73"},
        {"Editor/TextSize", "-9"},
        {"Editor/TextSize", "99999999999999999999999"},
        {"Link/Port", "COM5"},
        {"Link/Port", "dev/ttyS0"},
        {"Link/IrcMode", "medium"},
        {"Assembler/Dialect", std::string("\x01\xff\0x", 4)},
        {"Editor/LastFolder", "relative/folder"},
        {"Editor/LastFolder", "/a\nb"},
        {"Editor/LastFolder", "/" + std::string(5000, 'a')},
        {"Windows/Editor", "1 2 3"},
        {"Windows/Editor", "1 2 0 4"},
        {"Windows/Editor", "a b c d"},
        {"Windows/Editor", "1 2 3 4 5"},
        {"Windows/Editor", "99999 0 10 10"},
        {"Windows/Editor", "1  2 3 4"},
        {"Windows/Editor", "1 2 3 4 maximized"},
        {"Windows/Editor", "1 2 3 maximised"},
        {"Windows/Editor", " maximised"},
        {"Editor/UnsavedCopy", "relative/kept.src"},
        {"Windows/Edi tor", "1 2 3 4"},
        {"RecentFiles/1", "notes.src"},
        {"RecentFiles/3", ""},
        {"Breakpoints/1", "0 /a.src"},
        {"Breakpoints/1", "12"},
        {"Breakpoints/1", "x /a.src"},
        {"Breakpoints/1", "5 a.src"},
        {"RecentFiles/11", "/eleventh.src"},  // no such entry: one note for all unknown ones
        {"\x89PNG", "\x1a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.value);
        IdeSettings s;
        // A sound value beside the nonsense is still taken.
        auto notes = s.Load({{c.key, c.value}, {"Editor/TextSize", "12"}, {"RecentFiles/2", "/ok.src"}});
        ASSERT_EQ(notes.size(), 1u);
        const bool unknown = notes[0].find("unknown") != std::string::npos;
        EXPECT_TRUE(notes[0].rfind(c.key, 0) == 0 || unknown) << notes[0];
        EXPECT_EQ(notes[0].find('\n'), std::string::npos);
        EXPECT_LT(notes[0].size(), 200u);
        SettingsStore expected = kDefaults;
        expected["Editor/TextSize"] = "12";
        expected["RecentFiles/1"] = "/ok.src";
        if (std::string_view(c.key) == "Editor/TextSize") expected["Editor/TextSize"] = kDefaults.at("Editor/TextSize");
        EXPECT_EQ(s.Save(), expected);
    }
}

TEST(IdeSettings, RandomBytesNeverGiveAnUnsoundValue) {
    std::mt19937 random(24);
    std::vector<std::string> keys;
    for (const SettingRow& r : SettingRows()) keys.emplace_back(r.key);
    for (const char* k : {"RecentFiles/1", "Windows/Editor", "Breakpoints/1"}) keys.emplace_back(k);
    for (int round = 0; round < 2000; ++round) {
        SettingsStore store;
        for (const std::string& k : keys) {
            std::string v(random() % 12, ' ');
            for (char& c : v) c = char(random() % 3 ? '0' + random() % 10 : random());
            store[k] = v;
        }
        IdeSettings s;
        s.Load(store);
        // Whatever was taken passes the checks of a fresh read.
        IdeSettings again;
        EXPECT_TRUE(again.Load(s.Save()).empty());
        for (const SettingRow& r : SettingRows())
            if (r.kind == SettingKind::Number) {
                EXPECT_GE(s.Number(r.setting), r.min);
                EXPECT_LE(s.Number(r.setting), r.max);
            }
    }
}

TEST(IdeSettings, RecentFilesTenCurrentFirst) {
    IdeSettings s;
    for (int i = 1; i <= 12; ++i) s.AddRecentFile("/f" + std::to_string(i) + ".src");
    ASSERT_EQ(s.RecentFiles().size(), kMaxRecentFiles);
    EXPECT_EQ(s.RecentFiles().front(), "/f12.src");
    EXPECT_EQ(s.RecentFiles().back(), "/f3.src");
    s.AddRecentFile("/f5.src");  // opened again: moves to the top, once
    EXPECT_EQ(s.RecentFiles()[0], "/f5.src");
    EXPECT_EQ(std::count(s.RecentFiles().begin(), s.RecentFiles().end(), "/f5.src"), 1);
    s.AddRecentFile("relative.src");
    EXPECT_EQ(s.RecentFiles()[0], "/f5.src");
    // A store with a repeated name and more than ten entries.
    SettingsStore store;
    for (int i = 1; i <= 12; ++i) store["RecentFiles/" + std::to_string(i)] = "/g" + std::to_string(i % 6) + ".src";
    EXPECT_EQ(s.Load(store), std::vector<std::string>{"unknown entries ignored: 2"});
    EXPECT_EQ(s.RecentFiles(),
              (std::vector<std::string>{"/g1.src", "/g2.src", "/g3.src", "/g4.src", "/g5.src", "/g0.src"}));
}

TEST(IdeSettings, BreakpointsOfTheLatestFiles) {
    IdeSettings s;
    for (int i = 0; i < int(kMaxBreakpointFiles) + 5; ++i) s.SetBreakpointLine("/b" + std::to_string(i), i + 1);
    EXPECT_EQ(s.BreakpointLine("/b4"), std::nullopt);
    EXPECT_EQ(s.BreakpointLine("/b5"), 6);
    s.SetBreakpointLine("/b5", 40);
    EXPECT_EQ(s.BreakpointLine("/b5"), 40);
    s.SetBreakpointLine("/b5", std::nullopt);
    EXPECT_EQ(s.BreakpointLine("/b5"), std::nullopt);
    IdeSettings t;
    EXPECT_TRUE(t.Load(s.Save()).empty());
    EXPECT_EQ(t.Save(), s.Save());
}

TEST(IdeSettings, PlaceOnAScreen) {
    const std::vector<WindowPlace> screens = {{0, 0, 1280, 800}, {1280, 0, 1024, 768}};
    const struct {
        WindowPlace place;
        bool usable;
    } cases[] = {
        {{100, 100, 640, 480}, true},   {{-590, 100, 640, 480}, true},  // 50 pixels of its top edge on the screen
        {{-620, 100, 640, 480}, false},                                 // only 20 pixels of it
        {{1250, 10, 400, 300}, true},                                   // over both screens, mostly the second
        {{100, -5, 640, 480}, false},                                   // the title bar above the screen
        {{100, 790, 640, 480}, false},                                  // the title bar below the screen's end
        {{3000, 100, 640, 480}, false},                                 // a screen that is gone
        {{0, 0, 1600, 900}, false},                                     // larger than the screen
        {{1300, 0, 1000, 700}, true},                                   // fits only the second screen
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.place.x) + "," + std::to_string(c.place.y));
        EXPECT_EQ(PlaceOnScreen(c.place, screens), c.usable);
    }
    EXPECT_FALSE(PlaceOnScreen({0, 0, 10, 10}, {}));
}

// A place left on a larger screen opens whole on a smaller one: moved, then
// shrunk where it may shrink; a window that may not stays whole with its top
// left corner on the screen.
TEST(IdeSettings, PlaceFittedToItsScreen) {
    const WindowPlace screen{0, 0, 1024, 768};
    const WindowFrame frame{1, 24, 1, 4};
    const struct {
        const char* name;
        WindowPlace place;
        int leastWidth, leastHeight;
        WindowPlace fitted;
    } cases[] = {
        {"fits already", {100, 100, 640, 480}, 100, 100, {100, 100, 640, 480}},
        {"moved in from the right and bottom", {180, 91, 860, 710}, 200, 200, {163, 54, 860, 710}},
        {"moved in from the left and top", {-50, 5, 300, 200}, 50, 50, {1, 24, 300, 200}},
        {"shrunk when larger than the screen", {400, 300, 1900, 1000}, 200, 200, {1, 24, 1022, 740}},
        {"never smaller than it may be", {400, 300, 1900, 1000}, 1200, 900, {1, 24, 1200, 900}},
        {"a fixed window keeps its size", {900, 700, 91, 400}, 91, 400, {900, 364, 91, 400}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FitPlace(c.place, screen, frame, c.leastWidth, c.leastHeight), c.fitted);
    }
    // A second screen to the right: its own area, not the first one's.
    EXPECT_EQ(FitPlace({1900, 10, 400, 300}, {1024, 0, 1280, 800}, frame, 50, 50), (WindowPlace{1900, 24, 400, 300}));
}

TEST(IdeSettings, ScreenOfAPlace) {
    const std::vector<WindowPlace> screens = {{0, 0, 1280, 800}, {1280, 0, 1024, 768}};
    EXPECT_EQ(ScreenOfPlace({100, 100, 640, 480}, screens), screens[0]);
    EXPECT_EQ(ScreenOfPlace({1200, 100, 640, 480}, screens), screens[1]);    // mostly on the second
    EXPECT_EQ(ScreenOfPlace({-600, 700, 640, 480}, screens), screens[0]);    // a corner is enough
    EXPECT_EQ(ScreenOfPlace({3000, 100, 640, 480}, screens), std::nullopt);  // a screen that is gone
    EXPECT_EQ(ScreenOfPlace({0, 0, 10, 10}, {}), std::nullopt);
}

TEST(IdeSettings, BreakpointLineAndAddress) {
    auto state = std::make_unique<AssemblyState>(Sx28lFamily());
    const char source[] = "; head\r\tORG 0\r\tNOP\r\r\tJMP 1\r";
    state->SourceText = source;
    // List lines: 0 the comment, 1 the ORG, 2 NOP at 0, 3 the blank line, 4 JMP at 1.
    const std::uint32_t starts[] = {0, 7, 14, 19, 20};
    for (std::uint32_t i = 0; i < 5; ++i) state->ListLineSource[i] = starts[i];
    state->ListLineCount = 5;
    state->AddressLine[0] = 2;
    state->AddressLine[1] = 4;
    EXPECT_EQ(SourceLineOfAddress(*state, 0), 3);
    EXPECT_EQ(SourceLineOfAddress(*state, 1), 5);
    EXPECT_EQ(SourceLineOfAddress(*state, 2), std::nullopt);
    EXPECT_EQ(SourceLineOfAddress(*state, 5000), std::nullopt);
    EXPECT_EQ(AddressOfSourceLine(*state, 3), 0);
    EXPECT_EQ(AddressOfSourceLine(*state, 5), 1);
    EXPECT_EQ(AddressOfSourceLine(*state, 4), std::nullopt);  // blank
    EXPECT_EQ(AddressOfSourceLine(*state, 9), std::nullopt);  // past the end
    EXPECT_EQ(AddressOfSourceLine(*state, 0), std::nullopt);
}

}  // namespace
}  // namespace korvid
