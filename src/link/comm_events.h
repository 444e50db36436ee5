#pragma once

#include <cstdint>

// The meter software's own numbering of the line events a port can be asked
// to watch. The values are kept as they always were, so settings and traces
// read the same as on the bench's old machines; the names are ours, since the
// Windows headers define the platform's own (EV_RXCHAR, ...) as macros.
namespace orvana::link {

// A port watches its input only when the mask holds this.
inline constexpr uint32_t kEventRxChar = 0x0001;
// Part of the mask the program has always asked for; it changes nothing here.
inline constexpr uint32_t kEventRxFlag = 0x0002;

}  // namespace orvana::link
