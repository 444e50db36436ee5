#pragma once

#include <string>

// Taking a serial device for this program alone, and giving it back.
namespace orvana::link {

// Opens `path` for reading and writing, non-blocking, as nobody's controlling
// terminal, and for exclusive use. Returns the descriptor, or -1 with `error`
// saying why for a person (permission, busy, gone, not a serial port).
int OpenExclusiveTerminal(const std::string& path, std::string& error);

// Gives up the exclusivity and closes `fd`.
void CloseExclusiveTerminal(int fd);

}  // namespace orvana::link
