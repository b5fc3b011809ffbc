// What loading a program has to say: errors, warnings and their notes,
// each with its place. The session fills them; the command line, the debug
// adapter and the test runner each say them in their own way.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvid {

enum class Severity { Error, Warning };

// A note on a diagnostic: said at its own place when it has one (the word a
// message is about), else at the diagnostic's.
struct DiagnosticNote {
    DiagnosticNote(std::string note, int atLine = 0, int atColumn = 0)
        : text(std::move(note)), line(atLine), column(atColumn) {}
    std::string text;
    int line = 0;
    int column = 0;
};

struct Diagnostic {
    Severity severity = Severity::Error;
    std::string file;  // the name messages use; empty: not about one file
    int line = 0;      // 1-based; 0: about the whole file
    int column = 0;    // 1-based byte column; with line
    std::string message;
    std::vector<DiagnosticNote> notes;  // each said after the message
};

std::string_view SeverityName(Severity severity);

// "FILE:LINE:COLUMN: error: MESSAGE" with its note lines ("FILE:LINE:COLUMN:
// note: ..."), "FILE: warning: MESSAGE" without a line, or just the message
// when it names no file; lines end with '\n'. `prefix` goes before a line
// that has no place of its own ("korvid: ").
std::string DiagnosticText(const Diagnostic& d, std::string_view prefix = {});

}  // namespace korvid
