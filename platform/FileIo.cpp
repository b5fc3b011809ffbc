// The parts of FileIo.h that are the same on every system.
#include "platform/FileIo.h"

#include "platform/FileIdentity.h"

namespace korvid {

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason) {
    return WriteFilesAtomically({OutputFile{path, data}}, reason);
}

std::optional<FileClash> FindFileClash(const std::vector<std::string>& inputs,
                                       const std::vector<std::string>& outputs) {
    std::vector<std::optional<FileIdentity>> in, out;
    for (const std::string& p : inputs) in.push_back(IdentityOf(p, false));
    for (const std::string& p : outputs) out.push_back(IdentityOf(p, true));
    for (std::size_t o = 0; o < out.size(); ++o) {
        if (!out[o]) continue;
        for (std::size_t i = 0; i < in.size(); ++i)
            if (in[i] && *in[i] == *out[o]) return FileClash{o, int(i), 0};
        for (std::size_t k = 0; k < o; ++k)
            if (out[k] && *out[k] == *out[o]) return FileClash{o, -1, k};
    }
    return std::nullopt;
}

}  // namespace korvid
