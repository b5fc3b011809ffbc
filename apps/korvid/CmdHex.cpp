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

constexpr OptionSpec kHexOptions[] = {kFamilyOption};

int RunHex(const std::vector<std::string>& args) {
    Options options = Options::Of("hex", args);
    if (!options.ok()) return UsageError("hex", options.error());
    if (options.Operands().size() != 1) return UsageError("hex", "expected one hex file");
    const Family* family = FamilyOption(options);
    if (!family) return kExitUsage;

    const std::string path = options.Operands()[0];
    CoreSession session(*family);
    if (!LoadHexImage(session, path)) return kExitFailure;
    const AssemblyState& s = *session.state;
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

}  // namespace

KORVID_COMMAND("hex", "[--family 28l|52] FILE.sxh", RunHex,
               "Shows what an SXH file holds: the configuration words, the ID, the program size and the highest "
               "used address.",
               kHexOptions);

}  // namespace korvid::cli
