#include "session/ProgramSettings.h"

#include "base/Text.h"
#include "session/KorvidComment.h"

namespace korvid {

CommentSettings ReadCommentSettings(std::string_view text) {
    CommentSettings settings;
    std::size_t pos = 0;
    for (int line = 1; line <= kSettingsLines && pos < text.size(); ++line) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        for (const KorvidWord& w : ReadKorvidComment(text.substr(pos, end - pos))) {
            const CommentSetting setting{std::string(w.value), line, int(w.at) + 1};
            Dialect dialect;
            if (w.key == "family" && FamilyByName(w.value)) settings.family = setting;
            if (w.key == "dialect" && DialectByName(w.value, dialect)) settings.dialect = setting;
        }
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return settings;
}

const Family* FamilyOfDevice(std::string_view text) {
    const Family* families[] = {&Sx28lFamily(), &Sx52Family()};
    auto knows = [](const Family& f, const std::string& word) {
        for (int i = 0; i < f.deviceParamCount; ++i)
            if (word == f.deviceParams[i].name) return true;
        for (int i = 0; i < f.extendedDeviceParamCount; ++i)
            if (word == f.extendedDeviceParams[i].name) return true;
        return false;
    };
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string line = Upper(text.substr(start, end - start));
        start = end + 1;
        line = line.substr(0, line.find(';'));
        for (char& c : line)
            if (c == ',' || c == '\t') c = ' ';
        std::vector<std::string> words;
        for (std::size_t i = 0; i < line.size();) {
            const std::size_t j = line.find(' ', i);
            const std::size_t e = j == std::string::npos ? line.size() : j;
            if (e > i) words.push_back(line.substr(i, e - i));
            i = e + 1;
        }
        for (std::size_t w = 0; w + 1 < words.size(); ++w) {
            if (words[w] != "DEVICE") continue;
            for (std::size_t k = w + 1; k < words.size(); ++k) {
                const bool in28 = knows(*families[0], words[k]), in52 = knows(*families[1], words[k]);
                if (in28 != in52) return in28 ? families[0] : families[1];
            }
        }
    }
    return nullptr;
}

namespace {
std::string_view DialectName(Dialect d) { return d == Dialect::Extended ? "extended" : "strict"; }

void Contradiction(const std::string& file, const CommentSetting& comment, std::string_view key,
                   const std::string& word, std::string_view chosen, std::vector<Diagnostic>& warnings) {
    Diagnostic d;
    d.severity = Severity::Warning;
    d.file = file;
    d.line = comment.line;
    d.column = comment.column;
    d.message = word + " " + std::string(chosen) + " overrides the source's \"korvid: " + std::string(key) + "=" +
                comment.value + "\"";
    warnings.push_back(std::move(d));
}
}  // namespace

ProgramSettings ChooseSettings(std::string_view text, const SettingsRequest& request, const Family& fallback,
                               const std::string& file, std::vector<Diagnostic>& warnings) {
    const CommentSettings comment = ReadCommentSettings(text);
    ProgramSettings s;
    const Family* fromComment = comment.family ? FamilyByName(comment.family->value) : nullptr;
    if (request.family) {
        s.family = request.family;
        s.familyFrom = SettingFrom::User;
        if (fromComment && fromComment != request.family)
            Contradiction(file, *comment.family, "family", request.familyWord, request.family->name, warnings);
    } else if (fromComment) {
        s.family = fromComment;
        s.familyFrom = SettingFrom::Comment;
    } else if (const Family* device = FamilyOfDevice(text)) {
        s.family = device;
        s.familyFrom = SettingFrom::Device;
    } else {
        s.family = &fallback;
    }
    Dialect fromCommentDialect = Dialect::Strict;
    const bool dialectComment = comment.dialect && DialectByName(comment.dialect->value, fromCommentDialect);
    if (request.dialect) {
        s.dialect = *request.dialect;
        s.dialectFrom = SettingFrom::User;
        if (dialectComment && fromCommentDialect != *request.dialect)
            Contradiction(file, *comment.dialect, "dialect", request.dialectWord, DialectName(*request.dialect),
                          warnings);
    } else if (dialectComment) {
        s.dialect = fromCommentDialect;
        s.dialectFrom = SettingFrom::Comment;
    }
    return s;
}

}  // namespace korvid
