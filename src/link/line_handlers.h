#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/comm_events.h"

namespace orvana::link {

// What the program does with what the line brings, on its own thread. What
// nobody handles is not carried to it at all.
struct LineHandlers {
  // Every received byte, one at a time, in order.
  std::function<void(uint8_t)> onByte;
  // The monitor's other notifications, in order with the bytes.
  std::function<void(const CommNotification&)> onNotification;
  // The device vanished under the monitor; comes after the last byte it sent.
  std::function<void(const std::string& reason)> onLinkLost;
};

}  // namespace orvana::link
