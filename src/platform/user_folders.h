#pragma once

#include <string>
#include <string_view>

// Where this user's and this program's files live, by the conventions of the
// platform's desktop. Paths are UTF-8.
namespace orvana::platform {

// Linux: $XDG_DATA_HOME/orvana when that is an absolute path, else
// ~/.local/share/orvana. Windows: %LOCALAPPDATA%\Orvana. Empty when it
// cannot be named.
std::string UserDataFolder();

// A folder of the temporary folder's that is this user's alone, named after
// `name`: /tmp/NAME-UID on Linux (/tmp is shared), %TEMP%\NAME on Windows
// (the temporary folder is the user's own there). Not created here.
std::string PrivateTemporaryFolder(std::string_view name);

// The folder holding the running program, links resolved; empty when the
// system cannot tell.
std::string ExecutableFolder();

}  // namespace orvana::platform
