#pragma once

#include <cstdint>

// The meter software's own numbering of the line events a port can be asked
// to signal and of the notifications its transport sends. Kept as it always
// was, so settings and traces read the same as on the bench's old machines.
namespace orvana::link {

inline constexpr unsigned WM_USER = 0x400;
inline constexpr unsigned WM_COMM_LINE_BREAK = WM_USER + 1;
inline constexpr unsigned WM_COMM_CTS = WM_USER + 2;
inline constexpr unsigned WM_COMM_LINE_ERROR = WM_USER + 4;
inline constexpr unsigned WM_COMM_RING = WM_USER + 5;
inline constexpr unsigned WM_COMM_RXCHAR = WM_USER + 7;
inline constexpr unsigned WM_COMM_EVENT_CHAR = WM_USER + 8;
inline constexpr unsigned WM_COMM_WRITE_DONE = WM_USER + 9;

// Line events of the event mask.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;

struct CommNotification {
  unsigned message = 0;  // one of WM_COMM_*
  // The byte for WM_COMM_RXCHAR, else 0. The port itself hands received
  // bytes over by the read (ISerialOwner::OnReceive), not one by one.
  unsigned wParam = 0;
  unsigned portNumber = 0;
};

}  // namespace orvana::link
