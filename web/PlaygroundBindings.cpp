// The playground's object as the page's worker sees it: every method takes
// and gives strings and numbers (JSON for anything structured).
#include <emscripten/bind.h>

#include "playground/Playground.h"

EMSCRIPTEN_BINDINGS(korvid_playground) {
    using korvid::Playground;
    emscripten::class_<Playground>("Playground")
        .constructor<std::string>()
        .function("assemble", &Playground::Assemble)
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
        .function("lsp", &Playground::Lsp)
        .function("runTest", &Playground::RunTest);
}
