// Reading "; korvid: ..." comments (KorvidComment.h).
#include "session/KorvidComment.h"

namespace korvid {

namespace {
bool Separator(char c) { return c == ' ' || c == '\t' || c == ','; }
}  // namespace

std::vector<KorvidWord> ReadKorvidComment(std::string_view line) {
    std::vector<KorvidWord> words;
    // "korvid:" opens a comment (after its semicolons and blanks); the
    // word anywhere else in a comment is prose.
    constexpr std::string_view kMark = "korvid:";
    std::size_t mark = std::string_view::npos;
    for (std::size_t semi = line.find(';'); semi != std::string_view::npos && mark == std::string_view::npos;
         semi = line.find(';', semi + 1)) {
        std::size_t i = semi;
        while (i < line.size() && (line[i] == ';' || line[i] == ' ' || line[i] == '\t')) ++i;
        if (line.substr(i, kMark.size()) == kMark) mark = i;
    }
    if (mark == std::string_view::npos) return words;
    bool ignoring = false;  // the words after `ignore` are codes
    for (std::size_t i = mark + kMark.size(); i < line.size();) {
        if (Separator(line[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && !Separator(line[end])) ++end;
        const std::string_view word = line.substr(i, end - i);
        if (const std::size_t eq = word.find('='); eq != std::string_view::npos) {
            words.push_back({word.substr(0, eq), word.substr(eq + 1), i});
            ignoring = false;
        } else if (word == "ignore") {
            ignoring = true;
        } else {
            words.push_back({ignoring ? std::string_view("ignore") : word, ignoring ? word : std::string_view(), i});
        }
        i = end;
    }
    return words;
}

}  // namespace korvid
