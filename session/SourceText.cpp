#include "session/SourceText.h"

#include "base/Text.h"

namespace korvid {

std::string AssemblerText(std::string_view raw, ControlBytes control) {
    std::string out;
    out.reserve(raw.size() + 1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto c = static_cast<unsigned char>(raw[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
            out += '\r';
        } else if (c == '\t' || (c >= 32 && (c != 127 || control == ControlBytes::Remove))) {
            out += char(c);
        } else if (control == ControlBytes::Blank) {
            out += ' ';
        }
    }
    return out;
}

ProgramKind ProgramKindOf(std::string_view path) {
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return ProgramKind::Source;
    const std::string ext = Lower(path.substr(dot + 1));
    if (ext == "sxh" || ext == "hex" || ext == "obj") return ProgramKind::Hex;
    if (ext == "cod") return ProgramKind::Sxc;
    return ProgramKind::Source;
}

std::string ListingForDisk(std::string_view listing) {
    std::string out;
    out.reserve(listing.size() + listing.size() / 16);
    for (std::size_t i = 0; i < listing.size(); ++i) {
        out += listing[i];
        if (listing[i] == '\r' && (i + 1 >= listing.size() || listing[i + 1] != '\n')) out += '\n';
    }
    return out;
}

}  // namespace korvid
