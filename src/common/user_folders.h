#pragma once

#include <string>

// Where this user's and this program's files live, by the conventions of a
// Linux desktop.
namespace orvana::common {

// $XDG_DATA_HOME/orvana when that is an absolute path, else
// ~/.local/share/orvana; empty when neither can be named.
std::string UserDataFolder();

// The folder holding the running program, links resolved; empty when the
// system cannot tell.
std::string ExecutableFolder();

}  // namespace orvana::common
