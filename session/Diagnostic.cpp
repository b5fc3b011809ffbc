#include "session/Diagnostic.h"

namespace korvid {

std::string_view SeverityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

std::string DiagnosticText(const Diagnostic& d, std::string_view prefix) {
    if (d.line <= 0) {
        std::string text(prefix);
        if (!d.file.empty()) text += d.file + ": " + std::string(SeverityName(d.severity)) + ": ";
        text += d.message + "\n";
        for (const DiagnosticNote& note : d.notes) text += std::string(prefix) + note.text + "\n";
        return text;
    }
    const std::string place = d.file + ":" + std::to_string(d.line) + ":" + std::to_string(d.column) + ": ";
    std::string text = place + std::string(SeverityName(d.severity)) + ": " + d.message + "\n";
    for (const DiagnosticNote& note : d.notes) {
        const std::string at = note.line > 0 ? d.file + ":" + std::to_string(note.line) + ":" +
                                                   std::to_string(note.column) + ": "
                                             : place;
        text += at + "note: " + note.text + "\n";
    }
    return text;
}

}  // namespace korvid
