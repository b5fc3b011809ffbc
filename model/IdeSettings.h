// The IDE programs' remembered settings, free of Qt: one table of the
// single values (port, IRC mode, dialect, clock, text size, last folder,
// where unsaved text was kept)
// with their keys, defaults and ranges, the list of recent files, the
// places of the windows and the breakpoint line of each source file. They
// are read from and written to a flat store of text keys and text values
// ("Group/Name" = "text"); the program keeps the store in an INI file, the
// tests in a map. Whatever the store holds, reading takes each value that
// makes sense and keeps the default for each that does not, with a note.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvid {

using SettingsStore = std::map<std::string, std::string>;

// The editor's text size in points.
inline constexpr int kMinTextSize = 1;
inline constexpr int kMaxTextSize = 72;
inline constexpr int kDefaultTextSize = 9;

inline constexpr std::size_t kMaxRecentFiles = 10;
inline constexpr std::size_t kMaxBreakpointFiles = 50;

// UnsavedCopy: where the text left unsaved by a forced quit was kept, for a
// note at the next start.
enum class Setting : std::uint8_t { Port, IrcMode, Dialect, Clock, TextSize, LastFolder, UnsavedCopy, Count };

// How a value is spelt in the store: a whole number within a range, one of
// a few words (its number is the word's index), or a text that `valid`
// accepts.
enum class SettingKind : std::uint8_t { Number, Word, Text };

struct SettingRow {
    Setting setting;
    std::string_view key;
    SettingKind kind;
    std::int64_t min, max;                        // Number: the range
    std::int64_t byDefault;                       // Number and Word
    std::vector<std::string_view> words;          // Word: the spellings, by number
    std::string_view defaultText;                 // Text
    bool (*valid)(const std::string&) = nullptr;  // Text
    std::string_view what;                        // Text: what a valid value is, for the note
};

// An absolute path of a reasonable length without control characters.
bool IsSettingsPath(const std::string& path);

// The table of the single values, one row per Setting in its order.
const std::vector<SettingRow>& SettingRows();

// A window's place: its position and size in screen pixels (without the
// window manager's frame), the normal ones of a window that is maximised.
struct WindowPlace {
    int x = 0, y = 0, width = 0, height = 0;
    bool maximised = false;
    bool operator==(const WindowPlace&) const = default;
};

// Whether a remembered place can be used on the current screens: the
// window's top edge (where its title bar is grabbed) lies with a useful
// length on one of them and the window is not larger than that screen.
bool PlaceOnScreen(const WindowPlace& place, const std::vector<WindowPlace>& screens);

// The frame the window manager draws around a window, in pixels.
struct WindowFrame {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The screen a remembered place opens on: the one that holds most of it;
// none when it lies on no screen at all (a screen that is gone).
std::optional<WindowPlace> ScreenOfPlace(const WindowPlace& place, const std::vector<WindowPlace>& screens);

// A remembered place fitted to the usable area `screen`, frame included:
// moved onto it, then shrunk where it is still too large, but no smaller
// than `leastWidth` x `leastHeight` (a window that may not shrink gives its
// own size: it stays whole and keeps the top left corner on the screen).
WindowPlace FitPlace(WindowPlace place, const WindowPlace& screen, const WindowFrame& frame, int leastWidth,
                     int leastHeight);

struct AssemblyState;

// The source line (1 = first) of the instruction at a program address
// after an assembly of `state.SourceText`; none when no line made a word
// there. The reverse: the first address a source line made a word at.
std::optional<int> SourceLineOfAddress(const AssemblyState& state, std::uint32_t address);
std::optional<std::uint16_t> AddressOfSourceLine(const AssemblyState& state, int line);

class IdeSettings {
public:
    IdeSettings();

    // Takes every value of `store` that makes sense; each one that does not
    // keeps its default and adds a note ("Clock/Frequency: \"fast\" is not
    // ..."); entries that are no setting add one note together.
    std::vector<std::string> Load(const SettingsStore& store);
    // The whole settings as a store (only the values, nothing else).
    SettingsStore Save() const;

    std::int64_t Number(Setting s) const { return numbers_[std::size_t(s)]; }
    const std::string& Text(Setting s) const { return texts_[std::size_t(s)]; }
    // Values that the table does not allow are not taken (a default always is).
    bool SetNumber(Setting s, std::int64_t value);
    bool SetText(Setting s, const std::string& value);

    // The recent files, the current one first, at most kMaxRecentFiles.
    const std::vector<std::string>& RecentFiles() const { return recent_; }
    void AddRecentFile(const std::string& path);

    // The remembered place of a window by its name, if any.
    std::optional<WindowPlace> Place(const std::string& window) const;
    void SetPlace(const std::string& window, const WindowPlace& place);

    // The breakpoint's source line (1 = first) remembered for a file; the
    // files most recently set first, at most kMaxBreakpointFiles.
    std::optional<int> BreakpointLine(const std::string& file) const;
    // No line: the file has no breakpoint.
    void SetBreakpointLine(const std::string& file, std::optional<int> line);

private:
    std::vector<std::int64_t> numbers_;
    std::vector<std::string> texts_;
    std::vector<std::string> recent_;
    std::map<std::string, WindowPlace> places_;
    std::vector<std::pair<std::string, int>> breakpoints_;
};

}  // namespace korvid
