#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Looking into folders. Paths are UTF-8 on every platform.
namespace orvana::platform {

struct FolderEntry {
  std::string name;
  // A real folder: a link to one is not (links are never followed here).
  bool isFolder = false;
  // Belongs to the user the program runs as. A shared temporary folder may
  // hold other people's entries, which are never ours to remove or to use.
  bool ours = false;
  std::chrono::system_clock::time_point modified;
};

// What `folder` holds, "." and ".." left out, in no particular order;
// nothing when it cannot be read.
std::optional<std::vector<FolderEntry>> ListFolder(const std::string& folder);

// `path` is a real folder (not a link someone put in its place) of the user
// the program runs as.
bool IsOwnFolder(const std::string& path);

}  // namespace orvana::platform
