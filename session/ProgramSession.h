// One program loaded for a command, the debug adapter or a test run: a
// source assembled, an SXH file or the SXC compiler's output loaded, in the
// family and dialect ChooseSettings picks. Nothing here prints: what went
// wrong or deserves a word comes back as diagnostics.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "session/Diagnostic.h"
#include "session/ProgramIndex.h"
#include "session/ProgramSettings.h"
#include "session/SourceText.h"

namespace korvid {

struct LoadRequest {
    std::string path;                  // "-": standard input
    SettingsRequest settings;          // what the user chose
    const Family* fallback = nullptr;  // the default family (nullptr: the 28L)
    // A hex file with no family chosen takes the family its image fits
    // (more program words, the 52's fuse bits) rather than the default.
    bool familyFromImage = false;
    std::optional<ProgramKind> kind;  // unset: by the name (ProgramKindOf)
    ProgramIndex::Words indexWords = ProgramIndex::Words::Written;
    // Whether a listing is wanted: without one no list text or line maps are
    // made and no listing limit applies; with one the list buffer grows as
    // the listing needs, up to kMaxListBytes.
    bool listing = true;
};

inline constexpr std::uint32_t kMaxListBytes = 256u << 20;

class ProgramSession {
public:
    // Loads `request.path`. False when the program cannot be used (an error
    // among the diagnostics says why); warnings may come with either answer.
    bool Load(const LoadRequest& request);

    bool loaded() const { return state_ != nullptr; }
    AssemblyState& state() { return *state_; }
    const AssemblyState& state() const { return *state_; }
    const Family& family() const { return *settings_.family; }
    const ProgramSettings& settings() const { return settings_; }
    ProgramKind kind() const { return kind_; }
    // The assembler's text of a source (empty for an image).
    const std::string& source() const { return source_; }
    const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }
    // Source lines and addresses; empty for an image without lines.
    const ProgramIndex& index() const { return index_; }

private:
    void NewState(const Family& family, Dialect dialect);
    bool LoadSource(const LoadRequest& request);
    bool LoadHex(const std::string& path);
    bool LoadSxc(const std::string& path);
    void Error(std::string file, std::string message, int line = 0, int column = 0);

    std::unique_ptr<AssemblyState> state_;
    std::vector<char> listBuffer_;
    std::string source_;
    std::string shown_;  // the file's name in messages
    ProgramSettings settings_;
    ProgramKind kind_ = ProgramKind::Source;
    std::vector<Diagnostic> diagnostics_;
    ProgramIndex index_;
};

// "standard input" for "-", else the path: the name messages use.
std::string DisplayName(const std::string& path);

// 1-based line and byte column of an offset in CR-separated text.
struct TextPosition {
    int line;
    int column;
};
TextPosition PositionOf(const std::string& text, std::uint32_t offset);

}  // namespace korvid
