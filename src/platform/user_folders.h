#pragma once

#include <string>

// Where this user's and this program's files live, by the conventions of the
// platform's desktop. Paths are UTF-8.
namespace orvana::platform {

// Linux: $XDG_DATA_HOME/orvana when that is an absolute path, else
// ~/.local/share/orvana. Windows: %LOCALAPPDATA%\Orvana. Empty when it
// cannot be named.
std::string UserDataFolder();

// The folder holding the running program, links resolved; empty when the
// system cannot tell.
std::string ExecutableFolder();

}  // namespace orvana::platform
