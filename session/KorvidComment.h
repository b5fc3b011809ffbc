// What a "; korvid: ..." comment says: in a source's first lines
// `family=` and `dialect=`, on any line `ignore CODE...` for the SX checks
// of that line. One reading serves the settings, the checks and the
// warnings about words the comment does not know.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace korvid {

inline constexpr int kSettingsLines = 5;  // the lines a family= or dialect= may stand in

struct KorvidWord {
    std::string_view key;    // "family", "dialect", "ignore" (its codes follow), or a word not known
    std::string_view value;  // family= and dialect=: the value; ignore: one code
    std::size_t at;          // the word's offset in the line
};

// The words of the line's korvid comment, in order (an `ignore` with
// several codes gives one word each); empty when the line has none.
std::vector<KorvidWord> ReadKorvidComment(std::string_view line);

}  // namespace korvid
