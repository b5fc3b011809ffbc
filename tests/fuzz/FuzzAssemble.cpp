// Arbitrary bytes as assembly source (the first byte picks the family),
// then the debug preparation and the text services on the result.
#include <string>

#include "core/asm/Assembler.h"
#include "core/image/DebugImage.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvid;
    if (size == 0) return 0;
    fuzz::Session& session = fuzz::SessionFor(data[0]);
    std::string source(reinterpret_cast<const char*>(data + 1), size - 1);  // NUL after it
    AssemblyState& s = session.state;
    s.SourceText = source.c_str();
    Assemble(s);
    if (s.ErrorFlag == 0) PrepareDebugImage(s);
    fuzz::ShowEverything(s);
    return 0;
}
