// The --link names of the simulators: a symbolic link to a terminal that a
// client opens by a fixed name, owned by the process that made it.
#pragma once

#include <string>

namespace korvid {

// The --link name of a simulator: a symbolic link to its slave, owned through
// an advisory lock on PATH.lock that the process holds until it ends (the
// system drops it on any death, kill -9 included). A link may replace only a
// stale one of its own kind: a symbolic link to a /dev/pts/N whose lock is
// free (or, with no lock file, whose terminal no longer exists). Anything
// else at the path (a file, a directory, a link elsewhere, or a running
// simulator's link) is left alone and the claim fails with the reason.
bool ClaimLink(const std::string& path, const std::string& slave, std::string* reason);
// At exit: removes the link only if it still points to `slave`, and the lock.
void ReleaseLink(const std::string& path, const std::string& slave);

}  // namespace korvid
