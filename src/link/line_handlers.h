#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvana::link {

// What the program does with what the line brings, on its own thread. What
// nobody handles is not carried to it at all.
struct LineHandlers {
  // Every received byte, one at a time, in order.
  std::function<void(uint8_t)> onByte;
  // The device vanished under the monitor; comes after the last byte it sent.
  std::function<void(const std::string& reason)> onLinkLost;
};

}  // namespace orvana::link
