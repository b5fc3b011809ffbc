// The family and dialect a program is assembled in. In this order: what
// the user gave (a command-line option, a test file's line), the
// `; korvid: family=.. dialect=..` comment in the source's first lines, the
// family the source's DEVICE line names, the default.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/asm/Dialect.h"
#include "family/Family.h"
#include "session/Diagnostic.h"

namespace korvid {

// One setting of the korvid comment, with its place (1-based line, and
// the column of its key).
struct CommentSetting {
    std::string value;
    int line = 0;
    int column = 0;
};

// family= and dialect= of the korvid comments in the first kSettingsLines
// lines (any line ends); a later word wins. Values nothing knows are left
// out (the editor warns of them).
struct CommentSettings {
    std::optional<CommentSetting> family, dialect;
};
CommentSettings ReadCommentSettings(std::string_view text);

// The family a DEVICE line names: the first of its words that only one
// family knows (a part name, or an option only that family has); nullptr
// when no DEVICE word tells.
const Family* FamilyOfDevice(std::string_view text);

// What the user chose; unset: not given. `familyWord` and `dialectWord`
// name the choice in a warning ("--family", "--dialect").
struct SettingsRequest {
    const Family* family = nullptr;
    std::optional<Dialect> dialect;
    std::string familyWord = "--family";
    std::string dialectWord = "--dialect";
};

enum class SettingFrom { User, Comment, Device, Default };

struct ProgramSettings {
    const Family* family = nullptr;
    Dialect dialect = Dialect::Strict;
    SettingFrom familyFrom = SettingFrom::Default;
    SettingFrom dialectFrom = SettingFrom::Default;
};

// The settings for source `text` (the assembler's text). A user's choice
// that contradicts the comment wins and adds a warning to `warnings` that
// names both, placed at the comment's word in `file`.
ProgramSettings ChooseSettings(std::string_view text, const SettingsRequest& request, const Family& fallback,
                               const std::string& file, std::vector<Diagnostic>& warnings);

}  // namespace korvid
