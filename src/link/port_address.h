#pragma once

#include <string>

namespace orvana::link {

// Where a port is and what the program calls it: the device path opens the
// port and the number names it in the traces.
struct PortAddress {
  std::string path;     // e.g. /dev/ttyUSB0, or \\.\COM3 on Windows
  unsigned number = 0;  // the trailing number of the device name, e.g. 0 (3)
};

}  // namespace orvana::link
