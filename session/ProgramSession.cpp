#include "session/ProgramSession.h"

#include <algorithm>
#include <cstring>

#include "core/asm/Assembler.h"
#include "core/image/FileIo.h"
#include "core/image/HexFile.h"
#include "core/image/SxcLoader.h"

namespace korvid {

namespace {
// Sources of any practical size are accepted; the assembler's own limits
// (list size, symbol storage) report what does not fit.
constexpr std::size_t kMaxSourceBytes = 64u << 20;

// A message on one line: the hex loader's warning has a line break in it.
std::string OneLine(const char* text) {
    std::string line = text;
    std::replace(line.begin(), line.end(), '\r', ' ');
    line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
    return line;
}
}  // namespace

std::string DisplayName(const std::string& path) {
    return path == kStdStreamName ? std::string("standard input") : path;
}

TextPosition PositionOf(const std::string& text, std::uint32_t offset) {
    TextPosition p{1, 1};
    const std::size_t end = std::min<std::size_t>(offset, text.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\r') {
            ++p.line;
            p.column = 1;
        } else {
            ++p.column;
        }
    }
    return p;
}

void ProgramSession::Error(std::string file, std::string message, int line, int column) {
    diagnostics_.push_back({Severity::Error, std::move(file), line, column, std::move(message), {}});
}

void ProgramSession::NewState(const Family& family, Dialect dialect) {
    state_ = std::make_unique<AssemblyState>(family);
    listBuffer_.assign(kDefaultListCapacity, 0);
    state_->ListText = listBuffer_.data();
    state_->ListCapacity = kDefaultListCapacity;
    state_->ClockFrequency = kDefaultClockFrequency;
    state_->dialect = dialect;
}

bool ProgramSession::Load(const LoadRequest& request) {
    state_.reset();
    source_.clear();
    diagnostics_.clear();
    index_.Clear();
    shown_ = DisplayName(request.path);
    kind_ = request.kind.value_or(ProgramKindOf(request.path));
    const Family& fallback = request.fallback ? *request.fallback : Sx28lFamily();
    if (kind_ == ProgramKind::Source) return LoadSource(request);

    // An image has no comment or DEVICE line: the user's choice, else the
    // default (or the family the image fits).
    settings_ = {};
    settings_.family = request.settings.family ? request.settings.family : &fallback;
    settings_.familyFrom = request.settings.family ? SettingFrom::User : SettingFrom::Default;
    if (request.settings.dialect) settings_.dialect = *request.settings.dialect;
    if (kind_ == ProgramKind::Sxc) return LoadSxc(request.path);
    if (!request.settings.family && request.familyFromImage) {
        const Family& other = fallback.id == FamilyId::Sx28l ? Sx52Family() : Sx28lFamily();
        auto fits = [&](const Family& family) {
            ProgramSession trial;
            LoadRequest r{request.path, {&family, request.settings.dialect}, nullptr, false, ProgramKind::Hex, {}};
            return trial.Load(r) && ForeignConfigNote(trial.state()).empty();
        };
        if (!fits(fallback) && fits(other)) settings_.family = &other;
    }
    return LoadHex(request.path);
}

bool ProgramSession::LoadSource(const LoadRequest& request) {
    std::string raw, reason;
    const ReadResult r = ReadFileToString(request.path, raw, kMaxSourceBytes, &reason);
    if (r == ReadResult::TooLarge) {
        Error({}, shown_ + " is too large (more than " + std::to_string(kMaxSourceBytes) + " bytes)");
        return false;
    }
    if (r != ReadResult::Ok) {
        Error({}, "cannot read " + shown_ + ": " + reason);
        return false;
    }
    source_ = AssemblerText(raw, ControlBytes::Remove);
    const Family& fallback = request.fallback ? *request.fallback : Sx28lFamily();
    // What the choice of family and dialect has to say follows what the
    // assembly says: an error and its notes stay together at its place.
    std::vector<Diagnostic> choice;
    settings_ = ChooseSettings(source_, request.settings, fallback, request.path, choice);

    NewState(*settings_.family, settings_.dialect);
    AssemblyState& s = *state_;
    s.SourceText = source_.c_str();
    s.ListWanted = request.listing;
    Assemble(s);
    // The windows' list buffer has a fixed size; a listing that fills it gets
    // a larger one here (an assembly has no side effects, so it simply runs
    // again), up to kMaxListBytes.
    while (s.ErrorFlag != 0 && request.listing && s.ListLength >= s.ListCapacity && s.ListCapacity < kMaxListBytes) {
        listBuffer_.assign(std::min<std::size_t>(std::size_t(s.ListCapacity) * 4, kMaxListBytes), 0);
        s.ListText = listBuffer_.data();
        s.ListCapacity = static_cast<std::uint32_t>(listBuffer_.size());
        Assemble(s);
    }
    if (s.ErrorFlag != 0) {
        const TextPosition p = PositionOf(source_, s.ErrorStart);
        Diagnostic d{Severity::Error, request.path, p.line, p.column, s.ErrorMessage, {}};
        if (const auto note = ErrorNoteOf(s)) {
            const TextPosition at = PositionOf(source_, note->start);
            d.notes.emplace_back(note->text, at.line, at.column);
        }
        if (ExtendedDialectAccepts(s)) d.notes.emplace_back("accepted with --dialect extended");
        if (const Family* other = OtherFamilyAccepts(s))
            d.notes.emplace_back("assembles with --family " + std::string(other->name));
        diagnostics_.push_back(std::move(d));
    } else {
        index_.Build(s, request.indexWords);
    }
    diagnostics_.insert(diagnostics_.end(), choice.begin(), choice.end());
    return s.ErrorFlag == 0;
}

bool ProgramSession::LoadHex(const std::string& path) {
    NewState(*settings_.family, settings_.dialect);
    AssemblyState& s = *state_;
    std::string message;
    if (!LoadHexFile(s, path, message)) {
        Error({}, message);
        return false;
    }
    // Text that does not start with a record and does not load (or holds no
    // record at all) is a source or some other file, not a broken hex file.
    const char* first = s.ListText;
    while (*first == ' ' || *first == '\t' || *first == '\r' || *first == '\n') ++first;
    if (*first != ':' && (!HexLoaded(s) || !std::strchr(first, ':'))) {
        Error({},
              path + " is not a hex file (hex records start with ':'); to assemble a source use: korvid asm " + path);
        return false;
    }
    if (!HexLoaded(s)) {
        Error(path, s.ErrorMessage, HexErrorLine(s), 1);
        return false;
    }
    if (const std::string note = ForeignConfigNote(s); !note.empty())
        diagnostics_.push_back({Severity::Warning, path, 0, 0, note, {}});
    if (s.ErrorFlag != 0) diagnostics_.push_back({Severity::Warning, path, 0, 0, OneLine(s.ErrorMessage), {}});
    s.ChipImage = s.DeviceImage;
    return true;
}

bool ProgramSession::LoadSxc(const std::string& path) {
    NewState(*settings_.family, settings_.dialect);
    AssemblyState& s = *state_;
    const std::string base = path.substr(0, path.size() - 4);  // without ".cod"
    std::string message;
    if (!SXCLoad(s, base, message)) {
        Error(path, message);
        return false;
    }
    return true;
}

}  // namespace korvid
