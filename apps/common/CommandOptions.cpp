#include "apps/common/CommandOptions.h"

#include <algorithm>

namespace korvid {

namespace {

// "--family 28l|52", "-j, --jobs N": how the help shows an option.
std::string Spelling(const OptionSpec& o) {
    std::string s(o.name);
    if (!o.alias.empty()) s += ", " + std::string(o.alias);
    if (!o.value.empty()) s += " " + std::string(o.value);
    return s;
}

}  // namespace

std::string OptionHelpLines(std::span<const OptionSpec> options) {
    // The texts start in one column, after the longest spelling up to a
    // limit; a longer spelling has its text on the next line.
    constexpr std::size_t kWidest = 26;
    std::size_t width = 0;
    for (const OptionSpec& o : options) width = std::max(width, std::min(kWidest, Spelling(o).size()));
    std::string out;
    for (const OptionSpec& o : options) {
        const std::string spelling = Spelling(o);
        out += "  " + spelling;
        if (spelling.size() > width)
            out += "\n  " + std::string(width, ' ');
        else
            out += std::string(width - spelling.size(), ' ');
        out += "  " + std::string(o.help) + "\n";
    }
    return out;
}

template <class Lookup>
void CommandOptions::Scan(const std::vector<std::string>& args, Lookup lookup) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-') {
            std::string name = a, value;
            bool inlineValue = false;
            if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            } else if (a[1] != '-' && a.size() > 2) {
                // "-j4": a one-letter option joined to its value, as make
                // and ctest take it.
                const Known letter = lookup(a.substr(0, 2));
                if (letter.known && letter.takesValue) {
                    name = a.substr(0, 2);
                    value = a.substr(2);
                    inlineValue = true;
                }
            }
            const Known known = lookup(name);
            if (known.known && known.takesValue) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) {
                        error_ = "option " + name + " needs a value";
                        return;
                    }
                    value = args[++i];
                }
                values_.emplace_back(known.name, value);
            } else if (known.known && !inlineValue) {
                flags_.push_back(known.name);
            } else {
                error_ = "unknown option " + a;
                return;
            }
        } else {
            operands_.push_back(a);
        }
    }
}

CommandOptions::CommandOptions(const std::vector<std::string>& args, const std::vector<std::string>& withValue,
                               const std::vector<std::string>& flags) {
    auto contains = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    Scan(args, [&](const std::string& name) {
        if (contains(withValue, name)) return Known{true, true, name};
        return Known{contains(flags, name), false, name};
    });
}

CommandOptions::CommandOptions(const std::vector<std::string>& args, std::span<const OptionSpec> options) {
    Scan(args, [&](const std::string& name) {
        for (const OptionSpec& o : options)
            if (name == o.name || (!o.alias.empty() && name == o.alias))
                return Known{true, !o.value.empty(), std::string(o.name)};
        return Known{};
    });
}

std::optional<std::string> CommandOptions::Value(const std::string& name) const {
    for (auto it = values_.rbegin(); it != values_.rend(); ++it)
        if (it->first == name) return it->second;
    return std::nullopt;
}

bool CommandOptions::Flag(const std::string& name) const {
    return std::find(flags_.begin(), flags_.end(), name) != flags_.end();
}

}  // namespace korvid
