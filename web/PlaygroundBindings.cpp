// The playground's object as the page's worker sees it: every method takes
// and gives strings and numbers (JSON for anything structured).
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include "playground/Playground.h"

namespace {

using korvid::Playground;

// A source crosses as its bytes (a Uint8Array): a file read as Latin-1 stays
// one byte a character, as the command line reads it, where a string would
// cross as UTF-8.
std::string Bytes(const emscripten::val& array) {
    const std::vector<std::uint8_t> bytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(array);
    return std::string(bytes.begin(), bytes.end());
}

std::string AssembleBytes(Playground& p, const emscripten::val& source, const std::string& name,
                          const std::string& family, const std::string& dialect) {
    return p.Assemble(Bytes(source), name, family, dialect);
}

std::string RunTestBytes(Playground& p, const std::string& test, const emscripten::val& source,
                         const std::string& name) {
    return p.RunTest(test, Bytes(source), name);
}

}  // namespace

EMSCRIPTEN_BINDINGS(korvid_playground) {
    emscripten::class_<Playground>("Playground")
        .constructor<std::string>()
        .function("assemble", &AssembleBytes)
        .function("runTest", &RunTestBytes)
        .function("listing", &Playground::Listing)
        .function("hex", &Playground::Hex)
        .function("reset", &Playground::Reset)
        .function("run", &Playground::Run)
        .function("step", &Playground::Step)
        .function("setBreakpoints", &Playground::SetBreakpoints)
        .function("state", &Playground::State)
        .function("setRegister", &Playground::SetRegister)
        .function("setRam", &Playground::SetRam)
        .function("setPin", &Playground::SetPin)
        .function("setSerial", &Playground::SetSerial)
        .function("serialSend", &Playground::SerialSend)
        .function("takeSerial", &Playground::TakeSerial)
        .function("takeWave", &Playground::TakeWave)
        .function("vcd", &Playground::Vcd)
        .function("vcdNote", &Playground::VcdNote)
        .function("lsp", &Playground::Lsp);
}
