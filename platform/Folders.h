// Folders as the system keeps them: the names in one, a key that is the same
// for every name of one folder (so that a search through links does not go
// round), and whether new files can be made in one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvid {

// The names in `folder` without "." and "..", in no particular order;
// false with the system's reason.
bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& reason);

// The same key for two names of one folder (links followed); none when the
// folder cannot be reached.
std::optional<std::string> FolderKey(const std::string& folder);

// Whether files can be created in `folder`; false with the system's reason.
bool CanCreateIn(const std::string& folder, std::string& reason);

}  // namespace korvid
