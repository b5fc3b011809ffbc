// Arbitrary bytes as SXH hex text (the first byte picks the family); a
// loaded image is then prepared for debugging and saved again.
#include <cstring>

#include "core/image/DebugImage.h"
#include "core/image/HexFile.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvid;
    if (size == 0 || size >= kDefaultListCapacity) return 0;
    fuzz::Session& session = fuzz::SessionFor(data[0]);
    AssemblyState& s = session.state;
    std::memcpy(s.ListText, data + 1, size - 1);
    s.ListText[size - 1] = '\0';
    s.ListLength = std::uint32_t(size - 1);
    LoadHex(s);
    s.ChipImage = s.DeviceImage;
    s.ListLineCount = 0;
    fuzz::ShowEverything(s);
    PrepareDebugImage(s);
    SaveHex(s);
    return 0;
}
