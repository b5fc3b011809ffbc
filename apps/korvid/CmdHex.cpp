// korvid hex: show what an SXH file holds: the configuration words, the ID,
// the program size and the highest used program address.
#include <cstdio>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "core/image/HexFile.h"

namespace korvid::cli {
namespace {

// The ID text: character i from the low nibbles of ID words 2i and 2i+1; a
// character code 0xFF ends it.
std::string IdText(const Image& image) {
    std::string id;
    for (int i = 0; i < 8; ++i) {
        unsigned code = ((image[kIdBase + 2 * i] & 0xF) << 4) | (image[kIdBase + 2 * i + 1] & 0xF);
        if (code == 0xFF) break;
        id += (code >= 32 && code < 127) ? char(code) : '.';
    }
    return id;
}

}  // namespace

int RunHex(const Options& options) {
    const Family* family = FamilyOption(options);

    const std::string path = options.Operands()[0];
    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), path, ProgramKind::Hex)) return kExitFailure;
    const AssemblyState& s = session.state();
    const Image& d = s.DeviceImage;
    int highest = -1;
    for (int a = kProgramWords - 1; a >= 0; --a)
        if (d[a] & kDataFlag) {
            highest = a;
            break;
        }
    std::printf("family:             %.*s\n", int(family->title.size()), family->title.data());
    std::printf("fuse word:          0x%03X\n", d[kFuseIndex] & kWordMask);
    std::printf("extended fuse word: 0x%03X\n", d[kExtFuseIndex] & kWordMask);
    std::printf("program size:       %d words\n", ProgramSize(*family, d[kExtFuseIndex]));
    std::printf("ID:                 \"%s\"\n", IdText(d).c_str());
    if (highest < 0)
        std::printf("highest used:       none\n");
    else
        std::printf("highest used:       0x%03X\n", highest);
    return kExitOk;
}

}  // namespace korvid::cli
