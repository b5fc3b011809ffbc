#include "apps/common/OutputClash.h"

#include "core/image/FileIo.h"

namespace korvid {

std::optional<std::string> OutputClash(const std::vector<std::string>& inputs,
                                       const std::vector<NamedOutput>& outputs, const std::string& inputKind) {
    std::vector<std::string> paths;
    for (const NamedOutput& o : outputs) paths.push_back(o.path);
    const auto clash = FindFileClash(inputs, paths);
    if (!clash) return std::nullopt;
    const NamedOutput& out = outputs[clash->output];
    if (clash->input >= 0)
        return out.option + " " + out.path + " is " + inputKind + " " + inputs[std::size_t(clash->input)];
    return outputs[clash->other].option + " " + outputs[clash->other].path + " and " + out.option + " " + out.path +
           " are the same file";
}

}  // namespace korvid
