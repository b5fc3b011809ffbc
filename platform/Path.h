// File names as the system spells them: the one place that knows the
// separator, so that no other code splits a path by hand.
#pragma once

#include <string>

namespace korvid {

// The folder a file is in: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);
// The last component: "a.src" for "src/a.src".
std::string NameOf(const std::string& path);
// Whether `path` names a file from the root rather than from the current folder.
bool IsAbsolutePath(const std::string& path);
// `name` as seen from the folder of `file`: unchanged when absolute or when
// `file` is a bare name, else `file`'s folder, a separator and `name`.
std::string BesideFile(const std::string& file, const std::string& name);
// `path` from the root, links resolved where the system resolves them; the
// name as given when it cannot be found.
std::string AbsolutePathOf(const std::string& path);

}  // namespace korvid
