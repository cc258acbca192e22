// Paths as the front ends and the engine take them apart and put them together:
// plain '/'-separated byte strings, as POSIX and the browser's tables have them.
// Nothing here touches the disk.
#pragma once

#include <string>

namespace paths {

// `name` inside `folder`: "/a/b" for ("/a", "b"), "/b" for ("/", "b"), and the
// name alone for an empty folder.
std::string Join(const std::string& folder, const std::string& name);

// The last component of a path, trailing slashes ignored: "Gig" for "/a/Gig" and
// "/a/Gig/"; empty for "" and "/".
std::string LastComponent(const std::string& path);

// The folder that holds `path`: "/a" for "/a/Gig" and "/a/Gig/", "/" for "/Gig";
// empty for a bare name.
std::string Folder(const std::string& path);

}  // namespace paths
