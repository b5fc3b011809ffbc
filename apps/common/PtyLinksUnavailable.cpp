// Where there are no pseudo-terminals (Windows) there is no terminal to
// name either: a --link claim fails with the reason, and nothing is left
// to release.
#include "apps/common/LinkName.h"

namespace korvid {

bool ClaimLink(const std::string&, const std::string&, std::string* reason) {
    if (reason) *reason = "--link names a pseudo-terminal, which this system does not have";
    return false;
}

void ReleaseLink(const std::string&, const std::string&) {}

}  // namespace korvid
