#pragma once

#include <string>

// Where a name really leads. Paths are UTF-8.
namespace orvana::platform {

// `path` as an absolute path with every link on the way resolved; empty
// with errno set when that cannot be told (a link that leads nowhere).
std::string RealPath(const std::string& path);

}  // namespace orvana::platform
