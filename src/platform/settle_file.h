#pragma once

#include <string>

// A file's new version made ready to take the old one's place: it keeps who
// may read and write it, and its bytes are on the disk before its name
// changes, so a crash leaves either version whole. Paths are UTF-8.
namespace orvana::platform {

// What of a file's access a new version is given. POSIX: its permission
// bits, owner and group. Windows: nothing to carry over; a file takes its
// access rights from its folder, the old version's and the new one's alike.
struct KeptAccess {
  unsigned mode = 0;
  long long owner = -1;
  long long group = -1;
};

// Of the file `path` leads to (links followed). False with errno set.
bool AccessToKeep(const std::string& path, KeptAccess& kept);

// Gives `path` (a file just written, never a link) `kept`'s access where
// there is one, then makes its data durable. 0, or the errno of the failure.
int SettleFile(const std::string& path, const KeptAccess* kept);

}  // namespace orvana::platform
