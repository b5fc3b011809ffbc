// Arbitrary bytes as an SXC .cod file and as its .lst listing (the first
// byte picks the family).
#include <cstring>

#include "core/image/DebugImage.h"
#include "core/image/SxcLoader.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvid;
    if (size == 0 || size > kDefaultListCapacity) return 0;
    fuzz::Session& session = fuzz::SessionFor(data[0]);
    AssemblyState& s = session.state;
    s.ListLineCount = 0;
    std::memcpy(s.ListText, data + 1, size - 1);
    s.ListLength = std::uint32_t(size - 1);
    PrepareEEPROM(s);
    if (s.ErrorFlag == 0) PrepareDebugImage(s);
    // The same bytes as the listing: the line map then points into it.
    PrepareList(s);
    fuzz::ShowEverything(s);
    return 0;
}
