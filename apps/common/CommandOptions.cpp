#include "apps/common/CommandOptions.h"

#include <algorithm>

namespace korvid {

CommandOptions::CommandOptions(const std::vector<std::string>& args, const std::vector<std::string>& withValue,
                               const std::vector<std::string>& flags) {
    auto contains = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-') {
            std::string name = a, value;
            bool inlineValue = false;
            if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            if (contains(withValue, name)) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) {
                        error_ = "option " + name + " needs a value";
                        return;
                    }
                    value = args[++i];
                }
                values_.emplace_back(name, value);
            } else if (contains(flags, name) && !inlineValue) {
                flags_.push_back(name);
            } else {
                error_ = "unknown option " + a;
                return;
            }
        } else {
            operands_.push_back(a);
        }
    }
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
