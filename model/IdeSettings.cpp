#include "model/IdeSettings.h"

#include "session/ProgramIndex.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "core/asm/AssemblyState.h"
#include "core/asm/Dialect.h"
#include "core/link/Clock.h"
#include "platform/PortName.h"

namespace korvid {

namespace {
constexpr std::size_t kMaxPathLength = 4096;
constexpr int kMaxCoordinate = 1 << 15;
// A remembered breakpoint's line: beyond any source the editor holds.
constexpr std::int64_t kMaxSourceLine = 1 << 24;
// Of a window's top edge, this much must lie on a screen (or the whole
// edge of a narrower window).
constexpr int kGrabLength = 48;
constexpr int kGrabHeight = 24;

constexpr std::string_view kRecentGroup = "RecentFiles/";
constexpr std::string_view kPlaceGroup = "Windows/";
constexpr std::string_view kBreakpointGroup = "Breakpoints/";

bool IsPortName(const std::string& name) { return IsValidPortName(name); }

std::optional<std::int64_t> ParseNumber(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || text.empty()) return std::nullopt;
    return value;
}

bool SanePlace(const WindowPlace& p) {
    auto coordinate = [](int v) { return v > -kMaxCoordinate && v < kMaxCoordinate; };
    return coordinate(p.x) && coordinate(p.y) && p.width >= 1 && p.height >= 1 && coordinate(p.width) &&
           coordinate(p.height);
}

// "x y width height", four whole numbers, and "maximised" after them for a
// window left maximised (the four then give its place when it is not).
constexpr std::string_view kMaximised = " maximised";

std::optional<WindowPlace> ParsePlace(std::string_view text) {
    const bool maximised = text.size() > kMaximised.size() && text.substr(text.size() - kMaximised.size()) == kMaximised;
    if (maximised) text.remove_suffix(kMaximised.size());
    std::int64_t v[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t space = i < 3 ? text.find(' ') : text.size();
        if (space == std::string_view::npos) return std::nullopt;
        auto n = ParseNumber(text.substr(0, space));
        if (!n || *n <= -kMaxCoordinate || *n >= kMaxCoordinate) return std::nullopt;
        v[i] = *n;
        text.remove_prefix(std::min(space + 1, text.size()));
    }
    const WindowPlace place{int(v[0]), int(v[1]), int(v[2]), int(v[3]), maximised};
    if (!SanePlace(place)) return std::nullopt;
    return place;
}

bool IsWindowName(std::string_view name) {
    return !name.empty() && name.size() <= 32 &&
           std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

std::string Quoted(const std::string& value) {
    std::string shown = value.size() > 40 ? value.substr(0, 40) + "..." : value;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return "\"" + shown + "\"";
}

std::string Key(std::string_view group, std::size_t index) { return std::string(group) + std::to_string(index + 1); }
}  // namespace

bool IsSettingsPath(const std::string& path) {
    return !path.empty() && path.size() <= kMaxPathLength && path[0] == '/' &&
           std::none_of(path.begin(), path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

const std::vector<SettingRow>& SettingRows() {
    static const std::vector<SettingRow> rows = {
        {Setting::Port,
         "Link/Port",
         SettingKind::Text,
         0,
         0,
         0,
         {},
         "COM1",
         IsPortName,
         "COM1 to COM4 or a device path"},
        {Setting::IrcMode,
         "Link/IrcMode",
         SettingKind::Word,
         0,
         2,
         std::int64_t(IrcMode::Slowest),
         {"slowest", "4mhz", "fastest"}},
        {Setting::Dialect,
         "Assembler/Dialect",
         SettingKind::Word,
         0,
         1,
         std::int64_t(Dialect::Strict),
         {"strict", "extended"}},
        {Setting::Clock, "Clock/Frequency", SettingKind::Number, kClockMinHz, kClockMaxHz, kDefaultClockFrequency},
        {Setting::TextSize, "Editor/TextSize", SettingKind::Number, kMinTextSize, kMaxTextSize, kDefaultTextSize},
        {Setting::LastFolder,
         "Editor/LastFolder",
         SettingKind::Text,
         0,
         0,
         0,
         {},
         "",
         IsSettingsPath,
         "an absolute path"},
        {Setting::UnsavedCopy,
         "Editor/UnsavedCopy",
         SettingKind::Text,
         0,
         0,
         0,
         {},
         "",
         IsSettingsPath,
         "an absolute path"},
    };
    return rows;
}

bool PlaceOnScreen(const WindowPlace& place, const std::vector<WindowPlace>& screens) {
    for (const WindowPlace& s : screens) {
        if (place.width > s.width || place.height > s.height) continue;
        const int left = std::max(place.x, s.x), right = std::min(place.x + place.width, s.x + s.width);
        const int need = std::min(kGrabLength, place.width);
        const bool topInside = place.y >= s.y && place.y + std::min(kGrabHeight, place.height) <= s.y + s.height;
        if (topInside && right - left >= need) return true;
    }
    return false;
}

std::optional<WindowPlace> ScreenOfPlace(const WindowPlace& place, const std::vector<WindowPlace>& screens) {
    std::optional<WindowPlace> best;
    long long most = 0;
    for (const WindowPlace& s : screens) {
        const long long w = std::min(place.x + place.width, s.x + s.width) - std::max(place.x, s.x);
        const long long h = std::min(place.y + place.height, s.y + s.height) - std::max(place.y, s.y);
        if (w > 0 && h > 0 && w * h > most) most = w * h, best = s;
    }
    return best;
}

WindowPlace FitPlace(WindowPlace place, const WindowPlace& screen, const WindowFrame& frame, int leastWidth,
                     int leastHeight) {
    // One axis: `start` and `size` of the window inside frame edges `before`
    // and `after`, on the screen's `from` .. `from + room`.
    auto fit = [](int& start, int& size, int before, int after, int from, int room, int least) {
        const int most = room - before - after;
        if (size > most) size = std::max(most, std::min(least, size));
        if (start + size + after > from + room) start = from + room - size - after;
        if (start - before < from) start = from + before;
    };
    fit(place.x, place.width, frame.left, frame.right, screen.x, screen.width, leastWidth);
    fit(place.y, place.height, frame.top, frame.bottom, screen.y, screen.height, leastHeight);
    return place;
}

std::optional<int> SourceLineOfAddress(const AssemblyState& state, std::uint32_t address) {
    ProgramIndex index;
    index.Build(state, ProgramIndex::Words::Listed);
    const int line = address < std::uint32_t(kProgramWords) ? index.LineOf(int(address)) : 0;
    return line ? std::optional<int>(line) : std::nullopt;
}

std::optional<std::uint16_t> AddressOfSourceLine(const AssemblyState& state, int line) {
    ProgramIndex index;
    index.Build(state, ProgramIndex::Words::Listed);
    const auto address = index.AddressOf(line);
    return address ? std::optional<std::uint16_t>(std::uint16_t(*address)) : std::nullopt;
}

IdeSettings::IdeSettings() {
    for (const SettingRow& r : SettingRows()) {
        numbers_.push_back(r.byDefault);
        texts_.emplace_back(r.defaultText);
    }
}

bool IdeSettings::SetNumber(Setting s, std::int64_t value) {
    const SettingRow& r = SettingRows()[std::size_t(s)];
    const std::int64_t max = r.kind == SettingKind::Word ? std::int64_t(r.words.size()) - 1 : r.max;
    if (r.kind == SettingKind::Text || value < r.min || value > max) return false;
    numbers_[std::size_t(s)] = value;
    return true;
}

bool IdeSettings::SetText(Setting s, const std::string& value) {
    const SettingRow& r = SettingRows()[std::size_t(s)];
    if (r.kind != SettingKind::Text || (value != r.defaultText && !r.valid(value))) return false;
    texts_[std::size_t(s)] = value;
    return true;
}

std::vector<std::string> IdeSettings::Load(const SettingsStore& store) {
    *this = IdeSettings();
    std::vector<std::string> notes;
    std::size_t known = 0;  // entries of the store that are settings
    auto refuse = [&](const std::string& key, const std::string& value, std::string_view what) {
        notes.push_back(key + ": " + Quoted(value) + " is not " + std::string(what) + "; ignored");
    };
    for (const SettingRow& r : SettingRows()) {
        auto it = store.find(std::string(r.key));
        if (it == store.end()) continue;
        ++known;
        const std::string& value = it->second;
        switch (r.kind) {
            case SettingKind::Number: {
                auto n = ParseNumber(value);
                if (!n || !SetNumber(r.setting, *n))
                    refuse(it->first, value, "a number from " + std::to_string(r.min) + " to " + std::to_string(r.max));
                break;
            }
            case SettingKind::Word: {
                std::string lower = value;
                for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
                auto w = std::find(r.words.begin(), r.words.end(), lower);
                if (w != r.words.end()) {
                    SetNumber(r.setting, w - r.words.begin());
                } else {
                    std::string what = "one of";
                    for (std::string_view word : r.words) what.append(" ").append(word);
                    refuse(it->first, value, what);
                }
                break;
            }
            case SettingKind::Text:
                if (!SetText(r.setting, value)) refuse(it->first, value, r.what);
                break;
        }
    }
    for (std::size_t i = 0; i < kMaxRecentFiles; ++i) {
        auto it = store.find(Key(kRecentGroup, i));
        if (it == store.end()) continue;
        ++known;
        if (!IsSettingsPath(it->second))
            refuse(it->first, it->second, "an absolute path");
        else if (std::find(recent_.begin(), recent_.end(), it->second) == recent_.end())
            recent_.push_back(it->second);
    }
    for (auto it = store.lower_bound(std::string(kPlaceGroup));
         it != store.end() && it->first.compare(0, kPlaceGroup.size(), kPlaceGroup) == 0; ++it) {
        ++known;
        const std::string name = it->first.substr(kPlaceGroup.size());
        auto place = ParsePlace(it->second);
        if (IsWindowName(name) && place)
            places_[name] = *place;
        else
            refuse(it->first, it->second, "a window's place (x y width height)");
    }
    for (std::size_t i = 0; i < kMaxBreakpointFiles; ++i) {
        auto it = store.find(Key(kBreakpointGroup, i));
        if (it == store.end()) continue;
        ++known;
        const std::size_t space = it->second.find(' ');
        auto line = ParseNumber(std::string_view(it->second).substr(0, space));
        const std::string file = space == std::string::npos ? std::string() : it->second.substr(space + 1);
        if (!line || *line < 1 || *line > kMaxSourceLine || !IsSettingsPath(file))
            refuse(it->first, it->second, "a line and a file");
        else if (!BreakpointLine(file))
            breakpoints_.emplace_back(file, int(*line));
    }
    // Entries of no meaning here (a file that is not ours, a damaged one).
    if (store.size() > known) notes.push_back("unknown entries ignored: " + std::to_string(store.size() - known));
    return notes;
}

SettingsStore IdeSettings::Save() const {
    SettingsStore store;
    for (const SettingRow& r : SettingRows()) {
        const std::size_t i = std::size_t(r.setting);
        switch (r.kind) {
            case SettingKind::Number: store[std::string(r.key)] = std::to_string(numbers_[i]); break;
            case SettingKind::Word: store[std::string(r.key)] = std::string(r.words[std::size_t(numbers_[i])]); break;
            case SettingKind::Text:
                if (!texts_[i].empty()) store[std::string(r.key)] = texts_[i];
                break;
        }
    }
    for (std::size_t i = 0; i < recent_.size(); ++i) store[Key(kRecentGroup, i)] = recent_[i];
    for (const auto& [name, p] : places_)
        store[std::string(kPlaceGroup) + name] = std::to_string(p.x) + ' ' + std::to_string(p.y) + ' ' +
                                                 std::to_string(p.width) + ' ' + std::to_string(p.height) +
                                                 (p.maximised ? std::string(kMaximised) : std::string());
    for (std::size_t i = 0; i < breakpoints_.size(); ++i)
        store[Key(kBreakpointGroup, i)] = std::to_string(breakpoints_[i].second) + " " + breakpoints_[i].first;
    return store;
}

void IdeSettings::AddRecentFile(const std::string& path) {
    if (!IsSettingsPath(path)) return;
    recent_.erase(std::remove(recent_.begin(), recent_.end(), path), recent_.end());
    recent_.insert(recent_.begin(), path);
    if (recent_.size() > kMaxRecentFiles) recent_.resize(kMaxRecentFiles);
}

std::optional<WindowPlace> IdeSettings::Place(const std::string& window) const {
    auto it = places_.find(window);
    if (it == places_.end()) return std::nullopt;
    return it->second;
}

void IdeSettings::SetPlace(const std::string& window, const WindowPlace& place) {
    if (IsWindowName(window) && SanePlace(place)) places_[window] = place;
}

std::optional<int> IdeSettings::BreakpointLine(const std::string& file) const {
    for (const auto& [name, line] : breakpoints_)
        if (name == file) return line;
    return std::nullopt;
}

void IdeSettings::SetBreakpointLine(const std::string& file, std::optional<int> line) {
    std::erase_if(breakpoints_, [&](const auto& b) { return b.first == file; });
    if (!line || *line < 1 || *line > kMaxSourceLine || !IsSettingsPath(file)) return;
    breakpoints_.insert(breakpoints_.begin(), {file, *line});
    if (breakpoints_.size() > kMaxBreakpointFiles) breakpoints_.resize(kMaxBreakpointFiles);
}

}  // namespace korvid
